// pxtool tree header FILE
// pxtool tree header --rewrite IN OUT
// Reads a tree header block (columns and header values) into the header of a
// fresh tree and prints the values as the header holds them, or writes the
// block back in the current version.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

#include "PxTool.h"
#include "PxToolCommon.h"
#include "TreeTsv.h"
#include "platform/core/CodePages.h"
#include "platform/core/Streams.h"
#include "ui/tree/NodeTrees.h"

namespace px::pxtool {
namespace {

std::string hex(int64_t value) {
  std::ostringstream s;
  s << "0x" << std::uppercase << std::hex << static_cast<uint32_t>(value);
  return s.str();
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::unique_ptr<TBytesStream> readFile(const std::string& path) {
  TFileStream file(path, fmOpenRead);
  auto stream = std::make_unique<TBytesStream>();
  stream->CopyFrom(file, 0);
  stream->SetPosition(0);
  return stream;
}

void printHeader(TNTHeader& header, std::ostream& out) {
  TNodeTreeColumns& columns = header.Columns();
  out << "version " << header.StreamVersion() << "\n";
  for (TColumnIndex i = 0; i < columns.Count(); ++i) {
    const TNodeTreeColumn* c = columns.Items(i);
    out << "column " << i << " pos=" << c->Position() << " width=" << c->Width() << " minwidth=" << c->MinWidth()
        << " maxwidth=" << c->MaxWidth() << " style=" << c->Style() << " imageindex=" << c->ImageIndex()
        << " layout=" << c->Layout() << " margin=" << c->Margin() << " spacing=" << c->Spacing()
        << " bidimode=" << c->BiDiMode() << " options=" << hex(static_cast<int64_t>(c->Options().Mask()))
        << " tag=" << c->Tag() << " alignment=" << c->Alignment() << " color=" << hex(c->Color());
    if (c->Options().Contains(coUseCaptionAlignment)) out << " captionalignment=" << c->CaptionAlignment();
    out << " text=" << escaped(UnicodeToUtf8(c->Text())) << " hint=" << escaped(UnicodeToUtf8(c->Hint())) << "\n";
  }
  out << "positions";
  for (int32_t index : columns.PositionMap()) out << " " << index;
  out << "\n";
  out << "newcolumnwidth " << columns.NewColumnWidth << "\n";
  TNTFixedAreaConstraints& k = header.FixedAreaConstraints();
  const TFont& font = header.Font();
  out << "header autosizeindex=" << header.AutoSizeIndex() << " background=" << hex(header.Background())
      << " height=" << header.Height() << " options=" << hex(static_cast<int64_t>(header.Options().Mask()))
      << " style=" << header.Style() << " fontcolor=" << hex(font.Color()) << " fontheight=" << font.Height()
      << " fontpitch=" << header.FontPitch << " fontstyle=" << font.Style().Mask()
      << " maincolumn=" << header.MainColumn() << " sortcolumn=" << header.SortColumn()
      << " sortdirection=" << header.SortDirection() << " parentfont=" << (header.ParentFont() ? 1 : 0)
      << " maxheight=" << header.MaxHeight() << " minheight=" << header.MinHeight()
      << " defaultheight=" << header.DefaultHeight() << " maxheightpercent=" << int(k.MaxHeightPercent())
      << " maxwidthpercent=" << int(k.MaxWidthPercent()) << " minheightpercent=" << int(k.MinHeightPercent())
      << " minwidthpercent=" << int(k.MinWidthPercent()) << " fontname=" << escaped(font.Name()) << "\n";
}

int runTree(const Args& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && (args[0] == "dump" || args[0] == "export")) return runTreeTransfer(args, out, err);
  if (!args.empty() && args[0] == "clip") return runTreeClip(args, out, err);
  if (args.empty() || args[0] != "header") return usageError(err);
  const bool rewrite = args.size() == 4 && args[1] == "--rewrite";
  if (!rewrite && args.size() != 2) return usageError(err);
  if (!rewrite && args[1].rfind("--", 0) == 0) return usageError(err);
  auto input = readFile(args[1 + (rewrite ? 1 : 0)]);
  guiApplication();
  TObjectPtr<TBaseNodeTree> tree = MakeObject<TBaseNodeTree>(nullptr);
  TNTHeader& header = tree->Header();
  header.LoadFromStream(*input);
  if (rewrite) {
    SaveFileAtomically(args[3], [&](TStream& stream) { header.SaveToStream(stream); });
    return 0;
  }
  printHeader(header, out);
  return 0;
}

const PxCommand treeCommand("tree",
                            "tree header FILE | tree header --rewrite IN OUT | tree dump FILE | "
                            "tree export html|cfhtml|rtf|text|unicode|csv|stream|block TSV | tree clip copy TSV | "
                            "tree clip paste",
                            runTree);

}  // namespace
}  // namespace px::pxtool
