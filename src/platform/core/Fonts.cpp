#include "platform/core/Fonts.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/core/CodePages.h"

namespace px {

int32_t MulDiv(int32_t number, int32_t numerator, int32_t denominator) {
  if (denominator == 0) return -1;
  int64_t product = int64_t(number) * int64_t(numerator);
  int64_t d = denominator;
  bool negative = (product < 0) != (d < 0);
  uint64_t p = product < 0 ? uint64_t(-(product + 1)) + 1 : uint64_t(product);
  uint64_t q = d < 0 ? uint64_t(-(d + 1)) + 1 : uint64_t(d);
  uint64_t result = (p + q / 2) / q;  // halves away from zero
  if (negative) {
    if (result > uint64_t(INT32_MAX) + 1) return -1;
    return int32_t(-int64_t(result));
  }
  if (result > uint64_t(INT32_MAX)) return -1;
  return int32_t(result);
}

// ---------------------------------------------------------------------------
// Face names

std::string LogFontFaceName(const TLogFontA& font) {
  size_t n = strnlen(font.lfFaceName, LF_FACESIZE);
  return AnsiToUtf8(std::string_view(font.lfFaceName, n));
}

std::string LogFontFaceName(const TLogFontW& font) {
  size_t n = 0;
  while (n < size_t(LF_FACESIZE) && font.lfFaceName[n] != 0) ++n;
  return UnicodeToUtf8(std::u16string_view(font.lfFaceName, n));
}

void SetLogFontFaceName(TLogFontA& font, std::string_view utf8) {
  AnsiString a = Utf8ToAnsi(utf8);
  std::memset(font.lfFaceName, 0, sizeof font.lfFaceName);
  std::memcpy(font.lfFaceName, a.data(), std::min<size_t>(a.size(), LF_FACESIZE - 1));
}

void SetLogFontFaceName(TLogFontW& font, std::string_view utf8) {
  UnicodeString u = Utf8ToUnicode(utf8);
  std::fill(std::begin(font.lfFaceName), std::end(font.lfFaceName), u'\0');
  std::copy_n(u.begin(), std::min<size_t>(u.size(), LF_FACESIZE - 1), font.lfFaceName);
}

namespace {

template <class From, class To>
void copyLogFontFields(const From& f, To& t) {
  t.lfHeight = f.lfHeight;
  t.lfWidth = f.lfWidth;
  t.lfEscapement = f.lfEscapement;
  t.lfOrientation = f.lfOrientation;
  t.lfWeight = f.lfWeight;
  t.lfItalic = f.lfItalic;
  t.lfUnderline = f.lfUnderline;
  t.lfStrikeOut = f.lfStrikeOut;
  t.lfCharSet = f.lfCharSet;
  t.lfOutPrecision = f.lfOutPrecision;
  t.lfClipPrecision = f.lfClipPrecision;
  t.lfQuality = f.lfQuality;
  t.lfPitchAndFamily = f.lfPitchAndFamily;
}

}  // namespace

TLogFontW LogFontAToW(const TLogFontA& font) {
  TLogFontW w;
  copyLogFontFields(font, w);
  SetLogFontFaceName(w, LogFontFaceName(font));
  return w;
}

TLogFontA LogFontWToA(const TLogFontW& font) {
  TLogFontA a;
  copyLogFontFields(font, a);
  SetLogFontFaceName(a, LogFontFaceName(font));
  return a;
}

// ---------------------------------------------------------------------------
// Reading just enough of a font file to register and measure it. Every read
// is checked against the data; what does not fit is treated as absent.

namespace {

struct Bytes {
  const uint8_t* p = nullptr;
  size_t n = 0;
  bool has(size_t off, size_t len) const { return off <= n && len <= n - off; }
  uint16_t u16(size_t off) const { return has(off, 2) ? uint16_t(p[off] << 8 | p[off + 1]) : 0; }
  int16_t s16(size_t off) const { return int16_t(u16(off)); }
  uint32_t u32(size_t off) const {
    return has(off, 4) ? uint32_t(p[off]) << 24 | uint32_t(p[off + 1]) << 16 | uint32_t(p[off + 2]) << 8 | p[off + 3] : 0;
  }
};

constexpr uint32_t tagOf(const char* s) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 | uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}

struct TableRef {
  size_t offset = 0;
  size_t length = 0;
  bool found = false;
};

// A face's table directory inside the file's bytes.
struct Sfnt {
  Bytes b;
  size_t dir = 0;

