// The record grid over 10^5 records (integer, text, currency and date-time
// fields) beside a QTableView over a QSortFilterProxyModel and a
// QAbstractTableModel that answers the same view texts, in the same run:
// rebuilding the rows, sorting by an integer and by a text column (the peer
// compares texts locale-aware, as the record store does), and painting a
// 1280x800 window into an image.
// For profiling: GRID_CASE=<case> runs that case only, and GRID_REPEAT=<n>
// runs our side of it n times and prints nothing.
#include "BenchTiming.h"
#include <benchmark/benchmark.h>

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "data/UnitDataSet.h"
#include "data/UnitDataView.h"
#include "platform/core/CodePages.h"
#include "platform/gui/Controls.h"
#include "ui/tree/UnitDataSetList.h"
#include "platform/core/NumberConversion.h"

namespace {

using namespace px;

constexpr int RecordCount = 100000;
constexpr int Width = 1280, Height = 800;

struct Data {
  IMemDataSet table = CreateMemDataSetFromSpec("Bench", "Id:int*Number:int;Name:astr;Amount:curr;When:dbl");
  IMemDataView view;
  std::vector<TMemRecord*> records;
  Data() {
    std::mt19937 random(7);
    const char* syllables[] = {"ka", "lo", "mi", "ne", "su", "ta", "vo", "re", "di", "ba"};
    for (int i = 0; i < RecordCount; ++i) {
      TMemRecord* r = table->AddRecord();
      r->SetInteger(0, i + 1);
      r->SetInteger(1, static_cast<int>(random() % 20000) - 10000);
      std::string name;
      for (int s = 0; s < 4; ++s) name += syllables[random() % 10];
      name[0] = static_cast<char>(name[0] - 'a' + 'A');
      r->SetAnsiString(2, name);
      r->SetCurrency(3, Currency::FromInt64(static_cast<int64_t>(random() % 100000000)));
      r->SetDouble(4, 45000.0 + (random() % 100000) / 37.0);
      records.push_back(r);
    }
    view = CreateMemDataView(table);
    const char* captions[] = {"Id", "Number", "Name", "Amount", "When"};
    for (Integer f = 0; f < 5; ++f) {
      TMemViewColumn* c = view->AddColumn();
      c->SetFieldIndex(f);
      c->Caption = captions[f];
      c->Width = 160;
    }
    view->GetColumn(4)->Flags = mvfDateTime;
  }
};

Data& data() {
  static Data d;
  return d;
}

// The peer's model: the same texts, asked from the view.
class ViewModel : public QAbstractTableModel {
 public:
  explicit ViewModel(Data& d) : d_(d) {}
  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(d_.records.size());
  }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 5; }
  QVariant data(const QModelIndex& index, int role) const override {
    TMemRecord* rec = d_.records[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole) {
      UnicodeString text = d_.view->GetText(rec, index.column());
      return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    }
    // Numbers sort by value, as the record store compares them.
    if (role == Qt::UserRole) {
      switch (index.column()) {
        case 0:
        case 1:
          return rec->GetInteger(index.column());
        default: {
          UnicodeString text = d_.view->GetText(rec, index.column());
          return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
        }
      }
    }
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
      return QString::fromStdString(d_.view->GetColumn(section)->Caption);
    return {};
  }
  void reset() {
    beginResetModel();
    endResetModel();
  }

 private:
  Data& d_;
};

struct Peer {
  ViewModel model{data()};
  QSortFilterProxyModel proxy;
  QTableView table;
  Peer() {
    proxy.setSourceModel(&model);
    proxy.setSortRole(Qt::UserRole);
    proxy.setSortLocaleAware(true);
    proxy.setDynamicSortFilter(false);
    table.setModel(&proxy);
    table.verticalHeader()->setDefaultSectionSize(18);
    table.verticalHeader()->hide();
    for (int c = 0; c < 5; ++c) table.setColumnWidth(c, 160);
    table.resize(Width, Height);
  }
};

struct Ours {
  std::unique_ptr<TDataSetList> grid = std::make_unique<TDataSetList>(nullptr);
  Ours() {
    grid->SetBounds(0, 0, Width, Height);
    grid->UseWindowHost();
    grid->SetView(data().view);
  }
  ~Ours() { FreeObject(grid.release()); }
  void click(TColumnIndex column) {
    TColumnHitInfo hit;
    hit.Button = mbLeft;
    hit.Column = column;
    grid->HeaderClicked(hit);
  }
};

void BM_Refresh(benchmark::State& state) {
  Ours ours;
  for (auto _ : state) ours.grid->Refresh(nullptr, false);
}
BENCHMARK(BM_Refresh)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  Ours ours;
  Peer peer;
  QImage oursImage(Width, Height, QImage::Format_ARGB32_Premultiplied);
  QImage peerImage(Width, Height, QImage::Format_ARGB32_Premultiplied);
  struct Case {
    const char* name;
    std::function<void()> ours, peer;
  } cases[] = {
      {"refresh", [&] { ours.grid->Refresh(nullptr, false); }, [&] { peer.model.reset(); }},
      // Each run sorts up and down again, starting where the last one ended.
      {"sort_int",
       [&] {
         ours.click(1);
         ours.click(1);
       },
       [&] {
         peer.proxy.sort(1, Qt::AscendingOrder);
         peer.proxy.sort(1, Qt::DescendingOrder);
       }},
      {"sort_text",
       [&] {
         ours.click(2);
         ours.click(2);
       },
       [&] {
         peer.proxy.sort(2, Qt::AscendingOrder);
         peer.proxy.sort(2, Qt::DescendingOrder);
       }},
      {"paint", [&] { ours.grid->Widget()->render(&oursImage); }, [&] { peer.table.render(&peerImage); }},
  };
  const char* only = std::getenv("GRID_CASE");
  for (const Case& c : cases) {
    if (only && std::string(only) != c.name) continue;
    if (const char* n = std::getenv("GRID_REPEAT")) {
      for (int i = std::atoi(n); i > 0; --i) c.ours();
      continue;
    }
    double o = 1e9, p = 1e9;
    // Alternate the two so that neither profits from a warmer machine.
    for (int round = 0; round < 3; ++round) {
      o = std::min(o, bestSeconds(3, c.ours));
      p = std::min(p, bestSeconds(3, c.peer));
    }
    std::printf("RESULT record_grid/%s ours=%s peer=%s ratio=%s\n", c.name, px::InvariantFloatToStr(o, 6).c_str(),
                px::InvariantFloatToStr(p, 6).c_str(), px::InvariantFloatToStr(o / p, 3).c_str());
  }
  return 0;
}
