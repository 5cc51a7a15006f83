// The framework's panels, title buttons, action buttons, image lists, panel
// adjust and border control.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <sstream>

#include "platform/core/Resources.h"
#include "platform/gui/Forms.h"
#include "support/TempDir.h"
#include "ui/framework/QVRControls.h"
#include "ui/framework/UnitImage.h"
#include "ui/framework/UnitQVRControls.h"

namespace px {
namespace {

class GuiEnv : public ::testing::Environment {
 public:
  void SetUp() override { InitializeApplication(); }
  void TearDown() override { FinalizeApplication(); }
};
[[maybe_unused]] const auto* env = ::testing::AddGlobalTestEnvironment(new GuiEnv);

TColor rgb(TColor c) { return ColorToRGB(c) & 0xFFFFFF; }

TColor pixelOf(TWinControl& c, int32_t x, int32_t y) {
  TBitmap bmp;
  PaintControlTo(c, bmp);
  return bmp.GetPixel(x, y);
}

void mouse(TWinControl* c, QEvent::Type type, int x, int y, Qt::MouseButton button = Qt::LeftButton) {
  Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ? Qt::NoButton : button;
  QMouseEvent e(type, QPointF(x, y), c->Widget()->mapToGlobal(QPointF(x, y)),
                type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
  QApplication::sendEvent(c->Widget(), &e);
}
void click(TWinControl* c, int x, int y) {
  mouse(c, QEvent::MouseMove, x, y);
  mouse(c, QEvent::MouseButtonPress, x, y);
  mouse(c, QEvent::MouseButtonRelease, x, y);
}

// A windowed child that fills itself with its colour.
class Block : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  void Paint() override {
    Canvas().Brush().SetColor(Color());
    Canvas().FillRect(ClientRect());
  }
};

// An image list of solid squares: image i in colours[i].
TImageList* solidImages(TComponent* owner, std::initializer_list<TColor> colours, int size = 16) {
  auto* list = CreateComponent<TImageList>(owner, size, size);
  for (TColor c : colours) {
    TBitmap b(size, size, pf24bit);
    b.Canvas().Brush().SetColor(c);
    b.Canvas().FillRect(Rect(0, 0, size, size));
    list->Add(b);
  }
  return list;
}

// ---------------------------------------------------------------------------

TEST(ScaleColor, EveryChannelValueMatchesPythonsRounding) {
  std::string expected;
  ASSERT_EQ(test::RunCommand("/usr/bin/python3 -c \"print(' '.join(str(0 if c == 0 else round(255*(c/255)**e)) "
                             "for e in (0.25, 0.5, 2) for c in range(256)))\"",
                             &expected),
            0);
  std::istringstream in(expected);
  for (double e : {0.25, 0.5, 2.0})
    for (uint32_t c = 0; c < 256; ++c) {
      uint32_t want = 0;
      in >> want;
      // Each channel alone and all three together.
      EXPECT_EQ(ScaleColor(static_cast<TColor>(c), e), static_cast<TColor>(want | 0x02000000)) << c << " ^ " << e;
      EXPECT_EQ(ScaleColor(static_cast<TColor>(c << 16), e), static_cast<TColor>((want << 16) | 0x02000000));
      EXPECT_EQ(ScaleColor(static_cast<TColor>(c | c << 8 | c << 16), e),
                static_cast<TColor>(want | want << 8 | want << 16 | 0x02000000));
    }
  EXPECT_EQ(ScaleColor(clRed, 2), static_cast<TColor>(0x020000FF));
  EXPECT_EQ(ScaleColor(0x808080, 0.5), static_cast<TColor>(0x02B5B5B5));
  // System colours are resolved first.
  EXPECT_EQ(ScaleColor(clBtnFace, 1), static_cast<TColor>(rgb(clBtnFace) | 0x02000000));
}

TEST(DrawEditButton, GlyphsAndFramesByState) {
  TBitmap b(17, 20, pf32bit);
  const TColor face = 0xC0C0C0;
  DrawEditButton(b.Canvas(), Rect(0, 0, 17, 20), face, egArrow, bsNormal);
  // Triangle (5,9)-(11,9)-(8,12): centre (8, 10).
  EXPECT_EQ(b.GetPixel(8, 10), rgb(clBtnText));
  EXPECT_EQ(b.GetPixel(8, 9), rgb(clBtnText));
  EXPECT_EQ(b.GetPixel(3, 9), face);
  EXPECT_EQ(b.GetPixel(8, 14), face);
  EXPECT_EQ(b.GetPixel(0, 0), face);  // no frame in the normal state

  DrawEditButton(b.Canvas(), Rect(0, 0, 17, 20), face, egEllipsis, bsHot);
  // Squares at x = 4, 8, 12 and y = 15.
  for (int x : {4, 8, 12}) {
    EXPECT_EQ(b.GetPixel(x, 15), rgb(clBtnText)) << x;
    EXPECT_EQ(b.GetPixel(x - 1, 14), rgb(clBtnText)) << x;
  }
  EXPECT_EQ(b.GetPixel(6, 15), face);
  EXPECT_EQ(b.GetPixel(8, 10), face);  // no arrow
  EXPECT_EQ(b.GetPixel(0, 0), rgb(ScaleColor(face, 0.5)));
  EXPECT_EQ(b.GetPixel(16, 19), rgb(ScaleColor(face, 2)));

  DrawEditButton(b.Canvas(), Rect(0, 0, 17, 20), clDefault, 7, bsDown);
  EXPECT_EQ(b.GetPixel(8, 10), rgb(clBtnFace));
  EXPECT_EQ(b.GetPixel(0, 0), rgb(ScaleColor(clBtnFace, 2)));
  EXPECT_EQ(b.GetPixel(16, 19), rgb(ScaleColor(clBtnFace, 0.5)));
}

// ---------------------------------------------------------------------------
// Panel layout

struct PanelForm {
  TForm form{nullptr};
  TQVRPanel* panel = CreateComponent<TQVRPanel>(&form);
  Block* rest = CreateComponent<Block>(&form);
  Block* child = CreateComponent<Block>(&form);
  explicit PanelForm(TAlign align, int size = 100) {
    form.SetBounds(0, 0, 300, 200);
    panel->SetParent(&form);
    panel->SetBounds(0, 0, size, size);
    panel->SetAlign(align);
    panel->SetSplitter(true);
    panel->SetColor(0x808080);
    rest->SetParent(&form);
    rest->SetAlign(alClient);
    child->SetParent(panel);
    child->SetAlign(alClient);
    child->SetColor(clRed);
  }
};

TEST(QVRPanel, LayoutPerAlignmentWithSplitter) {
  struct Case {
    TAlign align;
    TRect strip, title, client;
  } cases[] = {
      {alLeft, Rect(93, 0, 100, 200), Rect(2, 2, 91, 24), Rect(2, 26, 91, 198)},
      {alRight, Rect(0, 0, 7, 200), Rect(9, 2, 98, 24), Rect(9, 26, 98, 198)},
      {alTop, Rect(0, 93, 300, 100), Rect(2, 2, 298, 24), Rect(2, 26, 298, 91)},
      {alBottom, Rect(0, 0, 300, 7), Rect(2, 9, 298, 31), Rect(2, 33, 298, 98)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.align);
    PanelForm f(c.align);
    TQVRPanel& p = *f.panel;
    EXPECT_EQ(p.SplitterRect(), c.strip);
    EXPECT_EQ(p.TitleRect(), c.title);
    EXPECT_EQ(f.child->BoundsRect(), c.client);
    TBitmap bmp;
    PaintControlTo(p, bmp);
    // The groove: Color at the edge, then the outer light and inner dark edge.
    const TColor light = rgb(ScaleColor(0x808080, 0.5)), dark = rgb(ScaleColor(0x808080, 2));
    const int mx = (c.strip.Left + c.strip.Right) / 2, my = (c.strip.Top + c.strip.Bottom) / 2;
    EXPECT_EQ(bmp.GetPixel(c.strip.Left, my), 0x808080u);
    if (c.strip.Width() == 7) {
      EXPECT_EQ(bmp.GetPixel(c.strip.Left + 1, my), light);
      EXPECT_EQ(bmp.GetPixel(c.strip.Left + 2, my), dark);
      EXPECT_EQ(bmp.GetPixel(c.strip.Right - 2, my), dark);
      EXPECT_EQ(bmp.GetPixel(c.strip.Right - 3, my), light);
    } else {
      EXPECT_EQ(bmp.GetPixel(mx, c.strip.Top + 1), light);
      EXPECT_EQ(bmp.GetPixel(mx, c.strip.Top + 2), dark);
    }
    // Title bar, border around it, and the child in the client area.
    EXPECT_EQ(bmp.GetPixel(c.title.Left, c.title.Top), 0xA4A0A0u);
    EXPECT_EQ(bmp.GetPixel(c.title.Right - 1, c.title.Bottom - 1), 0xA4A0A0u);
    EXPECT_EQ(bmp.GetPixel(c.title.Left - 1, c.title.Top), 0x808080u);
    EXPECT_EQ(bmp.GetPixel(c.title.Left, c.title.Top - 1), 0x808080u);
    EXPECT_EQ(bmp.GetPixel(c.client.Left, c.client.Top), rgb(clRed));
    EXPECT_EQ(bmp.GetPixel(c.client.Left, c.client.Top - 1), 0x808080u);
  }

  // Hiding the title moves the client area up; the height set meanwhile
  // takes effect when the title shows again.
  PanelForm f(alLeft);
  f.panel->SetTitleVisible(false);
  EXPECT_EQ(f.child->BoundsRect(), Rect(2, 2, 91, 198));
  EXPECT_EQ(pixelOf(*f.panel, 2, 2), rgb(clRed));
  f.panel->SetTitleHeight(30);
  EXPECT_EQ(f.child->Top(), 2);
  f.panel->SetTitleVisible(true);
  EXPECT_EQ(f.panel->TitleHeight(), 30);
  EXPECT_EQ(f.child->BoundsRect(), Rect(2, 34, 91, 198));
}

TEST(QVRPanel, CaptionAfterTheIcon) {
  TForm form(nullptr);
  auto* p = CreateComponent<TQVRPanel>(&form);
  p->SetParent(&form);
  p->SetBounds(0, 0, 200, 41);
  p->SetTitleColor(clWhite);
  p->TitleFont().SetColor(clBlack);
  p->SetImages(solidImages(&form, {clBlue}));
  p->SetImageIndex(0);
  p->SetCaption("Wide");
  TBitmap probe(1, 1);
  probe.Canvas().Font().Assign(p->TitleFont());
  const int m = (22 - probe.Canvas().TextHeight("Wide")) / 2;
  TBitmap bmp;
  PaintControlTo(*p, bmp);
  const TRect t = p->TitleRect();
  // The icon at x = m, centred vertically.
  EXPECT_EQ(bmp.GetPixel(t.Left + m, t.Top + 3), rgb(clBlue));
  EXPECT_EQ(bmp.GetPixel(t.Left + m + 15, t.Top + 18), rgb(clBlue));
  EXPECT_EQ(bmp.GetPixel(t.Left + m - 1, t.Top + 11), rgb(clWhite));
  // The caption's ink starts at or after m + 16 + m.
  int firstInk = -1;
  for (int x = t.Left + m + 16; x < t.Right && firstInk < 0; ++x)
    for (int y = t.Top; y < t.Bottom; ++y)
      if (bmp.GetPixel(x, y) != rgb(clWhite)) {
        firstInk = x - t.Left;
        break;
      }
  EXPECT_GE(firstInk, m + 16 + m);
  EXPECT_LE(firstInk, m + 16 + m + 3);
}

// Three actions with images, a separator between the second and the third.
struct ButtonPanel {
  TForm form{nullptr};
  TActionList* actions = CreateComponent<TActionList>(&form);
  TQVRPanel* panel = CreateComponent<TQVRPanel>(&form);
  TAction* a[3];
  TQVRButtonItem* item[3];
  TQVRButtonItem* separator;
  std::vector<std::string> ran;
  explicit ButtonPanel(int width = 185) {
    actions->SetImages(solidImages(&form, {clRed, clLime, clBlue}));
    panel->SetParent(&form);
    panel->SetBounds(0, 0, width, 41);
    panel->ShowHint = true;
    panel->Hint = "panel";
    for (int i = 0; i < 3; ++i) {
      a[i] = CreateComponent<TAction>(&form);
      a[i]->SetActionList(actions);
      a[i]->SetImageIndex(i);
      a[i]->SetHint("hint " + std::to_string(i));
      a[i]->OnExecute = [this, i](TObject*) { ran.push_back("action " + std::to_string(i)); };
    }
    item[0] = panel->Buttons().Add();
    item[1] = panel->Buttons().Add();
    separator = panel->Buttons().Add();
    separator->SetIsSeparator(true);
    item[2] = panel->Buttons().Add();
    for (int i = 0; i < 3; ++i) item[i]->SetAction(a[i]);
    form.Show();
    TBitmap bmp;
    PaintControlTo(*panel, bmp);  // lays the buttons out
  }
  // The centre of a button in the panel's client coordinates.
  TPoint centre(int i) const {
    TRect r = item[i]->ButtonRect;
    TRect t = panel->TitleRect();
    return {t.Left + (r.Left + r.Right) / 2, t.Top + (r.Top + r.Bottom) / 2};
  }
};

TEST(QVRPanel, ButtonsFromTheRightWithSeparatorAndFrames) {
  ButtonPanel b;
  const TRect t = b.panel->TitleRect();
  const int w = t.Width();
  EXPECT_EQ(b.item[2]->ButtonRect, Rect(w - 21, 1, w - 1, 21));
  EXPECT_EQ(b.item[1]->ButtonRect, Rect(w - 45, 1, w - 25, 21));
  EXPECT_EQ(b.item[0]->ButtonRect, Rect(w - 65, 1, w - 45, 21));
  TBitmap bmp;
  PaintControlTo(*b.panel, bmp);
  const TColor bar = 0xA4A0A0, light = rgb(ScaleColor(bar, 0.5)), dark = rgb(ScaleColor(bar, 2));
  // The etched line left of the third button, and the images centred.
  EXPECT_EQ(bmp.GetPixel(t.Left + w - 24, t.Top + 10), dark);
  EXPECT_EQ(bmp.GetPixel(t.Left + w - 23, t.Top + 10), light);
  EXPECT_EQ(bmp.GetPixel(t.Left + w - 22, t.Top + 10), bar);
  EXPECT_EQ(bmp.GetPixel(b.centre(2).X, b.centre(2).Y), rgb(clBlue));
  EXPECT_EQ(bmp.GetPixel(b.centre(0).X, b.centre(0).Y), rgb(clRed));

  // Frames per state: hot raised, down sunken, checked sunken, disabled none.
  auto corners = [&](int i) {
    TBitmap shot;
    PaintControlTo(*b.panel, shot);
    TRect r = b.item[i]->ButtonRect;
    return std::pair{shot.GetPixel(t.Left + r.Left, t.Top + r.Top), shot.GetPixel(t.Left + r.Right - 1, t.Top + r.Bottom - 1)};
  };
  EXPECT_EQ(corners(2), std::pair(bar, bar));
  mouse(b.panel, QEvent::MouseMove, b.centre(2).X, b.centre(2).Y);
  EXPECT_EQ(b.item[2]->State, bsHot);
  EXPECT_EQ(corners(2), std::pair(light, dark));
  mouse(b.panel, QEvent::MouseButtonPress, b.centre(2).X, b.centre(2).Y);
  EXPECT_EQ(b.item[2]->State, bsDown);
  EXPECT_EQ(corners(2), std::pair(dark, light));
  b.a[1]->SetChecked(true);
  EXPECT_EQ(b.item[1]->State, bsDown);
  EXPECT_EQ(corners(1), std::pair(dark, light));
  b.a[0]->SetEnabled(false);
  EXPECT_EQ(b.item[0]->State, bsDisabled);
  EXPECT_EQ(corners(0), std::pair(bar, bar));
}

TEST(QVRPanel, NarrowPanelLeavesTheLeftmostButtonsOut) {
  ButtonPanel b(120);
  b.panel->SetCaption("Caption");
  TBitmap bmp;
  PaintControlTo(*b.panel, bmp);
  TBitmap probe(1, 1);
  probe.Canvas().Font().Assign(b.panel->TitleFont());
  const int m = (22 - probe.Canvas().TextHeight("Caption")) / 2;
  const int captionRight = m + probe.Canvas().TextWidth("Caption");
  EXPECT_TRUE(b.item[0]->ButtonRect.Width() == 0) << b.item[0]->ButtonRect.Left;
  EXPECT_GT(b.item[2]->ButtonRect.Width(), 0);
  for (int i = 0; i < 3; ++i)
    if (b.item[i]->ButtonRect.Width() > 0) EXPECT_GE(b.item[i]->ButtonRect.Left, captionRight) << i;
  // An invisible button takes no room.
  b.a[2]->SetVisible(false);
  PaintControlTo(*b.panel, bmp);
  EXPECT_EQ(b.item[2]->ButtonRect.Width(), 0);
}

// ---------------------------------------------------------------------------
// Panel mouse

TEST(QVRPanel, ClicksRunTheActionOnlyOnTheSameEnabledButton) {
  ButtonPanel b;
  click(b.panel, b.centre(0).X, b.centre(0).Y);
  EXPECT_EQ(b.ran, std::vector<std::string>{"action 0"});
  // Pressed on one button, released over another: nothing.
  mouse(b.panel, QEvent::MouseButtonPress, b.centre(0).X, b.centre(0).Y);
  mouse(b.panel, QEvent::MouseMove, b.centre(1).X, b.centre(1).Y);
  EXPECT_EQ(b.item[1]->State, bsHot);
  mouse(b.panel, QEvent::MouseButtonRelease, b.centre(1).X, b.centre(1).Y);
  EXPECT_EQ(b.ran.size(), 1u);
  // OnExecute first; Handled keeps the action from running.
  b.item[1]->OnExecute = [&](TQVRButtonItem* s, bool& handled) {
    b.ran.push_back("onexecute " + std::to_string(s->Index()));
    handled = true;
  };
  click(b.panel, b.centre(1).X, b.centre(1).Y);
  EXPECT_EQ(b.ran.back(), "onexecute 1");
  EXPECT_EQ(b.ran.size(), 2u);
  b.item[1]->OnExecute = [&](TQVRButtonItem*, bool&) { b.ran.push_back("not handled"); };
  click(b.panel, b.centre(1).X, b.centre(1).Y);
  EXPECT_EQ(b.ran, (std::vector<std::string>{"action 0", "onexecute 1", "not handled", "action 1"}));
  // OnGetEnabled false: state 0, clicks ignored.
  b.item[2]->OnGetEnabled = [](TQVRButtonItem*, bool& e) { e = false; };
  mouse(b.panel, QEvent::MouseMove, b.centre(2).X, b.centre(2).Y);
  EXPECT_EQ(b.item[2]->State, bsDisabled);
  click(b.panel, b.centre(2).X, b.centre(2).Y);
  EXPECT_EQ(b.ran.size(), 4u);
}

TEST(QVRPanel, HintPerButtonRectangle) {
  ButtonPanel b;
  auto hintAt = [&](TPoint p, THintInfo& info) {
    info = THintInfo{};
    info.HintControl = b.panel;
    info.CursorPos = p;
    info.CursorRect = b.panel->ClientRect();
    info.HintStr = b.panel->Hint;
    return b.panel->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&info));
  };
  THintInfo info;
  const TRect t = b.panel->TitleRect();
  EXPECT_EQ(hintAt(b.centre(1), info), 0);
  EXPECT_EQ(info.HintStr, "hint 1");
  TRect r1 = b.item[1]->ButtonRect;
  EXPECT_EQ(info.CursorRect, Rect(r1.Left + t.Left, r1.Top + t.Top, r1.Right + t.Left, r1.Bottom + t.Top));
  // The action's own hint processing and OnGetHint.
  b.a[1]->OnHint = [](std::string& h, bool&) { h += "!"; };
  b.item[1]->OnGetHint = [](TQVRButtonItem*, std::string& h) { h = "<" + h + ">"; };
  hintAt(b.centre(1), info);
  EXPECT_EQ(info.HintStr, "<hint 1!>");
  // Disabled or empty: none, for the button's rectangle.
  b.a[0]->SetEnabled(false);
  EXPECT_EQ(hintAt(b.centre(0), info), 1);
  b.a[2]->SetHint("");
  EXPECT_EQ(hintAt(b.centre(2), info), 1);
  // Elsewhere the panel's own hint, for a rectangle without buttons.
  EXPECT_EQ(hintAt({10, 30}, info), 0);
  EXPECT_EQ(info.HintStr, "panel");
  EXPECT_FALSE(info.CursorRect.Contains(b.centre(0)));
  EXPECT_TRUE(info.CursorRect.Contains({10, 30}));
  EXPECT_EQ(hintAt({t.Left + 5, t.Top + 10}, info), 0);
  EXPECT_EQ(info.HintStr, "panel");
  EXPECT_LE(info.CursorRect.Right, t.Left + b.item[0]->ButtonRect.Left);
}

