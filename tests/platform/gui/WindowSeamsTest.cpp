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

#include "platform/gui/Controls.h"
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
bool pumpUntil(Pred done, int ms = 3000) {
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

}  // namespace
}  // namespace px
