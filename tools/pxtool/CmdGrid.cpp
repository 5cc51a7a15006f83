// pxtool grid [--key FIELD] [--click N]... [--layout STR] [--size WxH] [--png OUT.png] FILE
// Shows a dataset file in a record grid through a view with one column per
// field, applies the layout and the header clicks, and prints the layout
// string and the rows in display order.
#include <QImage>
#include <ostream>
#include <sstream>
#include <string>

#include "DataSetText.h"
#include "PxTool.h"
#include "PxToolCommon.h"
#include "platform/core/CodePages.h"
#include "platform/core/Exceptions.h"
#include "ui/tree/UnitDataSetList.h"

namespace px::pxtool {
namespace {

struct GridArgs {
  std::string key;
  std::vector<int> clicks;
  std::string layout;
  bool hasLayout = false;
  int width = 640, height = 400;
  std::string png;
  std::string file;
};

bool parseInt(const std::string& s, int& value) {
  if (s.empty() || s.size() > 9) return false;
  size_t i = s[0] == '-' ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t j = i; j < s.size(); ++j)
    if (s[j] < '0' || s[j] > '9') return false;
  value = std::stoi(s);
  return true;
}

bool parse(const Args& args, GridArgs& a) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    auto next = [&](std::string& value) {
      if (++i == args.size()) return false;
      value = args[i];
      return true;
    };
    std::string v;
    if (w == "--key") {
      if (!next(a.key) || a.key.empty()) return false;
    } else if (w == "--click") {
      int n = 0;
      if (!next(v) || !parseInt(v, n)) return false;
      a.clicks.push_back(n);
    } else if (w == "--layout") {
      if (!next(a.layout)) return false;
      a.hasLayout = true;
    } else if (w == "--size") {
      size_t x = 0;
      if (!next(v) || (x = v.find('x')) == std::string::npos) return false;
      if (!parseInt(v.substr(0, x), a.width) || !parseInt(v.substr(x + 1), a.height)) return false;
      if (a.width < 1 || a.height < 1 || a.width > 10000 || a.height > 10000) return false;
    } else if (w == "--png") {
      if (!next(a.png) || a.png.empty()) return false;
    } else if (w.starts_with("--") || !a.file.empty()) {
      return false;
    } else {
      a.file = w;
    }
  }
  return !a.file.empty();
}

// The table keyed by FIELD: stored tables carry no indexes, so the table is
// read again through its text form with a unique index on that field.
IMemDataSet keyedBy(const IMemDataSet& table, const std::string& key) {
  table->FieldIndexByName(key);  // raises for an unknown field
  std::ostringstream text;
  dstext::WriteTable(text, *table);
  std::string all = text.str();
  const size_t headerEnd = all.find('\n');
  std::string header = all.substr(0, headerEnd), keyed;
  size_t from = 0;
  while (from <= header.size()) {
    size_t tab = header.find('\t', from);
    if (tab == std::string::npos) tab = header.size();
    std::string item = header.substr(from, tab - from);
    if (item.substr(0, item.find(':')) == key) {
      while (!item.empty() && (item.back() == '#' || item.back() == '*' || item.back() == '+')) item.pop_back();
      item += '#';
    }
    keyed += (keyed.empty() ? "" : "\t") + item;
    from = tab + 1;
  }
  std::istringstream in(keyed + all.substr(headerEnd));
  return dstext::ReadTable(in, table->GetName());
}

// The view: one column per field, keyed by FIELD or by nothing.
IMemDataView makeView(const IMemDataSet& table, const std::string& key) {
  IMemDataView view = CreateMemDataView(table, key.empty() ? 1 : 0);
  for (Integer f = 0; f < table->GetFieldCount(); ++f) {
    TMemViewColumn* column = view->AddColumn();
    column->SetFieldIndex(f);
    column->Caption = Utf8ToAnsi(table->GetFieldName(f));
  }
  return view;
}

int runGrid(const Args& args, std::ostream& out, std::ostream& err) {
  GridArgs a;
  if (!parse(args, a)) return usageError(err);
  try {
    IMemDataSet table = loadDatasetFile(a.file, "");
    if (!a.key.empty()) table = keyedBy(table, a.key);
    IMemDataView view = makeView(table, a.key);
    guiApplication();
    TDataSetList grid(nullptr);
    grid.SetBounds(0, 0, a.width, a.height);
    grid.UseWindowHost();
    grid.SetView(view);
    if (a.hasLayout) grid.SetColumnLayout(a.layout);
    for (int column : a.clicks) {
      TColumnHitInfo hit;
      hit.Button = mbLeft;
      hit.Column = column;
      grid.HeaderClicked(hit);
    }
    out << "layout " << grid.GetColumnLayout() << "\n";
    for (PNTNode node = grid.GetFirst(); node; node = grid.GetNextSibling(node)) {
      TMemRecord* rec = grid.GetNodeRecord(node);
      for (Integer c = 0; c < view->GetColumnCount(); ++c) {
        if (c > 0) out << '\t';
        out << dstext::Escape(UnicodeToUtf8(view->GetText(rec, c)));
      }
      out << "\n";
    }
    if (!a.png.empty()) {
      TBitmap bitmap;
      PaintControlTo(grid, bitmap);
      if (!bitmap.ToQImage().save(QString::fromStdString(a.png), "PNG"))
        throw Exception("Cannot write " + a.png);
    }
    grid.BeforeDestruction();
  } catch (const Exception& e) {
    err << e.Message() << "\n";
    return 1;
  }
  return 0;
}

const PxCommand gridCommand(
    "grid", "grid [--key FIELD] [--click N]... [--layout STR] [--size WxH] [--png OUT.png] FILE", runGrid);

}  // namespace
}  // namespace px::pxtool
