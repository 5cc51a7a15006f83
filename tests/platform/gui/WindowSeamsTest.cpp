// Window seams used by controls that manage their own painting: partial
// invalidation with the paint rectangle, redraw switching and timers by id.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "platform/gui/ClipboardFormats.h"
#include "platform/gui/Controls.h"
#include "platform/gui/GuiInternal.h"
#include "platform/gui/Forms.h"

namespace px {
namespace {

// Records the paint rectangles and timer ids it receives.
class Recorder : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  std::vector<TRect> paints;
  std::vector<uintptr_t> timers;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_TIMER) timers.push_back(m.WParam);
    TCustomControl::WndProc(m);
  }
  void Paint() override { paints.push_back(PaintRect()); }
};

template <class Pred>
bool pumpUntil(Pred done, int ms = 30000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

struct Shown {
  TForm form{nullptr};
  Recorder* control;
  Shown() {
    form.SetBounds(0, 0, 120, 90);
    control = CreateComponent<Recorder>(&form);
    control->SetBounds(0, 0, 100, 80);
    control->SetParent(&form);
    form.Show();
    pumpUntil([&] { return !control->paints.empty(); });
    control->paints.clear();
  }
  ~Shown() { form.Close(); }
};

TEST(WindowSeams, PartialInvalidationPaintsOnlyItsRectangle) {
  Shown s;
  TRect r = Rect(10, 20, 40, 30);
  s.control->InvalidateRect(&r);
  ASSERT_TRUE(pumpUntil([&] { return !s.control->paints.empty(); }));
  EXPECT_EQ(s.control->paints.front(), r);
  // Outside a paint the whole client area counts.
  EXPECT_EQ(s.control->PaintRect(), s.control->ClientRect());
}

TEST(WindowSeams, RedrawOffHoldsPaintsUntilSwitchedOn) {
  Shown s;
  s.control->SetRedraw(false);
  EXPECT_FALSE(s.control->RedrawOn());
  s.control->InvalidateRect(nullptr);
  pumpUntil([] { return false; }, 60);
  EXPECT_TRUE(s.control->paints.empty());
  s.control->SetRedraw(true);
  EXPECT_TRUE(pumpUntil([&] { return !s.control->paints.empty(); }));
}

TEST(WindowSeams, TimersDeliverTheirIdsUntilKilled) {
  Shown s;
  s.control->SetTimer(5, 5);
  s.control->SetTimer(6, 5);
  ASSERT_TRUE(pumpUntil([&] {
    auto& t = s.control->timers;
    return std::count(t.begin(), t.end(), 5u) >= 2 && std::count(t.begin(), t.end(), 6u) >= 1;
  }));
  s.control->KillTimer(5);
  EXPECT_FALSE(s.control->TimerRunning(5));
  EXPECT_TRUE(s.control->TimerRunning(6));
  s.control->timers.clear();
  ASSERT_TRUE(pumpUntil([&] { return s.control->timers.size() >= 3; }));
  for (uintptr_t id : s.control->timers) EXPECT_EQ(id, 6u);
  s.control->KillTimer(6);
}

TEST(WindowSeams, CaptureOutlastsTheButton) {
  Shown s;
  s.control->SetCapture();
  EXPECT_TRUE(s.control->HasCapture());
  s.control->ReleaseCapture();
  EXPECT_FALSE(s.control->HasCapture());
}

TEST(WindowSeams, CursorSlotsShowTheirImageWithTheHotSpot) {
  TBitmap image(16, 16);
  image.Canvas().Brush().SetColor(clFuchsia);
  image.Canvas().FillRect(TRect(0, 0, 16, 16));
  image.Canvas().Brush().SetColor(clBlack);
  image.Canvas().FillRect(TRect(4, 4, 12, 12));
  const TCursor id = 90;
  EXPECT_FALSE(HasCursorImage(id));
  SetCursorImage(id, image, {8, 8});
  EXPECT_TRUE(HasCursorImage(id));
  Shown s;
  s.control->SetCursor(id);
  QCursor cursor = s.control->Widget()->cursor();
  EXPECT_EQ(cursor.hotSpot(), QPoint(8, 8));
  QImage shown = cursor.pixmap().toImage();
  ASSERT_EQ(shown.width(), 16);
  EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0);  // fuchsia is transparent
  EXPECT_EQ(shown.pixel(8, 8), 0xFF000000u);
}

TEST(ClipboardFormatTable, NamesToNumbersIgnoringCase) {
  const Word a = RegisterClipboardFormat("Seam Test Format");
  EXPECT_GE(a, FirstRegisteredClipboardFormat);
  EXPECT_EQ(RegisterClipboardFormat("seam test FORMAT"), a);
  EXPECT_NE(RegisterClipboardFormat("Seam Test Format 2"), a);
  EXPECT_EQ(GetClipboardFormatName(a), "Seam Test Format");
  EXPECT_EQ(RegisterClipboardFormat(""), 0);
  EXPECT_EQ(GetClipboardFormatName(CF_TEXT), "Plain text");
  EXPECT_EQ(GetClipboardFormatName(CF_UNICODETEXT), "Unicode text");
  EXPECT_EQ(GetClipboardFormatName(16), "Locale descriptor");
  EXPECT_EQ(GetClipboardFormatName(17), "");
  EXPECT_EQ(GetClipboardFormatName(0xBFFF), "");
}

TEST(BitmapDrawing, ThirtyTwoBitSourcesDrawOnlyTheirSourceRectangle) {
  // A 32-bit source drawn in part, with and without its alpha, with a
  // transparent colour, and onto itself.
  TBitmap source(8, 4, pf32bit);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 8; ++x) source.SetPixelColor(x, y, RGB(x * 30, y * 60, 7));
  TBitmap target(10, 6, pf32bit);
  target.Canvas().Brush().SetColor(clWhite);
  target.Canvas().FillRect(TRect(0, 0, 10, 6));
  target.Canvas().CopyRect(TRect(1, 1, 4, 3), source, TRect(2, 1, 5, 3));
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
      EXPECT_EQ(target.GetPixel(x, y), inside ? RGB((x + 1) * 30, y * 60, 7) : clWhite) << x << "," << y;
    }
  TBitmap keyed(2, 1, pf32bit);
  keyed.SetPixelColor(0, 0, clFuchsia);
  keyed.SetPixelColor(1, 0, clBlue);
  TBitmap onto(2, 1, pf32bit);
  onto.Canvas().Brush().SetColor(clWhite);
  onto.Canvas().FillRect(TRect(0, 0, 2, 1));
  keyed.Transparent = true;
  keyed.TransparentColor = clFuchsia;
  onto.Canvas().Draw(0, 0, keyed);
  EXPECT_EQ(onto.GetPixel(0, 0), clWhite);
  EXPECT_EQ(onto.GetPixel(1, 0), clBlue);
}

}  // namespace
}  // namespace px
