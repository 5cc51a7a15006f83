// The tree's clipboard on a real X server (px_with_xserver, the xcb platform),
// against xclip: what xclip reads from a tree's copy, what a paste makes of
// blocks xclip offers, and xclip taking the clipboard over.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "CaptionTreeSupport.h"
#include "support/ServeWhile.h"
#include "platform/core/CodePages.h"

namespace px::test {
namespace {


std::string read(const std::string& target) {
  std::string out;
  EXPECT_EQ(run("xclip -o -selection clipboard -t '" + target + "'", &out), 0) << target;
  return out;
}

// xclip takes the clipboard with the file's bytes under the target.
void offer(const std::string& target, const std::string& bytes) {
  const std::string path = "/tmp/xclip-offer-" + std::to_string(::getpid());
  std::ofstream(path, std::ios::binary) << bytes;
  ASSERT_EQ(run("xclip -selection clipboard -t '" + target + "' -i " + path + " >/dev/null 2>&1"), 0);
  ASSERT_TRUE(waitFor([&] {
    std::string t;
    run("xclip -o -selection clipboard -t TARGETS", &t);
    return t.find(target) != std::string::npos;
  }));
  std::remove(path.c_str());
}

struct Copied {
  OwnedTree t;
  Copied() {
    t->Options().SetSelectionOptions({slMultiSelect});
    PNTNode a = t->Add(nullptr, "a<b & c");
    t->Add(a, "é\n中");
    t->Add(nullptr, "x");
    t->AddToSelection(a);
    t->CopyToClipboard();
  }
};

TEST(TreeTransferX11, XclipReadsTheTypesTextAndBlock) {
  Copied c;
  const std::string targets = read("TARGETS");
  for (const char* type : {"Node Tree Data", "UTF8_STRING", "text/plain", "text/html", "HTML Format", "text/rtf",
                           "Rich Text Format", "CSV"})
    EXPECT_NE(targets.find(type), std::string::npos) << type << " in " << targets;
  EXPECT_EQ(targets.find("Node Tree Reference"), std::string::npos);
  EXPECT_EQ(read("UTF8_STRING"), UnicodeToUtf8(c.t->ContentToUnicode(tstCutCopySet, u"\t")));
  EXPECT_EQ(read("Node Tree Data"), c.t->RenderTreeDataBlock(true));
  EXPECT_TRUE(c.t->Find("a<b & c")->Has(nsCutCopyMarked));
}

TEST(TreeTransferX11, AnotherOwnerClearsTheMarksAndClearLeavesItsText) {
  Copied c;
  ASSERT_TRUE(c.t->TreeStates().Contains(stCopyPending));
  offer("UTF8_STRING", "theirs");
  EXPECT_TRUE(waitFor([&] { return !c.t->TreeStates().Contains(stCopyPending); }));
  EXPECT_FALSE(c.t->Find("a<b & c")->Has(nsCutCopyMarked));

  c.t->AddToSelection(c.t->Find("x"));
  c.t->CopyToClipboard();
  ASSERT_NE(read("TARGETS").find("Node Tree Data"), std::string::npos);
  offer("UTF8_STRING", "theirs again");
  c.t->Clear();
  EXPECT_EQ(read("UTF8_STRING"), "theirs again");
}

TEST(TreeTransferX11, BlocksFromXclipPasteOrAreRefused) {
  OwnedTree source;
  source->Add(source->Add(nullptr, "p"), "q");
  source->AddToSelection(source->Find("p"));
  const std::string valid = source->RenderTreeDataBlock(false);
  std::string truncated = valid.substr(0, valid.size() - 5);
  std::string forged = valid;
  forged[0] = '\xff', forged[1] = '\xff', forged[2] = '\xff', forged[3] = '\x7f';
  struct Case {
    const char* name;
    std::string bytes;
    bool pasted;
  } cases[] = {{"valid", valid, true}, {"truncated", truncated, false}, {"forged count", forged, false}};
  for (auto& k : cases) {
    OwnedTree t;
    offer("Node Tree Data", k.bytes);
    ASSERT_TRUE(waitFor([] {
      const QMimeData* m = QGuiApplication::clipboard()->mimeData();
      return m && m->formats().contains("Node Tree Data");
    }));
    EXPECT_EQ(t->PasteFromClipboard(), k.pasted) << k.name;
    EXPECT_EQ(t->Outline(), k.pasted ? "p(q)" : "") << k.name;
  }
}

}  // namespace
}  // namespace px::test