TEST(QVRPanel, ButtonsThatFreeThePanel) {
  // The action frees the panel.
  {
    ButtonPanel b;
    TQVRPanel* p = b.panel;
    b.a[0]->OnExecute = [&](TObject*) { FreeObject(p); };
    click(p, b.centre(0).X, b.centre(0).Y);
    EXPECT_EQ(b.form.ControlCount(), 0);
  }
  // OnExecute frees the panel (and so the item); the action still runs.
  {
    ButtonPanel b;
    TQVRPanel* p = b.panel;
    TPoint c = b.centre(1);
    b.item[1]->OnExecute = [&](TQVRButtonItem*, bool&) { FreeObject(p); };
    click(p, c.X, c.Y);
    EXPECT_EQ(b.ran, std::vector<std::string>{"action 1"});
  }
  // OnExecute frees the panel and the action list with the action.
  {
    ButtonPanel b;
    TQVRPanel* p = b.panel;
    TPoint c = b.centre(1);
    b.item[1]->OnExecute = [&](TQVRButtonItem*, bool&) {
      FreeObject(p);
      for (TAction* a : b.a) FreeObject(a);
    };
    click(p, c.X, c.Y);
    EXPECT_TRUE(b.ran.empty());
  }
}

TEST(QVRPanel, SplitterDragDoubleClickAndHotGroove) {
  PanelForm f(alLeft, 200);
  f.form.Show();
  TQVRPanel& p = *f.panel;
  int moved = 0;
  p.OnSplitterMoved = [&](TObject*) { ++moved; };
  const int sx = 196, sy = 50;  // on the strip
  // Hot groove while the mouse is over the strip.
  mouse(&p, QEvent::MouseMove, sx, sy);
  EXPECT_TRUE(p.SplitterHot());
  EXPECT_EQ(p.Cursor(), crDefault);
  TBitmap bmp;
  PaintControlTo(p, bmp);
  EXPECT_EQ(bmp.GetPixel(194, sy), rgb(ScaleColor(0x808080, 2)));
  EXPECT_EQ(bmp.GetPixel(195, sy), rgb(ScaleColor(0x808080, 0.5)));
  EXPECT_EQ(bmp.GetPixel(196, sy), rgb(ScaleColor(0x808080, 0.25)));

  // The rest (alClient, 100 wide) can give up all but its minimum of 40.
  f.rest->Constraints().SetMinWidth(40);
  mouse(&p, QEvent::MouseButtonPress, sx, sy);
  mouse(&p, QEvent::MouseMove, sx + 30, sy);
  EXPECT_EQ(p.Width(), 230);
  mouse(&p, QEvent::MouseMove, sx + 200, sy);
  EXPECT_EQ(p.Width(), 260);
  EXPECT_EQ(f.rest->Width(), 40);
  // Down to the panel's own minimum constraint.
  p.Constraints().SetMinWidth(50);
  mouse(&p, QEvent::MouseMove, sx - 300, sy);
  EXPECT_EQ(p.Width(), 50);
  EXPECT_EQ(moved, 0);
  mouse(&p, QEvent::MouseButtonRelease, sx - 300, sy);
  EXPECT_EQ(moved, 1);
  p.Constraints().SetMinWidth(0);

  // Double click: 200 -> 7 -> 200, OnSplitterMoved untouched.
  p.SetWidth(200);
  for (int expected : {7, 200}) {
    const int x = p.Width() - 3;
    mouse(&p, QEvent::MouseMove, x, sy);
    mouse(&p, QEvent::MouseButtonPress, x, sy);
    mouse(&p, QEvent::MouseButtonRelease, x, sy);
    mouse(&p, QEvent::MouseButtonDblClick, x, sy);
    mouse(&p, QEvent::MouseButtonRelease, x, sy);
    EXPECT_EQ(p.Width(), expected);
  }
}

