// imggen: draws the program's image strips and writes each as a PNG file.
//   imggen OUT_DIR
// Writes IMAGES80.png (the category buttons' icons, 80 px), PROGRESS.png
// (the status panel's animation, six of 32 px) and IMAGES16.png (the
// screens' small icons, 16 px). A strip is a vertical column of square
// images on a transparent background.
#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using Draw = std::function<void(QPainter&, double s)>;

const QColor ink(0x2F, 0x4F, 0x7F);
const QColor gold(0xD9, 0xA4, 0x1E);
const QColor green(0x3C, 0x8D, 0x40);
const QColor red(0xC0, 0x39, 0x2B);
const QColor paper(0xF4, 0xF1, 0xE6);

// margin: room left free at the bottom of each image (in pixels), where the
// category buttons write their captions.
bool writeStrip(const std::string& path, int size, const std::vector<Draw>& images, int margin = 0) {
  QImage strip(size, size * static_cast<int>(images.size()), QImage::Format_ARGB32);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  p.setRenderHint(QPainter::Antialiasing);
  for (size_t i = 0; i < images.size(); ++i) {
    p.save();
    p.translate(0, static_cast<double>(size) * i);
    if (margin > 0) {
      const double k = static_cast<double>(size - margin) / size;
      p.translate(size * (1 - k) / 2, 0);
      p.scale(k, k);
    }
    if (images[i]) images[i](p, size / 80.0);
    p.restore();
  }
  p.end();
  return strip.save(QString::fromStdString(path), "PNG");
}

// Drawing on an 80-unit square, scaled by s.
QRectF R(double x, double y, double w, double h, double s) { return QRectF(x * s, y * s, w * s, h * s); }

void coin(QPainter& p, double s, double x, double y, double d) {
  p.setPen(QPen(ink, 3 * s));
  p.setBrush(gold);
  p.drawEllipse(R(x, y, d, d, s));
  p.setPen(QPen(ink.lighter(140), 2 * s));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(R(x + d * 0.2, y + d * 0.2, d * 0.6, d * 0.6, s));
}

void banknote(QPainter& p, double s, double x, double y, double w, double h) {
  p.setPen(QPen(ink, 3 * s));
  p.setBrush(green.lighter(160));
  p.drawRoundedRect(R(x, y, w, h, s), 3 * s, 3 * s);
  p.setBrush(green);
  p.setPen(Qt::NoPen);
  p.drawEllipse(R(x + w / 2 - h * 0.25, y + h * 0.25, h * 0.5, h * 0.5, s));
}

void person(QPainter& p, double s, double x, double y, double scale, QColor c) {
  p.setPen(QPen(ink, 3 * s));
  p.setBrush(c);
  p.drawEllipse(R(x + 10 * scale, y, 20 * scale, 20 * scale, s));
  QPainterPath body;
  body.moveTo(x * s, (y + 50 * scale) * s);
  body.cubicTo(x * s, (y + 22 * scale) * s, (x + 40 * scale) * s, (y + 22 * scale) * s, (x + 40 * scale) * s,
               (y + 50 * scale) * s);
  body.closeSubpath();
  p.drawPath(body);
}

void users(QPainter& p, double s) {
  person(p, s, 34, 18, 0.95, paper.darker(110));
  person(p, s, 8, 24, 1.05, gold);
}

void count(QPainter& p, double s) {
  // A scale pan with cash on it.
  p.setPen(QPen(ink, 4 * s));
  p.setBrush(paper);
  p.drawRoundedRect(R(8, 58, 64, 12, s), 3 * s, 3 * s);
  p.drawLine(QPointF(40 * s, 58 * s), QPointF(40 * s, 50 * s));
  p.drawRect(R(14, 46, 52, 4, s));
  banknote(p, s, 16, 18, 48, 26);
  coin(p, s, 10, 28, 20);
  coin(p, s, 52, 30, 18);
}

void settings(QPainter& p, double s) {
  // A cog wheel.
  const double cx = 40 * s, cy = 40 * s;
  QPainterPath wheel;
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const double a0 = M_PI * i / teeth, a1 = M_PI * (i + 1) / teeth;
    const double r = (i % 2 ? 24 : 32) * s;
    const QPointF p0(cx + r * std::cos(a0), cy + r * std::sin(a0)), p1(cx + r * std::cos(a1), cy + r * std::sin(a1));
    if (i == 0) wheel.moveTo(p0);
    else wheel.lineTo(p0);
    wheel.lineTo(p1);
  }
  wheel.closeSubpath();
  wheel.addEllipse(QPointF(cx, cy), 10 * s, 10 * s);
  p.setPen(QPen(ink, 3 * s));
  p.setBrush(QColor(0x9A, 0xA8, 0xB8));
  p.drawPath(wheel);
}

