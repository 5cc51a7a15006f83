// pxtool as outside tools see it: each command group run as a separate
// process, checked on its arguments, output format, exit code and error
// messages. What the libraries compute is their own tests' business; here the
// point is that the command line carries it through unchanged.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/Version.h"
#include "support/TempDir.h"

namespace px {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = -1;
  std::string out;
  std::string err;
};

std::string quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string pxtoolPath() {
  if (const char* dir = std::getenv("PX_BUILD_DIR")) return std::string(dir) + "/tools/pxtool/pxtool";
  return PX_PXTOOL_PATH;
}

// Runs a shell command line and keeps its exit code, standard output and
// standard error apart.
Outcome shell(const std::string& command) {
  test::TempDir dir;
  const std::string errFile = dir.File("stderr");
  Outcome run;
  run.code = test::RunCommand(command + " 2>" + quote(errFile), &run.out);
  run.err = test::ReadFileBytes(errFile);
  return run;
}

// Runs pxtool with the words given; `env` is put before the program as
// NAME=value assignments.
Outcome pxtool(const std::vector<std::string>& args, const std::string& env = {}) {
  std::string command = env + " " + quote(pxtoolPath());
  for (const std::string& arg : args) command += " " + quote(arg);
  return shell(command);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

std::string joinArgs(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += (text.empty() ? "" : " ") + arg;
  return text;
}

// A command that must fail with exit code 1, nothing on standard output and
// standard error starting with `message`.
struct Failing {
  std::vector<std::string> args;
  std::string message;  // the start of stderr
};

void expectFails(const Failing& c) {
  Outcome run = pxtool(c.args);
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with(c.message)) << run.err;
}

TEST(PxTool, BinaryIsBuilt) { ASSERT_TRUE(fs::exists(pxtoolPath())) << pxtoolPath(); }

TEST(PxTool, VersionAndUsage) {
  Outcome version = pxtool({"version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.out, std::string("pxtool ") + ProgramVersion + "\n");
  EXPECT_EQ(version.err, "");

  // Wrong words give the usage of every group on stderr and exit code 2.
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"nosuch"},
      {"version", "extra"},
      {"dataset"},
      {"dataset", "dump"},
      {"dataset", "dump", "--key"},
      {"dataset", "write", "only-one"},
      {"locales", "extra"},
      {"pdf"},
      {"pdf", "info"},
      {"pdf", "decode", "FlateDecode", "in"},
      {"pdf", "rewrite", "--rc4", "56", "owner", "in", "out"},
      {"pdf", "rewrite", "--format", "2", "in", "out"},
      {"png", "decode", "in.png"},
      {"png", "encode", "in.png", "out.pam"},
      {"receipt", "parse"},
      {"sql", "db.fdb"},
      {"sql", "--create"},
      {"ui"},
      {"ui", "scalecolor", "clNoSuch", "2"},
      {"ui", "scalecolor", "0x80", "two"},
      {"ui", "strip", "in.png", "x", "out.pam"},
      {"ui", "strip", "in.png", "0", "out.pam", "--bg", "red"},
      {"tree"},
      {"tree", "header"},
      {"tree", "header", "--rewrite", "in"},
      {"tree", "columns", "in"},
      {"ui", "dropdown", "--area", "0,0,100", "--edit", "1,1,10,10"},
      {"ui", "dropdown", "--area", "0,0,100,100"},
      {"ui", "dropdown", "--area", "0,0,100,100", "--edit", "1,1,10,10", "--size", "1,2,3"},
      {"ui", "dropdown", "--area", "0,0,100,100", "--edit", "1,1,10,10", "--wide"},
  };
  for (const auto& args : wrong) {
    SCOPED_TRACE(joinArgs(args));
    Outcome run = pxtool(args);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("usage:\n")) << run.err;
    for (const char* usage : {"  pxtool version\n", "  pxtool locales\n", "  pxtool receipt parse FILE\n",
                              "  pxtool sql [--create] DBFILE STATEMENT...\n", "  pxtool pdf info FILE\n"})
      EXPECT_NE(run.err.find(usage), std::string::npos) << usage;
  }
}

// Text of a table in the dump format: field specs, then records. Covers the
// escapes, non-ASCII text, the extremes of Integer and Currency and a
// shortest-form Double.
const std::string kTable =
    "ID:int\tName:astr\tValue:dbl\tAmount:curr\n"
    "1\tTab\\there\t1.5\t1.5000\n"
    "-2147483648\t\t1e-300\t-0.0001\n"
    "2147483647\tZ\xC3\xBCrich\\nnext \\\\ end\t0.1\t922337203685477.5807\n";

TEST(PxTool, DatasetWriteThenDumpGivesTheSameText) {
  test::TempDir dir;
  const std::string tsv = dir.File("table.tsv");
  test::WriteFileBytes(tsv, kTable);
  for (const std::string key : {"", "sekrit"}) {
    SCOPED_TRACE("key '" + key + "'");
    const std::string dat = dir.File("table" + key + ".dat");
    std::vector<std::string> keyArgs;
    if (!key.empty()) keyArgs = {"--key", key};

    std::vector<std::string> write = {"dataset", "write"};
    write.insert(write.end(), keyArgs.begin(), keyArgs.end());
    write.insert(write.end(), {tsv, dat});
    Outcome written = pxtool(write);
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_EQ(written.out, "");

    // The key may stand before or after the file.
    std::vector<std::string> dump = {"dataset", "dump", dat};
    dump.insert(dump.end(), keyArgs.begin(), keyArgs.end());
    Outcome dumped = pxtool(dump);
    EXPECT_EQ(dumped.code, 0) << dumped.err;
    EXPECT_EQ(dumped.out, kTable);
    EXPECT_EQ(dumped.err, "");
  }

  // Either stream format, found by its magic; the old one plain and
  // enciphered.
  const fs::path fixtures = test::FixturesDir() / "dataset";
  Outcome fresh = pxtool({"dataset", "dump", (fixtures / "new_table.dat").string()});
  EXPECT_EQ(fresh.code, 0) << fresh.err;
  EXPECT_TRUE(fresh.out.starts_with("ID:int#\tBig:i64\tText:astr*\tWide:ustr\tSingle:flt\tDouble:dbl\tMoney:curr\t"
                                    "Flag:bool\tGuid:guid\tWord:word\tByte:byte\n"
                                    "1\t-9223372036854775808\tabc\t\xC3\xA9\xE2\x82\xAC\t1.25\t-3.5\t-1.5000\tTrue\t"
                                    "{01234567-89AB-CDEF-0001-020304050607}\t65535\t255\n"))
      << fresh.out;
  Outcome plain = pxtool({"dataset", "dump", (fixtures / "old_plain.dat").string()});
  Outcome enciphered = pxtool({"dataset", "dump", "--key", "qjv", (fixtures / "old_qjv.dat").string()});
  EXPECT_EQ(plain.code, 0);
  EXPECT_EQ(enciphered.code, 0) << enciphered.err;
  EXPECT_EQ(enciphered.out, plain.out);
  EXPECT_TRUE(plain.out.starts_with("ID:int\tName:astr\tValue:dbl\tAmount:curr\n1\tOne\t1.5\t1.5000\n")) << plain.out;
}