TEST(QVRPanel, WithoutSiblingsTheParentBoundsTheDrag) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 200);
  auto* p = CreateComponent<TQVRPanel>(&form);
  p->SetParent(&form);
  p->SetAlign(alTop);
  p->SetHeight(50);
  p->SetSplitter(true);
  mouse(p, QEvent::MouseButtonPress, 10, 47);
  mouse(p, QEvent::MouseMove, 10, 500);
  EXPECT_EQ(p->Height(), form.ClientHeight());
  mouse(p, QEvent::MouseButtonRelease, 10, 500);
}

// ---------------------------------------------------------------------------

TEST(QVRActionButton, FollowsItsActionAndMouse) {
  TForm form(nullptr);
  auto* list = CreateComponent<TActionList>(&form);
  list->SetImages(solidImages(&form, {clBlue}));
  auto* action = CreateComponent<TAction>(&form);
  action->SetActionList(list);
  action->SetImageIndex(0);
  action->SetHint("go");
  auto* b = CreateComponent<TQVRActionButton>(&form);
  b->SetParent(&form);
  EXPECT_EQ(b->Width(), 22);
  EXPECT_FALSE(b->Enabled());
  b->SetAction(action);
  EXPECT_TRUE(b->Enabled());
  EXPECT_EQ(b->Hint, "go");
  int runs = 0;
  action->OnExecute = [&](TObject*) { ++runs; };
  mouse(&form, QEvent::MouseMove, 10, 10);
  EXPECT_TRUE(b->MouseInControl());
  EXPECT_EQ(b->State(), bsHot);
  mouse(&form, QEvent::MouseButtonPress, 10, 10);
  EXPECT_TRUE(b->ButtonDown());
  EXPECT_EQ(b->State(), bsDown);
  EXPECT_EQ(pixelOf(form, 11, 11), rgb(clBlue));
  EXPECT_EQ(pixelOf(form, 0, 0), rgb(ScaleColor(b->Color(), 2)));
  mouse(&form, QEvent::MouseButtonRelease, 10, 10);
  EXPECT_EQ(runs, 1);
  action->SetEnabled(false);
  EXPECT_EQ(b->State(), bsDisabled);
  FreeObject(action);
  EXPECT_FALSE(b->Enabled());
  EXPECT_EQ(b->Hint, "");
}

