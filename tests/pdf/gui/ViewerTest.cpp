// The scrolling base control: layout of bars and margins, the back buffer
// moved on scrolling with only the uncovered strips painted, and the view
// after keys, wheel and hand drag held against the document it shows.
#include <gtest/gtest.h>

#include <vector>

#include "pdf/gui/UnitViewer.h"
#include "platform/gui/Forms.h"

namespace px {
namespace {

// Every document pixel has a colour made from its coordinates, so a grab of
// the control tells which document point each client pixel shows.
TColor docColor(int32_t x, int32_t y) {
  return RGB(static_cast<Byte>(x), static_cast<Byte>(y), static_cast<Byte>(((x >> 8) << 4) | ((y >> 8) & 15)));
}

class CoordViewer : public TBaseViewer {
 public:
  using TBaseViewer::TBaseViewer;
  using TBaseViewer::SetExtent;
  std::vector<TRect> strips;

 protected:
  void PaintBackground(const TRect& rect) override {
    TBaseViewer::PaintBackground(rect);
    strips.push_back(rect);
    TCanvas* c = BufferCanvas();
    ASSERT_NE(c, nullptr);
    const TRect held = BufferRect();
    for (int32_t y = rect.Top; y < rect.Bottom; ++y)
      for (int32_t x = rect.Left; x < rect.Right; ++x) c->SetPixel(x, y, docColor(held.Left + x, held.Top + y));
  }
};

struct Fixture {
  TObjectPtr<TForm> form = MakeObject<TForm>(nullptr);
  CoordViewer* viewer;
  Fixture(int32_t w, int32_t h, int32_t extentW, int32_t extentH) {
    form->SetBounds(0, 0, w + 50, h + 50);
    viewer = CreateComponent<CoordViewer>(form.get());
    viewer->SetParent(form.get());
    viewer->SetBounds(0, 0, w, h);
    viewer->SetExtent(extentW, extentH);
    form->Show();
  }
};

// Grabs the control and checks every pixel: the view shows the document
// from the scroll position, the margins and the corner square the control
// colour.
void expectShowsDocument(CoordViewer& v) {
  TBitmap grab;
  PaintControlTo(v, grab);
  const TRect m = v.Margins();
  const int32_t w = v.Width() - (v.VertScrollBar()->Visible() ? v.VertScrollBar()->Width() : 0);
  const int32_t h = v.Height() - (v.HorzScrollBar()->Visible() ? v.HorzScrollBar()->Height() : 0);
  int wrong = 0;
  for (int32_t y = 0; y < h && wrong < 5; ++y)
    for (int32_t x = 0; x < w && wrong < 5; ++x) {
      const bool inView = x >= m.Left && x < m.Left + v.ViewWidth() && y >= m.Top && y < m.Top + v.ViewHeight();
      const TPoint d = v.ClientToDocument({x, y});
      const TColor expected = inView ? docColor(d.X, d.Y) : clGray;
      if ((grab.GetPixel(x, y) & 0xFFFFFF) != expected) {
        ADD_FAILURE() << "pixel " << x << "," << y << " scroll " << v.ScrollX() << "," << v.ScrollY();
        ++wrong;
      }
    }
  if (v.VertScrollBar()->Visible() && v.HorzScrollBar()->Visible())
    EXPECT_EQ(grab.GetPixel(v.Width() - 1, v.Height() - 1) & 0xFFFFFF, clGray) << "corner square";
}

TEST(BaseViewer, Defaults) {
  auto v = MakeObject<CoordViewer>(nullptr);
  EXPECT_EQ(v->Width(), 100);
  EXPECT_EQ(v->Height(), 75);
  EXPECT_EQ(v->ExtentWidth(), 100);
  EXPECT_EQ(v->ExtentHeight(), 75);
  EXPECT_EQ(v->Color(), clGray);
  EXPECT_EQ(v->Mode(), vmUserDefined);
  EXPECT_FALSE(v->Dragging());
  EXPECT_EQ(v->Perform(WM_ERASEBKGND), 1);
  EXPECT_EQ(v->Perform(WM_GETDLGCODE), DLGC_WANTARROWS);
}

TEST(BaseViewer, ResizeTable) {
  const int32_t bar = MakeObject<CoordViewer>(nullptr)->VertScrollBar()->Width();
  const int32_t barH = MakeObject<CoordViewer>(nullptr)->HorzScrollBar()->Height();
  struct Case {
    const char* what;
    int32_t w, h, extentW, extentH;
    bool hbar, vbar;
    TRect margins;
    int32_t viewW, viewH;
  };
  const Case cases[] = {
      {"centred, even", 300, 200, 100, 50, false, false, {100, 75, 100, 75}, 100, 50},
      {"centred, odd: the extra pixel right and below", 301, 201, 100, 50, false, false, {100, 75, 101, 76}, 100, 50},
      {"exact fit", 300, 200, 300, 200, false, false, {0, 0, 0, 0}, 300, 200},
      {"tall: vertical bar, centred across", 300, 200, 100, 1000, false, true,
       {(300 - bar - 100) / 2, 0, 300 - bar - 100 - (300 - bar - 100) / 2, 0}, 100, 200},
      {"wide: horizontal bar", 300, 200, 1000, 50, true, false,
       {0, (200 - barH - 50) / 2, 0, 200 - barH - 50 - (200 - barH - 50) / 2}, 300, 50},
      {"wide, and the horizontal bar makes the vertical one needed", 300, 200, 1000, 200 - barH / 2, true, true,
       {0, 0, 0, 0}, 300 - bar, 200 - barH},
      {"both", 300, 200, 1000, 1000, true, true, {0, 0, 0, 0}, 300 - bar, 200 - barH},
      {"too small for the bars: one pixel left", 5, 5, 1000, 1000, true, true, {0, 0, 0, 0}, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fixture f(c.w, c.h, c.extentW, c.extentH);
    CoordViewer& v = *f.viewer;
    EXPECT_EQ(v.HorzScrollBar()->Visible(), c.hbar);
    EXPECT_EQ(v.VertScrollBar()->Visible(), c.vbar);
    EXPECT_EQ(v.Margins(), c.margins);
    EXPECT_EQ(v.ViewWidth(), c.viewW);
    EXPECT_EQ(v.ViewHeight(), c.viewH);
    if (c.w < 50) continue;
    const int32_t clientW = c.w - (c.vbar ? bar : 0), clientH = c.h - (c.hbar ? barH : 0);
    if (c.vbar) {
      EXPECT_EQ(v.VertScrollBar()->BoundsRect(), Bounds(clientW, 0, bar, clientH));
      EXPECT_EQ(v.VertScrollBar()->Max(), c.extentH - 1);
      EXPECT_EQ(v.VertScrollBar()->PageSize(), clientH);
    }
    if (c.hbar) EXPECT_EQ(v.HorzScrollBar()->BoundsRect(), Bounds(0, clientH, clientW, barH));
    expectShowsDocument(v);
  }
}

TEST(BaseViewer, ScrollMovesTheBufferAndPaintsOnlyUncoveredStrips) {
  Fixture f(500, 400, 2000, 3000);
  CoordViewer& v = *f.viewer;
  const int32_t vw = v.ViewWidth(), vh = v.ViewHeight();
  ASSERT_EQ(vh, 400 - v.HorzScrollBar()->Height());
  expectShowsDocument(v);
  v.strips.clear();

  struct Step {
    const char* what;
    int32_t dx, dy;
    std::vector<TRect> strips;
  };
  const std::vector<Step> steps = {
      {"down 30: one strip at the bottom", 0, 30, {Rect(0, vh - 30, vw, vh)}},
      {"up 7: one strip at the top", 0, -7, {Rect(0, 0, vw, 7)}},
      {"right 11: one strip at the right", 11, 0, {Rect(vw - 11, 0, vw, vh)}},
      {"left 5 and up 3: top, then left", -5, -3, {Rect(0, 0, vw, 3), Rect(0, 3, 5, vh)}},
      {"right 4 and down 9: bottom, then right", 4, 9, {Rect(0, vh - 9, vw, vh), Rect(vw - 4, 0, vw, vh - 9)}},
      {"more than the view: everything", 0, vh + 1, {Rect(0, 0, vw, vh)}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    v.strips.clear();
    v.ScrollBy(s.dx, s.dy);
    EXPECT_EQ(v.strips, s.strips);
    v.strips.clear();
    expectShowsDocument(v);
    EXPECT_TRUE(v.strips.empty()) << "a paint without scrolling repaints nothing";
  }
  // Scrolling to where the view already is paints nothing.
  v.strips.clear();
  v.ScrollTo(v.ScrollX(), v.ScrollY());
  EXPECT_TRUE(v.strips.empty());
}

TEST(BaseViewer, ScrollToClampsAndKeepsTheLargestInteger) {
  Fixture f(300, 200, 1000, 900);
  CoordViewer& v = *f.viewer;
  int scrolls = 0;
  v.OnScroll = [&](TObject*) { ++scrolls; };
  v.ScrollTo(40, 50);
  EXPECT_EQ(TPoint(v.ScrollX(), v.ScrollY()), TPoint(40, 50));
  v.ScrollTo(TBaseViewer::KeepPosition, 60);
  EXPECT_EQ(TPoint(v.ScrollX(), v.ScrollY()), TPoint(40, 60));
  v.ScrollTo(-5, -5);
  EXPECT_EQ(TPoint(v.ScrollX(), v.ScrollY()), TPoint(0, 0));
  v.ScrollTo(5000, 5000);
  EXPECT_EQ(TPoint(v.ScrollX(), v.ScrollY()), TPoint(1000 - v.ViewWidth(), 900 - v.ViewHeight()));
  EXPECT_EQ(v.HorzScrollBar()->Position(), v.ScrollX());
  EXPECT_EQ(v.VertScrollBar()->Position(), v.ScrollY());
  EXPECT_EQ(scrolls, 4);
  expectShowsDocument(v);
  // Growing the control clamps the position again and keeps showing the
  // document correctly.
  v.SetBounds(0, 0, 320, 230);
  EXPECT_EQ(v.ScrollY(), 900 - v.ViewHeight());
  expectShowsDocument(v);
}

TEST(BaseViewer, KeysWheelAndHandDrag) {
  Fixture f(300, 200, 1000, 5000);
  CoordViewer& v = *f.viewer;
  const int32_t vh = v.ViewHeight();
  auto key = [&](Word k) { v.Perform(WM_KEYDOWN, k, 0); };
  auto wheel = [&](int16_t delta) { return v.Perform(WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<uint16_t>(delta)) << 16, 0); };
  struct Step {
    const char* what;
    std::function<void()> act;
    TPoint scroll;
  };
  const std::vector<Step> steps = {
      {"Page Down", [&] { key(VK_NEXT); }, {0, vh}},
      {"Down", [&] { key(VK_DOWN); }, {0, vh + 10}},
      {"Right", [&] { key(VK_RIGHT); }, {10, vh + 10}},
      {"Left", [&] { key(VK_LEFT); }, {0, vh + 10}},
      {"Up", [&] { key(VK_UP); }, {0, vh}},
      {"Page Up", [&] { key(VK_PRIOR); }, {0, 0}},
      {"space outside hand drag does nothing", [&] { key(VK_SPACE); }, {0, 0}},
      {"End", [&] { key(VK_END); }, {0, 5000 - vh}},
      {"Home", [&] { key(VK_HOME); }, {0, 0}},
      {"wheel down a notch", [&] { EXPECT_EQ(wheel(-120), 1); }, {0, 30}},
      {"wheel up a notch", [&] { wheel(120); }, {0, 0}},
      {"two half notches make one", [&] { wheel(-60), wheel(-60); }, {0, 30}},
      {"space in hand drag", [&] { v.SetMode(vmHandDrag), key(VK_SPACE); }, {0, 30 + vh}},
      {"drag up-left by (20, 35)",
       [&] {
         v.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(100, 100));
         v.Perform(WM_MOUSEMOVE, MK_LBUTTON, MakeLParam(90, 80));
         v.Perform(WM_LBUTTONUP, 0, MakeLParam(80, 65));
       },
       {20, 65 + vh}},
      {"a move after the release does nothing", [&] { v.Perform(WM_MOUSEMOVE, 0, MakeLParam(0, 0)); }, {20, 65 + vh}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(TPoint(v.ScrollX(), v.ScrollY()), s.scroll);
    expectShowsDocument(v);
  }
  // A right-button press starts no drag; changing the mode ends one.
  v.Perform(WM_RBUTTONDOWN, MK_RBUTTON, MakeLParam(10, 10));
  EXPECT_FALSE(v.Dragging());
  v.Perform(WM_LBUTTONDOWN, MK_LBUTTON, MakeLParam(10, 10));
  EXPECT_TRUE(v.Dragging());
  v.SetMode(vmHandDrag);
  EXPECT_FALSE(v.Dragging());
}

}  // namespace
}  // namespace px