TEST(PxTool, DatasetErrorsPrintTheLibraryMessage) {
  test::TempDir dir;
  const std::string good = dir.File("good.tsv"), bad = dir.File("bad.tsv"), wide = dir.File("wide.tsv");
  const std::string keyed = dir.File("keyed.dat"), out = dir.File("out.dat"), missing = dir.File("missing");
  test::WriteFileBytes(good, kTable);
  test::WriteFileBytes(bad, "ID:int\nabc\n");
  test::WriteFileBytes(wide, "Big:i64\n1\n");
  ASSERT_EQ(pxtool({"dataset", "write", "--key", "sekrit", good, keyed}).code, 0);

  const std::vector<Failing> cases = {
      {{"dataset", "write", bad, out}, "Line 2: 'abc' is not a valid integer of the field's range\n"},
      {{"dataset", "write", missing, out}, "Cannot open file \"" + missing + "\".\n"},
      // The old format cannot hold Int64 fields.
      {{"dataset", "write", wide, out}, "NOTIMPLEMENTEDYET"},
      {{"dataset", "dump", missing}, "Cannot open file \"" + missing + "\"."},
      {{"dataset", "dump", keyed}, "Cannot load dataset\n"},
      {{"dataset", "dump", "--key", "wrong", keyed}, "Cannot load dataset\n"},
  };
  for (const Failing& c : cases) {
    SCOPED_TRACE(joinArgs(c.args));
    expectFails(c);
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST(PxTool, LocalesPrintsEightTabSeparatedColumns) {
  Outcome run = pxtool({"locales"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.err, "");
  ASSERT_TRUE(run.out.ends_with("\n"));

  const std::vector<std::string> known = {
      "1043\tnlNL\tDutch\tNetherlands\tNederlands\tNederland\t,\t",
      "1033\tenUS\tEnglish\tUnited States\tEnglish\tUnited States\t.\t",
  };
  std::set<std::string> codes;
  std::vector<bool> found(known.size(), false);
  const std::regex lcid("[1-9][0-9]*");
  std::vector<std::string> lines = split(run.out, '\n');
  EXPECT_GT(lines.size(), 50u);
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    std::vector<std::string> columns = split(line + "\t", '\t');
    ASSERT_EQ(columns.size(), 8u);
    EXPECT_TRUE(std::regex_match(columns[0], lcid));
    EXPECT_TRUE(codes.insert(columns[1]).second) << "code listed twice";
    EXPECT_FALSE(columns[7].empty()) << "no short date pattern";
    for (size_t k = 0; k < known.size(); ++k)
      if (line.starts_with(known[k])) found[k] = true;
  }
  for (size_t k = 0; k < known.size(); ++k) EXPECT_TRUE(found[k]) << known[k];

  // The names are English whatever the user's own locale.
  Outcome dutch = pxtool({"locales"}, "LC_ALL=nl_NL.UTF-8 LANG=nl_NL.UTF-8");
  EXPECT_EQ(dutch.code, 0);
  EXPECT_EQ(dutch.out, run.out);
}

TEST(PxTool, PngDecodeWritesAnRgbaPam) {
  test::TempDir dir;
  const fs::path png = test::FixturesDir() / "png";
  const std::string image = (png / "fmt_c6d8.png").string();  // 13 x 11, RGBA, 8 bits
  const std::string pixels = test::ReadFileBytes(png / "fmt_c6d8.raw");
  const std::string header = "P7\nWIDTH 13\nHEIGHT 11\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  const std::string pam = dir.File("out.pam");

  // Every mode name is accepted and gives an RGBA PAM; the default mode and
  // rgba hand over the file's pixels unchanged.
  for (const std::string mode : {"", "auto", "native", "rgb", "rgba", "mask", "premultiplied"}) {
    SCOPED_TRACE("mode '" + mode + "'");
    std::vector<std::string> args = {"png", "decode"};
    if (!mode.empty()) args.insert(args.end(), {"--mode", mode});
    args.insert(args.end(), {image, pam});
    Outcome run = pxtool(args);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "13x11\n");
    const std::string written = test::ReadFileBytes(pam);
    ASSERT_TRUE(written.starts_with(header)) << written.substr(0, 80);
    ASSERT_EQ(written.size(), header.size() + 13 * 11 * 4);
    if (mode.empty() || mode == "rgba") {
      EXPECT_EQ(written.substr(header.size()), pixels);
    }
    fs::remove(pam);
  }

  Outcome corrupt = pxtool({"png", "decode", (png / "case_bad_crc.png").string(), pam});
  EXPECT_EQ(corrupt.code, 1);
  EXPECT_EQ(corrupt.err, "Invalid PNG: File corrupted\n");
  EXPECT_FALSE(fs::exists(pam));

  Outcome badMode = pxtool({"png", "decode", "--mode", "cmyk", image, pam});
  EXPECT_EQ(badMode.code, 2);
  EXPECT_EQ(badMode.err, "png decode: mode must be auto, native, rgb, rgba, mask or premultiplied\n");
  EXPECT_FALSE(fs::exists(pam));
}

TEST(PxTool, FastLZRunsTheCompressorOnFiles) {
  test::TempDir dir;
  const std::string in = dir.File("in"), packed = dir.File("packed"), out = dir.File("out");
  test::WriteFileBytes(in, std::string(1000, '\0'));
  Outcome run = pxtool({"fastlz", "compress", in, packed});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "14\n");
  EXPECT_EQ(test::ReadFileBytes(packed).size(), 14u);
  run = pxtool({"fastlz", "decompress", packed, out, "1000"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "1000\n");
  EXPECT_EQ(test::ReadFileBytes(out), std::string(1000, '\0'));
  // An error code is printed, nothing is written and the exit code is 1.
  fs::remove(out);
  run = pxtool({"fastlz", "decompress", packed, out, "999"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.out, "-3\n");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(pxtool({"fastlz", "decompress", packed, out, "many"}).code, 2);
}

TEST(PxTool, PdfPrintWritesTheSheets) {
  test::TempDir dir;
  const std::string source = dir.File("five.pdf"), printed = dir.File("printed.pdf");
  // Five pages of shapes, drawn by reportlab.
  ASSERT_EQ(shell("/usr/bin/python3 -c \"import sys\nfrom reportlab.pdfgen import canvas\n"
                  "c = canvas.Canvas(sys.argv[1])\nfor i in range(5):\n"
                  "    c.setFillColorRGB(0.1 * i, 0.5, 0.2); c.rect(50, 50, 300, 300, fill=1); c.showPage()\n"
                  "c.save()\" " +
                  quote(source))
                .code,
            0);
  Outcome run = pxtool({"pdf", "print", "--from", "2", "--to", "3", "--copies", "2", "--collate", "0", "--paper",
                        "Letter", source, printed});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "sheets 4\n");
  const std::string info = shell("pdfinfo " + quote(printed)).out;
  EXPECT_NE(info.find("Pages:           4\n"), std::string::npos) << info;
  EXPECT_NE(info.find("612 x 792 pts (letter)"), std::string::npos) << info;

  // Nothing in range: no sheet and no file.
  fs::remove(printed);
  run = pxtool({"pdf", "print", "--from", "9", source, printed});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "sheets 0\n");
  EXPECT_FALSE(fs::exists(printed));
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"--collate", "2"}, {"--paper", "A3"},
                                              {"--copies", "-1"}, {"--from"}}) {
    std::vector<std::string> args = {"pdf", "print"};
    args.insert(args.end(), bad.begin(), bad.end());
    args.insert(args.end(), {source, printed});
    EXPECT_EQ(pxtool(args).code, 2) << bad.front();
  }
}

