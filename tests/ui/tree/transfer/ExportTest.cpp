// Exports: separated text in both flavours, RTF and HTML details, CF_HTML
// offsets, and the outputs read back by outside parsers (Python's html.parser
// and csv, unrtf) through pxtool.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "TransferTestSupport.h"
#include "platform/core/CodePages.h"
#include "support/TempDir.h"

namespace px::test {
namespace {

std::string pxtool() { return std::string(std::getenv("PX_BUILD_DIR")) + "/tools/pxtool/pxtool"; }

// Name | Value columns: a(1) with child a1(2), then b.
void fillColumns(CellTree& t) {
  t.AddColumns({u"Name", u"Value"});
  PNTNode a = t.Add(nullptr, {u"a", u"1"});
  t.Add(a, {u"a1", u"x,y"});
  t.Add(nullptr, {u"say \"hi\"", u"3"});
  t->FullExpand();
}

TEST(TreeExport, SeparatedTextQuotingAndIndentation) {
  CellTree t;
  fillColumns(t);
  // The main column is padded to the deepest level, so every row has the
  // same number of fields.
  EXPECT_EQ(t->ContentToText(tstAll, ","), "Name,,Value\r\na,,1\r\n,a1,\"x,y\"\r\n\"say \"\"hi\"\"\",,3\r\n");
  EXPECT_EQ(t->ContentToUnicode(tstAll, u","), u"Name,,Value\r\na,,1\r\n,a1,\"x,y\"\r\nsay \"hi\",,3\r\n");
  // Without columns: one text a line, indented by the separator.
  CellTree plain;
  PNTNode p = plain.Add(nullptr, {u"top"});
  plain.Add(p, {u"inner"});
  plain->FullExpand();
  EXPECT_EQ(plain->ContentToText(tstAll, "\t"), "top\r\n\tinner\r\n");
  EXPECT_EQ(plain->ContentToUnicode(tstAll, u"\t"), u"top\r\n\tinner\r\n");
}

TEST(TreeExport, CheckedOnlyModeAndTheNodeHook) {
  CellTree t;
  PNTNode on = t.Add(nullptr, {u"on"});
  PNTNode off = t.Add(nullptr, {u"off"});
  t->SetCheckType(on, ctCheckBox);
  t->SetCheckType(off, ctCheckBox);
  t->SetCheckState(on, csCheckedNormal);
  t->Options().ExportFilter = 1;
  EXPECT_EQ(t->ContentToText(tstAll, "\t"), "on\r\n");
  EXPECT_EQ(t->ContentToUnicode(tstAll, u"\t"), u"on\r\noff\r\n");
  EXPECT_EQ(t->ContentToHTML(tstAll).find(">off<"), std::string::npos);
  EXPECT_EQ(t->ContentToRTF(tstAll).find("\\u111\\'3f\\u102"), std::string::npos);
  t->Options().ExportFilter = 0;
  t->OnBeforeNodeExport = [&](TBaseNodeTree*, TNTExportKind kind, PNTNode node) {
    return !(kind == etText && node == on);
  };
  EXPECT_EQ(t->ContentToText(tstAll, "\t"), "off\r\n");
}

TEST(TreeExport, RtfCharactersAndLineBreaks) {
  CellTree t;
  t.Add(nullptr, {u"\u00e9a\r\nb\uffff"});
  const std::string rtf = t->ContentToRTF(tstAll);
  EXPECT_NE(rtf.find(" \\u233\\'3f\\u97\\'3f{\\par}\\u98\\'3f\\u-1\\'3f\\cell"), std::string::npos) << rtf;
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl{\\f0 ", 0), 0u);
  EXPECT_EQ(rtf.back(), '}');
}

TEST(TreeExport, HtmlEscapesCellsAndCaption) {
  CellTree t;
  fillColumns(t);
  t->Header().Columns().Items(1)->SetText(u"<b>");
  const std::string html = t->ContentToHTML(tstAll, u"a \"q\" & <c>");
  EXPECT_NE(html.find("caption=\"a &quot;q&quot; &amp; &lt;c&gt;\""), std::string::npos);
  EXPECT_NE(html.find(">&lt;b&gt;</th>"), std::string::npos);
  EXPECT_NE(html.find(">say \"hi\"</td>"), std::string::npos);
}

// A framed tree frames its table as wide as its border; the grid lines are
// solid or dotted as the tree draws them.
TEST(TreeExport, HtmlTableFrameAndGridLineStyle) {
  CellTree t;
  fillColumns(t);
  t->Options().SetPaintOptions(t->Options().PaintOptions() + TNTPaintOptions{poShowHorzGridLines});
  std::string html = t->ContentToHTML(tstAll);
  EXPECT_NE(html.find(" border=\"1\" frame=box"), std::string::npos) << html;
  EXPECT_NE(html.find("border-style:dotted;"), std::string::npos);
  t->SetBorderWidth(2);
  t->SetLineStyle(2);
  html = t->ContentToHTML(tstAll);
  EXPECT_NE(html.find(" border=\"3\" frame=box"), std::string::npos);
  EXPECT_NE(html.find("border-style:solid;"), std::string::npos);
  t->SetBorderStyle(bsNone);
  EXPECT_EQ(t->ContentToHTML(tstAll).find("frame=box"), std::string::npos);
}

TEST(TreeExport, CfHtmlOffsetsCutOutTheFragment) {
  const std::string empty = MakeCFHTML("");
  EXPECT_EQ(empty.substr(0, 97),
            "Version:1.0\r\nStartHTML:00000097\r\nEndHTML:00000301\r\nStartFragment:00000269\r\nEndFragment:00000269\r\n");
  EXPECT_EQ(empty.size(), 301u);
  CellTree t;
  fillColumns(t);
  const std::string fragment = t->ContentToHTML(tstAll);
  const std::string doc = t->ContentToCFHTML(tstAll);
  auto number = [&](const char* name) {
    const size_t at = doc.find(name);
    return static_cast<size_t>(std::stoul(doc.substr(at + std::string(name).size(), 8)));
  };
  const size_t startFragment = number("StartFragment:"), endFragment = number("EndFragment:");
  EXPECT_EQ(doc.substr(startFragment, endFragment - startFragment), fragment);
  EXPECT_EQ(number("EndHTML:"), doc.size());
  EXPECT_EQ(doc.substr(number("StartHTML:"), 9), "<!DOCTYPE");
}

// The TSV of the outside checks: a tab, a line feed, markup and characters
// beyond Latin-1 in the cells.
const char* const Tsv =
    "Name\tNote\n"
    "0\ta<b & c\t\u00e9\n"
    "1\t\u4e2d\tline\\nfeed\n"
    "0\tplain\tx;y,z\n";

TEST(TreeExport, OutsideParsersReadTheExports) {
  TempDir dir;
  const std::string tsv = dir.File("t.tsv");
  WriteFileBytes(tsv, Tsv);
  // html.parser: the text of every cell, header included, in order.
  const std::string htmlCheck =
      "import sys, html.parser\n"
      "class P(html.parser.HTMLParser):\n"
      "  cells=[]; cur=None\n"
      "  def handle_starttag(s,t,a):\n"
      "    if t in ('td','th'): s.cur=''\n"
      "  def handle_endtag(s,t):\n"
      "    if t in ('td','th'): s.cells.append(s.cur); s.cur=None\n"
      "  def handle_data(s,d):\n"
      "    if s.cur is not None: s.cur+=d\n"
      "p=P(convert_charrefs=True); p.feed(sys.stdin.buffer.read().decode('utf-8'))\n"
      "print('|'.join(c for c in p.cells if c != '\\xa0').replace('\\n','\\\\n'))\n";
  WriteFileBytes(dir.File("check_html.py"), htmlCheck);
  std::string out;
  ASSERT_EQ(RunCommand(pxtool() + " tree export html " + tsv + " | /usr/bin/python3 " + dir.File("check_html.py"), &out), 0);
  EXPECT_EQ(out, "Name|Note|a<b & c|\u00e9|\u4e2d|line\\nfeed|plain|x;y,z\n");

  // CF_HTML through Python: the offsets cut out the same table.
  const std::string cfCheck =
      "import sys, re\n"
      "d=sys.stdin.buffer.read()\n"
      "n=lambda k: int(re.search(k.encode()+rb':(\\d{8})', d).group(1))\n"
      "f=d[n('StartFragment'):n('EndFragment')]\n"
      "print(f.startswith(b'<META') and f.endswith(b'</table>'), n('EndHTML')==len(d))\n";
  WriteFileBytes(dir.File("check_cf.py"), cfCheck);
  out.clear();
  ASSERT_EQ(RunCommand(pxtool() + " tree export cfhtml " + tsv + " | /usr/bin/python3 " + dir.File("check_cf.py"), &out), 0);
  EXPECT_EQ(out, "True True\n");

  // unrtf's text output: every cell. Its stock text tags print "?" for any
  // character beyond ASCII, so the tags get the one entry that prints the
  // code point instead ("&#N;", decoded by Python).
  out.clear();
  ASSERT_EQ(RunCommand("mkdir " + dir.File("unrtf") + " && cp /usr/share/unrtf/text.conf " + dir.File("unrtf") +
                       " && printf 'unisymbol_print\\n\\t&#%%;\\n' >> " + dir.File("unrtf/text.conf")),
            0);
  ASSERT_EQ(RunCommand(pxtool() + " tree export rtf " + tsv + " > " + dir.File("t.rtf") + " && unrtf -P " +
                           dir.File("unrtf") + " -t text " + dir.File("t.rtf") +
                           " | /usr/bin/python3 -c 'import sys, html; print(html.unescape(sys.stdin.read()))'",
                       &out),
            0);
  for (const char* cell : {"a<b & c", "\u00e9", "\u4e2d", "line\nfeed", "x;y,z", "Name", "Note"})
    EXPECT_NE(out.find(cell), std::string::npos) << cell << "\n" << out;

  // Python's csv with the locale's list separator: "," for English, ";"
  // where the decimal separator is ",".
  const std::string csvCheck =
      "import sys, csv, io\n"
      "rows=list(csv.reader(io.StringIO(sys.stdin.buffer.read().decode('cp1252'), newline=''), delimiter=sys.argv[1]))\n"
      "print(repr(rows))\n";
  WriteFileBytes(dir.File("check_csv.py"), csvCheck);
  const std::string expected =
      "[['Name', '', 'Note'], ['a<b & c', '', '\u00e9'], ['', '?', 'line\\nfeed'], ['plain', '', 'x;y,z']]\n";
  for (const char* locale : {"en_US.UTF-8", "nl_NL.UTF-8"}) {
    SCOPED_TRACE(locale);
    const std::string separator = std::string(locale).rfind("nl", 0) == 0 ? ";" : ",";
    out.clear();
    ASSERT_EQ(RunCommand("LC_ALL= LANG=" + std::string(locale) + " " + pxtool() + " tree export csv " + tsv +
                             " | /usr/bin/python3 " + dir.File("check_csv.py") + " '" + separator + "'",
                         &out),
              0);
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
}  // namespace px::test
