// Writes a small document through Qt's PDF writer, for the reader's corpus:
// pages of different sizes and orientations with text, lines, a filled shape
// and images. Usage: pdf_qpdfwriter_fixture OUT.pdf [a1b]
// With "a1b" the document claims PDF/A-1b, for which Qt adds an XMP metadata
// stream and an output intent with a colour profile.
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const bool a1b = argc == 3 && std::strcmp(argv[2], "a1b") == 0;
  if (argc != 2 && !a1b) {
    std::fprintf(stderr, "usage: %s OUT.pdf [a1b]\n", argv[0]);
    return 2;
  }
  // No display is needed to write a file.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QGuiApplication app(argc, argv);

  QPdfWriter writer(QString::fromLocal8Bit(argv[1]));
  writer.setTitle("Corpus title");
  writer.setCreator("Corpus generator");
  writer.setResolution(72);
  if (a1b) writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));

  QImage image(64, 48, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, qRgb(x * 4, y * 5, (x ^ y) * 4));

  QPainter painter(&writer);
  // Page 1: A4 portrait, text, lines and the image.
  painter.setFont(QFont("DejaVu Sans", 14));
  painter.drawText(72, 72, "Hello page one");
  painter.setPen(QPen(Qt::blue, 2));
  for (int i = 0; i < 5; ++i) painter.drawLine(72, 120 + i * 20, 400, 140 + i * 20);
  painter.drawImage(QRectF(72, 300, 256, 192), image);

  // Page 2: A5 landscape with text in another font.
  writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A5), QPageLayout::Landscape, QMarginsF(0, 0, 0, 0)));
  writer.newPage();
  painter.setFont(QFont("Liberation Serif", 20));
  painter.setPen(Qt::black);
  painter.drawText(50, 60, "Page two");
  painter.drawRect(40, 80, 300, 200);

  // Page 3: a custom size with a filled path and two images.
  writer.setPageLayout(QPageLayout(QPageSize(QSizeF(300, 400), QPageSize::Point, "Custom"), QPageLayout::Portrait,
                                   QMarginsF(0, 0, 0, 0)));
  writer.newPage();
  QPainterPath path;
  path.moveTo(20, 20);
  path.cubicTo(200, 0, 100, 300, 280, 380);
  path.lineTo(20, 380);
  path.closeSubpath();
  painter.fillPath(path, QColor(200, 40, 40));
  painter.drawImage(QRectF(150, 30, 64, 48), image);
  // An image with transparency: flat colours and an alpha ramp, which Qt
  // writes deflated with a soft mask.
  QImage shaded(40, 40, QImage::Format_ARGB32);
  for (int y = 0; y < shaded.height(); ++y)
    for (int x = 0; x < shaded.width(); ++x) shaded.setPixel(x, y, qRgba(x < 20 ? 255 : 0, 128, 0, y * 6));
  painter.drawImage(QRectF(40, 250, 80, 80), shaded);
  painter.drawText(30, 200, "Page three");
  return painter.end() ? 0 : 1;
}
