#include "pdf/UnitPDFLinkedDocument.h"

#include <algorithm>
#include <climits>
#include <unordered_set>

#include "pdf/UnitPDFUtilities.h"
#include "platform/core/Format.h"

namespace px {
namespace {

int64_t mapKey(int32_t number, int32_t generation) {
  return static_cast<int64_t>(number) * 65536 + (generation & 0xFFFF);
}

// Copies objects of the target document among themselves: references keep
// their numbers.
class SameNumbers : public TPDFLinker {
 public:
  int32_t MapReference(const TPDFReference& reference) override { return reference.Number; }
};

// The Resources of a page, or of the nearest ancestor that has them: a page
// tree may hold them once for all its pages. A Parent chain that loops ends
// at the first node met again.
TPDFDictionary* inheritedResources(TPDFCollection* collection, TPDFDictionary* page) {
  std::unordered_set<const TPDFDictionary*> seen;
  for (TPDFDictionary* node = page; node && seen.insert(node).second;) {
    if (auto* resources = dynamic_cast<TPDFDictionary*>(node->GetObject(collection, "Resources"))) return resources;
    node = dynamic_cast<TPDFDictionary*>(node->GetObject(collection, "Parent"));
  }
  return nullptr;
}

// The full key of an inline image's abbreviated one.
std::string inlineKey(const std::string& key) {
  if (key == "W") return "Width";
  if (key == "H") return "Height";
  if (key == "BPC") return "BitsPerComponent";
  if (key == "CS") return "ColorSpace";
  if (key == "F") return "Filter";
  if (key == "DP") return "DecodeParms";
  if (key == "IM") return "ImageMask";
  return key;
}

}  // namespace

TPDFLinkedDocument::TPDFLinkedDocument(TPDFWriter* writer, TPDFCollection* source, std::string name)
    : writer_(writer), source_(source), name_(std::move(name)) {
  Assert(writer_ != nullptr, "TPDFLinkedDocument.Create: no writer");
  Assert(source_ != nullptr, "TPDFLinkedDocument.Create: no source document");
}

// ---------------------------------------------------------------------------
// Objects

int32_t TPDFLinkedDocument::MapReference(const TPDFReference& reference) {
  const int64_t key = mapKey(reference.Number, reference.Generation);
  if (auto found = map_.find(key); found != map_.end()) return found->second;
  // The number is taken before the copy is made, so that an object reached
  // again through its own references (a form whose resources name the form)
  // finds it; the copies themselves are made one after the other, not
  // nested, so a long chain of references needs no deep stack.
  const int32_t target = writer_->ReserveObject();
  map_.emplace(key, target);
  added_.push_back(key);
  pending_.push_back({reference.Number, reference.Generation, target});
  if (!copying_) copyPending();
  return target;
}

void TPDFLinkedDocument::copyPending() {
  struct Guard {
    TPDFLinkedDocument& d;
    ~Guard() {
      d.copying_ = false;
      d.pending_.clear();
    }
  } guard{*this};
  copying_ = true;
  while (!pending_.empty()) {
    const Pending p = pending_.back();
    pending_.pop_back();
    TPDFObject* object = source_->GetIndirectObj(p.Number, p.Generation);
    // A reference to an object that does not exist stands for null.
    writer_->SetObject(p.Target, object ? copyObject(*object) : std::make_unique<TPDFNull>());
  }
}

std::unique_ptr<TPDFObject> TPDFLinkedDocument::copyObject(const TPDFObject& object) {
  auto* stream = dynamic_cast<const TPDFDictionary*>(&object);
  if (!stream || stream->StreamState() == 0) return object.Clone(*this);
  // The length comes from the data as they are now: after decryption they
  // may be shorter than a Length kept in an object of its own says.
  // Data somebody already decoded are stored anew with Flate.
  const bool decoded = stream->StreamState() == 2;
  auto copy = std::make_unique<TPDFDictionary>();
  for (int32_t k = 0; k < stream->Count(); ++k) {
    const std::string& key = stream->GetKey(k);
    if (key == "Length") continue;
    if (decoded && (key == "Filter" || key == "DecodeParms" || key == "DP")) continue;
    copy->Add(key, stream->GetValue(k)->Clone(*this));
  }
  if (decoded) copy->Add("Filter", std::make_unique<TPDFName>("FlateDecode"));
  else copy->Add("Length", std::make_unique<TPDFInteger>(static_cast<int32_t>(stream->StreamData().size())));
  copy->SetStreamData(decoded ? 2 : 1, stream->StreamData());
  return copy;
}

// ---------------------------------------------------------------------------
// Resources

void TPDFLinkedDocument::MergeResources(TPDFDictionary* source, TPDFDictionary* target) {
  Assert(source != nullptr && target != nullptr, "TPDFLinkedDocument.MergeResources: no resources");
  renames_.clear();
  renameIndex_.clear();
  if (auto* procSets = dynamic_cast<TPDFArray*>(source->GetObject(source_, "ProcSet"))) {
    auto* targetSets = dynamic_cast<TPDFArray*>(target->GetObject(writer_, "ProcSet"));
    if (!targetSets) {
      target->Add("ProcSet", TPDFArray::Of(std::make_unique<TPDFName>("PDF")));
      targetSets = dynamic_cast<TPDFArray*>(target->Find("ProcSet"));
    }
    if (targetSets)
      for (int32_t k = 0; k < procSets->Count(); ++k)
        if (auto* name = dynamic_cast<TPDFName*>(procSets->GetObject(source_, k)); name && !targetSets->FindName(name->Name))
          targetSets->Add(std::make_unique<TPDFName>(name->Name));
  }
  // Every dictionary among the resources is a category. Many writers give
  // no ProcSet, so its absence says nothing about the categories.
  for (int32_t k = 0; k < source->Count(); ++k) {
    const std::string& categoryName = source->GetKey(k);
    if (categoryName == "ProcSet" || source->IndexOf(categoryName) != k) continue;
    auto* category = dynamic_cast<TPDFDictionary*>(source->GetObject(source_, categoryName));
    if (!category) continue;
    auto* targetCategory = dynamic_cast<TPDFDictionary*>(target->GetObject(writer_, categoryName));
    if (!targetCategory) {
      target->Add(categoryName, std::make_unique<TPDFDictionary>());
      targetCategory = dynamic_cast<TPDFDictionary*>(target->Find(categoryName));
      if (!targetCategory) continue;  // the key holds something else already
    }
    for (int32_t e = 0; e < category->Count(); ++e) {
      const std::string& oldName = category->GetKey(e);
      if (category->IndexOf(oldName) != e) continue;
      // One new name per old name: content that uses /R7 as a font and as a
      // graphics state finds it renamed alike in both categories.
      auto [at, isNew] = renameIndex_.emplace(oldName, std::string());
      if (isNew) {
        at->second = "X" + std::to_string(NameCounter++);
        renames_.emplace_back(oldName, at->second);
      }
      TPDFObject* value = category->GetValue(e);
      std::unique_ptr<TPDFObject> copy;
      if (auto* reference = dynamic_cast<TPDFReference*>(value))
        copy = std::make_unique<TPDFReference>(MapReference(*reference), 0);
      else
        copy = copyObject(*value);
      targetCategory->Add(at->second, std::move(copy));
    }
  }
}

// ---------------------------------------------------------------------------
// Content

int32_t TPDFLinkedDocument::componentsOf(TPDFObject* colorSpace, int depth) {
  if (!colorSpace || depth > 8) return 1;
  if (auto* name = dynamic_cast<TPDFName*>(colorSpace)) {
    const std::string& n = name->Name;
    if (n == "G" || n == "DeviceGray" || n == "I" || n == "Indexed") return 1;
    if (n == "RGB" || n == "DeviceRGB") return 3;
    if (n == "CMYK" || n == "DeviceCMYK") return 4;
    if (!sourceResources_) return 1;
    auto* spaces = dynamic_cast<TPDFDictionary*>(sourceResources_->GetObject(source_, "ColorSpace"));
    return spaces ? componentsOf(spaces->GetObject(source_, n), depth + 1) : 1;
  }
  auto* array = dynamic_cast<TPDFArray*>(colorSpace);
  if (!array || array->Count() == 0) return 1;
  auto* family = dynamic_cast<TPDFName*>(array->GetObject(source_, 0));
  if (!family) return 1;
  const std::string& f = family->Name;
  if (f == "CalRGB" || f == "Lab") return 3;
  if (f == "ICCBased" && array->Count() > 1)
    if (auto* profile = dynamic_cast<TPDFDictionary*>(array->GetObject(source_, 1)))
      if (auto* n = dynamic_cast<TPDFInteger*>(profile->GetObject(source_, "N")))
        return std::clamp(n->Value, 1, 32);
  if (f == "DeviceN" && array->Count() > 1)
    if (auto* names = dynamic_cast<TPDFArray*>(array->GetObject(source_, 1)))
      return std::clamp(names->Count(), 1, 32);
  return componentsOf(family, depth + 1);
}

int32_t TPDFLinkedDocument::inlineImageEnd(const TPDFBuffer& data, int32_t dictionaryStart, int32_t dictionaryEnd,
                                           int32_t start) {
  const int32_t size = static_cast<int32_t>(data.size());
  // The data end where the landed lexer ends them: behind the number of
  // bytes the image needs (or where its filter stops), at the next "EI".
  // An "EI" inside binary data is thus not taken for the end.
  try {
    TPDFBuffer bytes(data.begin() + dictionaryStart, data.begin() + dictionaryEnd);
    TPDFDictionary image;
    int32_t pos = 0;
    SkipWhiteSpace(bytes, pos);
    int64_t components = 1;
    bool mask = false;
    while (pos < static_cast<int32_t>(bytes.size())) {
      auto key = ParseContentToken(bytes, pos, true);
      auto* keyName = dynamic_cast<TPDFName*>(key.get());
      if (!keyName || pos >= static_cast<int32_t>(bytes.size())) break;
      auto value = ParseContentToken(bytes, pos, true);
      const std::string full = inlineKey(keyName->Name);
      if (full == "ColorSpace") {
        components = componentsOf(value.get(), 0);
        continue;
      }
      if (full == "ImageMask") mask = dynamic_cast<TPDFBoolean*>(value.get()) && static_cast<TPDFBoolean*>(value.get())->Value;
      if (full == "Filter")
        if (auto* filters = dynamic_cast<TPDFArray*>(value.get()); filters && filters->Count() == 1)
          if (auto* only = dynamic_cast<TPDFName*>(filters->GetItem(0))) value = std::make_unique<TPDFName>(only->Name);
      image.Add(full, std::move(value));
    }
    if (mask) components = 1;
    // The size counts components of one, three or four; any other number
    // of components is counted as that many grey columns.
    if (components == 3 || components == 4) {
      image.Add("ColorSpace", std::make_unique<TPDFName>(components == 3 ? "DeviceRGB" : "DeviceCMYK"));
    } else if (components > 1) {
      auto* width = dynamic_cast<TPDFInteger*>(image.Find("Width"));
      if (!width) RaisePDFReadError(0, "Inline image without width");
      width->Value = static_cast<int32_t>(std::min<int64_t>(int64_t(width->Value) * components, INT32_MAX));
    }
    int32_t end = start;
    if (image.LoadInlineStream(data, end)) {
      int32_t t = end;
      while (t > start && IsPDFWhiteSpace(data[t - 1])) --t;
      if (t - start >= 2 && data[t - 2] == 'E' && data[t - 1] == 'I') return t;
    }
  } catch (const Exception&) {
  }
  // A dictionary that does not give the size: the first "EI" standing
  // between white space.
  for (int32_t i = start; i + 1 < size; ++i)
    if (data[i] == 'E' && data[i + 1] == 'I' && (i == start || IsPDFWhiteSpace(data[i - 1])) &&
        (i + 2 == size || IsPDFWhiteSpace(data[i + 2])))
      return i + 2;
  RaisePDFReadError(start, "Inline image without EI");
}

std::string TPDFLinkedDocument::RewriteContent(const TPDFBuffer& data) {
  output_.clear();
  output_.reserve(data.size() + data.size() / 8);
  const int32_t size = static_cast<int32_t>(std::min<size_t>(data.size(), INT32_MAX));
  int32_t pos = 0;
  int32_t inlineStart = -1;  // behind the last "BI"
  auto append = [&](int32_t from, int32_t to) {
    output_.append(reinterpret_cast<const char*>(data.data()) + from, static_cast<size_t>(to - from));
  };
  while (pos < size) {
    const uint8_t c = data[pos];
    if (IsPDFWhiteSpace(c) || c == '%') {
      // Comments count as white space wherever they stand: copied, a "(" in
      // one would open a string in the output.
      SkipWhiteSpaceAndComments(data, pos);
      output_ += '\n';
      continue;
    }
    const int32_t start = pos;
    if (c == '(') {
      EatLiteralString(data, pos, false);
      append(start, pos);
      continue;
    }
    if (c == '/') {
      std::string name;
      try {
        name = EatName(data, pos, false);
      } catch (const Exception&) {
        // A name with a broken "#" escape is nobody's resource: kept as it is.
        pos = start + 1;
        while (pos < size && !IsPDFDelimiter(data[pos])) ++pos;
        append(start, pos);
        continue;
      }
      if (auto found = renameIndex_.find(name); found != renameIndex_.end()) {
        output_ += '/';
        output_ += found->second;
      } else {
        // The bytes as they stand: decoded, "/A#20B" would become two tokens.
        append(start, pos);
      }
      continue;
    }
    while (pos < size && !IsPDFWhiteSpace(data[pos]) && data[pos] != '(' && data[pos] != '/' && data[pos] != '%')
      ++pos;
    const int32_t length = pos - start;
    if (length == 2 && data[start] == 'B' && data[start + 1] == 'I') {
      inlineStart = pos;
    } else if (length == 2 && data[start] == 'I' && data[start + 1] == 'D') {
      // One white-space byte ends the keyword; the binary data follow.
      const int32_t dataStart = pos < size && IsPDFWhiteSpace(data[pos]) ? pos + 1 : pos;
      const int32_t dictionaryStart = inlineStart >= 0 ? inlineStart : start;
      pos = inlineImageEnd(data, dictionaryStart, start, dataStart);
      inlineStart = -1;
    }
    append(start, pos);
  }
  return output_;
}

// ---------------------------------------------------------------------------
// Pages

void TPDFLinkedDocument::ImportPage(const std::string& prefix, const std::string& suffix, std::string& content,
                                    TPDFDictionary* targetResources, int32_t& nameCounter, int32_t pageIndex) {
  Assert(targetResources != nullptr, "TPDFLinkedDocument.ImportPage: no target resources");
  // Pages are counted from 1 in the document.
  TPDFDictionary* page = source_->GetPage(pageIndex >= 0 && pageIndex < INT32_MAX ? pageIndex + 1 : 0);
  TPDFDictionary* resources = inheritedResources(source_, page);
  if (!resources)
    throw EPDFException(Format("Error importing page %d of %s: no Resources found.", pageIndex, name_.c_str()));

  // Everything goes into a scratch dictionary first and reaches the page
  // only when the whole import has worked.
  const int32_t firstNumber = writer_->GetObjectCount() + 1;
  added_.clear();
  sourceResources_ = resources;
  TPDFDictionary merged;
  std::string text;
  try {
    NameCounter = nameCounter;
    MergeResources(resources, &merged);
    auto rewrite = [&](TPDFObject* object) {
      auto* stream = dynamic_cast<TPDFDictionary*>(object);
      if (!stream) RaisePDFReadError(0, "Page content is not a stream");
      stream->SetStreamState(2, source_);
      text += RewriteContent(stream->StreamData());
    };
    TPDFObject* contents = page->GetObject(source_, "Contents");
    if (auto* array = dynamic_cast<TPDFArray*>(contents)) {
      text = prefix;
      bool first = true;
      for (int32_t k = 0; k < array->Count(); ++k) {
        TPDFObject* item = array->GetObject(source_, k);
        if (!item || dynamic_cast<TPDFNull*>(item)) continue;
        // The streams of one page form one content; a token may end where a
        // stream ends, so they are kept apart by a line feed.
        if (!first) text += '\n';
        first = false;
        rewrite(item);
      }
      text += suffix;
    } else if (contents && !dynamic_cast<TPDFNull*>(contents)) {
      text = prefix;
      rewrite(contents);
      text += suffix;
    }
  } catch (...) {
    for (int64_t key : added_) map_.erase(key);
    added_.clear();
    writer_->DropObjectsFrom(firstNumber);
    sourceResources_ = nullptr;
    throw;
  }
  added_.clear();
  sourceResources_ = nullptr;

  SameNumbers same;
  for (int32_t k = 0; k < merged.Count(); ++k) {
    const std::string& key = merged.GetKey(k);
    auto* part = merged.GetValue(k);
    if (auto* sets = dynamic_cast<TPDFArray*>(part)) {
      auto* targetSets = dynamic_cast<TPDFArray*>(targetResources->GetObject(writer_, key));
      if (!targetSets) {
        targetResources->Add(key, sets->Clone(same));
        continue;
      }
      for (int32_t n = 0; n < sets->Count(); ++n)
        if (auto* name = dynamic_cast<TPDFName*>(sets->GetItem(n)); name && !targetSets->FindName(name->Name))
          targetSets->Add(std::make_unique<TPDFName>(name->Name));
      continue;
    }
    auto* category = dynamic_cast<TPDFDictionary*>(part);
    if (!category) continue;
    auto* targetCategory = dynamic_cast<TPDFDictionary*>(targetResources->GetObject(writer_, key));
    if (!targetCategory) {
      targetResources->Add(key, category->Clone(same));
      continue;
    }
    for (int32_t e = 0; e < category->Count(); ++e)
      targetCategory->Add(category->GetKey(e), category->GetValue(e)->Clone(same));
  }
  nameCounter = NameCounter;
  content = std::move(text);
}

}  // namespace px
