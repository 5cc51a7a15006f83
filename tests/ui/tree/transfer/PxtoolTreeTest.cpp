// pxtool tree dump and tree export: the formats other tools and tests read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace px::test {
namespace {

std::string pxtool() { return std::string(std::getenv("PX_BUILD_DIR")) + "/tools/pxtool/pxtool"; }

TEST(PxtoolTree, DumpPrintsEveryNodeAndErrorsWithTheirCode) {
  TempDir dir;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " + (FixturesDir() / "tree" / "node_streams.py").string() + " " +
                       dir.Path().string()),
            0);
  std::string out;
  EXPECT_EQ(RunCommand(pxtool() + " tree dump " + dir.File("version1.bin"), &out), 0);
  // Level, child count, height, states, alignment, check state, check type,
  // caption. The old state byte 0x21 reads with visible added; the tree
  // adds has-children to a node with children, all-children-hidden to the
  // leaves and data-set on storing the caption.
  EXPECT_EQ(out,
            "0\t1\t18\t02E1\t50\t0\t0\tx\n"
            "1\t0\t18\t0681\t50\t0\t0\tx1\n"
            "0\t0\t18\t06A1\t50\t0\t0\ty\n");
  out.clear();
  EXPECT_EQ(RunCommand(pxtool() + " tree dump " + dir.File("wrong_version.bin") + " 2>&1", &out), 1);
  EXPECT_EQ(out, "ENodeTreeError 2003: Unable to load tree structure, the version is unknown.\n");
  out.clear();
  EXPECT_EQ(RunCommand(pxtool() + " tree dump " + dir.File("anchor_missing.bin") + " 2>&1", &out), 1);
  EXPECT_EQ(out, "0\t0\t18\t06A1\t50\t0\t0\ta\nENodeTreeError 2005: Stream data corrupt. A node's anchor chunk is missing.\n");
}

TEST(PxtoolTree, ExportedStreamDumpsBackAndPaperFollowsTheLocale) {
  TempDir dir;
  WriteFileBytes(dir.File("t.tsv"), "\n0\tc\ttop\n1\tu\tinner\\tcell\n");
  std::string out;
  ASSERT_EQ(RunCommand(pxtool() + " tree export stream " + dir.File("t.tsv") + " > " + dir.File("t.bin") + " && " +
                           pxtool() + " tree dump " + dir.File("t.bin"),
                       &out),
            0);
  EXPECT_EQ(out,
            "0\t1\t18\t02E1\t50\t2\t2\ttop\n"
            "1\t0\t18\t0681\t50\t0\t2\tinner\\tcell\n");
  for (const auto& [locale, paper] : {std::pair<const char*, const char*>{"en_US.UTF-8", "\\paperw15840\\paperh12240"},
                                      {"nl_NL.UTF-8", "\\paperw16840\\paperh11907"}}) {
    out.clear();
    ASSERT_EQ(RunCommand(std::string("LC_ALL= LANG=") + locale + " " + pxtool() + " tree export rtf " +
                             dir.File("t.tsv"),
                         &out),
              0);
    EXPECT_NE(out.find(paper), std::string::npos) << locale;
  }
}

}  // namespace
}  // namespace px::test
