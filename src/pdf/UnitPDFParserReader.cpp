#include "pdf/UnitPDFParserReader.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "pdf/UnitPDFUtilities.h"
#include "platform/core/Format.h"

namespace px {

namespace {

// Loading an object may need others (an indirect Length, an object stream, a
// filter given by reference); deeper chains than this are refused so that a
// crafted file cannot exhaust the stack.
constexpr size_t MaxLoadDepth = 64;
// No real document has this many cross-reference entries; the bound keeps a
// small compressed cross-reference stream from claiming gigabytes.
constexpr int64_t MaxXRefEntries = int64_t(1) << 24;

int64_t cacheKey(int32_t number, int32_t generation) {
  return static_cast<int64_t>(static_cast<uint32_t>(number)) | (static_cast<int64_t>(generation) << 32);
}

bool isDigit(uint8_t c) { return c >= '0' && c <= '9'; }

bool bytesAt(const TPDFBuffer& data, int64_t pos, std::string_view text) {
  return pos >= 0 && pos + static_cast<int64_t>(text.size()) <= static_cast<int64_t>(data.size()) &&
         std::memcmp(data.data() + pos, text.data(), text.size()) == 0;
}

uint64_t readBigEndian(const uint8_t*& p, int64_t width) {
  uint64_t value = 0;
  for (int64_t k = 0; k < width; ++k) value = (value << 8) | *p++;
  return value;
}

TPDFBuffer readStream(TStream& stream, Int64 size) {
  if (size < 0) size = stream.Size() - stream.Position();
  if (size < 0) size = 0;
  if (size > INT32_MAX - 64) RaisePDFReadError(0, "File too large");
  TPDFBuffer data(static_cast<size_t>(size));
  if (size > 0) stream.ReadBuffer(data.data(), size);
  return data;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

TPDFReader::TPDFReader(TStream& stream, Int64 size) : data_(readStream(stream, size)) { readDocument(); }

TPDFReader::TPDFReader(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  data_ = readStream(stream, -1);
  readDocument();
}

TPDFReader::TPDFReader(TPDFBuffer data) : data_(std::move(data)) {
  if (data_.size() > static_cast<size_t>(INT32_MAX - 64)) RaisePDFReadError(0, "File too large");
  readDocument();
}

TPDFReader::~TPDFReader() {
  // Pages point into the cache; the handler may refer to cached objects.
  pages_.clear();
  securityHandler_.reset();
  trailer_.reset();
  cacheIndex_.clear();
  cache_.clear();
}

void TPDFReader::readDocument() {
  const int32_t size = static_cast<int32_t>(data_.size());
  if (size < 23) RaisePDFReadError(0, "File too short");

  int32_t header = -1;
  for (int32_t h = 0; h <= std::min(size, 1024) - 9; ++h)
    if (bytesAt(data_, h, "%PDF-1.")) {
      header = h;
      break;
    }
  if (header < 0) RaisePDFReadError(0, "Expecting literal (2)");
  minorVersion_ = data_[header + 7] - '0';
  if (header > 0) {
    Warning("PDF header has unknown data before it.");
    RaisePDFReadError(header, "Expecting literal (2)");
  }
  bodyStart_ = header + 8;
  SkipWhiteSpace(data_, bodyStart_);

  const int32_t last = size - 1;
  const int32_t low = std::max(std::min(last, bodyStart_ + 4), last - 1024);
  int32_t eof = -1;
  for (int32_t i = last; i > low; --i)
    if (bytesAt(data_, i - 4, "%%EOF")) {
      eof = i;
      break;
    }

  int64_t xref = 0;
  if (eof >= 0) {
    int32_t after = eof + 1;
    SkipWhiteSpace(data_, after);
    if (after < size) Warning("Ignored unknown content after %%EOF");
    int32_t p = eof - 5;
    while (p >= 0 && IsPDFWhiteSpace(data_[p])) --p;
    int32_t q = p;
    while (q >= 0 && isDigit(data_[q])) --q;
    if (q == p) RaisePDFReadError(p + 1, "Trailer corrupt 1");
    for (int32_t k = q + 1; k <= p && xref <= size; ++k) xref = xref * 10 + (data_[k] - '0');
    if (xref >= size - 15 || xref <= bodyStart_) RaisePDFReadError(0, "File too short");
    while (q >= 0 && IsPDFWhiteSpace(data_[q])) --q;
    ExpectLiteral(data_, q - 8, "startxref");
  } else {
    Warning("Recovery mode: no %%EOF found. Scanning for start of xref.");
    int32_t found = -1;
    for (int32_t i = last; i > std::min(last, bodyStart_ + 8); --i)
      if (bytesAt(data_, i - 8, "startxref")) {
        found = i;
        break;
      }
    if (found < 0) RaisePDFReadError(0, "EOF and startxref not found");
    int32_t pos = found + 1;
    SkipWhiteSpace(data_, pos);
    xref = EatInteger(data_, pos, false);
    if (xref >= size - 15 || xref <= bodyStart_) RaisePDFReadError(0, "File too short");
  }

  eatXRefSection(static_cast<int32_t>(xref));
  if (!trailer_) RaisePDFReadError(0, "Trailer corrupt 1");
  indexXRefGroups();
  securityHandler_ = CreatePDFSecurityHandler(this);
  loadPageTree();
  readCatalogVersion();
}

// An update may raise the version in the catalog instead of rewriting the
// header; the later of the two is the document's.
void TPDFReader::readCatalogVersion() {
  auto* version = dynamic_cast<TPDFName*>(GetCatalog()->GetObject(this, "Version"));
  if (!version) return;
  const std::string& text = version->Name;
  if (text.size() != 3 || text[0] != '1' || text[1] != '.' || !isDigit(static_cast<uint8_t>(text[2]))) return;
  minorVersion_ = std::max(minorVersion_, static_cast<int32_t>(text[2] - '0'));
}

// ---------------------------------------------------------------------------
// Cross references

bool TPDFReader::enterSection(int32_t pos) {
  if (visitedSections_.insert(pos).second) return true;
  Warning(Format("Cross-reference chain leads back to offset %d; the rest of the chain is ignored.", pos));
  return false;
}

// The chain is walked with a list of sections still to read instead of by
// recursion: a file may alternate tables and streams as often as its size
// allows. The next section to read is the last in the list, so a table's
// XRefStm (and its own chain) comes before the table's Prev.
void TPDFReader::eatXRefSection(int32_t pos) {
  std::vector<int32_t> pending{pos};
  while (!pending.empty()) {
    int32_t at = pending.back();
    pending.pop_back();
    // Writers may point at the line break or comment before the section.
    SkipWhiteSpace(data_, at);
    if (at >= 0 && at < static_cast<int32_t>(data_.size()) && isDigit(data_[at]))
      eatXRefStream(at, pending);
    else
      eatXRefTable(at, pending);
  }
}

void TPDFReader::addXRefGroup(TPDFXRefGroup group) {
  const int64_t count = static_cast<int64_t>(group.Entries.size());
  // Object 0 heads the free list and is never a real object, though some
  // writers mark it in use (at offset 0).
  if (group.First == 0 && count > 0) group.Entries[0].Kind = 0;
  if (total_ + count > MaxXRefEntries) RaisePDFReadError(0, "XREF corrupt: too many entries");
  total_ += static_cast<int32_t>(count);
  xrefGroups_.push_back(std::move(group));
}

namespace {

// The offset in a trailer's "Prev" or "XRefStm": an integer inside the file.
int32_t offsetEntry(const TPDFObject* value, int32_t size) {
  auto* integer = dynamic_cast<const TPDFInteger*>(value);
  if (!integer) RaisePDFReadError(0, "trailer Prev object not an integer");
  if (integer->Value < 0 || integer->Value > size - 7) RaisePDFReadError(0, "trailer Prev object not a valid value");
  return integer->Value;
}

}  // namespace

void TPDFReader::eatXRefTable(int32_t pos, std::vector<int32_t>& pending) {
  const int32_t size = static_cast<int32_t>(data_.size());
  if (!enterSection(pos)) return;
  SkipWhiteSpace(data_, pos);
  EatLiteral(data_, pos, "xref", true);
  while (pos < size && isDigit(data_[pos])) {
    const int32_t first = EatInteger(data_, pos, true);
    const int32_t count = EatInteger(data_, pos, true);
    if (static_cast<int64_t>(pos) + 20 * static_cast<int64_t>(count) > static_cast<int64_t>(size) - 35 ||
        static_cast<int64_t>(first) + count - 1 > INT32_MAX)
      RaisePDFReadError(pos, "XREF corrupt: invalid size");
    TPDFXRefGroup group;
    group.First = first;
    group.Last = first + count - 1;
    group.Entries.resize(count);
    for (int32_t i = 0; i < count; ++i) {
      const char* entry = reinterpret_cast<const char*>(data_.data()) + pos + 20 * i;
      TPDFXRefEntry& e = group.Entries[i];
      if (entry[17] == 'f')
        e.Kind = 0;
      else if (entry[17] == 'n')
        e.Kind = 1;
      else
        RaisePDFReadError(pos + 20 * i + 17, "XREF corrupt: invalid entry type");
      e.Value2 = PDFStrToInt(std::string_view(entry, 10));
      e.Value1 = PDFStrToInt(std::string_view(entry + 11, 5));
    }
    pos += 20 * count;
    addXRefGroup(std::move(group));
  }
  SkipWhiteSpace(data_, pos);
  EatLiteral(data_, pos, "trailer", true);
  std::unique_ptr<TPDFDictionary> owned = ParseDictionary(data_, pos, false);
  TPDFDictionary* trailer = owned.get();
  if (!trailer_) trailer_ = std::move(owned);
  // An update may follow a file whose cross references are a stream.
  if (TPDFObject* prev = trailer->Find("Prev")) pending.push_back(offsetEntry(prev, size));
  if (TPDFObject* stream = trailer->Find("XRefStm")) pending.push_back(offsetEntry(stream, size));
}

void TPDFReader::eatXRefStream(int32_t pos, std::vector<int32_t>& pending) {
  const int32_t size = static_cast<int32_t>(data_.size());
  if (!enterSection(pos)) return;
  int32_t p = pos;
  EatInteger(data_, p, true);
  EatInteger(data_, p, true);
  EatLiteral(data_, p, "obj", true);
  std::unique_ptr<TPDFDictionary> dictionary = ParseDictionary(data_, p, true);
  eatStream(*dictionary, p);

  auto* w = dynamic_cast<TPDFArray*>(dictionary->Find("W"));
  if (!w) RaisePDFReadError(0, "EatXRefStream: W array is not found.");
  int64_t widths[3] = {0, 0, 0};
  if (w->Count() != 3) RaisePDFReadError(0, "EatXRefStream: W array is corrupt.");
  for (int32_t k = 0; k < 3; ++k) {
    auto* value = dynamic_cast<TPDFInteger*>(w->GetItem(k));
    if (!value) RaisePDFReadError(0, "EatXRefStream: W array is corrupt.");
    widths[k] = value->Value;
  }
  if (widths[0] < 1 || widths[1] < 1 || widths[2] < 0) RaisePDFReadError(0, "EatXRefStream: W array is corrupt.");

  std::vector<int32_t> index;
  if (TPDFObject* indexObject = dictionary->Find("Index")) {
    auto* array = dynamic_cast<TPDFArray*>(indexObject);
    if (!array || array->Count() % 2 != 0) RaisePDFReadError(0, "EatXRefStream: Index array is corrupt.");
    for (int32_t k = 0; k < array->Count(); ++k) {
      auto* value = dynamic_cast<TPDFInteger*>(array->GetItem(k));
      if (!value || value->Value < 0) RaisePDFReadError(0, "EatXRefStream: Index array is corrupt.");
      index.push_back(value->Value);
    }
  } else {
    auto* sizeValue = dynamic_cast<TPDFInteger*>(dictionary->Find("Size"));
    if (!sizeValue || sizeValue->Value < 0) RaisePDFReadError(0, "EatXRefStream: Size is missing.");
    index = {0, sizeValue->Value};
  }
  int64_t entries = 0;
  for (size_t k = 0; k < index.size(); k += 2) {
    if (static_cast<int64_t>(index[k]) + index[k + 1] - 1 > INT32_MAX)
      RaisePDFReadError(0, "EatXRefStream: Index array is corrupt.");
    entries += index[k + 1];
  }
  // Checked before anything is decoded or allocated for the entries.
  if (total_ + entries > MaxXRefEntries) RaisePDFReadError(0, "XREF corrupt: too many entries");

  dictionary->SetStreamState(2, this);
  const TPDFBuffer& stream = dictionary->StreamData();
  const int64_t entrySize = widths[0] + widths[1] + widths[2];
  if (entries > static_cast<int64_t>(stream.size()) ||
      entries * entrySize != static_cast<int64_t>(stream.size()))
    RaisePDFReadError(0, "EatXRefStream: Xref stream corrupt");

  const uint8_t* cursor = stream.data();
  for (size_t k = 0; k < index.size(); k += 2) {
    TPDFXRefGroup group;
    group.First = index[k];
    group.Last = index[k] + index[k + 1] - 1;
    group.Entries.resize(index[k + 1]);
    for (TPDFXRefEntry& e : group.Entries) {
      const uint64_t kind = readBigEndian(cursor, widths[0]);
      if (kind <= 2) {
        e.Kind = static_cast<uint8_t>(kind);
        e.Value2 = static_cast<int32_t>(readBigEndian(cursor, widths[1]));
        e.Value1 = static_cast<int32_t>(readBigEndian(cursor, widths[2]));
      } else {
        e.Kind = 3;
        cursor += widths[1] + widths[2];
      }
    }
    addXRefGroup(std::move(group));
  }

  int32_t next = 0;
  if (TPDFObject* prev = dictionary->Find("Prev")) next = offsetEntry(prev, size);
  if (!trailer_) trailer_ = std::move(dictionary);
  if (next != 0) pending.push_back(next);
}

void TPDFReader::eatStream(TPDFDictionary& dictionary, int32_t& pos) {
  const int32_t size = static_cast<int32_t>(data_.size());
  EatLiteral(data_, pos, "stream", false);
  if (pos < size && data_[pos] == '\r') ++pos;
  if (pos < size && data_[pos] == '\n') ++pos;
  const int32_t length = dictionary.GetRequiredObject<TPDFInteger>(this, "Length")->Value;
  const int64_t end = static_cast<int64_t>(pos) + length;
  if (length < 0 || end > static_cast<int64_t>(size) - 5) RaisePDFReadError(pos, "EatStream size incorrect");
  dictionary.SetStreamData(1, TPDFBuffer(data_.begin() + pos, data_.begin() + end));
  pos = static_cast<int32_t>(end);
  SkipWhiteSpace(data_, pos);
  if (!TryEatLiteral(data_, pos, "endstream", false)) Warning("No endstream found.");
}

// ---------------------------------------------------------------------------
// Objects

void TPDFReader::indexXRefGroups() {
  const int32_t count = static_cast<int32_t>(xrefGroups_.size());
  groupsByFirst_.resize(count);
  for (int32_t k = 0; k < count; ++k) groupsByFirst_[k] = k;
  std::stable_sort(groupsByFirst_.begin(), groupsByFirst_.end(),
                   [&](int32_t a, int32_t b) { return xrefGroups_[a].First < xrefGroups_[b].First; });
  maxLastUpTo_.resize(count);
  int32_t maxLast = INT32_MIN;
  for (int32_t k = 0; k < count; ++k) maxLastUpTo_[k] = maxLast = std::max(maxLast, xrefGroups_[groupsByFirst_[k]].Last);
  groupStarts_.resize(count);
  int64_t start = 0;
  for (int32_t k = 0; k < count; ++k) {
    groupStarts_[k] = start;
    start += static_cast<int64_t>(xrefGroups_[k].Entries.size());
  }
  xrefIndexed_ = true;
}

const TPDFXRefEntry* TPDFReader::FindXRefEntry(int32_t number, int32_t generation) const {
  auto usable = [&](const TPDFXRefGroup& group) -> const TPDFXRefEntry* {
    if (number < group.First || number > group.Last) return nullptr;
    const TPDFXRefEntry& entry = group.Entries[number - group.First];
    if (entry.Kind == 0) return nullptr;
    if (entry.Kind == 1 && entry.Value1 != generation) return nullptr;
    return &entry;
  };
  // While the sections are still being read (an indirect stream Length).
  if (!xrefIndexed_) {
    for (const TPDFXRefGroup& group : xrefGroups_)
      if (const TPDFXRefEntry* entry = usable(group)) return entry;
    return nullptr;
  }
  // The groups that can hold the number start at or before it; of those the
  // one read first wins, as in a walk over all groups in their order.
  auto after = std::upper_bound(groupsByFirst_.begin(), groupsByFirst_.end(), number,
                                [&](int32_t value, int32_t group) { return value < xrefGroups_[group].First; });
  const TPDFXRefEntry* found = nullptr;
  int32_t foundGroup = INT32_MAX;
  for (auto k = after - groupsByFirst_.begin() - 1; k >= 0 && maxLastUpTo_[k] >= number; --k) {
    const int32_t group = groupsByFirst_[k];
    if (group > foundGroup) continue;
    if (const TPDFXRefEntry* entry = usable(xrefGroups_[group])) {
      found = entry;
      foundGroup = group;
    }
  }
  return found;
}

TPDFObject* TPDFReader::cacheObject(int64_t key, std::unique_ptr<TPDFObject> object) {
  TPDFObject* result = object.get();
  cacheIndex_[result] = key;
  cache_[key] = std::move(object);
  return result;
}

namespace {

// Streams that the standard security handler leaves unencrypted: cross-
// reference streams always, metadata when the document says so.
bool isClearStream(const TPDFObject& object, TPDFCrypto& handler) {
  auto* dictionary = dynamic_cast<const TPDFDictionary*>(&object);
  if (!dictionary || dictionary->StreamState() == 0) return false;
  auto* type = dynamic_cast<const TPDFName*>(dictionary->Find("Type"));
  if (!type) return false;
  if (type->Name == "XRef") return true;
  auto* standard = dynamic_cast<const TPDFStandardCrypto*>(&handler);
  return type->Name == "Metadata" && standard && !standard->EncryptMetadata;
}

// Marks an object as being loaded for the lifetime of the guard.
class LoadGuard {
 public:
  LoadGuard(std::unordered_set<int64_t>& loading, int64_t key, int32_t number, int32_t generation)
      : loading_(loading), key_(key) {
    if (loading_.count(key))
      RaisePDFReadError(0, Format("Object %d %d R is needed to read itself", number, generation));
    if (loading_.size() >= MaxLoadDepth) RaisePDFReadError(0, "Objects refer to each other too deeply");
    loading_.insert(key);
  }
  ~LoadGuard() { loading_.erase(key_); }
  LoadGuard(const LoadGuard&) = delete;
  LoadGuard& operator=(const LoadGuard&) = delete;

 private:
  std::unordered_set<int64_t>& loading_;
  int64_t key_;
};

// Says in a read error which object was being read. Only the innermost
// object is named: when reading one object needs another (a Length, an
// object stream), the error lies in the bytes of the one read last.
constexpr std::string_view ObjectContextMark = " In object ";

void addObjectContext(Exception& e, const std::string& where) {
  if (e.Message().find(ObjectContextMark) != std::string::npos) return;
  std::string message = e.Message();
  if (!message.empty() && message.back() != '.') message += '.';
  e.SetMessage(message + std::string(ObjectContextMark) + where + ".");
}

}  // namespace

std::unique_ptr<TPDFObject> TPDFReader::loadObject(int32_t number, int32_t generation, const TPDFXRefEntry& entry) {
  if (entry.Value2 < 0 || entry.Value2 >= static_cast<int32_t>(data_.size()))
    RaisePDFReadError(0, "xref table reference corrupt 1");
  int32_t pos = entry.Value2;
  SkipWhiteSpace(data_, pos);
  const int32_t start = pos;
  if (EatInteger(data_, pos, true) != number) RaisePDFReadError(start, "xref table reference corrupt 1");
  if (EatInteger(data_, pos, true) != entry.Value1) RaisePDFReadError(start, "xref table reference corrupt 2");
  EatLiteral(data_, pos, "obj", true);
  std::unique_ptr<TPDFObject> object = ParseObject(data_, pos, true);
  try {
    auto* dictionary = dynamic_cast<TPDFDictionary*>(object.get());
    if (dictionary && pos < static_cast<int32_t>(data_.size()) && data_[pos] == 's')
      eatStream(*dictionary, pos);
    else
      ExpectLiteral(data_, pos, "endobj");
  } catch (const Exception&) {
    return nullptr;
  }
  if (securityHandler_ && !isClearStream(*object, *securityHandler_)) {
    object->Decrypt(number, generation, securityHandler_.get());
    // AES data loses its vector and padding: a direct Length follows, so that
    // the object stays consistent when it is written elsewhere.
    if (auto* dictionary = dynamic_cast<TPDFDictionary*>(object.get()); dictionary && dictionary->StreamState())
      if (auto* length = dynamic_cast<TPDFInteger*>(dictionary->Find("Length")))
        length->Value = static_cast<int32_t>(dictionary->StreamData().size());
  }
  return object;
}

TPDFObject* TPDFReader::GetIndirectObj(int32_t number, int32_t generation) {
  if (number < 0 || generation < 0 || generation > 65535)
    RaisePDFReadError(0, Format("Unknown object/generation number: %d %d", number, generation));
  const int64_t key = cacheKey(number, generation);
  if (auto found = cache_.find(key); found != cache_.end()) return found->second.get();
  const TPDFXRefEntry* entry = FindXRefEntry(number, generation);
  if (!entry) return nullptr;
  switch (entry->Kind) {
    case 1: {
      // Offset 0 holds the header, never an object: some writers mark
      // objects they dropped this way. Such an object reads as null.
      if (entry->Value2 == 0) {
        Warning(Format("Object %d %d is in use at offset 0; it is read as null.", number, generation));
        return nullptr;
      }
      try {
        LoadGuard guard(loading_, key, number, generation);
        std::unique_ptr<TPDFObject> object = loadObject(number, generation, *entry);
        if (!object) return nullptr;
        return cacheObject(key, std::move(object));
      } catch (Exception& e) {
        const int32_t offset = entry->Value2;
        addObjectContext(e, Format("%d %d at offset %d of the file", number, generation, offset));
        throw;
      }
    }
    case 2: {
      // Objects in object streams all have generation 0.
      if (generation != 0) return nullptr;
      try {
        LoadGuard guard(loading_, key, number, generation);
        ParseObjectStream(entry->Value2);
        auto found = cache_.find(key);
        if (found == cache_.end()) RaisePDFReadError(0, "TPDFReader.GetIndirectObj: Object stream invalid");
        return found->second.get();
      } catch (Exception& e) {
        const int32_t stream = entry->Value2;
        addObjectContext(e, Format("%d 0 of object stream %d", number, stream));
        throw;
      }
    }
    default:
      RaisePDFReadError(0, Format("Unknown object/generation type: %d %d", number, generation));
  }
}

void TPDFReader::ParseObjectStream(int32_t number) {
  auto* stream = dynamic_cast<TPDFDictionary*>(GetIndirectObj(number, 0));
  if (!stream) RaisePDFReadError(0, "TPDFReader.GetIndirectObj: Object stream not found");
  stream->SetStreamState(2, this);
  auto* type = dynamic_cast<TPDFName*>(stream->GetObject(this, "Type"));
  if (!type || type->Name != "ObjStm") RaisePDFReadError(0, "TPDFReader.ParseObjectStream: Object stream invalid (1)");
  auto* n = dynamic_cast<TPDFInteger*>(stream->GetObject(this, "N"));
  if (!n) RaisePDFReadError(0, "TPDFReader.ParseObjectStream: Object stream invalid (2)");
  auto* first = dynamic_cast<TPDFInteger*>(stream->GetObject(this, "First"));
  if (!first) RaisePDFReadError(0, "TPDFReader.ParseObjectStream: Object stream invalid (3)");

  const TPDFBuffer& data = stream->StreamData();
  const int64_t size = static_cast<int64_t>(data.size());
  int32_t pos = 0;
  for (int32_t k = 0; k < n->Value; ++k) {
    int32_t objectNumber = -1;
    int64_t at = -1;
    std::unique_ptr<TPDFObject> object;
    try {
      SkipWhiteSpace(data, pos);
      objectNumber = EatInteger(data, pos, true);
      const int32_t offset = EatInteger(data, pos, true);
      at = static_cast<int64_t>(first->Value) + offset;
      if (at < 0 || at >= size) RaisePDFReadError(pos, "Object stream invalid (4)");
      // The offset may point at white space or a comment before the object.
      int32_t objectPos = static_cast<int32_t>(at);
      object = ParseObject(data, objectPos, true);
    } catch (Exception& e) {
      if (objectNumber < 0 || at < 0 || at >= size)
        addObjectContext(e, Format("stream %d, entry %d of its header", number, k));
      else
        addObjectContext(e, Format("%d 0 of object stream %d at offset %d of the decoded stream", objectNumber,
                                   number, static_cast<int32_t>(at)));
      throw;
    }
    const int64_t key = cacheKey(objectNumber, 0);
    if (cache_.count(key)) continue;
    // An object that a later update replaced keeps its newer version.
    const TPDFXRefEntry* entry = FindXRefEntry(objectNumber, 0);
    if (!entry || entry->Kind != 2 || entry->Value2 != number) continue;
    cacheObject(key, std::move(object));
  }
}

void TPDFReader::SaveToStream(TStream& stream) {
  if (!data_.empty()) stream.WriteBuffer(data_.data(), static_cast<Int64>(data_.size()));
}

TPDFDictionary* TPDFReader::GetPage(int32_t index) {
  if (index < 1 || index > pageCount_ || index > static_cast<int32_t>(pages_.size()))
    throw ERangeError("Page index out of range.");
  return pages_[index - 1];
}

int32_t TPDFReader::IndexOfPage(const TPDFDictionary* page) {
  for (size_t k = 0; k < pages_.size(); ++k)
    if (pages_[k] == page) return static_cast<int32_t>(k) + 1;
  return -1;
}

void TPDFReader::FindObjectNumber(const TPDFObject* object, int32_t& number, int32_t& generation) {
  number = 0;
  generation = -1;
  if (!object) return;
  auto found = cacheIndex_.find(object);
  if (found == cacheIndex_.end()) return;
  number = static_cast<int32_t>(found->second & 0xFFFFFFFF);
  generation = static_cast<int32_t>(found->second >> 32);
}

void TPDFReader::GetObjectNumberByIndex(int32_t index, int32_t& number, int32_t& generation) {
  if (index < 0 || index >= total_) throw ERangeError("Object index out of range.");
  size_t first = 0;
  if (xrefIndexed_ && !groupStarts_.empty()) {
    // The last group that starts at or before the index.
    first = static_cast<size_t>(std::upper_bound(groupStarts_.begin(), groupStarts_.end(), int64_t(index)) -
                                groupStarts_.begin() - 1);
    index -= static_cast<int32_t>(groupStarts_[first]);
  }
  for (size_t k = first; k < xrefGroups_.size(); ++k) {
    const TPDFXRefGroup& group = xrefGroups_[k];
    const int32_t count = static_cast<int32_t>(group.Entries.size());
    if (index >= count) {
      index -= count;
      continue;
    }
    const TPDFXRefEntry& entry = group.Entries[index];
    number = group.First + index;
    switch (entry.Kind) {
      case 0:
      case 1: generation = entry.Value1; return;
      case 2: generation = 0; return;
      default: throw Exception("Object of unknown kind.");
    }
  }
  throw ERangeError("Object index out of range.");
}

// ---------------------------------------------------------------------------
// Page tree

namespace {

std::string nodeKind(TPDFCollection* collection, const TPDFDictionary& node) {
  if (node.Find("Type")) return node.GetName(collection, "Type");
  // A page's Contents is optional in the standard but usual; a node without
  // Type is taken for a page when it has some.
  if (node.Find("Contents")) return "Page";
  if (node.Find("Kids")) return "Pages";
  return {};
}

}  // namespace

void TPDFReader::loadPageTree() {
  TPDFDictionary* root = GetCatalog();
  TPDFDictionary* pages = root->GetRequiredDictionary(this, "Pages", "Pages");
  pageCount_ = pages->GetRequiredObject<TPDFInteger>(this, "Count")->Value;

  // Depth first, Kids in order, without recursion so that a deep tree cannot
  // exhaust the stack; a node met twice ends the walk.
  struct Frame {
    TPDFDictionary* node;
    TPDFArray* kids;
    int32_t next;
  };
  std::vector<Frame> stack;
  std::unordered_set<const TPDFDictionary*> seen;
  auto visit = [&](TPDFDictionary* node) {
    if (!seen.insert(node).second) {
      for (const Frame& frame : stack)
        if (frame.node == node) RaisePDFReadError(0, "Page tree contains a cycle");
      RaisePDFReadError(0, "Page tree node is used more than once");
    }
    const std::string kind = nodeKind(this, *node);
    if (kind == "Pages") {
      stack.push_back({node, node->GetRequiredObject<TPDFArray>(this, "Kids"), 0});
    } else if (kind == "Page") {
      if (static_cast<int32_t>(pages_.size()) >= pageCount_) RaisePDFReadError(0, "Too many pages");
      pages_.push_back(node);
    } else {
      Warning("Invalid dictionary type in page tree");
    }
  };
  visit(pages);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next >= frame.kids->Count()) {
      stack.pop_back();
      continue;
    }
    const int32_t index = frame.next++;
    visit(frame.kids->GetRequiredDictionary(this, index));
  }
  if (static_cast<int32_t>(pages_.size()) != pageCount_) RaisePDFReadError(0, "Page count is invalid");
}

// ---------------------------------------------------------------------------
// Name trees

TPDFObject* TPDFReader::FindInNameTree(std::string_view treeName, std::string_view key) {
  TPDFDictionary* names = GetCatalog()->GetDictionary(this, "Names");
  if (!names) return nullptr;
  TPDFDictionary* tree = names->GetDictionary(this, treeName);
  if (!tree) return nullptr;

  struct Frame {
    TPDFDictionary* node;
    int32_t next;
  };
  std::vector<Frame> stack;
  std::unordered_set<const TPDFDictionary*> seen;
  auto search = [&](TPDFDictionary* node) -> TPDFObject* {
    if (!seen.insert(node).second) {
      for (const Frame& frame : stack)
        if (frame.node == node) RaisePDFReadError(0, "Name tree contains a cycle");
      return nullptr;  // searched before without a hit
    }
    if (node->Find("Kids")) {
      stack.push_back({node, 0});
      return nullptr;
    }
    auto* pairs = node->GetObject<TPDFArray>(this, "Names");
    if (!pairs) return nullptr;
    for (int32_t k = 0; k + 1 < pairs->Count(); k += 2) {
      auto* name = dynamic_cast<TPDFString*>(pairs->GetObject(this, k));
      if (!name) return nullptr;
      if (name->Data == key) return pairs->GetObject(this, k + 1);
    }
    return nullptr;
  };
  if (TPDFObject* hit = search(tree)) return hit;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    auto* kids = frame.node->GetObject<TPDFArray>(this, "Kids");
    if (!kids || frame.next >= kids->Count()) {
      stack.pop_back();
      continue;
    }
    const int32_t index = frame.next++;
    if (TPDFDictionary* kid = kids->GetDictionary(this, index))
      if (TPDFObject* hit = search(kid)) return hit;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Inherited page attributes

namespace {

// Calls test for the page and then each ancestor until it returns true; a
// Parent chain that loops ends at the first node met again.
template <class Test>
bool walkUp(TPDFCollection* collection, int32_t pageIndex, Test test) {
  TPDFDictionary* node = collection->GetPage(pageIndex);
  std::unordered_set<const TPDFDictionary*> seen;
  while (node && seen.insert(node).second) {
    if (test(*node)) return true;
    node = node->GetDictionary(collection, "Parent", "Pages");
  }
  return false;
}

bool readBox(TPDFCollection* collection, const TPDFDictionary& node, std::string_view key, TPDFBox& box) {
  auto* array = dynamic_cast<TPDFArray*>(node.GetObject(collection, key));
  if (!array || array->Count() != 4) return false;
  float values[4];
  for (int32_t k = 0; k < 4; ++k) {
    auto* number = dynamic_cast<TPDFNumeric*>(array->GetObject(collection, k));
    if (!number) return false;
    values[k] = static_cast<float>(number->AsFloat());
  }
  box.Bottom = values[1];
  box.Left = values[0];
  box.Top = values[3];
  box.Right = values[2];
  return true;
}

}  // namespace

bool TPDFCollection::GetMediaBox(int32_t pageIndex, TPDFBox& box) {
  return walkUp(this, pageIndex, [&](const TPDFDictionary& node) { return readBox(this, node, "MediaBox", box); });
}

bool TPDFCollection::GetCropBox(int32_t pageIndex, TPDFBox& box) {
  if (walkUp(this, pageIndex, [&](const TPDFDictionary& node) { return readBox(this, node, "CropBox", box); }))
    return true;
  return GetMediaBox(pageIndex, box);
}

bool TPDFCollection::GetRotate(int32_t pageIndex, int32_t& rotate) {
  rotate = 0;
  return walkUp(this, pageIndex, [&](const TPDFDictionary& node) {
    auto* value = dynamic_cast<TPDFInteger*>(node.GetObject(this, "Rotate"));
    if (!value || (value->Value != 0 && value->Value != 90 && value->Value != 180 && value->Value != 270))
      return false;
    rotate = value->Value;
    return true;
  });
}

}  // namespace px
