// The counting report of a stored 60-row counting with a logo, built 200
// times through the database module (query, deciphering, layout, PDF), beside
// reportlab on Debian's Python building the same two tables with the same
// embedded TrueType faces and logo 200 times, timed inside Python, in the
// same run.
#include <stdlib.h>

#include <QGuiApplication>
#include <QImage>
#include <chrono>
#include <cstdio>
#include <string>

#include "app/UnitData.h"
#include "app/UnitSettings.h"
#include "data/UnitDataSetIOOld.h"
#include "platform/core/FormatSettings.h"
#include "platform/core/Streams.h"
#include "platform/core/NumberConversion.h"

namespace {

using namespace px;

constexpr int kReports = 200;

// Reads the CSV lines back into the peer's tables: the first seven are the
// header pairs, the rest the body rows.
const char* kPeer = R"PY(
import io, sys, time
from reportlab.lib.pagesizes import A4
from reportlab.lib.units import inch
from reportlab.pdfbase import pdfmetrics
from reportlab.pdfbase.ttfonts import TTFont
from reportlab.platypus import SimpleDocTemplate, Table, TableStyle, Image, Spacer
lines = open(sys.argv[1], encoding='utf-8', newline='').read().split('\r\n')[:-1]
logo, count = sys.argv[2], int(sys.argv[3])
fonts = '/usr/share/fonts/truetype/dejavu/'
pdfmetrics.registerFont(TTFont('DejaVuSans', fonts + 'DejaVuSans.ttf'))
pdfmetrics.registerFont(TTFont('DejaVuSans-Bold', fonts + 'DejaVuSans-Bold.ttf'))
pairs = [l.split(';', 1) for l in lines[:7]]
head = []
for i in range(0, 7, 2):
    row = pairs[i] + (pairs[i + 1] if i + 1 < 7 else ['', ''])
    head.append(row)
body = [l.split(';') for l in lines[7:]]
width = (A4[0] - 2 * inch)
def build():
    out = io.BytesIO()
    doc = SimpleDocTemplate(out, pagesize=A4, leftMargin=inch, rightMargin=inch, topMargin=inch, bottomMargin=inch)
    def page(canvas, doc):
        canvas.drawImage(logo, A4[0] - 96, A4[1] - 24 - 36, 72, 36)
    h = Table(head, colWidths=[width / 4] * 4)
    h.setStyle(TableStyle([('FONT', (0, 0), (-1, -1), 'DejaVuSans', 10),
                           ('FONT', (0, 0), (0, -1), 'DejaVuSans-Bold', 10),
                           ('FONT', (2, 0), (2, -1), 'DejaVuSans-Bold', 10)]))
    style = [('FONT', (0, 0), (-1, -1), 'DejaVuSans', 10), ('FONT', (0, 0), (-1, 0), 'DejaVuSans-Bold', 10),
             ('ALIGN', (2, 0), (-1, -1), 'RIGHT'), ('LINEBELOW', (0, -1), (-1, -1), 0.5, 'black')]
    for r, row in enumerate(body[1:], 1):
        if row[1] in ('Subtotal', 'Total'):
            style += [('LINEABOVE', (0, r), (-1, r), 0.5, 'black'), ('FONT', (1, r), (1, r), 'DejaVuSans-Bold', 10)]
    b = Table(body, colWidths=[width / 5] * 5)
    b.setStyle(TableStyle(style))
    doc.build([h, Spacer(1, 24), b], onFirstPage=page, onLaterPages=page)
    return out.getvalue()
build()
start = time.perf_counter()
for _ in range(count):
    build()
print('%.6f' % (time.perf_counter() - start))
)PY";

std::string details() {
  IMemDataSet table = CreateMemDataSet();
  table->AddField(mftInteger, "Type", 0);
  table->AddField(mftAnsiString, "Name", 0);
  table->AddField(mftInteger, "Count", 0);
  table->AddField(mftCurrency, "Total", 0);
  auto add = [&](Integer type, const std::string& name, Integer count, Currency total) {
    TMemRecord* r = table->AddRecord();
    r->SetInteger(0, type);
    r->SetAnsiString(1, name);
    r->SetInteger(2, count);
    r->SetCurrency(3, total);
  };
  // Four groups of items, each with its subtotal, and the total: 60 rows.
  const int items[] = {15, 15, 14, 11};
  Currency grand;
  for (Integer type = 0; type < 4; ++type) {
    Currency sum;
    for (int i = 0; i < items[type]; ++i) {
      const Integer count = (i + 1) * 7;
      const Currency value = Currency(count) * Currency(i + 1);
      add(type, "Item " + std::to_string(type) + "." + std::to_string(i + 1), count, type == 3 ? -value : value);
      sum += type == 3 ? -value : value;
    }
    add(4, "Subtotal", 0, sum);
    grand += sum;
  }
  add(5, "Total", 0, grand);
  TStringStream stream;
  SaveDataSetToStream(stream, table, CountingDataPassword);
  return stream.DataString();
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);
  char folder[] = "/tmp/pxbench-counting-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  const std::string dir = folder;
  setenv("FIREBIRD_LOCK", dir.c_str(), 1);
  FormatSettings = DefaultFormatSettings();

  QImage logo(200, 100, QImage::Format_RGB32);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 200; ++x) logo.setPixel(x, y, qRgb(x, y * 2, 128));
  const std::string logoFile = dir + "/logo.png";
  logo.save(QString::fromStdString(logoFile));

  TObjectPtr<TSettings> settings = MakeObject<TSettings>();
  settings->LogoFile = logoFile;
  Settings = settings.get();
  TObjectPtr<TdmDatabase> dm = MakeObject<TdmDatabase>(nullptr);
  dm->DB->SetDatabaseName(dir + "/bench.fdb");
  const Integer id = dm->AddCounting(-1, 45352.5, details(), "EUR", "K1", "Bos BV", Currency(1000));

  // The peer's tables are the report's own cells, from one build outside the timing.
  TObjectPtr<TStringList> csv = MakeObject<TStringList>();
  dm->CreateCountingReport(id, csv.get());
  std::string lines;
  for (Integer i = 0; i < csv->Count(); ++i) lines += csv->Get(i) + "\r\n";
  SaveFileAtomically(dir + "/cells.csv", [&](TStream& s) { s.WriteBuffer(lines); });
  SaveFileAtomically(dir + "/peer.py", [&](TStream& s) { s.WriteBuffer(kPeer); });

  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kReports; ++i) dm->CreateCountingReport(id, nullptr);
  const double ours = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  std::string out;
  const std::string command = "/usr/bin/python3 " + dir + "/peer.py " + dir + "/cells.csv " + logoFile + " " +
                              std::to_string(kReports);
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  double peer = 0;
  if (!px::TryInvariantStrToFloat(out, peer)) peer = 0;
  dm.reset();
  Settings = nullptr;
  std::system(("rm -rf '" + dir + "'").c_str());
  if (peer <= 0) {
    std::fprintf(stderr, "the peer failed: %s\n", out.c_str());
    return 1;
  }
  std::printf("counting_report/60rows: %d reports\n", kReports);
  std::printf("RESULT counting_report/60rows ours=%s peer=%s ratio=%s\n", px::InvariantFloatToStr(ours, 6).c_str(),
              px::InvariantFloatToStr(peer, 6).c_str(), px::InvariantFloatToStr(ours / peer, 3).c_str());
  return 0;
}