TEST(PxTool, UiDropDownPlacement) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--area", "0,0,1000,800", "--edit", "100,100,150,21"},
       "direction=3 left=100 top=121 width=150 height=38 minw=2 minh=2 maxw=900 maxh=679 grip=0\n"},
      {{"--area", "0,0,1000,800", "--edit", "100,760,150,21", "--resizable"},
       "direction=1 left=100 top=711 width=150 height=49 minw=2 minh=13 maxw=900 maxh=760 grip=2\n"},
      {{"--area", "0,0,1000,800", "--edit", "900,760,150,21", "--rtl"},
       "direction=0 left=850 top=722 width=150 height=38 minw=2 minh=2 maxw=1000 maxh=760 grip=0\n"},
      {{"--area", "0,0,1000,800", "--edit", "100,100,150,21", "--size", "200,50,10,10,400,300"},
       "direction=3 left=100 top=121 width=202 height=52 minw=202 minh=52 maxw=402 maxh=302 grip=0\n"},
      {{"--area", "0,0,1000,800", "--edit", "2000,100,150,21"}, "failure\n"},
      {{"--area", "0,0,1000,800", "--edit", "100,100,150,21", "--size", "500,10,20,20,100,100"}, "failure\n"},
  };
  for (const auto& [args, expected] : cases) {
    std::vector<std::string> all = {"ui", "dropdown"};
    all.insert(all.end(), args.begin(), args.end());
    Outcome run = pxtool(all);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, expected) << joinArgs(all);
  }
}

TEST(PxTool, UiScaleColorAndStrip) {
  for (const auto& [args, expected] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"ui", "scalecolor", "0x00808080", "0.5"}, "0x02B5B5B5\n"},
           {{"ui", "scalecolor", "255", "2"}, "0x020000FF\n"},
           {{"ui", "scalecolor", "0x00FF4000", "0.25"}, "0x02FFB400\n"},
       }) {
    Outcome run = pxtool(args);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, expected) << joinArgs(args);
  }
  // A system colour is resolved before scaling.
  Outcome face = pxtool({"ui", "scalecolor", "clBtnFace", "1"});
  EXPECT_EQ(face.code, 0);
  EXPECT_TRUE(face.out.starts_with("0x02")) << face.out;

  // A 2 x 5 strip (two whole squares): every pixel grey 128 with alpha 128.
  test::TempDir dir;
  const std::string strip = dir.File("strip.png"), pam = dir.File("out.pam");
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 -c \"import zlib,struct\n"
                             "raw=b''.join(b'\\x00'+bytes([128,128,128,128])*2 for y in range(5))\n"
                             "c=lambda t,d: struct.pack('>I',len(d))+t+d+struct.pack('>I',zlib.crc32(t+d))\n"
                             "open('" + strip + "','wb').write(b'\\x89PNG\\r\\n\\x1a\\n'+c(b'IHDR',"
                             "struct.pack('>IIBBBBB',2,5,8,6,0,0,0))+c(b'IDAT',zlib.compress(raw))+c(b'IEND',b''))\""),
            0);
  Outcome run = pxtool({"ui", "strip", strip, "1", pam, "--bg", "FF0000"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "size=2 count=2\n");
  const std::string header = "P7\nWIDTH 2\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  std::string pixel = "\xBF\x40\x40\xFF";
  EXPECT_EQ(test::ReadFileBytes(pam), header + pixel + pixel + pixel + pixel);
  // Index 2 is the partial square: only the background.
  run = pxtool({"ui", "strip", strip, "2", pam});
  EXPECT_EQ(run.code, 0);
  pixel = "\xFF\xFF\xFF\xFF";
  EXPECT_EQ(test::ReadFileBytes(pam), header + pixel + pixel + pixel + pixel);

  test::WriteFileBytes(dir.File("bad.png"), "not a png");
  run = pxtool({"ui", "strip", dir.File("bad.png"), "0", pam});
  EXPECT_EQ(run.code, 1);
  EXPECT_FALSE(run.err.empty());
  // Only the signature: no image in it, an error like any unreadable strip.
  test::WriteFileBytes(dir.File("signature.png"), "\x89PNG\r\n\x1a\n");
  run = pxtool({"ui", "strip", dir.File("signature.png"), "0", pam});
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.err.find("Invalid PNG"), std::string::npos) << run.err;
}