TEST(QVRBackgroundImage, SizedToTheListAndPaintsTheIndex) {
  TForm form(nullptr);
  auto* img = CreateComponent<TQVRBackgroundImage>(&form);
  img->SetParent(&form);
  img->SetBounds(5, 5, 3, 3);
  auto* list = solidImages(&form, {clRed, clLime}, 12);
  img->SetImageList(list);
  EXPECT_EQ(img->Width(), 12);
  EXPECT_EQ(img->Height(), 12);
  img->SetImageIndex(1);
  EXPECT_EQ(pixelOf(form, 10, 10), rgb(clLime));
  img->SetImageIndex(2);
  EXPECT_EQ(pixelOf(form, 10, 10), rgb(form.Color()));
  FreeObject(list);
  EXPECT_EQ(img->ImageList(), nullptr);
}

// ---------------------------------------------------------------------------
// Image lists

// Writes a PNG strip made by Python: square i in colour (i*40, 255-i*40, 7)
// opaque, or, with grey, every pixel grey 128 with alpha 128.
TBytes pythonStrip(int w, int h, bool grey = false) {
  test::TempDir dir;
  const std::string path = dir.File("strip.png");
  std::string script =
      "import zlib,struct,sys\n"
      "w,h,grey,path=int(sys.argv[1]),int(sys.argv[2]),sys.argv[3]=='1',sys.argv[4]\n"
      "def px(x,y):\n"
      "  if grey: return bytes([128,128,128,128])\n"
      "  i=y//w\n"
      "  return bytes([(i*40)%256,(255-i*40)%256,7,255])\n"
      "raw=b''.join(b'\\x00'+b''.join(px(x,y) for x in range(w)) for y in range(h))\n"
      "def chunk(t,d): return struct.pack('>I',len(d))+t+d+struct.pack('>I',zlib.crc32(t+d)&0xffffffff)\n"
      "png=b'\\x89PNG\\r\\n\\x1a\\n'+chunk(b'IHDR',struct.pack('>IIBBBBB',w,h,8,6,0,0,0))"
      "+chunk(b'IDAT',zlib.compress(raw))+chunk(b'IEND',b'')\n"
      "open(path,'wb').write(png)\n";
  test::WriteFileBytes(dir.File("make.py"), script);
  EXPECT_EQ(test::RunCommand("/usr/bin/python3 " + dir.File("make.py") + " " + std::to_string(w) + " " +
                             std::to_string(h) + (grey ? " 1 " : " 0 ") + path),
            0);
  std::string bytes = test::ReadFileBytes(path);
  return TBytes(bytes.begin(), bytes.end());
}

