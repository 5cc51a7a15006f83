// glyphgen: turns glyph-name lists ("name;XXXX XXXX" lines, "#" comments)
// into the compact glyph-list resource, zlib-compressed:
//   byte 1 (format version), then per entry a head byte (name length x 4 +
//   code points - 1), the name (either literally, or a byte 0..31 giving the
//   characters shared with the previous name followed by the rest), and the
//   code points as 16-bit little-endian values; a 0 byte ends the list.
//   glyphgen OUT LIST...
#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

int fail(const std::string& message) {
  std::cerr << "glyphgen: " << message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return fail("usage: glyphgen OUT LIST...");
  std::map<std::string, std::vector<unsigned>> glyphs;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i]);
    if (!in) return fail(std::string("cannot open ") + argv[i]);
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      size_t semi = line.find(';');
      if (semi == std::string::npos) return fail("bad line: " + line);
      std::string name = line.substr(0, semi);
      std::istringstream codes(line.substr(semi + 1));
      std::vector<unsigned> points;
      std::string hex;
      while (codes >> hex) points.push_back(unsigned(std::stoul(hex, nullptr, 16)));
      if (name.empty() || name.size() > 63 || points.empty() || points.size() > 4) return fail("unusable entry: " + line);
      for (unsigned p : points)
        if (p > 0xFFFF) return fail("code point beyond 16 bits: " + line);
      glyphs.emplace(name, points);  // the first list that names a glyph wins
    }
  }
  std::string data(1, '\x01');
  std::string previous;
  for (const auto& [name, points] : glyphs) {
    data += char(name.size() * 4 + points.size() - 1);
    size_t shared = 0;
    while (shared < 31 && shared < name.size() && shared < previous.size() && name[shared] == previous[shared]) ++shared;
    if (shared > 0 && shared < name.size()) {
      data += char(shared);
      data += name.substr(shared);
    } else {
      data += name;
    }
    for (unsigned p : points) {
      data += char(p & 0xFF);
      data += char(p >> 8);
    }
    previous = name;
  }
  data += '\0';
  if (data.size() > 0x1FFFF) return fail("the list exceeds 0x1FFFF bytes");
  uLongf size = compressBound(data.size());
  std::string packed(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(data.data()), data.size(),
                Z_BEST_COMPRESSION) != Z_OK)
    return fail("compression failed");
  packed.resize(size);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(packed.data(), std::streamsize(packed.size()));
  if (!out) return fail(std::string("cannot write ") + argv[1]);
  std::cout << glyphs.size() << " glyphs, " << data.size() << " bytes\n";
  return 0;
}
