// pxtool's dataset commands and the dsgen build tool, run as programs.
#include <gtest/gtest.h>

#include <cstdlib>

#include "data/UnitDataSetIO.h"
#include "platform/core/Streams.h"
#include "support/TempDir.h"

namespace px {
namespace {

std::string buildDir() {
  const char* dir = std::getenv("PX_BUILD_DIR");
  return dir ? dir : "build/debug";
}
std::string pxtool() { return buildDir() + "/tools/pxtool/pxtool"; }
std::string dsgen() { return buildDir() + "/tools/dsgen/dsgen"; }
std::string fixture(const std::string& name) { return (test::FixturesDir() / "dataset" / name).string(); }

std::string run(const std::string& command, int expectedStatus = 0) {
  std::string out;
  EXPECT_EQ(test::RunCommand(command, &out) != 0, expectedStatus != 0) << command;
  return out;
}

TEST(DataSetTools, DumpAndWriteRoundTripTheOldFormat) {
  test::TempDir dir;
  const std::string text = run(pxtool() + " dataset dump --key tovek " + fixture("old_tovek.dat"));
  EXPECT_EQ(text.substr(0, text.find('\n')), "ID:int\tName:astr\tValue:dbl\tAmount:curr");
  EXPECT_NE(text.find("\n-64\ttab\\there\t-0\t-922337203685477.5808\n"), std::string::npos);
  EXPECT_NE(text.find("\n63\tZ\xc3\xbcrich\t0.1\t0.0000\n"), std::string::npos);  // UTF-8
  EXPECT_EQ(run(pxtool() + " dataset dump " + fixture("old_plain.dat")), text);
  test::WriteFileBytes(dir.File("t.tsv"), text);
  run(pxtool() + " dataset write --key qjv " + dir.File("t.tsv") + " " + dir.File("out.dat"));
  EXPECT_EQ(run(pxtool() + " dataset dump --key qjv " + dir.File("out.dat")), text);
  // Field flags are not part of the text, so only the optional flag of Name differs.
  std::string expected = test::ReadFileBytes(fixture("old_plain.dat"));
  expected[12] = 0;  // flags of field 1
  run(pxtool() + " dataset write " + dir.File("t.tsv") + " " + dir.File("plain.dat"));
  EXPECT_EQ(test::ReadFileBytes(dir.File("plain.dat")), expected);
}

TEST(DataSetTools, DsgenWritesWhatTheReaderReads) {
  test::TempDir dir;
  const std::string text = run(pxtool() + " dataset dump " + fixture("new_table.dat"));
  test::WriteFileBytes(dir.File("t.tsv"), text);
  run(dsgen() + " --name Widths " + dir.File("t.tsv") + " " + dir.File("t.dat"));
  EXPECT_EQ(run(pxtool() + " dataset dump " + dir.File("t.dat")), text);
  const std::string bytes = test::ReadFileBytes(dir.File("t.dat"));
  TBytesStream in(TBytes(bytes.begin(), bytes.end()));
  IMemDataSet t;
  LoadMemDataSetFromStream(&in, 0, nullptr, t);
  EXPECT_EQ(t->GetName(), "Widths");
  EXPECT_EQ(t->GetIndexCount(), 2);

  run(dsgen() + " --deflate " + dir.File("t.tsv") + " " + dir.File("t.z"));
  run("/usr/bin/python3 -c 'import sys,zlib; sys.stdout.buffer.write(zlib.decompress(open(sys.argv[1],\"rb\").read()))' " +
      dir.File("t.z") + " > " + dir.File("t.unz"));
  EXPECT_EQ(run(pxtool() + " dataset dump " + dir.File("t.unz")), text);
}

TEST(DataSetTools, ErrorsPrintTheLibraryMessage) {
  test::TempDir dir;
  EXPECT_NE(run(pxtool() + " dataset dump " + fixture("old_tovek.dat") + " 2>&1", 1).find("Cannot load dataset"),
            std::string::npos);
  test::WriteFileBytes(dir.File("bad.tsv"), "A:int\nx\n");
  EXPECT_NE(run(pxtool() + " dataset write " + dir.File("bad.tsv") + " " + dir.File("o") + " 2>&1", 1).find("Line 2"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.File("o")));
  test::WriteFileBytes(dir.File("b.tsv"), "A:bool\nTrue\n");
  EXPECT_NE(run(pxtool() + " dataset write " + dir.File("b.tsv") + " " + dir.File("o") + " 2>&1", 1)
                .find("NOTIMPLEMENTEDYET"),
            std::string::npos);
}

}  // namespace
}  // namespace px
