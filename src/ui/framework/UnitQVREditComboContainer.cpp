#include "ui/framework/UnitQVREditComboContainer.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <algorithm>

namespace px {

namespace {
constexpr int32_t gripStrip = 11;

TControl* controlOfObject(QObject* o) {
  for (QObject* w = o; w; w = w->parent())
    if (w->isWidgetType())
      if (void* p = w->property("pxControl").value<void*>()) return static_cast<TControl*>(p);
  return nullptr;
}
}  // namespace

// The container's own application-wide filter, installed exactly while it is
// visible: a button pressed anywhere outside it, or the application going
// inactive, hides it. The event itself goes on to its target.
class TContainerHook : public QObject {
 public:
  explicit TContainerHook(TComboContainer* owner) : owner_(owner) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::NonClientAreaMouseButtonPress: {
        if (!watched->isWidgetType()) break;
        bool inside = false;
        for (QWidget* w = static_cast<QWidget*>(watched); w; w = w->parentWidget())
          if (w == owner_->Widget()) inside = true;
        if (!inside) {
          TControl* c = controlOfObject(watched);
          for (; c; c = c->Parent())
            if (c == owner_) inside = true;
        }
        if (!inside) hide();
        break;
      }
      case QEvent::ApplicationStateChange:
        if (QGuiApplication::applicationState() != Qt::ApplicationActive) hide();
        break;
      default: break;
    }
    return false;
  }

 private:
  void hide() {
    TComboContainer* c = owner_;
    try {
      c->HideContainer();
    } catch (const std::exception&) {
    }
  }
  TComboContainer* owner_;
};

TComboContainer::TComboContainer(TComponent* owner) : TForm(owner) {
  Widget()->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  SetColor(clWhite);
  Font().SetName("MS Sans Serif");
  Font().SetHeight(-14);
  SetBounds(0, 0, 471, 230);
}

TComboContainer::~TComboContainer() {
  destroying_ = true;
  OnVisibleChanged = nullptr;
  if (hook_) {
    qApp->removeEventFilter(hook_.get());
    hook_.reset();
  }
  hookInstalled_ = false;
}

void TComboContainer::SetGrip(Byte value) {
  grip_ = value > 4 ? 0 : value;
  Realign();
  Widget()->update();
}

void TComboContainer::ApplyTrackLimits() {
  Widget()->setMinimumSize(std::max(0, MinWidth), std::max(0, MinHeight));
  Widget()->setMaximumSize(MaxWidth > 0 ? MaxWidth : QWIDGETSIZE_MAX, MaxHeight > 0 ? MaxHeight : QWIDGETSIZE_MAX);
}

void TComboContainer::ShowContainer() {
  SetVisible(true);
  Widget()->show();
}

void TComboContainer::HideContainer() {
  if (!Visible()) return;
  SetVisible(false);
}

TPoint TComboContainer::clientOffsetForChildren() const {
  return {1, 1 + (grip_ == 1 || grip_ == 2 ? gripStrip : 0)};
}

TRect TComboContainer::ClientRect() const {
  // One pixel of border all round, and the grip strip.
  int32_t h = Height() - 2 - (grip_ ? gripStrip : 0);
  return Rect(0, 0, std::max(0, Width() - 2), std::max(0, h));
}

int32_t TComboContainer::HitTest(TPoint p) const {
  const int32_t w = Width(), h = Height();
  if (grip_ == 1 || grip_ == 2) {
    if (p.Y <= gripStrip) {
      if (grip_ == 1 && p.X <= gripStrip) return HTTOPLEFT;
      if (grip_ == 2 && p.X >= w - gripStrip) return HTTOPRIGHT;
      return HTTOP;
    }
  } else if (grip_ == 3 || grip_ == 4) {
    if (p.Y >= h - gripStrip) {
      if (grip_ == 3 && p.X <= gripStrip) return HTBOTTOMLEFT;
      if (grip_ == 4 && p.X >= w - gripStrip) return HTBOTTOMRIGHT;
      return HTBOTTOM;
    }
  }
  return HTCLIENT;
}

const TBitmap& TComboContainer::GripBitmap(Byte grip) {
  static TBitmap* bitmaps[4] = {};
  const int i = std::clamp<int>(grip, 1, 4) - 1;
  if (!bitmaps[3]) {
    // The style's size grip (bottom-right) and its mirrors.
    QImage img(10, 10, QImage::Format_ARGB32);
    img.fill(ToQColor(clBtnFace));
    {
      QPainter p(&img);
      QStyleOptionSizeGrip opt;
      opt.rect = QRect(0, 0, 10, 10);
      opt.corner = Qt::BottomRightCorner;
      opt.palette = QApplication::palette();
      QApplication::style()->drawControl(QStyle::CE_SizeGrip, &opt, &p, nullptr);
    }
    const QImage mirrors[4] = {img.mirrored(true, true), img.mirrored(false, true), img.mirrored(true, false), img};
    for (int k = 0; k < 4; ++k) {
      bitmaps[k] = new TBitmap;  // shared for the rest of the run
      bitmaps[k]->FromQImage(mirrors[k], pf32bit);
    }
  }
  return *bitmaps[i];
}