// A two-page document made by another program: the second page rotated, with
// its own crop box.
class PxToolPdf : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::TempDir;
    const std::string script = dir_->File("make.py");
    test::WriteFileBytes(script,
                         "import sys\n"
                         "from reportlab.pdfgen import canvas\n"
                         "c = canvas.Canvas(sys.argv[1], pagesize=(200, 100))\n"
                         "c.drawString(10, 10, 'One')\n"
                         "c.showPage()\n"
                         "c.setPageSize((400, 300))\n"
                         "c.setCropBox((10, 20, 290, 380))\n"
                         "c.setPageRotation(90)\n"
                         "c.drawString(10, 10, 'Two')\n"
                         "c.showPage()\n"
                         "c.save()\n");
    source_ = dir_->File("source.pdf");
    Outcome made = shell("/usr/bin/python3 " + quote(script) + " " + quote(source_));
    ASSERT_EQ(made.code, 0) << made.err;
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static test::TempDir* dir_;
  static std::string source_;
};
test::TempDir* PxToolPdf::dir_ = nullptr;
std::string PxToolPdf::source_;

const std::string kPages =
    "Pages: 2\n"
    "Page 1: MediaBox 0 0 200 100, CropBox 0 0 200 100, Rotate 0\n"
    "Page 2: MediaBox 0 0 300 400, CropBox 10 20 290 380, Rotate 90\n";

TEST_F(PxToolPdf, InfoPrintsVersionEncryptionAndPages) {
  Outcome run = pxtool({"pdf", "info", source_});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(run.out, "Version: 1.3\nEncryption: none\n" + kPages);
  EXPECT_EQ(run.err, "");
}

TEST_F(PxToolPdf, DumpListsObjectsInOrderWithStreamDigests) {
  Outcome run = pxtool({"pdf", "dump", source_});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with("trailer\n<<\n")) << run.out.substr(0, 80);
  EXPECT_NE(run.out.find("/Root "), std::string::npos);

  const std::regex objectLine("([0-9]+) ([0-9]+) obj");
  const std::regex streamLine("stream length ([0-9]+) md5 ([0-9a-f]{32})");
  int previous = 0, objects = 0, streams = 0, current = 0;
  bool open = false;
  for (const std::string& line : split(run.out, '\n')) {
    std::smatch m;
    if (std::regex_match(line, m, objectLine)) {
      EXPECT_FALSE(open) << "object " << current << " has no endobj";
      current = std::stoi(m[1]);
      EXPECT_GT(current, previous) << "objects out of order";
      previous = current;
      open = true;
      ++objects;
    } else if (line == "endobj") {
      EXPECT_TRUE(open);
      open = false;
    } else if (std::regex_match(line, m, streamLine)) {
      // The decoded data as qpdf decodes it.
      ++streams;
      const std::string data = dir_->File("stream.bin");
      ASSERT_EQ(shell("qpdf --show-object=" + std::to_string(current) + " --filtered-stream-data " +
                      quote(source_) + " > " + quote(data))
                    .code,
                0);
      EXPECT_EQ(std::to_string(test::ReadFileBytes(data).size()), m[1].str()) << "object " << current;
      Outcome md5 = shell("md5sum " + quote(data));
      EXPECT_EQ(md5.out.substr(0, 32), m[2].str()) << "object " << current;
    }
  }
  EXPECT_FALSE(open);
  EXPECT_EQ(objects, 9);
  EXPECT_EQ(streams, 2);
}

TEST_F(PxToolPdf, RewriteWritesFilesQpdfAccepts) {
  struct Case {
    std::vector<std::string> options;
    std::string encryption;
  };
  const std::vector<Case> cases = {
      {{}, "Encryption: none"},
      {{"--format", "1"}, "Encryption: none"},
      {{"--rc4", "40", "own'er"}, "Encryption: V 1, R 2, 40 bits, strings V2, streams V2"},
      {{"--rc4", "128", "own'er"}, "Encryption: V 2, R 3, 128 bits, strings V2, streams V2"},
      {{"--format", "1", "--rc4", "128", "own'er"}, "Encryption: V 2, R 3, 128 bits, strings V2, streams V2"},
  };
  const std::string target = dir_->File("rewritten.pdf");
  for (const Case& c : cases) {
    SCOPED_TRACE(joinArgs(c.options));
    std::vector<std::string> args = {"pdf", "rewrite"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.insert(args.end(), {source_, target});
    Outcome run = pxtool(args);
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex("[0-9]+ objects\n"))) << run.out;

    Outcome check = shell("qpdf --check " + quote(target));
    EXPECT_EQ(check.code, 0) << check.out << check.err;
    Outcome info = pxtool({"pdf", "info", target});
    EXPECT_EQ(info.code, 0) << info.err;
    EXPECT_NE(info.out.find(c.encryption + "\n" + kPages), std::string::npos) << info.out;
    if (c.options.size() >= 3) {
      Outcome owner = shell("qpdf --show-encryption --password=" + quote("own'er") + " " + quote(target));
      EXPECT_NE(owner.out.find("Supplied password is owner password"), std::string::npos) << owner.out;
    }
    fs::remove(target);
  }
}

