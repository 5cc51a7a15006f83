// Tree transfer: 100,000 rows of a two-column string tree exported to CSV and
// HTML, and saved to a node stream and loaded back; beside /usr/bin/python3
// doing the same work with csv, html and struct in the same run (timed inside
// the interpreter, without its start-up).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "platform/core/CodePages.h"
#include "platform/core/Streams.h"
#include "ui/tree/NodeTreesString.h"
#include "platform/core/NumberConversion.h"

namespace fs = std::filesystem;
using namespace px;

namespace {

constexpr int Rows = 100000;

struct RowTree {
  TObjectPtr<TCustomNodeStringTree> tree = MakeObject<TCustomNodeStringTree>(nullptr);
  std::vector<std::vector<UnicodeString>> cells;
  RowTree() {
    tree->SetNodeDataSize(static_cast<int32_t>(sizeof(int32_t)));
    tree->Header().Columns().AddColumn()->SetText(u"Name");
    tree->Header().Columns().AddColumn()->SetText(u"Value");
    tree->OnGetText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex column, TNTTextType, UnicodeString& text) {
      const int32_t row = *tree->GetNodeData<int32_t>(node);
      text = row > 0 ? cells[row - 1][column < 0 ? 0 : column] : UnicodeString();
    };
    tree->OnNewText = [this](TBaseNodeTree*, PNTNode node, TColumnIndex column, const UnicodeString& text) {
      int32_t& row = *tree->GetNodeData<int32_t>(node);
      if (row == 0) {
        cells.push_back({u"", u""});
        row = static_cast<int32_t>(cells.size());
      }
      cells[row - 1][column < 0 ? 0 : column] = text;
    };
  }
  void fill() {
    tree->BeginUpdate();
    for (int i = 0; i < Rows; ++i) {
      PNTNode node = tree->AddChild(nullptr);
      cells.push_back({Utf8ToUnicode("row " + std::to_string(i) + " <a&b>"), Utf8ToUnicode(std::to_string(i * 7))});
      *tree->GetNodeData<int32_t>(node) = static_cast<int32_t>(cells.size());
    }
    tree->EndUpdate();
  }
};

const char* const PeerScript = R"PY(
import csv, html, io, struct, sys, time
rows = [("row %d <a&b>" % i, str(i * 7)) for i in range(100000)]
def best(f):
    t = 1e9
    for _ in range(3):
        s = time.perf_counter(); f(); t = min(t, time.perf_counter() - s)
    return t
def to_csv():
    out = io.StringIO()
    w = csv.writer(out, lineterminator="\r\n")
    w.writerow(("Name", "Value"))
    w.writerows(rows)
    return out.getvalue().encode("cp1252")
def to_html():
    parts = ["<table>"]
    for a, b in rows:
        parts.append(' <tr class="default">\r\n <td class="normalborder"  height="18px" align=left>%s</td>'
                     ' <td class="normalborder"  height="18px" align=left>%s</td> </tr>\r\n'
                     % (html.escape(a, quote=False), html.escape(b, quote=False)))
    parts.append("</table>")
    return "".join(parts).encode("utf-8")
def stream():
    out = [struct.pack("<6HI", 0x2045, 0x4E, 0x54, 2, 0x20, 0x2046, len(rows))]
    for a, _ in rows:
        cap = a.encode("utf-16-le")
        base = struct.pack("<iiIIHBBBI", 2, 17, 0, 18, 0x0581, 50, 0, 0, 0)
        body = base + struct.pack("<ii", 3, len(cap)) + cap
        out.append(struct.pack("<ii", 1, len(body)) + body)
    data = b"".join(out)
    pos, names = 16, []
    while pos < len(data):
        _, size = struct.unpack_from("<ii", data, pos)
        end = pos + 8 + size
        p = pos + 8
        while p < end:
            kind, n = struct.unpack_from("<ii", data, p)
            if kind == 3:
                names.append(data[p + 8:p + 8 + n].decode("utf-16-le"))
            p += 8 + n
        pos = end
    return names
print("%f %f %f" % (best(to_csv), best(to_html), best(stream)))
)PY";

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  RowTree source;
  source.fill();
  const double csv = bestSeconds([&] { benchmark::DoNotOptimize(source.tree->ContentToCSV(tstAll)); });
  const double html = bestSeconds([&] { benchmark::DoNotOptimize(source.tree->ContentToHTML(tstAll)); });
  const double stream = bestSeconds([&] {
    TMemoryStream s;
    source.tree->SaveToStream(s);
    s.SetPosition(0);
    RowTree target;
    target.tree->LoadFromStream(s);
    benchmark::DoNotOptimize(target.tree->TotalCount());
  });

  const fs::path script = fs::temp_directory_path() / ("bench_tree_transfer_" + std::to_string(getpid()) + ".py");
  std::ofstream(script) << PeerScript;
  double peer[3] = {0, 0, 0};
  FILE* pipe = popen(("/usr/bin/python3 " + script.string()).c_str(), "r");
  std::string answer;
  if (pipe) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) answer += buffer;
    pclose(pipe);
  }
  bool ok = true;
  std::istringstream words(answer);
  for (double& seconds : peer) {
    std::string word;
    ok = ok && (words >> word) && TryInvariantStrToFloat(word, seconds);
  }
  fs::remove(script);
  if (!ok) {
    std::fprintf(stderr, "the Python peer did not answer\n");
    return 1;
  }
  const std::pair<const char*, double> ours[] = {{"csv", csv}, {"html", html}, {"stream", stream}};
  for (int i = 0; i < 3; ++i)
    std::printf("RESULT tree_transfer/%s ours=%s peer=%s ratio=%s\n", ours[i].first,
                px::InvariantFloatToStr(ours[i].second, 6).c_str(), px::InvariantFloatToStr(peer[i], 6).c_str(),
                px::InvariantFloatToStr(ours[i].second / peer[i], 2).c_str());
  return 0;
}