TEST(ImageLists, StripsOfWholeSquares) {
  RegisterResource("STRIP480", "PNG", pythonStrip(80, 480));
  RegisterResource("STRIP500", "PNG", pythonStrip(80, 500));
  TImageLists lists;
  for (const char* name : {"STRIP480", "strip500"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(lists.GetImageSize(name).cx, 80);
    EXPECT_EQ(lists.GetImageSize(name).cy, 80);
    TBitmap target(80, 80, pf32bit);
    auto fill = [&] {
      target.Canvas().Brush().SetColor(clWhite);
      target.Canvas().FillRect(Rect(0, 0, 80, 80));
    };
    fill();
    lists.Draw(&target.Canvas(), 0, 0, 5, name);
    EXPECT_EQ(target.GetPixel(0, 0), static_cast<TColor>(200 | 55 << 8 | 7 << 16));
    EXPECT_EQ(target.GetPixel(79, 79), static_cast<TColor>(200 | 55 << 8 | 7 << 16));
    fill();
    lists.Draw(&target.Canvas(), 0, 0, 6, name);  // beyond the whole squares
    EXPECT_EQ(target.GetPixel(40, 40), 0xFFFFFFu);
    lists.Draw(&target.Canvas(), 0, 0, -1, name);
    EXPECT_EQ(target.GetPixel(40, 40), 0xFFFFFFu);
  }
  EXPECT_EQ(lists.LoadCount(), 2);  // each loaded once
}

TEST(ImageLists, HalfTransparentPixelsBlendStraightAlpha) {
  RegisterResource("GREYSTRIP", "PNG", pythonStrip(4, 4, true));
  TImageLists lists;
  TBitmap target(4, 4, pf32bit);
  target.Canvas().Brush().SetColor(clWhite);
  target.Canvas().FillRect(Rect(0, 0, 4, 4));
  lists.Draw(&target.Canvas(), 0, 0, 0, "GreyStrip");
  const int v = static_cast<int>(target.GetPixel(1, 1) & 0xFF);
  EXPECT_NEAR(v, 191, 1);
}

TEST(ImageLists, MissingAndDamagedStripsRaiseEveryTime) {
  TImageLists lists;
  TBitmap target(4, 4, pf32bit);
  for (int i = 0; i < 2; ++i) {
    try {
      lists.Draw(&target.Canvas(), 0, 0, 0, "NOSUCHSTRIP");
      FAIL();
    } catch (const EResNotFound& e) {
      EXPECT_STREQ(e.what(), "Resource NOSUCHSTRIP not found");
    }
  }
  TBytes damaged = pythonStrip(8, 8);
  damaged[1] = 'X';  // no PNG signature
  RegisterResource("DAMAGED", "PNG", damaged);
  std::string first;
  for (int i = 0; i < 2; ++i) {
    try {
      lists.GetImageSize("DAMAGED");
      FAIL();
    } catch (const EPNGException& e) {
      if (i == 0) first = e.what();
      EXPECT_EQ(first, e.what());
    }
  }
  EXPECT_FALSE(first.empty());
  // A strip cut short before its header: the reader stops quietly, with no
  // image. That is no strip either, never one of size 0.
  const TBytes whole = pythonStrip(8, 8);
  for (size_t length : {size_t{8}, size_t{20}}) {
    RegisterResource("CUTSHORT", "PNG", TBytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length)));
    EXPECT_THROW(lists.GetImageSize("CUTSHORT"), EPNGException) << length;
    EXPECT_THROW(lists.Draw(&target.Canvas(), 0, 0, 0, "CUTSHORT"), EPNGException) << length;
  }
  EXPECT_EQ(lists.LoadCount(), 0);
  // A repaired resource loads at the next call.
  RegisterResource("DAMAGED", "PNG", pythonStrip(8, 8));
  EXPECT_EQ(lists.GetImageSize("DAMAGED").cx, 8);
}