  uint16_t numTables() const { return b.u16(dir + 4); }
  bool valid() const {
    uint32_t v = b.u32(dir);
    if (v != 0x00010000u && v != tagOf("true") && v != tagOf("OTTO")) return false;
    return b.has(dir + 12, size_t(numTables()) * 16);
  }
  TableRef find(uint32_t tag) const {
    uint16_t n = numTables();
    for (uint16_t i = 0; i < n; ++i) {
      size_t e = dir + 12 + size_t(i) * 16;
      if (b.u32(e) != tag) continue;
      TableRef r{b.u32(e + 8), b.u32(e + 12), true};
      if (!b.has(r.offset, r.length)) return {};
      return r;
    }
    return {};
  }
};

std::string macRomanToUtf8(const uint8_t* p, size_t n) {
  // Names of Macintosh records are mostly ASCII; bytes above 127 are taken
  // as Windows-1252, which agrees on the letters that matter here.
  return AnsiToUtf8(std::string_view(reinterpret_cast<const char*>(p), n));
}

std::string utf16beToUtf8(const uint8_t* p, size_t n) {
  UnicodeString u;
  u.reserve(n / 2);
  for (size_t i = 0; i + 1 < n; i += 2) u.push_back(char16_t(p[i] << 8 | p[i + 1]));
  return UnicodeToUtf8(u);
}

// Name ID from the Windows records (US English first), else the Macintosh ones.
std::string readName(const Sfnt& s, uint16_t nameId) {
  TableRef t = s.find(tagOf("name"));
  if (!t.found || t.length < 6) return {};
  Bytes nb{s.b.p + t.offset, t.length};
  uint16_t count = nb.u16(2);
  size_t strings = nb.u16(4);
  int best = -1;
  int bestRank = 99;
  for (uint16_t i = 0; i < count; ++i) {
    size_t r = 6 + size_t(i) * 12;
    if (!nb.has(r, 12)) break;
    if (nb.u16(r + 6) != nameId) continue;
    uint16_t platform = nb.u16(r), encoding = nb.u16(r + 2), language = nb.u16(r + 4);
    int rank = 99;
    if (platform == 3 && (encoding == 1 || encoding == 0 || encoding == 10)) rank = language == 0x409 ? 0 : 1;
    else if (platform == 1 && encoding == 0) rank = language == 0 ? 2 : 3;
    else if (platform == 0) rank = 4;
    if (rank < bestRank && nb.has(strings + nb.u16(r + 10), nb.u16(r + 8))) {
      bestRank = rank;
      best = int(i);
    }
  }
  if (best < 0) return {};
  size_t r = 6 + size_t(best) * 12;
  const uint8_t* p = nb.p + strings + nb.u16(r + 10);
  size_t len = nb.u16(r + 8);
  return bestRank == 2 || bestRank == 3 ? macRomanToUtf8(p, len) : utf16beToUtf8(p, len);
}

// The glyph of a character through a Unicode subtable (formats 4 and 12); 0
// when unmapped or when the subtable is damaged.
uint32_t cmapLookup(const Bytes& c, size_t sub, uint32_t code) {
  uint16_t format = c.u16(sub);
  if (format == 4) {
    size_t len = c.u16(sub + 2);
    if (!c.has(sub, len)) return 0;
    size_t segX2 = c.u16(sub + 6);
    size_t ends = sub + 14, starts = ends + segX2 + 2, deltas = starts + segX2, ranges = deltas + segX2;
    if (ranges + segX2 > sub + len) return 0;
    for (size_t i = 0; i < segX2; i += 2) {
      if (c.u16(ends + i) < code) continue;
      uint16_t start = c.u16(starts + i);
      if (code < start) return 0;
      uint16_t delta = c.u16(deltas + i), range = c.u16(ranges + i);
      if (range == 0) return uint16_t(code + delta);
      size_t at = ranges + i + range + 2 * (code - start);
      if (!c.has(at, 2) || at + 2 > sub + len) return 0;
      uint16_t g = c.u16(at);
      return g == 0 ? 0 : uint16_t(g + delta);
    }
    return 0;
  }
  if (format == 12) {
    size_t len = c.u32(sub + 4);
    uint32_t groups = c.u32(sub + 12);
    if (!c.has(sub, len) || (len - 16) / 12 < groups) return 0;
    for (uint32_t i = 0; i < groups; ++i) {
      size_t g = sub + 16 + size_t(i) * 12;
      uint32_t first = c.u32(g), last = c.u32(g + 4);
      if (code >= first && code <= last) return c.u32(g + 8) + (code - first);
    }
  }
  return 0;
}

struct CmapFacts {
  bool symbol = false;
  bool latin = false;
};

CmapFacts readCmapFacts(const Sfnt& s) {
  CmapFacts facts;
  TableRef t = s.find(tagOf("cmap"));
  if (!t.found) return facts;
  Bytes c{s.b.p + t.offset, t.length};
  uint16_t count = c.u16(2);
  size_t unicodeSub = 0;
  bool haveUnicode = false;
  for (uint16_t i = 0; i < count; ++i) {
    size_t r = 4 + size_t(i) * 8;
    if (!c.has(r, 8)) break;
    uint16_t platform = c.u16(r), encoding = c.u16(r + 2);
    size_t sub = c.u32(r + 4);
    if (!c.has(sub, 4)) continue;
    if (platform == 3 && encoding == 0) facts.symbol = true;
    if (platform == 3 && (encoding == 1 || encoding == 10) && (!haveUnicode || encoding == 10)) {
      unicodeSub = sub;
      haveUnicode = true;
    }
  }
  if (haveUnicode) {
    // The letters of Windows-1252: A-Z, a-z, the accented letters and the
    // five that live in 0x80-0x9F.
    static const char16_t extras[] = {0x0152, 0x0153, 0x0160, 0x0161, 0x0178, 0x017D, 0x017E};
    bool all = true;
    for (char16_t ch = 'A'; all && ch <= 'z'; ++ch)
      if ((ch <= 'Z' || ch >= 'a') && cmapLookup(c, unicodeSub, ch) == 0) all = false;
    for (char16_t ch = 0xC0; all && ch <= 0xFF; ++ch)
      if (ch != 0xD7 && ch != 0xF7 && cmapLookup(c, unicodeSub, ch) == 0) all = false;
    for (char16_t ch : extras)
      if (all && cmapLookup(c, unicodeSub, ch) == 0) all = false;
    facts.latin = all;
  }
  return facts;
}

// Builds the face record of the table directory at `dir`, or nothing when the
// face lacks what every use needs (head, a family name, TrueType or CFF outlines).
TFontFacePtr parseFace(const std::shared_ptr<const TBytes>& data, size_t dir, uint32_t index, const std::string& file) {
  Sfnt s{{data->data(), data->size()}, dir};
  if (!s.valid()) return nullptr;
  TableRef head = s.find(tagOf("head"));
  if (!head.found || head.length < 54) return nullptr;
  bool glyf = s.find(tagOf("glyf")).found && s.find(tagOf("loca")).found;
  bool cff = s.find(tagOf("CFF ")).found;
  if (!glyf && !cff) return nullptr;
  auto face = std::make_shared<TFontFace>();
  face->Data = data;
  face->Index = index;
  face->Offset = uint32_t(dir);
  face->File = file;
  face->Format = glyf ? "TrueType" : "CFF";
  face->Family = readName(s, 1);
  face->Style = readName(s, 2);
  if (face->Family.empty()) return nullptr;
  uint16_t macStyle = s.b.u16(head.offset + 44);
  face->Weight = (macStyle & 1) ? FW_BOLD : FW_NORMAL;
  face->Italic = (macStyle & 2) != 0;
  TableRef os2 = s.find(tagOf("OS/2"));
  if (os2.found && os2.length >= 64) {
    uint16_t w = s.b.u16(os2.offset + 4);
    if (w >= 1 && w <= 1000) face->Weight = w;
    face->Italic = face->Italic || (s.b.u16(os2.offset + 62) & 1) != 0;
  }
  TableRef post = s.find(tagOf("post"));
  if (post.found && post.length >= 16) face->FixedPitch = s.b.u32(post.offset + 12) != 0;
  CmapFacts facts = readCmapFacts(s);
  face->Symbol = facts.symbol;
  face->Latin = facts.latin;
  return face;
}

}  // namespace

