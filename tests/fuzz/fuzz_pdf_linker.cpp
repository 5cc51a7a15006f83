// Merges arbitrary resources and rewrites arbitrary content as a page import
// does. The input is a resource dictionary, a line "--" and the content; the
// resources may refer to objects 1 to 3 of a small source document (two of
// them refer to each other).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pdf/UnitPDFLinkedDocument.h"
#include "pdf/UnitPDFUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace px;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find("\n--\n");
  const std::string_view resourcesText = input.substr(0, split);
  const std::string_view contentText = split == std::string_view::npos ? std::string_view() : input.substr(split + 4);

  TPDFWriter source;
  TPDFBuffer objects[] = {TPDFBuffer{'<', '<', '/', 'N', ' ', '2', ' ', '0', ' ', 'R', '>', '>'},
                          TPDFBuffer{'<', '<', '/', 'N', ' ', '1', ' ', '0', ' ', 'R', '>', '>'}};
  for (const TPDFBuffer& text : objects) {
    int32_t pos = 0;
    source.AddObject(ParseObject(text, pos, true));
  }
  source.AddObject(TPDFDictionary::FromStreamData("0 0 m"));

  TPDFWriter target;
  TPDFLinkedDocument linked(&target, &source, "fuzz");
  TPDFDictionary targetResources;
  try {
    TPDFBuffer text(resourcesText.begin(), resourcesText.end());
    int32_t pos = 0;
    auto resources = ParseObject(text, pos, true);
    if (auto* dictionary = dynamic_cast<TPDFDictionary*>(resources.get()))
      linked.MergeResources(dictionary, &targetResources);
  } catch (const Exception&) {
  }
  try {
    TPDFBuffer content(contentText.begin(), contentText.end());
    (void)linked.RewriteContent(content);
  } catch (const Exception&) {
  }
  return 0;
}
