// The tree's data object, clipboard copy, cut and paste, and the format
// views Qt sees, on Qt's offscreen clipboard.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <cstring>
#include <unistd.h>

#include "CaptionTreeSupport.h"
#include "platform/gui/ClipboardFormats.h"
#include "ui/tree/NodeTreesTransfer.h"

namespace px::test {
namespace {

TFormatEtc formatOf(Word cf, uint32_t tymed = TYMED_HGLOBAL) {
  TFormatEtc f;
  f.cfFormat = cf;
  f.tymed = tymed;
  return f;
}

std::string bytesOf(const TStgMedium& m) {
  return m.hGlobal ? std::string(m.hGlobal->begin(), m.hGlobal->end()) : std::string();
}

std::string block(const std::string& nodes) {
  const uint32_t n = static_cast<uint32_t>(nodes.size());
  return std::string(reinterpret_cast<const char*>(&n), 4) + nodes;
}

void putOnClipboard(const std::string& mime, const std::string& bytes) {
  auto* m = new QMimeData;
  m->setData(QString::fromStdString(mime), QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  QGuiApplication::clipboard()->setMimeData(m);
}

TEST(TreeTransfer, FormatEnumeratorStepsAndClones) {
  std::vector<TFormatEtc> formats{formatOf(1), formatOf(13), formatOf(CF_NODETREEDATA())};
  TEnumFormatEtc e(nullptr, formats);
  TFormatEtc out[4];
  uint32_t fetched = 9;
  // Skip within the remaining entries moves; past them it answers S_FALSE
  // and stays.
  EXPECT_EQ(e.Skip(1), S_OK);
  EXPECT_EQ(e.Skip(3), S_FALSE);
  EXPECT_EQ(e.CurrentIndex, 1u);
  IEnumFORMATETCRef clone;
  ASSERT_EQ(e.Clone(clone), S_OK);
  // Next(3) with two left copies two.
  EXPECT_EQ(e.Next(3, out, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(out[0].cfFormat, 13);
  EXPECT_EQ(out[1].cfFormat, CF_NODETREEDATA());
  EXPECT_EQ(e.Next(1, out, nullptr), S_FALSE);
  EXPECT_EQ(clone->Next(1, out, &fetched), S_OK);
  EXPECT_EQ(out[0].cfFormat, 13);
  EXPECT_EQ(e.Reset(), S_OK);
  EXPECT_EQ(e.Next(3, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
}

TEST(TreeTransfer, DataObjectQueriesRendersAndStores) {
  OwnedTree t;
  t->Add(nullptr, "a");
  t->AddToSelection(t->Find("a"));
  auto object = std::make_shared<TNTDataObject>(t.tree.get(), false);
  // Query answers by the last entry with the format.
  struct Case {
    TFormatEtc format;
    HRESULT expected;
  } cases[] = {
      {formatOf(CF_NODETREEDATA()), S_OK},
      {formatOf(CF_NODETREEDATA(), TYMED_ISTREAM | TYMED_HGLOBAL), S_OK},
      {formatOf(CF_NODETREEDATA(), TYMED_ISTREAM), DV_E_TYMED},
      {formatOf(CF_NODETREEDATA(), TYMED_FILE), DV_E_TYMED},
      {formatOf(0x7777), DV_E_FORMATETC},
  };
  for (auto& c : cases) EXPECT_EQ(object->QueryGetData(c.format), c.expected) << c.format.cfFormat;
  TFormatEtc aspect = formatOf(CF_NODETREEDATA());
  aspect.dwAspect = 4;
  EXPECT_EQ(object->QueryGetData(aspect), DV_E_DVASPECT);
  TFormatEtc index = formatOf(CF_NODETREEDATA());
  index.lindex = 0;
  EXPECT_EQ(object->QueryGetData(index), DV_E_LINDEX);

  // The reference: this process, then the tree's id; nothing else.
  TStgMedium m;
  ASSERT_EQ(object->GetData(formatOf(CF_NODETREEREFERENCE()), m), S_OK);
  ASSERT_EQ(GlobalSize(m.hGlobal), 8);
  uint32_t words[2];
  std::memcpy(words, m.hGlobal->data(), 8);
  EXPECT_EQ(words[0], static_cast<uint32_t>(getpid()));
  EXPECT_EQ(FindNodeTree(words[1]), t.tree.get());
  EXPECT_EQ(t->SourceTreeOfDataObject(object), t.tree.get());

  // Rendered text: the selection with CR LF and one zero unit.
  ASSERT_EQ(object->GetData(formatOf(CF_UNICODETEXT), m), S_OK);
  EXPECT_EQ(bytesOf(m), std::string("a\0\r\0\n\0\0\0", 8));

  // SetData without release copies the bytes; a later GetData shares them
  // with the object as release object.
  TStgMedium given;
  given.tymed = TYMED_HGLOBAL;
  given.hGlobal = GlobalAlloc(3);
  std::memcpy(given.hGlobal->data(), "xyz", 3);
  const Word custom = RegisterClipboardFormat("Transfer Test Custom");
  ASSERT_EQ(object->SetData(formatOf(custom), given, false), S_OK);
  given.hGlobal->at(0) = 'Q';
  ASSERT_EQ(object->GetData(formatOf(custom), m), S_OK);
  EXPECT_EQ(bytesOf(m), "xyz");
  EXPECT_EQ(m.pUnkForRelease.get(), static_cast<IUnknown*>(object.get()));
  EXPECT_EQ(object->GetDataHere(formatOf(custom), m), E_NOTIMPL);
  IEnumFORMATETCRef e;
  EXPECT_EQ(object->EnumFormatEtc(DATADIR_SET, e), OLE_S_USEREG);
  EXPECT_EQ(object->DUnadvise(1), E_NOTIMPL);
  ReleaseStgMedium(m);

  // The object holds its tree weakly: once the tree is gone nothing renders.
  t.Free();
  EXPECT_EQ(object->GetData(formatOf(CF_NODETREEDATA()), m), E_FAIL);
  EXPECT_EQ(object->GetData(formatOf(CF_NODETREEREFERENCE()), m), E_FAIL);
}

TEST(TreeTransfer, ReferenceFromOutsideTheProcessNamesNoTree) {
  OwnedTree t;
  const uint32_t id = NodeTreeId(t.tree.get());
  // Reference bytes that arrive as MIME data never count: the format is
  // private to the process, whatever the bytes say.
  auto* forged = new QMimeData;
  const uint32_t words[2] = {static_cast<uint32_t>(getpid()), id};
  forged->setData("Node Tree Reference", QByteArray(reinterpret_cast<const char*>(words), 8));
  std::unique_ptr<QMimeData> keep(forged);
  EXPECT_EQ(t->SourceTreeOfDataObject(DataObjectOfMimeData(forged)), nullptr);
  EXPECT_TRUE(ClipboardFormatMimeTypes(CF_NODETREEREFERENCE()).empty());
  // An unknown id or a forged process names nothing either.
  EXPECT_EQ(FindNodeTree(id + 1000), nullptr);
  EXPECT_EQ(FindNodeTree(0), nullptr);
}

TEST(TreeTransfer, MimeViewOffersTheRegisteredNamesAndText) {
  OwnedTree t;
  t->SetNodeDataSize(4);
  t->Add(nullptr, "a<b & c");
  t->AddToSelection(t->Find("a<b & c"));
  std::unique_ptr<QMimeData> mime(NewMimeDataFor(std::make_shared<TNTDataObject>(t.tree.get(), false)));
  const QStringList formats = mime->formats();
  for (const char* expected : {"Node Tree Data", "HTML Format", "text/html", "Rich Text Format", "text/rtf", "CSV",
                               "text/plain;charset=utf-8", "text/plain"})
    EXPECT_TRUE(formats.contains(expected)) << expected << " in " << formats.join(",").toStdString();
  EXPECT_FALSE(formats.contains("Node Tree Reference"));
  EXPECT_EQ(mime->text().toStdString(), "a<b & c\r\n");
  // text/html is the CF_HTML document from StartHTML to EndHTML.
  const std::string html = mime->data("text/html").toStdString();
  EXPECT_EQ(html.rfind("<!DOCTYPE", 0), 0u) << html;
  EXPECT_NE(html.find("a&lt;b &amp; c"), std::string::npos) << html;
  EXPECT_EQ(html.substr(html.size() - 7), "</html>");
  // "Node Tree Data" is the block the tree renders: count, then nodes.
  const QByteArray data = mime->data("Node Tree Data");
  ASSERT_GE(data.size(), 4);
  uint32_t count = 0;
  std::memcpy(&count, data.constData(), 4);
  EXPECT_EQ(count + 4u, static_cast<uint32_t>(data.size()));
  EXPECT_EQ(std::string(data.constData(), data.size()), t->RenderTreeDataBlock(false));
}

TEST(TreeTransfer, CopyWithoutSelectionLeavesTheClipboard) {
  putOnClipboard("text/plain", "keep");
  OwnedTree t;
  t->Add(nullptr, "a");
  t->CopyToClipboard();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "keep");
  EXPECT_FALSE(t->TreeStates().Contains(stCopyPending));
  // Plain text is no node data: nothing is pasted.
  EXPECT_FALSE(t->PasteFromClipboard());
  EXPECT_EQ(t->Outline(), "a");
}

TEST(TreeTransfer, CutAndPasteBetweenTreesMovesCopyCopies) {
  OwnedTree a, b;
  a->Options().SetSelectionOptions({slMultiSelect});
  PNTNode x = a->Add(nullptr, "x");
  a->Add(x, "x1");
  a->Add(nullptr, "y");
  a->Add(nullptr, "z");
  b->Add(nullptr, "t");

  a->Select({"x", "z"});
  a->CopyToClipboard();
  EXPECT_TRUE(a->TreeStates().Contains(stCopyPending));
  EXPECT_TRUE(a->Find("x")->Has(nsCutCopyMarked));
  EXPECT_TRUE(b->PasteFromClipboard());
  EXPECT_EQ(b->Outline(), "t x(x1) z");
  EXPECT_EQ(a->Outline(), "x(x1) y z");
  EXPECT_FALSE(a->TreeStates().Contains(stCopyPending));
  EXPECT_FALSE(a->Find("x")->Has(nsCutCopyMarked));

  a->Select({"x", "z"});
  a->CutToClipboard();
  EXPECT_TRUE(a->TreeStates().Contains(stCutPending));
  b->SetFocusedNode(b->Find("t"));
  b->DefaultPasteMode = amInsertAfter;
  EXPECT_TRUE(b->PasteFromClipboard());
  // Moved, in their order, behind the focused node; gone from the source.
  EXPECT_EQ(a->Outline(), "y");
  EXPECT_EQ(b->Outline(), "t x(x1) z x(x1) z");
  EXPECT_FALSE(a->TreeStates().Contains(stCutPending));
  // The cut set is used up: another paste adds nothing.
  b->PasteFromClipboard();
  EXPECT_EQ(b->Outline(), "t x(x1) z x(x1) z");
}

// A selected child of a selected parent is marked too, so that the text
// formats show its row; the node data holds it once, inside its parent.
TEST(TreeTransfer, CopyMarksSelectedChildrenOfSelectedParents) {
  OwnedTree t;
  t->Options().SetSelectionOptions({slMultiSelect});
  PNTNode x = t->Add(nullptr, "x");
  t->Add(x, "x1");
  t->Add(x, "x2");
  t->Add(nullptr, "y");
  t->SetExpanded(x, true);
  t->Select({"x", "x1"});
  t->CopyToClipboard();
  EXPECT_TRUE(t->Find("x1")->Has(nsCutCopyMarked));
  EXPECT_FALSE(t->Find("x2")->Has(nsCutCopyMarked));
  const std::string text = QGuiApplication::clipboard()->text().toStdString();
  EXPECT_NE(text.find("x1"), std::string::npos) << text;
  EXPECT_EQ(text.find("x2"), std::string::npos) << text;
  OwnedTree b;
  EXPECT_TRUE(b->PasteFromClipboard());
  EXPECT_EQ(b->Outline(), "x(x1 x2)");
}

TEST(TreeTransfer, CutAndPasteInOneTreeMovesTheSameNodes) {
  OwnedTree t;
  PNTNode a = t->Add(nullptr, "a");
  PNTNode b = t->Add(nullptr, "b");
  t->AddToSelection(a);
  t->CutToClipboard();
  t->SetFocusedNode(b);
  t->DefaultPasteMode = amAddChildLast;
  EXPECT_TRUE(t->PasteFromClipboard());
  EXPECT_EQ(t->Outline(), "b(a)");
  EXPECT_EQ(b->FirstChild, a);  // moved, not re-created
  EXPECT_FALSE(a->Has(nsCutCopyMarked));
  EXPECT_FALSE(t->TreeStates().Contains(stCutPending));
}

TEST(TreeTransfer, ReadOnlyTreesNeitherCutNorPaste) {
  OwnedTree t;
  t->AddToSelection(t->Add(nullptr, "a"));
  t->Options().SetMiscOptions(t->Options().MiscOptions() + TNTMiscOptions{moReadOnly});
  t->CutToClipboard();
  EXPECT_FALSE(t->TreeStates().Contains(stCutPending));
  t->CopyToClipboard();
  EXPECT_TRUE(t->TreeStates().Contains(stCopyPending));
  EXPECT_FALSE(t->PasteFromClipboard());
}

TEST(TreeTransfer, ForeignBlocksPasteOrAreRefused) {
  OwnedTree source;
  source->Add(nullptr, "p");
  source->AddToSelection(source->Find("p"));
  const std::string valid = source->RenderTreeDataBlock(false);
  const std::string nodes = valid.substr(4);
  struct Case {
    const char* name;
    std::string bytes;
    bool pasted;
  } cases[] = {
      {"valid", valid, true},
      {"under four bytes", std::string("\x01\x00", 2), false},
      {"count past the block", block(nodes).replace(0, 4, std::string("\xff\xff\x00\x00", 4)), false},
      {"count of all ones", block(nodes).replace(0, 4, std::string("\xff\xff\xff\xff", 4)), false},
      {"empty", block(""), true},
  };
  for (auto& c : cases) {
    OwnedTree t;
    t->Add(nullptr, "t");
    putOnClipboard("Node Tree Data", c.bytes);
    EXPECT_EQ(t->PasteFromClipboard(), c.pasted) << c.name;
    EXPECT_EQ(t->Outline(), c.pasted && c.bytes.size() > 4 ? "t p" : "t") << c.name;
  }
  // A count shorter than its nodes cuts them off: the reader sees a
  // truncated node and reports it.
  OwnedTree t;
  putOnClipboard("Node Tree Data", block(nodes.substr(0, nodes.size() - 3)));
  try {
    t->PasteFromClipboard();
    ADD_FAILURE() << "no error";
  } catch (const ENodeTreeError& e) {
    EXPECT_GE(e.HelpContext, 2004);
    EXPECT_LE(e.HelpContext, 2006);
  }
  EXPECT_EQ(t->RootNodeCount(), t->RootNode()->ChildCount);
}

TEST(TreeTransfer, AnotherOwnerEndsTheCopyAndClearLeavesItsData) {
  OwnedTree t;
  t->AddToSelection(t->Add(nullptr, "a"));
  t->CopyToClipboard();
  ASSERT_TRUE(t->Find("a")->Has(nsCutCopyMarked));
  putOnClipboard("text/plain", "theirs");
  EXPECT_FALSE(t->TreeStates().Contains(stCopyPending));
  EXPECT_FALSE(t->Find("a")->Has(nsCutCopyMarked));

  // Clear empties the clipboard only while it holds the tree's data.
  t->CopyToClipboard();
  putOnClipboard("text/plain", "theirs again");
  t->Clear();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "theirs again");
  t->AddToSelection(t->Add(nullptr, "b"));
  t->CopyToClipboard();
  t->Clear();
  const QMimeData* left = QGuiApplication::clipboard()->mimeData();
  EXPECT_TRUE(!left || left->formats().isEmpty());
}

TEST(TreeTransfer, DyingTreeLeavesARenderedCopy) {
  OwnedTree a;
  a->Add(a->Add(nullptr, "a"), "a1");
  a->AddToSelection(a->Find("a"));
  a->CopyToClipboard();
  a.Free();
  const QMimeData* left = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(left->text().toStdString(), "a\r\n");
  EXPECT_FALSE(left->formats().contains("Node Tree Reference"));
  OwnedTree b;
  EXPECT_TRUE(b->PasteFromClipboard());
  EXPECT_EQ(b->Outline(), "a(a1)");
}

TEST(TreeTransfer, ClipboardTextFormatsEndWithTheirTerminator) {
  OwnedTree t;
  t->Options().SetSelectionOptions({slMultiSelect});
  for (const char* n : {"a", "b", "c"}) t->AddToSelection(t->Add(nullptr, n));
  struct Case {
    Word format;
    std::string tail;
  } cases[] = {
      {CF_TEXT, std::string("c\r\n\0", 4)},
      {CF_UNICODETEXT, std::string("c\0\r\0\n\0\0\0", 8)},
      {CF_CSV(), std::string("c\r\n\0", 4)},
      {CF_RTF(), std::string("}\0", 2)},
      {CF_HTML(), std::string("</html>\0", 8)},
  };
  for (auto& c : cases) {
    HGLOBAL h = t->ContentToClipboard(c.format, tstSelected);
    ASSERT_TRUE(h) << c.format;
    const std::string bytes(h->begin(), h->end());
    ASSERT_GE(bytes.size(), c.tail.size());
    EXPECT_EQ(bytes.substr(bytes.size() - c.tail.size()), c.tail) << c.format;
  }
  EXPECT_FALSE(t->ContentToClipboard(CF_BITMAP, tstSelected));
}

}  // namespace
}  // namespace px::test
