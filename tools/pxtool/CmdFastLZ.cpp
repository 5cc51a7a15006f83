// pxtool fastlz compress IN OUT
// pxtool fastlz decompress IN OUT SIZE
// Runs the viewer's fast compressor over a file and prints its result code
// (the number of bytes written, or a negative error code). OUT is written
// only on success; decompression has room for SIZE bytes.
#include <ostream>
#include <string>
#include <vector>

#include "PxTool.h"
#include "platform/core/NumberConversion.h"
#include "platform/core/Streams.h"
#include "pdf/UnitFastCompressor.h"

namespace px::pxtool {
namespace {

void writeFile(const std::string& name, const Byte* data, int32_t size) {
  SaveFileAtomically(name, [&](TStream& stream) { stream.Write(data, size); });
}

int runFastLZ(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 3 && args[0] == "compress") {
    const std::string input = ReadFileToString(args[1]);
    std::vector<Byte> packed(static_cast<size_t>(FastCompressBound(static_cast<int64_t>(input.size()))));
    auto table = AllocFastHashTable();
    const auto* src = reinterpret_cast<const Byte*>(input.data());
    const int32_t result = FastCompress(src, src + input.size(), packed.data(),
                                        static_cast<int64_t>(packed.size()), *table);
    if (result >= 0) writeFile(args[2], packed.data(), result);
    out << result << "\n";
    return result >= 0 ? 0 : 1;
  }
  if (args.size() == 4 && args[0] == "decompress") {
    int32_t size = 0;
    if (!TryStrToInt(args[3], size) || size < 0) {
      err << "fastlz decompress: SIZE must be a number of bytes\n";
      return 2;
    }
    const std::string input = ReadFileToString(args[1]);
    std::vector<Byte> output(static_cast<size_t>(size));
    const auto* src = reinterpret_cast<const Byte*>(input.data());
    const int32_t result = FastDecompress(src, src + input.size(), output.data(), output.data() + output.size());
    if (result >= 0) writeFile(args[2], output.data(), result);
    out << result << "\n";
    return result >= 0 ? 0 : 1;
  }
  return usageError(err);
}

const PxCommand fastlzCommand("fastlz", "fastlz compress IN OUT | fastlz decompress IN OUT SIZE", runFastLZ);

}  // namespace
}  // namespace px::pxtool