TEST_F(PxToolPdf, UnreadableFilesPrintTheReaderMessage) {
  const std::string garbage = dir_->File("garbage.pdf"), missing = dir_->File("missing.pdf");
  const std::string target = dir_->File("never.pdf");
  test::WriteFileBytes(garbage, "not a document\n");
  const std::vector<Failing> cases = {
      {{"pdf", "info", garbage}, "TPDFCollection: Error reading file."},
      {{"pdf", "dump", garbage}, "TPDFCollection: Error reading file."},
      {{"pdf", "rewrite", garbage, target}, "TPDFCollection: Error reading file."},
      {{"pdf", "info", missing}, "Cannot open file \"" + missing + "\"."},
  };
  for (const Failing& c : cases) {
    SCOPED_TRACE(joinArgs(c.args));
    expectFails(c);
  }
  EXPECT_FALSE(fs::exists(target));
}

TEST(PxTool, PdfDecodeRunsOneFilter) {
  test::TempDir dir;
  const std::string in = dir.File("in.bin"), out = dir.File("out.bin");
  struct Case {
    std::string filter;
    std::string parms;  // empty: none given
    std::string input;
    int code;
    std::string output;   // stdout on success, the start of stderr on failure
    std::string decoded;  // the written file on success
  };
  // Two PNG rows ("Up" filter) of five columns, deflated by Python's zlib.
  const std::string deflated("\x78\x9c\x63\x62\x64\x62\x66\x61\x65\x62\x04\x01\x00\x00\xbc\x00\x19", 17);
  const std::vector<Case> cases = {
      {"FlateDecode", "<</Predictor 12 /Columns 5>>", deflated, 0, "10 bytes\n", "\x01\x02\x03\x04\x05\x02\x03\x04\x05\x06"},
      {"ASCII85Decode", "", "87cURD]i,\"Ebo80~>", 0, "12 bytes\n", "Hello World!"},
      {"ASCIIHexDecode", "", "48 65 6C6c 6F>", 0, "5 bytes\n", "Hello"},
      {"ASCIIHexDecode", "", ">", 0, "0 bytes\n", ""},
      {"NoSuchDecode", "", "abc", 1, "Stream enfilter/defilter not found: NoSuchDecode\n", ""},
      {"FlateDecode", "", "not deflated", 1, "Error with PDF FlateDecode filter", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter + " " + c.parms);
    test::WriteFileBytes(in, c.input);
    std::vector<std::string> args = {"pdf", "decode", c.filter};
    if (!c.parms.empty()) args.push_back(c.parms);
    args.insert(args.end(), {in, out});
    Outcome run = pxtool(args);
    EXPECT_EQ(run.code, c.code) << run.err;
    if (c.code == 0) {
      EXPECT_EQ(run.out, c.output);
      EXPECT_EQ(test::ReadFileBytes(out), c.decoded);
    } else {
      EXPECT_EQ(run.out, "");
      EXPECT_TRUE(run.err.starts_with(c.output)) << run.err;
      EXPECT_FALSE(fs::exists(out));
    }
    fs::remove(out);
  }
}

