#pragma once
// TPDFReader: an existing PDF file held in memory. The cross-reference
// information (tables, streams, hybrid files, update chains) and the page tree
// are read when the reader is created; indirect objects are parsed on demand
// into a cache that owns them until the reader is freed.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "pdf/UnitPDFCrypto.h"
#include "pdf/UnitPDFParser.h"

namespace px {

#pragma pack(push, 1)
struct TPDFXRefEntry {
  // 0 free, 1 in use, 2 in an object stream, 3 any other kind.
  uint8_t Kind = 0;
  // The generation (kinds 0 and 1) or the index in the object stream (kind 2).
  int32_t Value1 = 0;
  // The byte offset (kind 1), the object stream's number (kind 2) or the next
  // free object (kind 0).
  int32_t Value2 = 0;
};
#pragma pack(pop)
static_assert(sizeof(TPDFXRefEntry) == 9);

using TPDFXRefEntries = std::vector<TPDFXRefEntry>;

struct TPDFXRefGroup {
  int32_t First = 0;
  int32_t Last = -1;
  TPDFXRefEntries Entries;
};
using TPDFXRefGroups = std::vector<TPDFXRefGroup>;

class TPDFReader : public TPDFCollection {
 public:
  // Reads size bytes from the stream's position (everything up to its end
  // when size < 0) and indexes the document.
  TPDFReader(TStream& stream, Int64 size = -1);
  explicit TPDFReader(const std::string& fileName);
  // Takes the bytes of a whole file.
  explicit TPDFReader(TPDFBuffer data);
  ~TPDFReader() override;

  TPDFObject* GetIndirectObj(int32_t number, int32_t generation) override;
  int32_t GetPageCount() override { return pageCount_; }
  TPDFDictionary* GetTrailer() override { return trailer_.get(); }
  int32_t GetObjectCount() override { return total_; }
  void SaveToStream(TStream& stream) override;
  // Raises ERangeError "Page index out of range." outside 1..PageCount.
  TPDFDictionary* GetPage(int32_t index) override;
  int32_t IndexOfPage(const TPDFDictionary* page) override;
  void FindObjectNumber(const TPDFObject* object, int32_t& number, int32_t& generation) override;
  // Raises ERangeError "Object index out of range." outside 0..Total-1.
  void GetObjectNumberByIndex(int32_t index, int32_t& number, int32_t& generation) override;

  // Parses every object of an object stream into the cache.
  void ParseObjectStream(int32_t number);
  // The value for a string key in one of the catalog's name trees, or nil.
  TPDFObject* FindInNameTree(std::string_view treeName, std::string_view key);

  const TPDFBuffer& Data() const { return data_; }
  int32_t MinorVersion() const { return minorVersion_; }
  const TPDFXRefGroups& XRefGroups() const { return xrefGroups_; }
  // The handler of an encrypted document, or nil.
  TPDFCrypto* SecurityHandler() const { return securityHandler_.get(); }
  int32_t BodyStart() const { return bodyStart_; }
  // The cross-reference entry that a lookup of (number, generation) uses, or
  // nil when no subsection holds the number in use.
  const TPDFXRefEntry* FindXRefEntry(int32_t number, int32_t generation) const;

 private:
  void readDocument();
  // Read one section each and add the sections it points to to pending.
  void eatXRefTable(int32_t pos, std::vector<int32_t>& pending);
  void eatXRefStream(int32_t pos, std::vector<int32_t>& pending);
  void eatXRefSection(int32_t pos);
  bool enterSection(int32_t pos);
  void eatStream(TPDFDictionary& dictionary, int32_t& pos);
  void addXRefGroup(TPDFXRefGroup group);
  void indexXRefGroups();
  void loadPageTree();
  void readCatalogVersion();
  TPDFObject* cacheObject(int64_t key, std::unique_ptr<TPDFObject> object);
  std::unique_ptr<TPDFObject> loadObject(int32_t number, int32_t generation, const TPDFXRefEntry& entry);

  TPDFBuffer data_;
  int32_t minorVersion_ = 0;
  TPDFXRefGroups xrefGroups_;
  int32_t total_ = 0;
  // Built once every section is read, so that a lookup does not walk every
  // subsection (files that give each object a subsection of its own have as
  // many as objects): the groups by First with the largest Last up to each,
  // and where each group's entries start in the count over all groups.
  bool xrefIndexed_ = false;
  std::vector<int32_t> groupsByFirst_;
  std::vector<int32_t> maxLastUpTo_;
  std::vector<int64_t> groupStarts_;
  std::unique_ptr<TPDFDictionary> trailer_;
  std::unordered_map<int64_t, std::unique_ptr<TPDFObject>> cache_;
  std::unordered_map<const TPDFObject*, int64_t> cacheIndex_;
  std::vector<TPDFDictionary*> pages_;
  int32_t pageCount_ = 0;
  std::unique_ptr<TPDFCrypto> securityHandler_;
  int32_t bodyStart_ = 0;
  // Cross-reference sections already read, so that a chain that loops ends.
  std::unordered_set<int32_t> visitedSections_;
  // Objects being loaded right now, so that an object whose loading needs
  // itself fails instead of recursing.
  std::unordered_set<int64_t> loading_;
};

}  // namespace px
