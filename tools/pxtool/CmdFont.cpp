// pxtool font info FACE|FILE [--bold] [--italic]
// pxtool font advances FACE|FILE TEXT
// pxtool font outline FACE|FILE GID
// pxtool font rebuild [--embedding] IN OUT
// pxtool font encoding NAME [--font BASEFONT]
// pxtool font map BASEFONT
// A FACE goes through the font resolver; an existing FILE is read as bytes and
// registered as a private face for the command's run.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "PxTool.h"
#include "pdf/UnitFontConstants.h"
#include "pdf/UnitFontInformation.h"
#include "pdf/UnitPDFFontMapper.h"
#include "platform/core/CodePages.h"
#include "platform/core/Streams.h"

namespace px::pxtool {
namespace {

TBytes readFile(const std::string& path) {
  TMemoryStream s;
  s.LoadFromFile(path);
  return TBytes(s.Memory(), s.Memory() + s.Size());
}

// The font a FACE or FILE argument names, loaded with the given flags.
class FontArg {
 public:
  FontArg(const std::string& arg, bool bold, bool italic, uint32_t flags) {
    if (std::filesystem::is_regular_file(arg)) {
      TBytes bytes = readFile(arg);
      auto faces = ParseFontFaces(std::make_shared<TBytes>(bytes));
      if (faces.empty()) throw Exception("font: " + arg + " holds no TrueType or CFF face");
      handle_ = AddFontMemResource(bytes.data(), bytes.size());
      path_ = arg;
      info_ = std::make_unique<TFontInformation>(LogFontForFace(*faces[0]), flags);
    } else {
      info_ = std::make_unique<TFontInformation>(arg, bold ? FW_BOLD : FW_NORMAL, italic, flags);
    }
  }
  ~FontArg() {
    info_.reset();
    if (handle_) RemoveFontMemResource(handle_);
  }
  const TFontInformation& Info() const { return *info_; }
  std::string Path() const { return handle_ ? path_ : Info().Face()->File; }

 private:
  uint32_t handle_ = 0;
  std::string path_;
  std::unique_ptr<TFontInformation> info_;
};

std::string hex4(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

int runInfo(const Args& args, std::ostream& out, std::ostream& err) {
  std::string face;
  bool bold = false, italic = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--bold") bold = true;
    else if (args[i] == "--italic") italic = true;
    else if (face.empty()) face = args[i];
    else return usageError(err);
  }
  if (face.empty()) return usageError(err);
  FontArg font(face, bold, italic, fiAll);
  const TFontInformation& f = font.Info();
  out << "file " << font.Path() << ' ' << f.Face()->Index << ' ' << f.Face()->Format << '\n';
  for (size_t id = 0; id < f.Names.size(); ++id) {
    std::string name = UnicodeToUtf8(f.Names[id]);
    for (size_t at = 0; (at = name.find('\n', at)) != std::string::npos; at += 2) name.replace(at, 1, "\\n");
    out << "name " << id << ' ' << name << '\n';
  }
  out << "upem " << f.UnitsPerEm << " glyphs " << f.NumGlyphs << " hmetrics " << f.NumberOfHMetrics << '\n';
  out << "measured " << f.CapHeight << ' ' << f.XHeight << ' ' << f.StemV << ' ' << f.StemH << '\n';
  return 0;
}

int runAdvances(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 3) return usageError(err);
  FontArg font(args[1], false, false, fiBasic | fiWidths | fiKerning);
  const TFontInformation& f = font.Info();
  UnicodeString text = Utf8ToUnicode(args[2]);
  auto advances = f.TextAdvances(text, f.UnitsPerEm, 0);
  for (size_t i = 0; i < text.size(); ++i)
    out << "U+" << hex4(text[i]) << ' ' << f.GlyphIndex(text[i]) << ' ' << advances[i] << '\n';
  return 0;
}

int runOutline(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 3) return usageError(err);
  FontArg font(args[1], false, false, fiBasic);
  TEvaluatedGlyph g = font.Info().GlyphOutline(uint32_t(std::stoul(args[2])));
  for (const TEvaluatedContour& c : g.Contours) {
    for (const TEvaluatedPoint& p : c) out << p.X << ' ' << p.Y << ' ' << int(p.OnCurve) << '\n';
    out << '\n';
  }
  return 0;
}

int runRebuild(const Args& args, std::ostream& out, std::ostream& err) {
  bool embedding = args.size() == 4 && args[1] == "--embedding";
  if (args.size() != (embedding ? 4u : 3u)) return usageError(err);
  const std::string& in = args[embedding ? 2 : 1];
  const std::string& target = args[embedding ? 3 : 2];
  TBytes bytes = readFile(in);
  TTFontTables tables = ParseTableDirectory(bytes);
  if (tables.empty()) {
    err << "font rebuild: " << in << " is not a TrueType file\n";
    return 1;
  }
  if (embedding) KeepEmbeddingTables(tables, true);
  TBytes built = BuildTTFontData(tables, false);
  SaveFileAtomically(target, [&](TStream& s) { s.WriteBuffer(built.data(), Int64(built.size())); });
  out << tables.size() << " tables, " << built.size() << " bytes\n";
  return 0;
}

int runEncoding(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2 && !(args.size() == 4 && args[2] == "--font")) return usageError(err);
  TFontMapping m = GetEncoding(args[1]);
  if (args.size() == 4) ApplyStandardWidths(args[3], m);
  for (size_t code = 0; code < m.size(); ++code) {
    const TEncodingPoint& p = m[code];
    if (p.Name.empty() && p.Unicode.empty()) continue;
    out << code << ' ' << (p.Name.empty() ? "-" : p.Name);
    for (uint16_t u : p.Unicode) out << " U+" << hex4(u);
    out << ' ' << p.Width << '\n';
  }
  return 0;
}

int runMap(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 2) return usageError(err);
  TLogFontA lf = PDFFontMapper().Lookup(args[1]);
  TFontFacePtr face = ResolveFontFace(lf);
  out << LogFontFaceName(lf) << '\t' << lf.lfWeight << '\t' << int(lf.lfItalic) << '\t' << (face ? face->File : "")
      << '\n';
  return 0;
}

int runFont(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return usageError(err);
  if (args[0] == "info") return runInfo(args, out, err);
  if (args[0] == "advances") return runAdvances(args, out, err);
  if (args[0] == "outline") return runOutline(args, out, err);
  if (args[0] == "rebuild") return runRebuild(args, out, err);
  if (args[0] == "encoding") return runEncoding(args, out, err);
  if (args[0] == "map") return runMap(args, out, err);
  return usageError(err);
}

const PxCommand fontCommand("font",
                            "font info FACE|FILE [--bold] [--italic]\n"
                            "  font advances FACE|FILE TEXT\n"
                            "  font outline FACE|FILE GID\n"
                            "  font rebuild [--embedding] IN OUT\n"
                            "  font encoding NAME [--font BASEFONT]\n"
                            "  font map BASEFONT",
                            runFont);

}  // namespace
}  // namespace px::pxtool