TEST(PxTool, PdfDrawProducesADocumentOrNothing) {
  test::TempDir dir;
  const std::string script = dir.File("page.txt"), out = dir.File("out.pdf");
  test::WriteFileBytes(script,
                       "page 61200 79200\n"
                       "layer off Hidden\n"
                       "font 12 b 000080 0 Liberation Sans\n"
                       "pen FF0000 100\n"
                       "brush none\n"
                       "text 7200 7200 Hello, world \u20ac 1.234,56\n"
                       "line 7200 9000 36000 9000\n"
                       "rect 7200 10000 14400 14400\n"
                       "brush 00FF00\n"
                       "ellipse 20000 10000 26000 14400\n"
                       "polygon 30000,10000 36000,10000 33000,14400\n"
                       "setlayer 0\n"
                       "raw 0 0 1 rg\n"
                       "setlayer -1\n"
                       "page 7200 7200\n"
                       "text 0 0 second\n");
  Outcome run = pxtool({"pdf", "draw", "--format", "1", script, out});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_TRUE(std::regex_match(run.out, std::regex("pages 2 objects [0-9]+ bytes [0-9]+\n"))) << run.out;
  Outcome text = shell("pdftotext " + quote(out) + " -");
  EXPECT_NE(text.out.find("Hello, world \u20ac 1.234,56"), std::string::npos) << text.out;
  fs::remove(out);
  for (const auto& [line, message] : std::vector<std::pair<std::string, std::string>>{
           {"page 100 100\nfrobnicate 1\n", "line 2: unknown command frobnicate"},
           {"text 0 0 before any page\n", "line 1: no page started"},
           {"page 100 100\npen red 1\n", "line 2: bad colour red"},
           {"page 100 100\nsetlayer 3\n", "line 2: Invalid Layer value."}}) {
    test::WriteFileBytes(script, line);
    expectFails({{"pdf", "draw", script, out}, message});
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST(PxTool, ReportBuildPrintsTheItemsOfEachPage) {
  test::TempDir dir;
  const std::string script = dir.File("report.txt"), out = dir.File("report.pdf");
  test::WriteFileBytes(script,
                       "margins 7200 7200\n"
                       "newpage\n"
                       "font 10 DejaVu Sans Mono\n"
                       "box 7200 0 36000\n"
                       "markup ab<b>c</b><langnl> nl</langnl><br>\n"
                       "group 100\n"
                       "table 7200,20000 20 0 lines x\n");
  Outcome run = pxtool({"report", "build", "--lang", "en", script, out});
  ASSERT_EQ(run.code, 0) << run.err;
  // Two characters of 602 units, then the bold one after them.
  const std::string want =
      "page 1 59527 84189\n"
      "text 7200 6272 928 236 DejaVu Sans Mono 10 - 000000 0 ab\n"
      "text 8404 6272 928 236 DejaVu Sans Mono 10 b 000000 0 c\n";
  EXPECT_TRUE(run.out.starts_with(want)) << run.out;
  EXPECT_NE(run.out.find("line 7200 "), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(" nl"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::exists(out));
  fs::remove(out);
  test::WriteFileBytes(script, "newpage\ntable 5 0 0 lines x\n");
  expectFails({{"report", "build", script, out}, "line 2: "});
  EXPECT_FALSE(fs::exists(out));
  test::WriteFileBytes(script, "markup x\n");
  expectFails({{"report", "build", script, out}, "line 1: no page started"});
}

// The receipt the scale prints after a counting, CR LF line ends.
const std::string kReceipt =
    "Deno        Pcs    Value \r\n"
    "------------------------\r\n"
    "GBP 5        4       20\r\n"
    "GBP 10       5       50\r\n"
    "GBP 20       5      100\r\n"
    "GBP 50       5      250\r\n"
    "------------------------\r\n"
    "            19      420\r\n";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

TEST(PxTool, ReceiptParsePrintsTheReceiptTable) {
  test::TempDir dir;
  const std::string file = dir.File("receipt.txt");
  struct Case {
    std::string name;
    std::string text;
    int code;
    std::string out;
    std::string err;
  };
  const std::string rejected = "Receipt rejected: a row or the totals do not add up, or a line is malformed\n";
  const std::string table =
      "Denomination:astr\tValue/piece:int\tCount:int\tValue:int\n"
      "GBP\t5\t4\t20\n"
      "GBP\t10\t5\t50\n"
      "GBP\t20\t5\t100\n"
      "GBP\t50\t5\t250\n"
      "<SUM>\t\t19\t420\n";
  const std::vector<Case> cases = {
      {"good", kReceipt, 0, table, ""},
      {"noise before and after", "\x1b@ header\r\nDATE 01-02-2024\r\n" + kReceipt + "thank you\r\n", 0, table, ""},
      {"wrong total", replaced(kReceipt, "19      420", "19      421"), 1, "", rejected},
      {"wrong row", replaced(kReceipt, "5       50", "5       55"), 1, "", rejected},
      {"cut short", kReceipt.substr(0, kReceipt.find("GBP 20")), 1, "", "No complete receipt found\n"},
      {"empty", "", 1, "", "No complete receipt found\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteFileBytes(file, c.text);
    Outcome run = pxtool({"receipt", "parse", file});
    EXPECT_EQ(run.code, c.code);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
  Outcome missing = pxtool({"receipt", "parse", dir.File("missing.txt")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "Cannot open file \"" + dir.File("missing.txt") + "\".\n");
}

TEST(PxTool, SqlPrintsResultSetsTabSeparated) {
  test::TempDir dir, lock;
  const std::string env = "FIREBIRD_LOCK=" + quote(lock.Path().string());
  const std::string db = dir.File("test.fdb");
  auto sql = [&](std::vector<std::string> args) {
    args.insert(args.begin(), "sql");
    return pxtool(args, env);
  };

  Outcome created = sql({"--create", db,
                     "create table t (id integer not null, name varchar(20), amount numeric(12,4), "
                     "ts timestamp, d date, big bigint)"});
  ASSERT_EQ(created.code, 0) << created.err;
  EXPECT_EQ(created.out, "");
  ASSERT_TRUE(fs::exists(db));

  // Statements run in order in one transaction, which is committed: the
  // rows inserted here are there for the next run. --create on an existing
  // file opens it.
  Outcome filled = sql({"--create", db,
                    "insert into t values (1, 'Z\xC3\xBCrich', 12.3456, '2024-02-29 13:45:07.1234', '2024-02-29', "
                    "-9223372036854775808)",
                    "insert into t (id) values (2)", "select count(*) as n from t"});
  EXPECT_EQ(filled.code, 0) << filled.err;
  EXPECT_EQ(filled.out, "N\n2\n");

  Outcome selected = sql({db, "select id, name, amount, ts, d, big from t order by id",
                      "select trim(rdb$character_set_name) as cs from rdb$database",
                      "select mon$page_size, mon$sql_dialect from mon$database"});
  EXPECT_EQ(selected.code, 0) << selected.err;
  EXPECT_EQ(selected.out,
            "ID\tNAME\tAMOUNT\tTS\tD\tBIG\n"
            "1\tZ\xC3\xBCrich\t12.3456\t2024-02-29 13:45:07.1234\t2024-02-29\t-9223372036854775808\n"
            "2\t\t\t\t\t\n"
            "CS\n"
            "ISO8859_1\n"
            "MON$PAGE_SIZE\tMON$SQL_DIALECT\n"
            "4096\t3\n");
  EXPECT_EQ(selected.err, "");

  // A failing statement: the engine's lines without CR, a non-zero exit, and
  // nothing of the transaction kept.
  Outcome failed = sql({db, "delete from t", "select * from nosuch"});
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(failed.out, "");
  EXPECT_NE(failed.err.find("Table unknown\nNOSUCH\n"), std::string::npos) << failed.err;
  EXPECT_EQ(failed.err.find('\r'), std::string::npos);
  EXPECT_EQ(sql({db, "select count(*) as n from t"}).out, "N\n2\n");

  Outcome missing = sql({dir.File("missing.fdb"), "select 1 from rdb$database"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("missing.fdb"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(dir.File("missing.fdb")));
}

TEST(PxTool, CountingInitCreatesTheDatabaseOnce) {
  test::TempDir dir, lock;
  const std::string env = "FIREBIRD_LOCK=" + quote(lock.Path().string());
  const std::string db = dir.File("px.fdb");
  for (int run = 0; run < 2; ++run) {
    Outcome init = pxtool({"counting", "init", db}, env);
    EXPECT_EQ(init.code, 0) << init.err;
    EXPECT_EQ(init.out, "");
    EXPECT_EQ(init.err, "");
  }
  EXPECT_EQ(pxtool({"sql", db, "select id, name from users"}, env).out, "ID\tNAME\n-1\tAnonymous\n");

  Outcome remote = pxtool({"counting", "init", "localhost:" + dir.File("remote.fdb")}, env);
  EXPECT_EQ(remote.code, 1);
  EXPECT_NE(remote.err, "");
  EXPECT_EQ(remote.err.find('\r'), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("remote.fdb")));
  EXPECT_EQ(pxtool({"counting", "init"}, env).code, 2);

  // --create makes a new database and refuses one that exists.
  const std::string fresh = dir.File("fresh.fdb");
  EXPECT_EQ(pxtool({"counting", "init", "--create", fresh}, env).code, 0);
  EXPECT_EQ(pxtool({"sql", fresh, "select count(*) from users"}, env).out, "COUNT\n1\n");
  Outcome again = pxtool({"counting", "init", "--create", db}, env);
  EXPECT_EQ(again.code, 1);
  EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
  EXPECT_EQ(pxtool({"counting", "init", "--create"}, env).code, 2);
}

TEST(PxTool, TreeHeaderRefusesShortAndMissingBlocks) {
  test::TempDir dir;
  // A versioned block that stops inside its column count.
  const std::string shortBlock = dir.File("short.bin");
  test::WriteFileBytes(shortBlock, std::string("\xff\xff\xff\xff\x06\x00\x00\x00\x01\x00", 10));
  expectFails({{"tree", "header", shortBlock}, "Stream read error"});
  expectFails({{"tree", "header", "--rewrite", shortBlock, dir.File("out.bin")}, "Stream read error"});
  EXPECT_FALSE(fs::exists(dir.File("out.bin")));
  expectFails({{"tree", "header", dir.File("missing.bin")}, "Cannot open file"});
}

}  // namespace
}  // namespace px

namespace px {
namespace {

TEST(PxTool, FontCommands) {
  const std::string sans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
  Outcome info = pxtool({"font", "info", "Arial", "--bold"});
  ASSERT_EQ(info.code, 0) << info.err;
  auto lines = split(info.out, '\n');
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "file /usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf 0 TrueType");
  EXPECT_EQ(lines[7], "name 6 LiberationSans-Bold");
  EXPECT_EQ(lines[8], "upem 2048 glyphs 2620 hmetrics 2620");
  EXPECT_TRUE(lines[9].starts_with("measured 1409 1082 ")) << lines[9];
  Outcome byFile = pxtool({"font", "info", sans});
  EXPECT_TRUE(byFile.out.starts_with("file " + sans + " 0 TrueType\n")) << byFile.out;

  // A and V kern by -152 units; the pair shows in the first advance only.
  Outcome advances = pxtool({"font", "advances", sans, "AV\xC3\xA9"});
  EXPECT_EQ(advances.out, "U+0041 36 1214\nU+0056 57 1366\nU+00E9 171 1139\n");

  Outcome outline = pxtool({"font", "outline", "Liberation Sans", "79"});  // "l": one closed rectangle
  EXPECT_EQ(outline.out, "138 0 1\n138 1484 1\n318 1484 1\n318 0 1\n138 0 1\n\n");

  test::TempDir dir;
  Outcome rebuilt = pxtool({"font", "rebuild", "--embedding", sans, dir.File("e.ttf")});
  ASSERT_EQ(rebuilt.code, 0) << rebuilt.err;
  EXPECT_EQ(shell("/usr/bin/python3 -c \"from fontTools.ttLib import TTFont; "
                  "print(sorted(TTFont('" + dir.File("e.ttf") + "', checkChecksums=2).keys()))\"").out,
            "['GlyphOrder', 'OS/2', 'cmap', 'cvt ', 'fpgm', 'glyf', 'head', 'hhea', 'hmtx', 'loca', 'maxp', 'post', 'prep']\n");

  Outcome encoding = pxtool({"font", "encoding", "WinAnsiEncoding", "--font", "Helvetica"});
  auto codes = split(encoding.out, '\n');
  EXPECT_EQ(codes.size(), 224u);  // 32..126, 127..255 with the bullets and Euro
  EXPECT_EQ(codes[0], "32 space U+0020 278");
  EXPECT_EQ(pxtool({"font", "encoding", "Identity-H"}).out.substr(0, 22), "0 - U+0000 0\n1 - U+000");

  // Not a registered name: split into family and style, whose family the
  // font configuration aliases.
  EXPECT_EQ(pxtool({"font", "map", "Helvetica,BoldItalic"}).out,
            "Helvetica\t700\t1\t/usr/share/fonts/truetype/liberation2/LiberationSans-BoldItalic.ttf\n");
  EXPECT_EQ(pxtool({"font", "map", "TimesNewRomanPSMT"}).out,
            "Times New Roman\t400\t0\t/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf\n");

  expectFails({{"font", "info", "/etc/hostname"}, "font: /etc/hostname holds no TrueType or CFF face"});
  expectFails({{"font", "rebuild", "/usr/share/fonts/opentype/urw-base35/D050000L.otf", dir.File("x")},
               "font rebuild: /usr/share/fonts/opentype/urw-base35/D050000L.otf is not a TrueType file"});
  EXPECT_EQ(pxtool({"font", "outline", "Liberation Sans", "99999"}).out, "");  // beyond the glyphs: empty
}

// A counting stored by isql's peer tools: the user through the procedure,
// the details written by the dataset command and inserted as bytes.
TEST(PxTool, CountingReportWritesThePdfAndItsCsvLines) {
  test::TempDir dir, lock;
  const std::string env = "FIREBIRD_LOCK=" + quote(lock.Path().string()) + " LC_ALL=nl_NL.UTF-8 LANG=nl_NL.UTF-8";
  const std::string db = dir.File("px.fdb"), tsv = dir.File("d.tsv"), dat = dir.File("d.dat");
  ASSERT_EQ(pxtool({"counting", "init", db}, env).code, 0);
  ASSERT_EQ(pxtool({"sql", db, "select id from adduser('Jan; \"Bos\"')"}, env).out, "ID\n1\n");
  test::WriteFileBytes(tsv, "Type:int\tName:astr\tCount:int\tTotal:curr\n0\t2 euro\t617\t1234.0000\n"
                            "3\tInitial cash\t0\t-12.5000\n5\tTotal\t0\t1221.5000\n");
  ASSERT_EQ(pxtool({"dataset", "write", "--key", "qjv", tsv, dat}).code, 0);
  ASSERT_EQ(pxtool({"sql", db,
                    "insert into countings values (1, 1, '2024-03-01 09:05:00', x'" +
                        test::HexText(test::ReadFileBytes(dat)) + "', 'EUR', 'K1', 'Bos BV', 122150)"},
                   env)
                .code,
            0);

  const std::string pdf = dir.File("out.pdf"), csv = dir.File("out.csv");
  Outcome made = pxtool({"counting", "report", db, "1", pdf, csv}, env);
  ASSERT_EQ(made.code, 0) << made.err;
  EXPECT_EQ(made.out, "");
  EXPECT_EQ(shell("qpdf --check " + quote(pdf)).code, 0);
  // Numbers in the user's format.
  Outcome text = shell("pdftotext -layout " + quote(pdf) + " -");
  EXPECT_NE(text.out.find("1.234,00"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("1 Jan; \"Bos\""), std::string::npos) << text.out;

  // The CSV lines keep their columns when read back as CSV.
  const std::string lines = test::ReadFileBytes(csv);
  EXPECT_TRUE(lines.starts_with("Drawer;K1\r\nBatchID;1\r\nDate;01-03-2024\r\nTime;09:05:00\r\n")) << lines;
  Outcome rows = shell("/usr/bin/python3 -c \"import csv,sys\n"
                       "for r in csv.reader(open(sys.argv[1], newline=''), delimiter=';'): print('|'.join(r))\" " +
                       quote(csv));
  EXPECT_EQ(rows.out,
            "Drawer|K1\nBatchID|1\nDate|01-03-2024\nTime|09:05:00\nCompany|Bos BV\nEmployee|1 Jan; \"Bos\"\n"
            "Currency|EUR\n|Description|Count|ValueCredit|ValueDebit\nCoins|2 euro|617|1.234,00|\n"
            "Others|Initial cash|||12,50\n|Total||1.221,50|\n");

  // Without a CSV file only the PDF; errors print the message.
  EXPECT_EQ(pxtool({"counting", "report", db, "1", dir.File("only.pdf")}, env).code, 0);
  EXPECT_TRUE(fs::exists(dir.File("only.pdf")));
  Outcome missing = pxtool({"counting", "report", db, "7", dir.File("none.pdf")}, env);
  EXPECT_EQ(missing.code, 1);
  EXPECT_TRUE(missing.err.starts_with("Assertion failure")) << missing.err;
  EXPECT_FALSE(fs::exists(dir.File("none.pdf")));
  EXPECT_EQ(pxtool({"counting", "report", db, "x", pdf}, env).code, 2);
}

TEST(PxTool, GridShowsADatasetFileInTableOrderAndSortsByHeaderClicks) {
  test::TempDir dir;
  const std::string tsv = dir.File("grid.tsv"), dat = dir.File("grid.dat");
  test::WriteFileBytes(tsv,
                       "ID:int\tName:astr\tValue:int\n"
                       "1\tfirst\t30\n2\tsecond\t-5\n3\tthird\t30\n4\tfour\\tth\t7\n5\tfifth\t-5\n6\tsixth\t7\n");
  ASSERT_EQ(pxtool({"dataset", "write", tsv, dat}).code, 0);

  Outcome plain = pxtool({"grid", dat});
  EXPECT_EQ(plain.code, 0) << plain.err;
  EXPECT_EQ(plain.out,
            "layout A000750001000750011000750021\n"
            "1\tfirst\t30\n2\tsecond\t-5\n3\tthird\t30\n4\tfour\\tth\t7\n5\tfifth\t-5\n6\tsixth\t7\n");

  // Clicks on the Value column: ascending, then descending; the order is
  // that of a stable sort of the rows, ties in table order.
  Outcome stable = shell("/usr/bin/python3 -c \"\n"
                         "rows=[l.split('\\t') for l in open('" + tsv + "').read().splitlines()[1:]]\n"
                         "for rev in (False, True):\n"
                         "  print(' '.join(r[0] for r in sorted(rows, key=lambda r: int(r[2]), reverse=rev)))\"");
  ASSERT_EQ(stable.code, 0) << stable.err;
  std::vector<std::string> expected = split(stable.out, '\n');
  for (int clicks = 1; clicks <= 2; ++clicks) {
    std::vector<std::string> args = {"grid", "--key", "ID"};
    for (int i = 0; i < clicks; ++i) args.insert(args.end(), {"--click", "2"});
    args.push_back(dat);
    Outcome sorted = pxtool(args);
    EXPECT_EQ(sorted.code, 0) << sorted.err;
    std::string ids;
    for (const std::string& line : split(sorted.out, '\n'))
      if (!line.empty() && !line.starts_with("layout ")) ids += (ids.empty() ? "" : " ") + split(line, '\t')[0];
    // A descending sort keeps ties in table order too; Python's reverse
    // sort does the same.
    EXPECT_EQ(ids, expected[clicks - 1]) << sorted.out;
  }

  // A layout is applied (hiding Name, the widths); one of the wrong form
  // changes nothing.
  Outcome laid = pxtool({"grid", "--layout", "A000500011001200000000800021", dat});
  EXPECT_TRUE(laid.out.starts_with("layout A000500011001200000000800021\n")) << laid.out;
  Outcome ignored = pxtool({"grid", "--layout", "A00050001100120000000080002", dat});
  EXPECT_TRUE(ignored.out.starts_with("layout A000750001000750011000750021\n")) << ignored.out;

  // The rendering is a PNG of the size asked for.
  const std::string png = dir.File("grid.png");
  EXPECT_EQ(pxtool({"grid", "--size", "320x120", "--png", png, dat}).code, 0);
  Outcome size = shell("/usr/bin/python3 -c \"import struct,sys; d=open(sys.argv[1],'rb').read(24); "
                       "print(struct.unpack('>II', d[16:24]))\" " + quote(png));
  EXPECT_EQ(size.out, "(320, 120)\n");

  Outcome unknown = pxtool({"grid", "--key", "Nosuch", dat});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_NE(unknown.err.find("Nosuch"), std::string::npos) << unknown.err;
  Outcome missing = pxtool({"grid", dir.File("missing.dat")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_NE(missing.err.find("missing.dat"), std::string::npos) << missing.err;
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"grid"}, {"grid", "--click", "x", dat}, {"grid", "--size", "9", dat},
                                             {"grid", dat, dat}, {"grid", "--png"}}) {
    Outcome run = pxtool(wrong);
    EXPECT_EQ(run.code, 2) << joinArgs(wrong);
    EXPECT_TRUE(run.err.starts_with("usage:\n")) << run.err;
  }
}

}  // namespace
}  // namespace px
