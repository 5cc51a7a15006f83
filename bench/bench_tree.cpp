// The tree control beside QTreeView (uniform row heights over a minimal item
// model of the same shape and texts), both rendered with QWidget::render into
// an image of the same size with the same font, row height and four columns.
// Cases: build (10^6 root nodes from empty, one render), rebuild (clear and
// 10^6 anew), pagedown (100 page-downs through the scroll bar, a render
// each), jump (200 seeded thumb positions, a render each), expand (10 nodes
// of 10^5 children: expand node 5, render, collapse, render) and sort (10^6
// seeded integer keys sorted ascending, render).
#include "BenchTiming.h"
#include <benchmark/benchmark.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/gui/Forms.h"
#include "ui/tree/NodeTrees.h"
#include "platform/core/NumberConversion.h"

namespace {

constexpr int kClientWidth = 1280;
constexpr int kClientHeight = 800;
constexpr int kColumns = 4;
constexpr int kColumnWidth = 300;
constexpr int kRoots = 1000000;

// ---------------------------------------------------------------------------
// Ours

class BenchTree : public px::TBaseNodeTree {
 public:
  explicit BenchTree(px::TComponent* owner) : TBaseNodeTree(owner) {}
  bool UseKeys = false;
  std::vector<int32_t> Keys;
  int32_t NodeWidth(px::PNTNode, px::TColumnIndex, px::TCanvas*) override { return 80; }
  int32_t NodeDataSizeQuery() override { return sizeof(int32_t); }
  void PaintNode(px::TNTPaintInfo& info) override {
    const int64_t n = UseKeys ? *GetNodeData<int32_t>(info.Node) : info.Node->Index;
    char text[48];
    std::snprintf(text, sizeof text, "Node %lld / %d", static_cast<long long>(n), info.Column);
    info.Canvas->Brush().SetStyle(px::bsClear);
    info.Canvas->TextOut(info.ContentRect.Left, info.ContentRect.Top + 1, std::string(text));
  }
  int CompareRows(px::PNTNode a, px::PNTNode b, px::TColumnIndex) override {
    const int32_t x = *GetNodeData<int32_t>(a), y = *GetNodeData<int32_t>(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
};

struct Ours {
  px::TForm form{nullptr};
  BenchTree* tree;
  QImage image;
  Ours(int rowHeight, int headerHeight) {
    form.SetBounds(0, 0, kClientWidth + 40, kClientHeight + 80);
    tree = new BenchTree(&form);
    tree->Font().SetName("DejaVu Sans");
    tree->Font().SetHeight(-12);
    tree->SetDefaultNodeHeight(static_cast<px::Cardinal>(rowHeight));
    // The peer keeps its rows in model order: no sorting on expand here.
    tree->Options().SetAutoOptions(tree->Options().AutoOptions() - px::TNTAutoOptions{px::auSort});
    px::TNTHeader& h = tree->Header();
    h.SetHeight(headerHeight);
    for (int i = 0; i < kColumns; ++i) {
      px::TNodeTreeColumn* c = h.Columns().AddColumn();
      c->SetWidth(kColumnWidth);
      c->SetText(u"Column");
    }
    h.SetOptions(h.Options() + px::THeaderOptions{px::hoVisible});
    tree->SetParent(&form);
    tree->SetBounds(0, 0, kClientWidth + tree->Host().ScrollBarSize(px::sbVertical), kClientHeight + headerHeight);
    image = QImage(tree->Width(), tree->Height(), QImage::Format_ARGB32_Premultiplied);
  }
  void render() { tree->Widget()->render(&image); }
  QScrollBar* vbar() { return tree->ScrollBarControl(px::sbVertical)->QtScrollBar(); }
};

// ---------------------------------------------------------------------------
// Peer

class Model : public QAbstractItemModel {
 public:
  int Roots = 0;
  std::vector<int> ChildCounts;  // per root row; empty: none
  std::vector<int32_t> Keys;     // sort keys of the root rows; empty: none
  void reset(int roots, std::vector<int> childCounts = {}, std::vector<int32_t> keys = {}) {
    beginResetModel();
    Roots = roots;
    ChildCounts = std::move(childCounts);
    Keys = std::move(keys);
    endResetModel();
  }
  QModelIndex index(int row, int column, const QModelIndex& parent) const override {
    if (row < 0 || column < 0 || column >= kColumns) return {};
    return createIndex(row, column, parent.isValid() ? static_cast<quintptr>(parent.row() + 1) : 0);
  }
  QModelIndex parent(const QModelIndex& child) const override {
    if (!child.isValid() || child.internalId() == 0) return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr{0});
  }
  int rowCount(const QModelIndex& parent) const override {
    if (!parent.isValid()) return Roots;
    if (parent.internalId() != 0 || parent.column() != 0) return 0;
    return parent.row() < static_cast<int>(ChildCounts.size()) ? ChildCounts[parent.row()] : 0;
  }
  int columnCount(const QModelIndex&) const override { return kColumns; }
  QVariant data(const QModelIndex& index, int role) const override {
    const bool root = index.internalId() == 0;
    const int n = root && !Keys.empty() ? Keys[index.row()] : index.row();
    if (role == Qt::UserRole) return n;
    if (role != Qt::DisplayRole) return {};
    char text[48];
    std::snprintf(text, sizeof text, "Node %d / %d", n, index.column());
    return QString::fromLatin1(text);
  }
  QVariant headerData(int, Qt::Orientation, int role) const override {
    return role == Qt::DisplayRole ? QVariant(QStringLiteral("Column")) : QVariant();
  }
};

struct Peer {
  Model model;
  QSortFilterProxyModel proxy;
  QTreeView view;
  QImage image;
  Peer() {
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    view.setFont(font);
    view.setUniformRowHeights(true);
    view.setModel(&model);
    view.header()->setStretchLastSection(false);
    view.resize(kClientWidth + 40, kClientHeight + 40);
    model.reset(1);
    for (int i = 0; i < kColumns; ++i) view.setColumnWidth(i, kColumnWidth);
  }
  int rowHeight() { return view.sizeHintForRow(0); }
  int headerHeight() { return view.header()->sizeHint().height(); }
  void fit() {
    const int bar = view.verticalScrollBar()->sizeHint().width();
    view.resize(kClientWidth + bar + 2 * view.frameWidth(), kClientHeight + headerHeight() + 2 * view.frameWidth());
    image = QImage(view.size(), QImage::Format_ARGB32_Premultiplied);
  }
  void render() { view.render(&image); }
};

std::vector<int32_t> seededKeys() {
  std::mt19937 random(20240601);
  std::vector<int32_t> keys(kRoots);
  for (int32_t& k : keys) k = static_cast<int32_t>(random() % 100000000);
  return keys;
}

void BM_Nothing(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(state.iterations());
}
BENCHMARK(BM_Nothing);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  Peer peer;
  const int rowHeight = peer.rowHeight();
  const int headerHeight = peer.headerHeight();
  peer.fit();
  Ours ours(rowHeight, headerHeight);
  const std::vector<int32_t> keys = seededKeys();