std::vector<TFontFacePtr> ParseFontFaces(std::shared_ptr<const TBytes> data, std::string file) {
  std::vector<TFontFacePtr> faces;
  if (!data) return faces;
  Bytes b{data->data(), data->size()};
  if (b.u32(0) == tagOf("ttcf")) {
    uint32_t count = b.u32(8);
    if (!b.has(12, size_t(count) * 4)) return faces;
    for (uint32_t i = 0; i < count; ++i)
      if (auto f = parseFace(data, b.u32(12 + size_t(i) * 4), i, file)) faces.push_back(std::move(f));
  } else if (auto f = parseFace(data, 0, 0, file)) {
    faces.push_back(std::move(f));
  }
  return faces;
}

// ---------------------------------------------------------------------------
// The registry

namespace {

std::string foldCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return r;
}

std::string cutFaceName(std::string_view utf8) {
  // What a logical font keeps of a face name: at most 31 characters, up to
  // the first NUL.
  UnicodeString u = Utf8ToUnicode(utf8);
  u.resize(std::min({u.size(), size_t(LF_FACESIZE - 1), u.find(u'\0')}));
  return UnicodeToUtf8(u);
}

struct Registry {
  std::mutex mutex;
  uint32_t nextHandle = 1;
  std::vector<std::pair<uint32_t, std::vector<TFontFacePtr>>> memFaces;
  std::map<std::tuple<std::string, int32_t, bool>, TFontFacePtr> resolved;
  std::map<std::tuple<std::string, int32_t, bool>, TFontFacePtr> resolvedTrueType;
  std::map<std::string, bool> knownFamilies;  // fontconfig's answers, by folded family
  std::map<std::string, std::weak_ptr<const TBytes>> files;
  bool installedListed = false;
  std::vector<TFontFacePtr> installed;  // metadata only: Data is null
  bool fcReady = false;
};

