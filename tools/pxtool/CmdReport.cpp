#include <cstdio>
#include <ostream>
#include <sstream>
#include <vector>

#include "PxTool.h"
#include "ScriptLines.h"
#include "pdf/gui/UnitPDFReport.h"
#include "platform/core/CodePages.h"
#include "platform/core/Streams.h"
#include "ui/png/PNGBitmapAdapter.h"

namespace px::pxtool {
namespace {

class ScriptBuilder : public TPDFReportBuilder {
 public:
  void GetMargins(int32_t& top, int32_t& bottom) override {
    if (marginTop >= 0) top = marginTop;
    if (marginBottom >= 0) bottom -= marginBottom;
  }
  int32_t marginTop = -1, marginBottom = -1;
};

std::string hexColour(TColor c) {
  c = ColorToRGB(c);
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return buf;
}

void printItems(TReportItem& item, std::ostream& out) {
  if (auto* g = dynamic_cast<TReportGroup*>(&item)) {
    for (auto& sub : g->Items()) printItems(*sub, out);
  } else if (auto* t = dynamic_cast<TReportText*>(&item)) {
    std::string style;
    const TFontStyles s = t->Font().Style();
    if (s.Contains(fsBold)) style += 'b';
    if (s.Contains(fsItalic)) style += 'i';
    if (s.Contains(fsUnderline)) style += 'u';
    if (s.Contains(fsStrikeOut)) style += 's';
    if (style.empty()) style = "-";
    out << "text " << t->Left << ' ' << t->Top << ' ' << t->Ascent() << ' ' << t->Descent() << ' ' << t->Font().Name()
        << ' ' << t->Font().Size() << ' ' << style << ' ' << hexColour(t->Font().Color()) << ' ' << t->VerticalMode()
        << ' ' << UnicodeToUtf8(t->Text()) << '\n';
  } else if (auto* l = dynamic_cast<TReportLine*>(&item)) {
    out << "line " << l->P1.X << ' ' << l->P1.Y << ' ' << l->P2.X << ' ' << l->P2.Y << ' ' << l->Pen.Width() << ' '
        << hexColour(l->Pen.Color()) << '\n';
  } else if (auto* b = dynamic_cast<TReportBitmap*>(&item)) {
    out << "bitmap " << b->Left << ' ' << b->Top << ' ' << b->Width << ' ' << b->Height << '\n';
  }
}

// report build [--lang XX] SCRIPT [OUT.pdf]: a report laid out by a script,
// its items printed page by page.
int runBuild(const Args& args, std::ostream& out, std::ostream& err) {
  size_t at = 1;
  std::string language;
  if (at + 1 < args.size() && args[at] == "--lang") {
    if (args[at + 1].size() != 2) return usageError(err);
    language = args[at + 1];
    at += 2;
  }
  if (args.size() - at != 1 && args.size() - at != 2) return usageError(err);
  const std::string target = args.size() - at == 2 ? args[at + 1] : std::string();
  const std::vector<std::string> lines = ReadScriptLines(args[at]);
  ScriptBuilder builder;
  builder.ReportLanguage = language;
  builder.Renderer().ReportLanguage = language;
  int lineNo = 0;
  TMemoryStream* doc = nullptr;
  try {
    for (const std::string& line : lines) {
      ++lineNo;
      if (line.empty() || line[0] == '#') continue;
      auto words = [&](size_t n) { return ScriptWords(line, n); };
      auto number = ScriptNumber;
      const std::string command = line.substr(0, line.find(' '));
      const bool needsPage = command != "newpage" && command != "margins" && command != "font" &&
                             command != "align" && command != "box";
      if (needsPage && !builder.CurrentPage()) throw EConvertError("no page started");
      TReportRenderer& r = builder.Renderer();
      if (command == "newpage") {
        words(1);
        builder.NewPage(true, true, true);
      } else if (command == "margins") {
        auto w = words(3);
        builder.marginTop = number(w[1]);
        builder.marginBottom = number(w[2]);
      } else if (command == "font") {
        auto w = words(3);
        r.Font().SetSize(number(w[1]));
        r.Font().SetName(w[2]);
      } else if (command == "align") {
        auto w = words(2);
        if (w[1] == "left") r.Alignment = 0;
        else if (w[1] == "right") r.Alignment = 1;
        else if (w[1] == "center") r.Alignment = 2;
        else throw EConvertError("bad alignment " + w[1]);
      } else if (command == "spacing") {
        builder.SetLineSpacing(number(words(2)[1]));
      } else if (command == "box") {
        auto w = words(4);
        r.SetBox(number(w[1]), number(w[2]), number(w[3]));
      } else if (command == "markup") {
        r.RenderMarkup(builder.Group(), Utf8ToUnicode(words(2)[1]));
      } else if (command == "group") {
        builder.NewGroup(number(words(2)[1]), false);
      } else if (command == "table") {
        auto w = words(6);
        std::vector<int32_t> positions;
        std::istringstream p(w[1]);
        for (std::string item; std::getline(p, item, ',');) positions.push_back(number(item));
        if (w[4] != "lines" && w[4] != "nolines") throw EConvertError("bad table lines " + w[4]);
        std::vector<UnicodeString> cells;
        std::istringstream c(w[5]);
        for (std::string item; std::getline(c, item, '|');) cells.push_back(Utf8ToUnicode(item));
        builder.AddTable(positions, cells, w[4] == "lines", number(w[2]), number(w[3]));
      } else if (command == "bitmap") {
        auto w = words(6);
        auto item = std::make_unique<TReportBitmap>();
        TBitmap bitmap;
        LoadBitmapFromPNGFile(&bitmap, w[5]);
        item->SetBitmap(bitmap);
        item->Left = number(w[1]);
        item->Top = number(w[2]);
        item->Width = number(w[3]);
        item->Height = number(w[4]);
        builder.CurrentPage()->AddItem(std::move(item));
      } else {
        throw EConvertError("unknown command " + command);
      }
    }
    lineNo = 0;
    doc = builder.Produce();
  } catch (const Exception& e) {
    return ScriptFailure(err, lineNo, e.Message());
  } catch (const std::exception& e) {
    return ScriptFailure(err, lineNo, e.what());
  }
  for (const auto& page : builder.Report().Pages()) {
    out << "page " << page->PageNumber << ' ' << page->Width << ' ' << page->Height << '\n';
    printItems(*page->Group, out);
  }
  if (!target.empty() && doc) doc->SaveToFile(target);
  return 0;
}

int runReport(const Args& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && args[0] == "build") return runBuild(args, out, err);
  return usageError(err);
}

const PxCommand reportCommand("report", "report build [--lang XX] SCRIPT [OUT.pdf]", runReport);

}  // namespace
}  // namespace px::pxtool
