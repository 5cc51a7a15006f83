#pragma once
// TPDFLinkedDocument: pages of an existing, read PDF document drawn into a
// document being written. One object per source document copies every object
// a page's resources need into the writer (each source object once, however
// often its pages are drawn), gives the imported resources new names in the
// target page and rewrites the page's content to use those names.
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pdf/UnitPDFParser.h"
#include "pdf/UnitPDFParserWriter.h"

namespace px {

class TPDFLinkedDocument : public TPDFLinker {
 public:
  // Neither is owned; both are required. Name only appears in messages.
  TPDFLinkedDocument(TPDFWriter* writer, TPDFCollection* source, std::string name = {});

  // Imports page PageIndex (0-based) of the source: its resources go into
  // TargetResources under the names "X" + NameCounter on (the counter is
  // advanced), and Content receives Prefix, the rewritten page content and
  // Suffix (nothing at all for a page without content). When anything
  // fails, the target resources are as before and the objects copied for
  // this import are gone again.
  void ImportPage(const std::string& prefix, const std::string& suffix, std::string& content,
                  TPDFDictionary* targetResources, int32_t& nameCounter, int32_t pageIndex);

  // The number in the writer of the copy of a source object, copied on first
  // use.
  int32_t MapReference(const TPDFReference& reference) override;

  // Enters every resource of Source in Target under a new name and builds
  // the rename list. Uses and advances NameCounter.
  void MergeResources(TPDFDictionary* source, TPDFDictionary* target);
  // The content with every resource name of the rename list replaced.
  std::string RewriteContent(const TPDFBuffer& data);

  TPDFCollection* Source() const { return source_; }
  // The counter MergeResources takes its names from.
  int32_t NameCounter = 1;
  // (old name, new name) of the last merge, in the order given out.
  const std::vector<std::pair<std::string, std::string>>& Renames() const { return renames_; }
  // Source objects copied so far.
  int32_t CopiedObjects() const { return static_cast<int32_t>(map_.size()); }

 private:
  // Copies the objects reserved by MapReference until none is left.
  void copyPending();
  std::unique_ptr<TPDFObject> copyObject(const TPDFObject& object);
  // The end of an inline image's data (the index behind its "EI"); start is
  // the first data byte, dictionary the bytes between BI and ID.
  int32_t inlineImageEnd(const TPDFBuffer& data, int32_t dictionaryStart, int32_t dictionaryEnd, int32_t start);
  int32_t componentsOf(TPDFObject* colorSpace, int depth);

  TPDFWriter* writer_;
  TPDFCollection* source_;
  std::string name_;
  std::unordered_map<int64_t, int32_t> map_;
  // Source objects (number, generation) whose reserved target numbers
  // still wait for their copies.
  struct Pending {
    int32_t Number, Generation, Target;
  };
  std::vector<Pending> pending_;
  bool copying_ = false;
  // Keys entered in the map by the import under way, removed if it fails.
  std::vector<int64_t> added_;
  std::vector<std::pair<std::string, std::string>> renames_;
  std::unordered_map<std::string, std::string> renameIndex_;
  // The resources of the page being imported (for named colour spaces of
  // inline images); nil outside an import.
  TPDFDictionary* sourceResources_ = nullptr;
  std::string output_;
};

}  // namespace px