std::atomic<uint64_t> registryGeneration{0};

Registry& registry() {
  static Registry* r = new Registry;  // lives for the whole process
  return *r;
}

bool ensureFontconfig(Registry& r) {
  if (!r.fcReady) r.fcReady = FcInit() == FcTrue;
  return r.fcReady;
}

std::shared_ptr<const TBytes> loadFile(Registry& r, const std::string& path) {
  auto it = r.files.find(path);
  if (it != r.files.end())
    if (auto data = it->second.lock()) return data;
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  // No font file of any use is near this size; refuse instead of allocating.
  if (size <= 0 || size > (std::streamoff(256) << 20)) return nullptr;
  in.seekg(0);
  auto data = std::make_shared<TBytes>(size_t(size));
  if (!in.read(reinterpret_cast<char*>(data->data()), size)) return nullptr;
  r.files[path] = data;
  return data;
}

bool acceptedFormat(FcPattern* p, std::string* format) {
  FcChar8* f = nullptr;
  if (FcPatternGetString(p, FC_FONTFORMAT, 0, &f) != FcResultMatch || !f) return false;
  std::string s(reinterpret_cast<const char*>(f));
  if (s != "TrueType" && s != "CFF") return false;
  if (format) *format = s;
  return true;
}

std::string patternString(FcPattern* p, const char* object) {
  FcChar8* v = nullptr;
  if (FcPatternGetString(p, object, 0, &v) != FcResultMatch || !v) return {};
  return reinterpret_cast<const char*>(v);
}

int patternInt(FcPattern* p, const char* object, int fallback) {
  int v = fallback;
  FcPatternGetInteger(p, object, 0, &v);
  return v;
}

TFontFacePtr loadFace(Registry& r, const std::string& file, uint32_t index) {
  auto data = loadFile(r, file);
  if (!data) return nullptr;
  for (auto& f : ParseFontFaces(data, file))
    if (f->Index == index) return f;
  return nullptr;
}

TFontFacePtr resolveInstalled(Registry& r, const std::string& face, int32_t weight, bool italic,
                              bool trueTypeOnly) {
  if (!ensureFontconfig(r)) return nullptr;
  FcPattern* pattern = FcPatternCreate();
  if (!face.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
  int w = weight <= 0 ? FW_NORMAL : std::min(weight, 1000);
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(w));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* set = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
  FcPatternDestroy(pattern);
  if (!set) return nullptr;
  TFontFacePtr chosen;
  for (int i = 0; i < set->nfont && !chosen; ++i) {
    FcPattern* p = set->fonts[i];
    std::string format;
    if (!acceptedFormat(p, &format) || (trueTypeOnly && format != "TrueType")) continue;
    FcPattern* pick = p;
    if (format == "CFF") {
      // A TrueType face of the same family and style, if one follows, is taken instead.
      std::string family = patternString(p, FC_FAMILY);
      int pw = patternInt(p, FC_WEIGHT, 0), ps = patternInt(p, FC_SLANT, 0);
      for (int j = i + 1; j < set->nfont; ++j) {
        FcPattern* q = set->fonts[j];
        std::string qf;
        if (acceptedFormat(q, &qf) && qf == "TrueType" && patternString(q, FC_FAMILY) == family &&
            patternInt(q, FC_WEIGHT, 0) == pw && patternInt(q, FC_SLANT, 0) == ps) {
          pick = q;
          break;
        }
      }
    }
    std::string file = patternString(pick, FC_FILE);
    if (file.empty()) continue;
    chosen = loadFace(r, file, uint32_t(patternInt(pick, FC_INDEX, 0)) & 0xFFFFu);
  }
  FcFontSetDestroy(set);
  return chosen;
}

