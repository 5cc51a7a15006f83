#include "pdf/UnitPDFParserWriter.h"
#include "pdf/UnitPDFStreams.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <exception>
#include <thread>

#include "pdf/UnitPDFCrypto.h"
#include "pdf/UnitPDFUtilities.h"
#include "platform/core/CodePages.h"
#include "platform/core/Guid.h"

namespace px {
namespace {

const char* const HeaderTail = "\n%\xE2\xE3\xCF\xD3\n";

void put(TStream& stream, std::string_view text) { stream.WriteBuffer(text); }

std::string pad(int64_t value, int width) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", width, static_cast<long long>(value));
  return buffer;
}

// Where each object ended up: at an offset of its own, or inside an object
// stream at an index.
struct XRefEntry {
  int64_t offset = 0;
  int32_t objectStream = 0;
  int32_t index = 0;
};

// Escapes the markup characters of UTF-8 text and leaves out what XML 1.0
// cannot carry at all (controls other than tab, line feed and carriage return;
// U+FFFE and U+FFFF), so that any Info string gives a well-formed packet.
std::string xmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
    if (text.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < text.size() &&
        (text[i + 2] == '\xBE' || text[i + 2] == '\xBF')) {
      i += 2;
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string guidText(const std::string& bytes) {
  std::string text = TGUID::FromBytes(reinterpret_cast<const uint8_t*>(bytes.data())).ToString();
  text = text.substr(1, text.size() - 2);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}


}  // namespace

TPDFWriter::TPDFWriter() : trailer_(std::make_unique<TPDFDictionary>()) {}
TPDFWriter::~TPDFWriter() = default;

int32_t TPDFWriter::AddObject(std::unique_ptr<TPDFObject> object) {
  Assert(object != nullptr, "TPDFWriter.AddObject: nil object");
  objects_.push_back(std::move(object));
  return static_cast<int32_t>(objects_.size());
}

int32_t TPDFWriter::ReserveObject() { return AddObject(std::make_unique<TPDFNull>()); }

void TPDFWriter::SetObject(int32_t number, std::unique_ptr<TPDFObject> object) {
  Assert(object != nullptr, "TPDFWriter.SetObject: nil object");
  Assert(number >= 1 && number <= GetObjectCount(), "TPDFWriter.SetObject: number out of range");
  objects_[number - 1] = std::move(object);
}

void TPDFWriter::DropObjectsFrom(int32_t number) {
  Assert(number >= 1, "TPDFWriter.DropObjectsFrom: number out of range");
  if (number <= GetObjectCount()) objects_.resize(static_cast<size_t>(number) - 1);
}

TPDFObject* TPDFWriter::GetIndirectObj(int32_t number, int32_t generation) {
  if (number < 1 || number > GetObjectCount() || generation != 0)
    throw Exception("TPDFWriter.Objects[]: Index out of range");
  return objects_[number - 1].get();
}

int32_t TPDFWriter::GetPageCount() {
  if (!trailer_->Find("Root")) return 0;
  auto* pages = GetCatalog()->GetDictionary(this, "Pages", "Pages");
  if (!pages || !pages->Find("Count")) return 0;
  return pages->GetInteger(this, "Count", 0);
}

void TPDFWriter::FindObjectNumber(const TPDFObject*, int32_t&, int32_t&) {
  Assert(false, "TPDFWriter.FindObjectNumber is not supported");
}

void TPDFWriter::GetObjectNumberByIndex(int32_t index, int32_t& number, int32_t& generation) {
  Assert(index >= 1 && index <= GetObjectCount(), "TPDFWriter.GetObjectNumberByIndex: index out of range");
  number = index;
  generation = 0;
}

void TPDFWriter::SetDocumentID(const std::string& id1, const std::string& id2) {
  if (TPDFObject* existing = trailer_->Find("ID")) {
    auto* array = dynamic_cast<TPDFArray*>(existing);
    if (!array || array->Count() != 2 || !dynamic_cast<TPDFString*>(array->GetItem(0)) ||
        !dynamic_cast<TPDFString*>(array->GetItem(1)))
      throw Exception("TPDFCollection: document ID is not correct.");
    static_cast<TPDFString*>(array->GetItem(0))->Data = id1;
    static_cast<TPDFString*>(array->GetItem(1))->Data = id2;
    return;
  }
  auto array = std::make_unique<TPDFArray>();
  array->Add(std::make_unique<TPDFHexString>(id1));
  array->Add(std::make_unique<TPDFHexString>(id2));
  trailer_->Add("ID", std::move(array));
}

std::string TPDFWriter::GetDocumentID() {
  auto* array = dynamic_cast<TPDFArray*>(trailer_->Find("ID"));
  if (!trailer_->Find("ID")) {
    auto a = TGUID::Create().ToBytes(), b = TGUID::Create().ToBytes();
    SetDocumentID(std::string(a.begin(), a.end()), std::string(b.begin(), b.end()));
    array = dynamic_cast<TPDFArray*>(trailer_->Find("ID"));
  }
  if (!array || array->Count() != 2 || !dynamic_cast<TPDFString*>(array->GetItem(0)) ||
      !dynamic_cast<TPDFString*>(array->GetItem(1)))
    throw Exception("TPDFCollection: Document ID is not correct.");
  return static_cast<TPDFString*>(array->GetItem(0))->Data;
}

void TPDFWriter::SetEncryption(const std::string& ownerPassword, const std::string& userPassword,
                               int32_t permissions, uint8_t kind) {
  ownerPassword_ = ownerPassword;
  userPassword_ = userPassword;
  permissions_ = permissions;
  encryptionKind_ = kind;
}

void TPDFWriter::WriteObject(int32_t number, int32_t generation, TStream& stream, TPDFCrypto* handler,
                             TPDFObject& object) {
  if (auto* dictionary = dynamic_cast<TPDFDictionary*>(&object); dictionary && dictionary->StreamState() == 2)
    dictionary->SetStreamState(1, this);
  if (number > 0) put(stream, std::to_string(number) + " " + std::to_string(generation) + " obj\n");
  if (handler) object.Encrypt(number, generation, handler);
  try {
    object.WriteTo(stream, this);
  } catch (...) {
    if (handler) object.Decrypt(number, generation, handler);
    throw;
  }
  if (handler) object.Decrypt(number, generation, handler);
  if (number > 0) put(stream, "endobj\n");
}

// Deflating font programs and images takes most of the time of a save. The
// large streams are encoded on a few threads before the objects are written:
// each encoding depends only on its own stream, so the file is byte for byte
// the one a sequential save writes. An encoding that fails fails the save
// before anything is written.
void TPDFWriter::encodeLargeStreams() {
  constexpr size_t MinParallelSize = 16384;
  constexpr unsigned MaxThreads = 4;
  std::vector<TPDFDictionary*> large;
  for (const auto& object : objects_)
    if (auto* dictionary = dynamic_cast<TPDFDictionary*>(object.get());
        dictionary && dictionary->StreamState() == 2 && dictionary->StreamData().size() >= MinParallelSize) {
      // A logo or font subset deflated for an earlier document is taken at
      // once: starting a thread for it would cost more than it saves.
      auto* filter = dictionary->GetObject<TPDFName>(this, "Filter");
      if (filter && filter->Name == "FlateDecode" && PDFFlateEncodingKept(dictionary->StreamData()))
        dictionary->SetStreamState(1, this);
      else
        large.push_back(dictionary);
    }
  if (large.empty()) return;
  const unsigned threads =
      std::min<unsigned>(static_cast<unsigned>(large.size()), std::clamp(std::thread::hardware_concurrency(), 1u, MaxThreads));
  std::vector<std::exception_ptr> errors(large.size());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t k = next++; k < large.size(); k = next++) {
      try {
        large[k]->SetStreamState(1, this);
      } catch (...) {
        errors[k] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> workers;
  for (unsigned t = 1; t < threads; ++t) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
}

void TPDFWriter::SaveToStream(TStream& stream) {
  encodeLargeStreams();
  if (OutputFormat == 0)
    saveClassic(stream);
  else if (OutputFormat == 1)
    saveCompressed(stream);
}

// Frees the handler and the Encrypt dictionary whether saving succeeds or not.
struct TPDFWriter::Encryption {
  std::unique_ptr<TPDFCrypto> handler;
  std::unique_ptr<TPDFDictionary> dictionary;
};

TPDFWriter::Encryption TPDFWriter::startEncryption(int32_t dictionaryNumber) {
  // The ID is set even for an unprotected save; a protected one also derives
  // its key from it.
  const std::string id = GetDocumentID();
  Encryption encryption;
  if (encryptionKind_ == 1 || encryptionKind_ == 2) {
    encryption.handler = CreateWriteHandler(ownerPassword_, userPassword_, id, permissions_, encryptionKind_);
    if (encryption.handler) {
      encryption.dictionary = encryption.handler->CreateEncryptDictionary();
      trailer_->Add("Encrypt", std::make_unique<TPDFReference>(dictionaryNumber, 0));
    }
  }
  return encryption;
}

void TPDFWriter::saveClassic(TStream& stream) {
  const int64_t start = stream.Position();
  int32_t count = GetObjectCount();
  put(stream, std::string("%PDF-1.3") + HeaderTail);
  Encryption encryption = startEncryption(count + 1);
  std::vector<int64_t> offsets;
  offsets.reserve(count + 1);
  for (int32_t n = 1; n <= count; ++n) {
    offsets.push_back(stream.Position() - start);
    WriteObject(n, 0, stream, encryption.handler.get(), *objects_[n - 1]);
  }
  if (encryption.dictionary) {
    offsets.push_back(stream.Position() - start);
    WriteObject(count + 1, 0, stream, nullptr, *encryption.dictionary);
    ++count;
  }
  const int64_t xref = stream.Position() - start;
  std::string table = "xref\n0 " + std::to_string(count + 1) + "\n0000000000 65535 f \n";
  for (int64_t offset : offsets) table += pad(offset, 10) + " 00000 n \n";
  put(stream, table);
  put(stream, "trailer\n");
  trailer_->Add("Size", std::make_unique<TPDFInteger>(count + 1));
  trailer_->WriteTo(stream, this);
  put(stream, "startxref\n" + std::to_string(xref) + "\n%%EOF\n");
}

void TPDFWriter::saveCompressed(TStream& stream) {
  constexpr int MaxObjectsPerStream = 255;
  const int64_t start = stream.Position();
  int32_t count = GetObjectCount();
  put(stream, std::string("%PDF-1.5") + HeaderTail);
  TPDFDictionary* root = trailer_->Find("Root") ? trailer_->GetDictionary(this, "Root", "Catalog") : nullptr;

  std::vector<XRefEntry> entries(count + 1);
  std::string header;
  TPDFBuffer body;
  int k = 0;
  auto closeStream = [&] {
    auto objectStream = std::make_unique<TPDFDictionary>("ObjStm");
    objectStream->Add("N", std::make_unique<TPDFInteger>(k - 1));
    objectStream->Add("First", std::make_unique<TPDFInteger>(static_cast<int32_t>(header.size())));
    objectStream->Add("Filter", std::make_unique<TPDFName>("FlateDecode"));
    TPDFBuffer data(header.begin(), header.end());
    data.insert(data.end(), body.begin(), body.end());
    objectStream->SetStreamData(2, std::move(data));
    AddObject(std::move(objectStream));
    entries.emplace_back();
    header.clear();
    body.clear();
    k = 0;
  };
  for (int32_t n = 1; n <= count; ++n) {
    TPDFObject& object = *objects_[n - 1];
    if (!object.CanStoreInObjectStream() || &object == root) continue;
    if (k == 0) k = 1;
    header += std::to_string(n) + " " + std::to_string(body.size()) + " ";
    TPDFBufferStream bodyStream(body);
    bodyStream.Seek(0, soEnd);
    WriteObject(-1, -1, bodyStream, nullptr, object);
    entries[n].objectStream = GetObjectCount() + 1;
    entries[n].index = k - 1;
    if (++k > MaxObjectsPerStream) closeStream();
  }
  if (k > 0) closeStream();
  count = GetObjectCount();

  Encryption encryption = startEncryption(count + 1);
  for (int32_t n = 1; n <= count; ++n) {
    if (entries[n].objectStream != 0) continue;
    entries[n].offset = stream.Position() - start;
    WriteObject(n, 0, stream, encryption.handler.get(), *objects_[n - 1]);
  }
  if (encryption.dictionary) {
    entries.emplace_back();
    entries.back().offset = stream.Position() - start;
    WriteObject(count + 1, 0, stream, nullptr, *encryption.dictionary);
    ++count;
  }
  const int32_t xrefNumber = count + 1;
  const int64_t xrefOffset = stream.Position() - start;
  entries.emplace_back();
  entries.back().offset = xrefOffset;
  // The middle field holds offsets and object-stream numbers: its width
  // follows the larger of the two.
  const int64_t largest = std::max<int64_t>(xrefOffset, xrefNumber);
  const int width = largest < 256 ? 1 : largest < 65536 ? 2 : largest < 16777216 ? 3 : 4;

  trailer_->Add("Type", std::make_unique<TPDFName>("XRef"));
  trailer_->Add("Size", std::make_unique<TPDFInteger>(xrefNumber + 1));
  trailer_->Add("Filter", std::make_unique<TPDFName>("FlateDecode"));
  trailer_->Add("W", TPDFArray::Of(1, width, 1));
  TPDFBuffer data;
  data.reserve(static_cast<size_t>(xrefNumber + 1) * (width + 2));
  auto field = [&](int64_t value) {
    for (int i = width - 1; i >= 0; --i) data.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  for (int32_t n = 0; n <= xrefNumber; ++n) {
    if (n == 0) {
      data.push_back(0);
      field(0);
      data.push_back(0xFF);
    } else if (entries[n].objectStream != 0) {
      data.push_back(2);
      field(entries[n].objectStream);
      data.push_back(static_cast<uint8_t>(entries[n].index));
    } else {
      data.push_back(1);
      field(entries[n].offset);
      data.push_back(0);
    }
  }
  trailer_->SetStreamData(2, std::move(data));
  WriteObject(xrefNumber, 0, stream, nullptr, *trailer_);
  put(stream, "startxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n");
}

void TPDFWriter::AddMetadata(uint8_t mode) {
  if (mode == 2 || mode == 3)
    throw EPDFException("TPDFWriter.AddMetadata: PDF/A identification is not offered.");
  if (mode != 1) return;
  auto q = [](const char* uri) { return std::string("\"") + uri + "\""; };
  std::string packet = std::string("<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>") +
                       "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"Adobe XMP Core 4.0-c316 44.253921,    Sun "
                       "Oct 01 2006 17:14:39\"><rdf:RDF xmlns:rdf=" +
                       q("http://www.w3.org/1999/02/22-rdf-syntax-ns#") + ">";
  if (auto* info = trailer_->GetObject<TPDFDictionary>(this, "Info")) {
    auto text = [&](const char* key) {
      auto* value = dynamic_cast<TPDFString*>(info->GetObject(this, key));
      return value ? xmlEscape(UnicodeToUtf8(value->AsUnicode())) : std::string();
    };
    std::string producer = text("Producer"), keywords = text("Keywords"), title = text("Title"),
                subject = text("Subject"), author = text("Author");
    if (!producer.empty() || !keywords.empty()) {
      packet += "<rdf:Description rdf:about=\"\" xmlns:pdf=" + q("http://ns.adobe.com/pdf/1.3/") + ">";
      if (!producer.empty()) packet += "<pdf:Producer>" + producer + "</pdf:Producer>";
      if (!keywords.empty()) packet += "<pdf:Keywords>" + keywords + "</pdf:Keywords>";
      packet += "</rdf:Description>";
    }
    if (auto* date = dynamic_cast<TPDFDateTime*>(info->GetObject(this, "CreationDate"))) {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", date->Year, date->Month, date->Day,
                    date->Hour, date->Minute, date->Second);
      std::string d = buffer;
      int offset = -date->Bias;
      if (offset == 0) {
        d += "Z";
      } else {
        std::snprintf(buffer, sizeof buffer, "%c%02d:%02d", offset > 0 ? '+' : '-', std::abs(offset) / 60,
                      std::abs(offset) % 60);
        d += buffer;
      }
      packet += "<rdf:Description rdf:about=\"\" xmlns:xap=" + q("http://ns.adobe.com/xap/1.0/") +
                "><xap:CreateDate>" + d + "</xap:CreateDate><xap:MetadataDate>" + d +
                "</xap:MetadataDate></rdf:Description>";
    }
    if (!subject.empty() || !author.empty() || !keywords.empty() || !title.empty()) {
      packet += "<rdf:Description rdf:about=\"\" xmlns:dc=" + q("http://purl.org/dc/elements/1.1/") +
                "><dc:format>application/pdf</dc:format>";
      if (!title.empty())
        packet += "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + title + "</rdf:li></rdf:Alt></dc:title>";
      if (!subject.empty())
        packet += "<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">" + subject +
                  "</rdf:li></rdf:Alt></dc:description>";
      if (!author.empty()) packet += "<dc:creator><rdf:Bag><rdf:li>" + author + "</rdf:li></rdf:Bag></dc:creator>";
      if (!keywords.empty())
        packet += "<dc:subject><rdf:Bag><rdf:li>" + keywords + "</rdf:li></rdf:Bag></dc:subject>";
      packet += "</rdf:Description>";
    }
  }
  if (auto* ids = dynamic_cast<TPDFArray*>(trailer_->Find("ID")); ids && ids->Count() > 1) {
    packet += "<rdf:Description rdf:about=\"\" xmlns:xapMM=" + q("http://ns.adobe.com/xap/1.0/mm/") + ">";
    auto* first = dynamic_cast<TPDFString*>(ids->GetItem(0));
    auto* second = dynamic_cast<TPDFString*>(ids->GetItem(1));
    if (first && first->Data.size() == 16)
      packet += "<xapMM:DocumentID>uuid:" + guidText(first->Data) + "</xapMM:DocumentID>";
    if (second && second->Data.size() == 16)
      packet += "<xapMM:InstanceID>uuid:" + guidText(second->Data) + "</xapMM:InstanceID>";
    packet += "</rdf:Description>";
  }
  packet += "</rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";
  auto metadata = TPDFDictionary::FromStreamData(packet);
  metadata->Add("Type", std::make_unique<TPDFName>("Metadata"));
  metadata->Add("Subtype", std::make_unique<TPDFName>("XML"));
  int32_t number = AddObject(std::move(metadata));
  GetCatalog()->Add("Metadata", std::make_unique<TPDFReference>(number, 0));
}

}  // namespace px