TEST(PanelAdjust, HouseStyleAndInvalidCast) {
  TForm form(nullptr);
  auto* p = CreateComponent<TQVRPanel>(&form);
  TQVRPanelAdjust adjust;
  adjust.Adjust(p);
  EXPECT_EQ(p->BorderWidth(), 6);
  EXPECT_EQ(p->TitleFont().Color(), clWindowText);
  EXPECT_EQ(p->TitleFont().Height(), -13);
  EXPECT_EQ(p->TitleFont().Name(), "Tahoma");
  EXPECT_TRUE(p->TitleFont().Style().Empty());
  EXPECT_EQ(p->TitleColor(), clInactiveCaption);
  EXPECT_EQ(p->TitleHeight(), 24);
  EXPECT_THROW(adjust.Adjust(&form), EInvalidCast);
  EXPECT_THROW(adjust.Adjust(nullptr), EInvalidCast);
}

TEST(ImageServices, RegisteredAfterTheRegistryAndRemovedAgain) {
  InitializeQVRSystem();
  InitializeImages();
  EXPECT_NE(QVRSystem->GetService<IImageLists>(), nullptr);
  EXPECT_NE(QVRSystem->GetService<IPanelAdjust>(), nullptr);
  FinalizeImages();
  EXPECT_EQ(QVRSystem->GetService<IImageLists>(), nullptr);
  FinalizeQVRSystem();
}

