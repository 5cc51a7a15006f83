// dsgen: turns a table in tab-separated text (see DataSetText.h) into the
// binary dataset stream format, optionally zlib-compressed, for resources
// made at build time; with --old, into the old dataset stream format of the
// program's dataset files, enciphered with KEY when given.
//   dsgen [--name NAME] [--deflate] IN.tsv OUT
//   dsgen --old [--key KEY] IN.tsv OUT
#include <zlib.h>

#include <fstream>
#include <iostream>

#include "DataSetText.h"
#include "DataSetWriter.h"
#include "data/UnitDataSetIOOld.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"

int main(int argc, char** argv) {
  std::string name, in, out;
  bool deflate = false, old = false;
  std::string key;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--name" && i + 1 < argc)
      name = argv[++i];
    else if (a == "--deflate")
      deflate = true;
    else if (a == "--old")
      old = true;
    else if (a == "--key" && i + 1 < argc)
      key = argv[++i];
    else if (in.empty())
      in = a;
    else if (out.empty())
      out = a;
    else
      in.clear(), i = argc;
  }
  if (in.empty() || out.empty()) {
    std::cerr << "usage: dsgen [--name NAME] [--deflate] IN.tsv OUT | dsgen --old [--key KEY] IN.tsv OUT\n";
    return 2;
  }
  try {
    std::ifstream text(in, std::ios::binary);
    if (!text) throw px::EFOpenError("Cannot open file \"" + in + "\".");
    if (old) {
      px::SaveDataSetToFile(out, px::dstext::ReadTable(text, name), key);
      return 0;
    }
    std::string bytes = px::dsgen::EncodeDataSet(*px::dstext::ReadTable(text, name));
    if (deflate) {
      uLongf size = compressBound(bytes.size());
      std::string packed(size, '\0');
      if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                    bytes.size(), Z_BEST_COMPRESSION) != Z_OK)
        throw px::Exception("compression failed");
      packed.resize(size);
      bytes = std::move(packed);
    }
    px::SaveFileAtomically(out, [&](px::TStream& s) { s.WriteBuffer(bytes); });
  } catch (const px::Exception& e) {
    std::cerr << "dsgen: " << e.Message() << "\n";
    return 1;
  }
  return 0;
}
