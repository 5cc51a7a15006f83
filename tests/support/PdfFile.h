#pragma once
// A whole PDF file written around hand-made objects: the objects' texts are
// numbered 1, 2, ... (object 1 is the catalog) and the classic cross-reference
// table and trailer are computed, so tests only write the objects.
#include <cstdio>
#include <string>
#include <vector>

namespace px::test {

inline std::string PdfFileOfObjects(const std::vector<std::string>& objects,
                                    const std::string& header = "%PDF-1.4\n") {
  std::string file = header;
  std::vector<size_t> offsets;
  for (size_t k = 0; k < objects.size(); ++k) {
    offsets.push_back(file.size());
    file += std::to_string(k + 1) + " 0 obj\n" + objects[k] + "\nendobj\n";
  }
  const size_t xref = file.size();
  file += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
  for (size_t offset : offsets) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    file += line;
  }
  file += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
          std::to_string(xref) + "\n%%EOF\n";
  return file;
}

}  // namespace px::test