// ---------------------------------------------------------------------------
// Border

TEST(QVRBorder, ChildInsideTheFrameFocusAndHoverColours) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 300, 100);
  auto* first = CreateComponent<Block>(&form);
  first->SetParent(&form);
  first->SetBounds(0, 50, 20, 20);
  first->TabStop = true;
  auto* border = CreateComponent<TQVRBorder>(&form);
  border->SetParent(&form);
  border->SetBounds(10, 10, 205, 21);
  border->SetColor(clWhite);
  border->TabStop = true;
  auto* child = CreateComponent<Block>(&form);
  child->SetParent(border);
  child->SetAlign(alClient);
  EXPECT_EQ(child->BoundsRect(), Rect(2, 2, 203, 19));
  std::vector<bool> changes;
  border->OnFocusChanged = [&](TObject*, bool f) { changes.push_back(f); };
  form.Show();
  QApplication::setActiveWindow(form.Widget());
  first->SetFocus();

  auto frame = [&] { return pixelOf(*border, 0, 10); };
  EXPECT_EQ(frame(), rgb(clGrayText));
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(first->Widget(), &tab);
  EXPECT_TRUE(border->IsFocused());
  EXPECT_EQ(changes, std::vector<bool>{true});
  EXPECT_EQ(frame(), rgb(clBtnText));
  QApplication::sendEvent(border->Widget(), &tab);
  EXPECT_FALSE(border->IsFocused());
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
  EXPECT_EQ(frame(), rgb(clGrayText));

  // Hover; a disabled control keeps CoolColor under the mouse.
  border->Perform(CM_MOUSEENTER);
  EXPECT_EQ(frame(), rgb(clHighlight));
  border->SetEnabled(false);
  EXPECT_EQ(frame(), rgb(clGrayText));
  border->SetEnabled(true);
  border->Perform(CM_MOUSELEAVE);
  EXPECT_EQ(frame(), rgb(clGrayText));
}