TFontFacePtr resolveMemory(Registry& r, const std::string& face, int32_t weight, bool italic) {
  std::string key = foldCase(face);
  TFontFacePtr best;
  int bestScore = 0;
  int w = weight <= 0 ? FW_NORMAL : weight;
  for (auto& [handle, faces] : r.memFaces)
    for (auto& f : faces) {
      // A long family is asked for by the part a logical font can hold.
      if (foldCase(cutFaceName(f->Family)) != key) continue;
      int score = (f->Italic != italic ? 10000 : 0) + std::abs(f->Weight - w);
      if (!best || score < bestScore) {
        best = f;
        bestScore = score;
      }
    }
  return best;
}

}  // namespace

namespace {

// One cache per kind of answer: a TrueType-only lookup may pick another face
// than the plain one for the same request.
TFontFacePtr resolveFace(std::string_view faceUtf8, int32_t weight, bool italic, bool trueTypeOnly) {
  std::string face = cutFaceName(faceUtf8);
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto& cache = trueTypeOnly ? r.resolvedTrueType : r.resolved;
  auto key = std::make_tuple(foldCase(face), weight, italic);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  TFontFacePtr f = resolveMemory(r, face, weight, italic);
  if (f && trueTypeOnly && f->Format != "TrueType") f = nullptr;
  if (!f) f = resolveInstalled(r, face, weight, italic, trueTypeOnly);
  if (f) cache[key] = f;
  return f;
}

}  // namespace

TFontFacePtr ResolveFontFace(std::string_view faceUtf8, int32_t weight, bool italic) {
  return resolveFace(faceUtf8, weight, italic, false);
}

uint64_t FontRegistryGeneration() { return registryGeneration.load(std::memory_order_relaxed); }

TFontFacePtr ResolveTrueTypeFontFace(std::string_view faceUtf8, int32_t weight, bool italic) {
  return resolveFace(faceUtf8, weight, italic, true);
}

namespace {

// Family names that stand for a kind of face rather than for a font.
bool genericFamily(const std::string& folded) {
  static const char* const names[] = {"sans-serif", "serif",   "monospace", "sans", "mono",     "cursive",
                                      "fantasy",    "system-ui", "emoji",   "math", "fangsong"};
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return folded == n; });
}

}  // namespace