void history(QPainter& p, double s) {
  // A clock over a stack of sheets.
  p.setPen(QPen(ink, 3 * s));
  p.setBrush(paper);
  p.drawRect(R(12, 10, 44, 56, s));
  p.drawRect(R(18, 16, 44, 56, s));
  for (int i = 0; i < 4; ++i) p.drawLine(QPointF(24 * s, (28 + 9 * i) * s), QPointF(54 * s, (28 + 9 * i) * s));
  p.setBrush(gold);
  p.drawEllipse(R(40, 42, 32, 32, s));
  p.drawLine(QPointF(56 * s, 58 * s), QPointF(56 * s, 47 * s));
  p.drawLine(QPointF(56 * s, 58 * s), QPointF(64 * s, 62 * s));
}

void information(QPainter& p, double s) {
  p.setPen(QPen(ink, 3 * s));
  p.setBrush(QColor(0x4A, 0x7F, 0xC1));
  p.drawEllipse(R(8, 8, 64, 64, s));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(R(35, 18, 10, 10, s));
  p.drawRoundedRect(R(35, 33, 10, 30, s), 2 * s, 2 * s);
}

Draw progress(int step) {
  return [step](QPainter& p, double s) {
    // Six dots on a ring; the lit one walks round.
    for (int i = 0; i < 6; ++i) {
      const double a = M_PI / 3 * i - M_PI / 2;
      const QPointF c((40 + 26 * std::cos(a)) * s, (40 + 26 * std::sin(a)) * s);
      p.setPen(QPen(ink, 2 * s));
      p.setBrush(i == step ? green : paper);
      p.drawEllipse(c, 11 * s, 11 * s);
    }
  };
}

void edit(QPainter& p, double s) {
  // A pencil.
  p.setPen(QPen(ink, 5 * s));
  p.setBrush(gold);
  QPolygonF pencil;
  pencil << QPointF(14 * s, 66 * s) << QPointF(20 * s, 48 * s) << QPointF(56 * s, 12 * s) << QPointF(68 * s, 24 * s)
         << QPointF(32 * s, 60 * s);
  p.drawPolygon(pencil);
}

void add(QPainter& p, double s) {
  p.setPen(Qt::NoPen);
  p.setBrush(green);
  p.drawRect(R(32, 8, 16, 64, s));
  p.drawRect(R(8, 32, 64, 16, s));
}

void cross(QPainter& p, double s) {
  p.setPen(QPen(red, 16 * s, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(16 * s, 16 * s), QPointF(64 * s, 64 * s));
  p.drawLine(QPointF(64 * s, 16 * s), QPointF(16 * s, 64 * s));
}

void open(QPainter& p, double s) {
  // A folder.
  p.setPen(QPen(ink, 5 * s));
  p.setBrush(gold);
  QPolygonF folder;
  folder << QPointF(6 * s, 18 * s) << QPointF(30 * s, 18 * s) << QPointF(36 * s, 26 * s) << QPointF(74 * s, 26 * s)
         << QPointF(74 * s, 66 * s) << QPointF(6 * s, 66 * s);
  p.drawPolygon(folder);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: imggen OUT_DIR\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const std::string dir = argv[1];
  const std::vector<Draw> icons = {users, count, settings, history, information};
  std::vector<Draw> steps;
  for (int i = 0; i < 6; ++i) steps.push_back(progress(i));
  const std::vector<Draw> small = {
      [](QPainter& p, double s) { coin(p, s, 6, 6, 68); },
      [](QPainter& p, double s) { banknote(p, s, 2, 18, 76, 44); },
      Draw(), Draw(), Draw(), Draw(), Draw(), Draw(edit), Draw(add), Draw(cross), Draw(), Draw(open)};
  bool ok = writeStrip(dir + "/IMAGES80.png", 80, icons, 18) && writeStrip(dir + "/PROGRESS.png", 32, steps) &&
            writeStrip(dir + "/IMAGES16.png", 16, small);
  if (!ok) std::fprintf(stderr, "imggen: cannot write the strips into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