TEST(QVRBorder, CaptionLabelAboveLeftAndGone) {
  TForm form(nullptr);
  auto* border = CreateComponent<TQVRBorder>(&form);
  border->SetParent(&form);
  border->SetBounds(100, 50, 100, 21);
  border->SetLabelCaption("Name");
  EXPECT_EQ(border->CaptionLabel(), nullptr);
  border->SetLabelPosition(UnitQVRControls::lpAbove);
  ASSERT_NE(border->CaptionLabel(), nullptr);
  TLabel* l = border->CaptionLabel();
  EXPECT_EQ(l->Caption(), "Name");
  EXPECT_EQ(l->Parent(), &form);
  EXPECT_EQ(l->Left(), 100);
  EXPECT_EQ(l->Top(), 35);
  border->SetLabelPosition(UnitQVRControls::lpLeft);
  border->SetLabelDistance(40);
  EXPECT_EQ(l->Left(), 60);
  EXPECT_EQ(l->Top(), 50 + (21 - l->Height()) / 2);
  // Taller than the control: centred on it.
  border->SetHeight(4);
  EXPECT_EQ(l->Top(), 50 + (4 - l->Height()) / 2);
  EXPECT_LT(l->Top(), 50);
  border->SetLeft(120);
  EXPECT_EQ(l->Left(), 80);
  border->SetEnabled(false);
  EXPECT_FALSE(l->Enabled());
  border->SetLabelPosition(UnitQVRControls::lpNone);
  EXPECT_EQ(border->CaptionLabel(), nullptr);
}

}  // namespace
}  // namespace px