bool IsFontFamilyAvailable(std::string_view familyUtf8) {
  const std::string family = cutFaceName(familyUtf8);
  const std::string folded = foldCase(family);
  if (folded.empty()) return false;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  for (auto& [handle, faces] : r.memFaces)
    for (auto& f : faces)
      if (foldCase(cutFaceName(f->Family)) == folded) return true;
  auto it = r.knownFamilies.find(folded);
  if (it != r.knownFamilies.end()) return it->second;
  bool known = false;
  if (ensureFontconfig(r)) {
    // The families fontconfig tries, in order: the name, the aliases its
    // configuration gives, then the fallback it gives every name it does not
    // know. The family is available when the face it picks is reached before
    // that fallback, which is the list a made-up name gets after the name.
    auto tried = [](const std::string& name) {
      FcPattern* pattern = FcPatternCreate();
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
      FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
      FcDefaultSubstitute(pattern);
      return pattern;
    };
    auto families = [](FcPattern* pattern) {
      std::vector<std::string> out;
      FcChar8* v = nullptr;
      for (int i = 0; FcPatternGetString(pattern, FC_FAMILY, i, &v) == FcResultMatch; ++i)
        out.push_back(foldCase(reinterpret_cast<const char*>(v)));
      return out;
    };
    FcPattern* pattern = tried(family);
    FcPattern* unknown = tried("px no such family 7f3a");
    std::vector<std::string> own = families(pattern), fallback = families(unknown);
    FcPatternDestroy(unknown);
    if (!fallback.empty()) fallback.erase(fallback.begin());
    while (!own.empty() && !fallback.empty() && own.back() == fallback.back()) {
      own.pop_back();
      fallback.pop_back();
    }
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
      const bool askedGeneric = genericFamily(folded);
      for (const std::string& name : families(match)) {
        auto at = std::find(own.begin(), own.end(), name);
        if (at != own.end() &&
            (askedGeneric || std::none_of(own.begin(), at, [](const std::string& n) { return genericFamily(n); }))) {
          known = true;
          break;
        }
      }
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
  r.knownFamilies[folded] = known;
  return known;
}

TFontFacePtr ResolveFontFace(const TLogFontA& font) {
  return ResolveFontFace(LogFontFaceName(font), font.lfWeight, font.lfItalic != 0);
}

TFontFacePtr ResolveFontFace(const TLogFontW& font) {
  return ResolveFontFace(LogFontFaceName(font), font.lfWeight, font.lfItalic != 0);
}

TLogFontW LogFontForFace(const TFontFace& face) {
  TLogFontW lf;
  lf.lfWeight = face.Weight;
  lf.lfItalic = face.Italic ? 1 : 0;
  SetLogFontFaceName(lf, face.Family);
  return lf;
}

uint32_t AddFontMemResource(const void* data, size_t size, uint32_t* faceCount) {
  if (faceCount) *faceCount = 0;
  if (!data || size == 0) return 0;
  auto bytes = std::make_shared<TBytes>(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  auto faces = ParseFontFaces(bytes);
  if (faces.empty()) return 0;
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  uint32_t handle = r.nextHandle++;
  if (faceCount) *faceCount = uint32_t(faces.size());
  r.memFaces.emplace_back(handle, std::move(faces));
  r.resolved.clear();
  r.resolvedTrueType.clear();
  registryGeneration.fetch_add(1, std::memory_order_relaxed);
  return handle;
}

bool RemoveFontMemResource(uint32_t handle) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = std::find_if(r.memFaces.begin(), r.memFaces.end(), [&](auto& e) { return e.first == handle; });
  if (it == r.memFaces.end()) return false;
  r.memFaces.erase(it);
  r.resolved.clear();
  r.resolvedTrueType.clear();
  registryGeneration.fetch_add(1, std::memory_order_relaxed);
  return true;
}

std::vector<TFontFacePtr> ListFontFaces() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::vector<TFontFacePtr> out;
  for (auto& [handle, faces] : r.memFaces) out.insert(out.end(), faces.begin(), faces.end());
  if (!r.installedListed && ensureFontconfig(r)) {
    r.installedListed = true;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_INDEX, FC_FONTFORMAT, nullptr);
    FcFontSet* set = FcFontList(nullptr, pattern, objects);
    std::vector<std::pair<std::string, uint32_t>> wanted;
    if (set) {
      for (int i = 0; i < set->nfont; ++i) {
        FcPattern* p = set->fonts[i];
        std::string file = patternString(p, FC_FILE);
        if (!file.empty() && acceptedFormat(p, nullptr))
          wanted.emplace_back(file, uint32_t(patternInt(p, FC_INDEX, 0)) & 0xFFFFu);
      }
      FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    for (auto& [file, index] : wanted) {
      TFontFacePtr f = loadFace(r, file, index);
      if (!f) continue;
      auto meta = std::make_shared<TFontFace>(*f);
      meta->Data.reset();  // loaded again when resolved; the list keeps no file in memory
      r.installed.push_back(std::move(meta));
    }
  }
  out.insert(out.end(), r.installed.begin(), r.installed.end());
  return out;
}

// ---------------------------------------------------------------------------
// A realised font

TFontContext::TFontContext(const TLogFontW& font) : logFont_(font), face_(ResolveFontFace(font)) {}
TFontContext::TFontContext(const TLogFontA& font) : logFont_(LogFontAToW(font)), face_(ResolveFontFace(font)) {}

namespace {

uint32_t checksum(const uint8_t* p, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i < n; i += 4) {
    uint32_t w = 0;
    for (size_t k = 0; k < 4; ++k) w = w << 8 | (i + k < n ? p[i + k] : 0);
    sum += w;
  }
  return sum;
}