  struct Case {
    const char* name;
    std::function<void()> setupOurs, runOurs, setupPeer, runPeer;
  };
  std::vector<Case> cases;
  px::TBaseNodeTree& tree = *ours.tree;
  cases.push_back({"build", [&] { tree.Clear(); },
                   [&] {
                     tree.SetRootNodeCount(kRoots);
                     ours.render();
                   },
                   [&] { peer.model.reset(0); },
                   [&] {
                     peer.model.reset(kRoots);
                     peer.render();
                   }});
  cases.push_back({"rebuild", [&] { tree.SetRootNodeCount(kRoots); },
                   [&] {
                     tree.Clear();
                     tree.SetRootNodeCount(kRoots);
                     ours.render();
                   },
                   [&] { peer.model.reset(kRoots); },
                   [&] {
                     peer.model.reset(kRoots);
                     peer.render();
                   }});
  cases.push_back({"pagedown",
                   [&] {
                     tree.Clear();
                     tree.SetRootNodeCount(kRoots);
                     tree.SetOffsetY(0);
                   },
                   [&] {
                     for (int i = 0; i < 100; ++i) {
                       ours.vbar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
                       ours.render();
                     }
                   },
                   [&] {
                     peer.model.reset(kRoots);
                     peer.view.verticalScrollBar()->setValue(0);
                   },
                   [&] {
                     for (int i = 0; i < 100; ++i) {
                       peer.view.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
                       peer.render();
                     }
                   }});
  cases.push_back({"jump",
                   [&] {
                     if (tree.RootNodeCount() != kRoots) {
                       tree.Clear();
                       tree.SetRootNodeCount(kRoots);
                     }
                     tree.SetOffsetY(0);
                   },
                   [&] {
                     std::mt19937 random(7);
                     QScrollBar* bar = ours.vbar();
                     for (int i = 0; i < 200; ++i) {
                       const double f = (random() % 100000) / 100000.0;
                       bar->setSliderPosition(static_cast<int>(bar->maximum() * f));
                       ours.render();
                     }
                   },
                   [&] {
                     if (peer.model.Roots != kRoots) peer.model.reset(kRoots);
                     peer.view.verticalScrollBar()->setValue(0);
                   },
                   [&] {
                     std::mt19937 random(7);
                     QScrollBar* bar = peer.view.verticalScrollBar();
                     for (int i = 0; i < 200; ++i) {
                       const double f = (random() % 100000) / 100000.0;
                       bar->setSliderPosition(static_cast<int>(bar->maximum() * f));
                       peer.render();
                     }
                   }});
  cases.push_back({"expand",
                   [&] {
                     tree.Clear();
                     tree.SetRootNodeCount(10);
                     for (px::PNTNode n = tree.GetFirst(); n; n = tree.GetNextSibling(n)) tree.SetChildCount(n, 100000);
                   },
                   [&] {
                     px::PNTNode five = tree.GetFirst();
                     for (int i = 0; i < 5; ++i) five = tree.GetNextSibling(five);
                     tree.SetExpanded(five, true);
                     ours.render();
                     tree.SetExpanded(five, false);
                     ours.render();
                   },
                   [&] { peer.model.reset(10, std::vector<int>(10, 100000)); },
                   [&] {
                     const QModelIndex five = peer.model.index(5, 0, {});
                     peer.view.expand(five);
                     peer.render();
                     peer.view.collapse(five);
                     peer.render();
                   }});
  cases.push_back({"sort",
                   [&] {
                     auto* t = static_cast<BenchTree*>(&tree);
                     tree.Clear();
                     t->UseKeys = true;
                     tree.SetRootNodeCount(kRoots);
                     int i = 0;
                     for (px::PNTNode n = tree.GetFirstNoInit(); n; n = tree.GetNextSiblingNoInit(n))
                       *tree.GetNodeData<int32_t>(n) = keys[static_cast<size_t>(i++)];
                   },
                   [&] {
                     tree.Sort(nullptr, 0, px::sdAscending, false);
                     ours.render();
                   },
                   [&] {
                     peer.view.setModel(&peer.model);
                     peer.model.reset(kRoots, {}, keys);
                     peer.proxy.setSourceModel(&peer.model);
                     peer.proxy.setSortRole(Qt::UserRole);
                     peer.proxy.sort(-1);
                     peer.view.setModel(&peer.proxy);
                     for (int c = 0; c < kColumns; ++c) peer.view.setColumnWidth(c, kColumnWidth);
                   },
                   [&] {
                     peer.proxy.sort(0, Qt::AscendingOrder);
                     peer.render();
                   }});