void TComboContainer::paintGrip(QEvent*) {
  if (!paintCanvas_) return;
  TCanvas& c = *paintCanvas_;
  const int32_t w = Width(), h = Height();
  c.Brush().SetStyle(bsClear);
  c.Pen().SetColor(clBtnShadow);
  c.Rectangle(Rect(0, 0, w, h));
  if (!grip_) return;
  c.Brush().SetStyle(bsSolid);
  c.Brush().SetColor(clBtnFace);
  const TBitmap& img = GripBitmap(grip_);
  if (grip_ <= 2) {
    c.FillRect(Rect(1, 1, w - 1, 11));
    c.MoveTo(1, 11);
    c.LineTo(w - 1, 11);
    c.Draw(grip_ == 1 ? 1 : w - 11, 1, img);
  } else {
    const int32_t b = h - 1;
    c.FillRect(Rect(1, b - 11, w - 1, b));
    c.MoveTo(1, b - 11);
    c.LineTo(w - 1, b - 11);
    c.Draw(grip_ == 3 ? 1 : w - 11, b - 10, img);
  }
}

bool TComboContainer::bridgeOtherEvent(QEvent* event) {
  if (event->type() == QEvent::Close) {
    event->ignore();
    HideContainer();
    return true;
  }
  return TForm::bridgeOtherEvent(event);
}

void TComboContainer::WndProc(TMessage& m) {
  if (m.Msg == WM_PAINT) {
    TForm::WndProc(m);
    paintGrip(nullptr);
    return;
  }
  if (m.Msg == CM_VISIBLECHANGED) {
    TForm::WndProc(m);
    Widget()->setVisible(m.WParam != 0);
    updateMessageHook();
    if (OnVisibleChanged && !destroying_) {
      auto fn = OnVisibleChanged;
      fn(m.WParam != 0);
    }
    return;
  }
  TForm::WndProc(m);
}

void TComboContainer::updateMessageHook() {
  const bool want = Visible() && !destroying_;
  if (want == hookInstalled_) return;
  if (want) {
    hook_ = std::make_unique<TContainerHook>(this);
    qApp->installEventFilter(hook_.get());
  } else {
    qApp->removeEventFilter(hook_.get());
    // The filter may be running right now: it goes with the loop.
    hook_.release()->deleteLater();
  }
  hookInstalled_ = want;
}

void TComboContainer::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  const TPoint off = clientOffsetForChildren();
  const TPoint wp{x + off.X, y + off.Y};
  if (button == mbLeft && !ClientRect().Contains({x, y})) {
    const int32_t hit = HitTest(wp);
    if (hit != HTCLIENT) {
      sizing_ = hit;
      sizeStart_ = ClientToScreen({x, y});
      boundsStart_ = BoundsRect();
      return;
    }
    // Outside the client area and off the grip: the container closes.
    HideContainer();
    return;
  }
  TForm::MouseDown(button, shift, x, y);
}

void TComboContainer::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  if (sizing_) {
    const TPoint now = ClientToScreen({x, y});
    const int32_t dx = now.X - sizeStart_.X, dy = now.Y - sizeStart_.Y;
    TRect r = boundsStart_;
    auto clampW = [&](int32_t w) { return std::clamp(w, std::max(1, MinWidth), MaxWidth > 0 ? std::max(MaxWidth, 1) : 1 << 20); };
    auto clampH = [&](int32_t h) { return std::clamp(h, std::max(1, MinHeight), MaxHeight > 0 ? std::max(MaxHeight, 1) : 1 << 20); };
    int32_t w = r.Width(), h = r.Height();
    if (sizing_ == HTTOP || sizing_ == HTTOPLEFT || sizing_ == HTTOPRIGHT) {
      h = clampH(h - dy);
      r.Top = r.Bottom - h;
    } else {
      h = clampH(h + dy);
      r.Bottom = r.Top + h;
    }
    if (sizing_ == HTTOPLEFT || sizing_ == HTBOTTOMLEFT) {
      w = clampW(w - dx);
      r.Left = r.Right - w;
    } else if (sizing_ == HTTOPRIGHT || sizing_ == HTBOTTOMRIGHT) {
      w = clampW(w + dx);
      r.Right = r.Left + w;
    }
    SetBoundsRect(r);
    Widget()->setGeometry(r.Left, r.Top, r.Width(), r.Height());
    return;
  }
  TForm::MouseMove(shift, x, y);
}

void TComboContainer::MouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (sizing_) {
    sizing_ = 0;
    return;
  }
  TForm::MouseUp(button, shift, x, y);
}

}  // namespace px