void put16(TBytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v >> 8);
  b[at + 1] = uint8_t(v);
}
void put32(TBytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (24 - 8 * i));
}

// A face of a collection as a file of its own: its directory and its tables.
TBytes standaloneFace(const TFontFace& face) {
  Sfnt s{{face.Data->data(), face.Data->size()}, face.Offset};
  uint16_t n = s.numTables();
  std::vector<std::pair<uint32_t, TableRef>> tables;
  for (uint16_t i = 0; i < n; ++i) {
    size_t e = s.dir + 12 + size_t(i) * 16;
    uint32_t tag = s.b.u32(e);
    TableRef t = s.find(tag);
    if (t.found) tables.emplace_back(tag, t);
  }
  size_t size = 12 + tables.size() * 16;
  for (auto& t : tables) size += (t.second.length + 3) & ~size_t(3);
  TBytes out(size, 0);
  put32(out, 0, s.b.u32(s.dir));
  uint16_t count = uint16_t(tables.size());
  uint16_t selector = 0;
  while ((2u << selector) <= count) ++selector;
  put16(out, 4, count);
  put16(out, 6, uint16_t((1u << selector) * 16));
  put16(out, 8, selector);
  put16(out, 10, uint16_t(count * 16 - (1u << selector) * 16));
  size_t at = 12 + tables.size() * 16;
  size_t headAt = 0;
  for (size_t i = 0; i < tables.size(); ++i) {
    auto& [tag, t] = tables[i];
    std::memcpy(out.data() + at, s.b.p + t.offset, t.length);
    if (tag == tagOf("head") && t.length >= 12) {
      put32(out, at + 8, 0);
      headAt = at;
    }
    size_t e = 12 + i * 16;
    put32(out, e, tag);
    put32(out, e + 4, checksum(out.data() + at, t.length));
    put32(out, e + 8, uint32_t(at));
    put32(out, e + 12, uint32_t(t.length));
    at += (t.length + 3) & ~size_t(3);
  }
  if (headAt) put32(out, headAt + 8, 0xB1B0AFBAu - checksum(out.data(), out.size()));
  return out;
}

uint32_t copyOut(const uint8_t* p, size_t length, uint32_t offset, void* buffer, uint32_t size) {
  if (offset > length) return GDI_ERROR;
  if (!buffer || size == 0) return uint32_t(length);
  size_t count = std::min<size_t>(size, length - offset);
  std::memcpy(buffer, p + offset, count);
  return uint32_t(count);
}

}  // namespace

uint32_t GetFontData(const TFontContext& dc, uint32_t table, uint32_t offset, void* buffer, uint32_t size) {
  const TFontFacePtr& face = dc.Face();
  if (!face || !face->Data) return GDI_ERROR;
  const TBytes& data = *face->Data;
  if (table == 0) {
    if (face->Offset == 0) return copyOut(data.data(), data.size(), offset, buffer, size);
    TBytes whole = standaloneFace(*face);
    return copyOut(whole.data(), whole.size(), offset, buffer, size);
  }
  uint32_t tag = (table & 0xFF) << 24 | ((table >> 8) & 0xFF) << 16 | ((table >> 16) & 0xFF) << 8 | table >> 24;
  Sfnt s{{data.data(), data.size()}, face->Offset};
  TableRef t = s.find(tag);
  if (!t.found) return GDI_ERROR;
  return copyOut(data.data() + t.offset, t.length, offset, buffer, size);
}