  // PX_BENCH_CASE runs one case alone.
  const char* only = std::getenv("PX_BENCH_CASE");
  for (Case& c : cases) {
    if (only && std::string(only) != c.name) continue;
    // Rounds alternate between the two so that neither profits from a
    // warmer machine; the best round counts.
    double bestOurs = 1e9, bestPeer = 1e9;
    for (int round = 0; round < 3; ++round) {
      c.setupOurs();
      bestOurs = std::min(bestOurs, bestSeconds(1, c.runOurs));
      c.setupPeer();
      bestPeer = std::min(bestPeer, bestSeconds(1, c.runPeer));
    }
    // PX_BENCH_PNG_DIR keeps the last frame of each side.
    if (const char* dir = std::getenv("PX_BENCH_PNG_DIR")) {
      ours.image.save(QString::fromStdString(std::string(dir) + "/ours-" + c.name + ".png"));
      peer.image.save(QString::fromStdString(std::string(dir) + "/peer-" + c.name + ".png"));
    }
    std::printf("RESULT tree/%s ours=%s peer=%s ratio=%s\n", c.name, px::InvariantFloatToStr(bestOurs, 6).c_str(),
                px::InvariantFloatToStr(bestPeer, 6).c_str(), px::InvariantFloatToStr(bestOurs / bestPeer, 3).c_str());
    std::fflush(stdout);
  }
  return 0;
}