bool GetTextMetrics(const TFontContext& dc, TTextMetric& m) {
  m = TTextMetric{};
  const TFontFacePtr& face = dc.Face();
  if (!face || !face->Data) return false;
  Sfnt s{{face->Data->data(), face->Data->size()}, face->Offset};
  TableRef head = s.find(tagOf("head")), hhea = s.find(tagOf("hhea")), os2 = s.find(tagOf("OS/2"));
  if (!head.found || head.length < 54) return false;
  const Bytes& b = s.b;
  int32_t upem = b.u16(head.offset + 18);
  if (upem == 0) upem = 1000;  // damaged; the font information refuses it, the metrics need not
  int32_t ascent = 0, descent = 0, lineGap = 0, hheaAscent = 0, hheaDescent = 0, maxAdvance = 0, avgWidth = 0;
  if (hhea.found && hhea.length >= 36) {
    hheaAscent = b.s16(hhea.offset + 4);
    hheaDescent = -b.s16(hhea.offset + 6);
    lineGap = b.s16(hhea.offset + 8);
    maxAdvance = b.u16(hhea.offset + 10);
  }
  ascent = hheaAscent;
  descent = hheaDescent;
  char16_t first = 0x20, last = 0xFFFF, defaultChar = 0, breakChar = 0x20;
  if (os2.found && os2.length >= 78) {
    avgWidth = b.s16(os2.offset + 2);
    first = b.u16(os2.offset + 64);
    last = b.u16(os2.offset + 66);
    ascent = b.u16(os2.offset + 74);
    descent = b.u16(os2.offset + 76);
    if (b.u16(os2.offset) >= 2 && os2.length >= 96) {
      defaultChar = b.u16(os2.offset + 90);
      breakChar = b.u16(os2.offset + 92);
    }
  }
  const TLogFontW& lf = dc.LogFont();
  int32_t cell = ascent + descent;
  if (cell <= 0) cell = upem;
  // Scale factor as (pixels, units): a negative height is the em, a positive
  // one the cell.
  int32_t px = 16, units = upem;
  if (lf.lfHeight < 0) px = lf.lfHeight == INT32_MIN ? INT32_MAX : -lf.lfHeight;
  else if (lf.lfHeight > 0) {
    px = lf.lfHeight;
    units = cell;
  }
  auto scale = [&](int32_t v) { return MulDiv(v, px, units); };
  m.tmAscent = scale(ascent);
  m.tmDescent = scale(descent);
  m.tmHeight = m.tmAscent + m.tmDescent;
  int32_t em = lf.lfHeight > 0 ? MulDiv(upem, px, units) : px;
  m.tmInternalLeading = std::max(0, m.tmHeight - em);
  int32_t extra = lineGap - (cell - (hheaAscent + hheaDescent));
  m.tmExternalLeading = std::max(0, scale(extra));
  m.tmAveCharWidth = scale(avgWidth);
  m.tmMaxCharWidth = scale(maxAdvance);
  m.tmWeight = face->Weight;
  m.tmFirstChar = first;
  m.tmLastChar = last;
  m.tmDefaultChar = defaultChar;
  m.tmBreakChar = breakChar;
  m.tmItalic = lf.lfItalic;
  m.tmUnderlined = lf.lfUnderline;
  m.tmStruckOut = lf.lfStrikeOut;
  m.tmPitchAndFamily = Byte((face->FixedPitch ? 0 : TMPF_FIXED_PITCH) | TMPF_VECTOR |
                            (face->Format == "TrueType" ? TMPF_TRUETYPE : 0));
  m.tmCharSet = face->Symbol ? SYMBOL_CHARSET : face->Latin ? ANSI_CHARSET : DEFAULT_CHARSET;
  return true;
}

void EnumFontFamilies(const TFontFamilyProc& proc) {
  // Families in first-seen order (registered faces first), each offered with
  // the face nearest to regular.
  std::vector<std::string> order;
  std::map<std::string, TFontFacePtr> best;
  for (auto& f : ListFontFaces()) {
    std::string key = foldCase(f->Family);
    auto it = best.find(key);
    auto score = [](const TFontFace& x) { return (x.Italic ? 10000 : 0) + std::abs(x.Weight - FW_NORMAL); };
    if (it == best.end()) {
      order.push_back(key);
      best[key] = f;
    } else if (score(*f) < score(*it->second)) {
      it->second = f;
    }
  }
  for (auto& key : order) {
    const TFontFace& f = *best[key];
    TLogFontA lf;
    lf.lfHeight = -16;
    lf.lfWeight = f.Weight;
    lf.lfItalic = f.Italic ? 1 : 0;
    lf.lfCharSet = f.Symbol ? SYMBOL_CHARSET : f.Latin ? ANSI_CHARSET : DEFAULT_CHARSET;
    lf.lfOutPrecision = 3;
    lf.lfClipPrecision = 2;
    lf.lfQuality = 1;
    lf.lfPitchAndFamily = f.FixedPitch ? 1 : 2;
    SetLogFontFaceName(lf, f.Family);
    TTextMetric tm;
    GetTextMetrics(TFontContext(lf), tm);
    uint32_t type = f.Format == "TrueType" ? TRUETYPE_FONTTYPE : DEVICE_FONTTYPE;
    if (!proc(lf, tm, type)) return;
  }
}

}  // namespace px
