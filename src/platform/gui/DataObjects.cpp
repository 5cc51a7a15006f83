#include "platform/gui/DataObjects.h"

#include <QClipboard>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/core/CodePages.h"
#include "platform/gui/ClipboardFormats.h"
#include "platform/gui/Controls.h"
#include "platform/gui/GuiInternal.h"

namespace px {

HGLOBAL GlobalAlloc(Int64 size) {
  if (size < 0 || size > MaxMemoryStreamSize) return nullptr;
  return std::make_shared<TBytes>(static_cast<size_t>(size), Byte(0));
}

void ReleaseStgMedium(TStgMedium& medium) { medium = TStgMedium{}; }

// ---------------------------------------------------------------------------
// Advise connections

namespace {
class TEmptyEnumSTATDATA : public IEnumSTATDATA {};
}  // namespace

HRESULT TDataAdviseHolder::Advise(IDataObject*, const TFormatEtc& format, uint32_t,
                                  const std::shared_ptr<IAdviseSink>& sink, uint32_t& connection) {
  if (!sink) return E_INVALIDARG;
  connection = next_++;
  entries_.push_back({connection, format, sink});
  return S_OK;
}

HRESULT TDataAdviseHolder::Unadvise(uint32_t connection) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.connection == connection; });
  if (it == entries_.end()) return E_INVALIDARG;
  entries_.erase(it);
  return S_OK;
}

HRESULT TDataAdviseHolder::EnumAdvise(std::shared_ptr<IEnumSTATDATA>& out) {
  out = std::make_shared<TEmptyEnumSTATDATA>();
  return S_OK;
}

HRESULT TDataAdviseHolder::SendOnDataChange(IDataObject*, uint32_t, uint32_t) {
  // A sink may unadvise from inside its notification: walk a copy.
  const std::vector<Entry> entries = entries_;
  for (const Entry& e : entries) e.sink->OnDataChange(e.format, TStgMedium{});
  return S_OK;
}

// ---------------------------------------------------------------------------
// Formats and MIME types

namespace {

std::mutex privateLock;
std::set<Word>& privateFormats() {
  static std::set<Word> formats;
  return formats;
}

constexpr const char* kHtmlName = "HTML Format";
constexpr const char* kRtfName = "Rich Text Format";
constexpr const char* kTextUtf8 = "text/plain;charset=utf-8";
constexpr const char* kText = "text/plain";
constexpr const char* kHtml = "text/html";
constexpr const char* kRtf = "text/rtf";

bool sameName(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The bytes of a medium (global memory or a stream), at most
// MaxMemoryStreamSize.
bool mediumBytes(TStgMedium& medium, std::string& bytes) {
  if ((medium.tymed & TYMED_HGLOBAL) && medium.hGlobal) {
    bytes.assign(medium.hGlobal->begin(), medium.hGlobal->end());
    return true;
  }
  if ((medium.tymed & TYMED_ISTREAM) && medium.stm) {
    TStream& s = *medium.stm;
    s.SetPosition(0);
    const Int64 size = s.Size();
    if (size < 0 || size > MaxMemoryStreamSize) return false;
    bytes.resize(static_cast<size_t>(size));
    bytes.resize(static_cast<size_t>(s.Read(bytes.data(), size)));
    return true;
  }
  return false;
}

// Global memory is asked for first: it is what other programs receive on
// other systems, and a format may lay it out differently from its stream.
bool formatBytes(IDataObject& dataObject, Word format, std::string& bytes) {
  for (uint32_t tymed : {TYMED_HGLOBAL, TYMED_ISTREAM}) {
    TFormatEtc etc;
    etc.cfFormat = format;
    etc.tymed = tymed;
    if (dataObject.QueryGetData(etc) != S_OK) continue;
    TStgMedium medium;
    if (dataObject.GetData(etc, medium) != S_OK) continue;
    const bool ok = mediumBytes(medium, bytes);
    ReleaseStgMedium(medium);
    if (ok) return true;
  }
  return false;
}

// Text cut at its first terminator.
std::string cutAtZero(const std::string& bytes) { return bytes.substr(0, std::min(bytes.size(), bytes.find('\0'))); }

// The part of a clipboard HTML document between its StartHTML and EndHTML
// offsets; the whole text when the header does not give them sensibly.
std::string htmlOfClipboardHtml(const std::string& doc) {
  auto number = [&](const char* key, size_t& value) {
    const size_t at = doc.find(key);
    if (at == std::string::npos || at > 200) return false;
    size_t p = at + std::strlen(key);
    size_t v = 0, digits = 0;
    while (p < doc.size() && doc[p] >= '0' && doc[p] <= '9' && digits < 10) v = v * 10 + (doc[p++] - '0'), ++digits;
    value = v;
    return digits > 0;
  };
  size_t start = 0, end = 0;
  const std::string text = cutAtZero(doc);
  if (number("StartHTML:", start) && number("EndHTML:", end) && start <= end && end <= text.size())
    return text.substr(start, end - start);
  return text;
}

}  // namespace

void SetClipboardFormatPrivate(Word format) {
  std::lock_guard<std::mutex> guard(privateLock);
  privateFormats().insert(format);
}

bool IsClipboardFormatPrivate(Word format) {
  std::lock_guard<std::mutex> guard(privateLock);
  return privateFormats().count(format) != 0;
}

std::vector<std::string> ClipboardFormatMimeTypes(Word format) {
  if (format == 0 || IsClipboardFormatPrivate(format)) return {};
  if (format == CF_UNICODETEXT) return {kTextUtf8, kText};
  // Other standard formats have no counterpart other programs here read.
  if (format < FirstRegisteredClipboardFormat) return {};
  const std::string name = GetClipboardFormatName(format);
  if (name.empty()) return {};
  if (sameName(name, kHtmlName)) return {name, kHtml};
  if (sameName(name, kRtfName)) return {name, kRtf};
  return {name};
}

bool RenderMimeType(IDataObject& dataObject, const std::string& mimeType, std::string& bytes) {
  bytes.clear();
  if (mimeType == kText || mimeType == kTextUtf8) {
    std::string raw;
    if (!formatBytes(dataObject, CF_UNICODETEXT, raw)) return false;
    std::u16string text(raw.size() / 2, u'\0');
    std::memcpy(text.data(), raw.data(), text.size() * 2);
    text.resize(std::min(text.size(), text.find(u'\0')));
    bytes = UnicodeToUtf8(text);
    return true;
  }
  if (mimeType == kHtml) {
    std::string doc;
    if (!formatBytes(dataObject, FindClipboardFormat(kHtmlName), doc)) return false;
    bytes = htmlOfClipboardHtml(doc);
    return true;
  }
  if (mimeType == kRtf) {
    std::string rtf;
    if (!formatBytes(dataObject, FindClipboardFormat(kRtfName), rtf)) return false;
    bytes = cutAtZero(rtf);
    return true;
  }
  const Word format = FindClipboardFormat(mimeType);
  if (format == 0 || IsClipboardFormatPrivate(format)) return false;
  return formatBytes(dataObject, format, bytes);
}

// ---------------------------------------------------------------------------
// The Qt faces of data objects

namespace {

// A reader asking for a format gets nothing when rendering fails; the
// failure is not the reader's to handle.
bool renderQuietly(IDataObject& dataObject, const std::string& mimeType, std::string& bytes) {
  try {
    return RenderMimeType(dataObject, mimeType, bytes);
  } catch (const std::exception&) {
    return false;
  }
}

// Ours: renders on request.
class TDataObjectMimeData : public QMimeData {
 public:
  explicit TDataObjectMimeData(IDataObjectRef dataObject) : dataObject_(std::move(dataObject)) {}
  const IDataObjectRef& DataObject() const { return dataObject_; }

  QStringList formats() const override {
    QStringList result;
    IEnumFORMATETCRef e;
    if (!dataObject_ || dataObject_->EnumFormatEtc(DATADIR_GET, e) != S_OK || !e) return result;
    e->Reset();
    TFormatEtc etc;
    uint32_t fetched = 0;
    while (e->Next(1, &etc, &fetched) == S_OK && fetched == 1)
      for (const std::string& mime : ClipboardFormatMimeTypes(etc.cfFormat)) {
        const QString m = QString::fromStdString(mime);
        if (!result.contains(m)) result.append(m);
      }
    return result;
  }
  bool hasFormat(const QString& mimeType) const override { return formats().contains(mimeType); }

 protected:
  QVariant retrieveData(const QString& mimeType, QMetaType) const override {
    std::string bytes;
    if (!dataObject_ || !hasFormat(mimeType)) return {};
    if (!renderQuietly(*dataObject_, mimeType.toStdString(), bytes)) return {};
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }

 private:
  IDataObjectRef dataObject_;
};

class TSingleEnum : public IEnumFORMATETC {
 public:
  explicit TSingleEnum(std::vector<TFormatEtc> formats, size_t index = 0) : formats_(std::move(formats)), index_(index) {}
  HRESULT Next(uint32_t count, TFormatEtc* out, uint32_t* fetched) override {
    uint32_t n = 0;
    while (n < count && index_ < formats_.size()) out[n++] = formats_[index_++];
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(uint32_t count) override {
    if (index_ + count > formats_.size()) return S_FALSE;
    index_ += count;
    return S_OK;
  }
  HRESULT Reset() override {
    index_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumFORMATETCRef& out) override {
    out = std::make_shared<TSingleEnum>(formats_, index_);
    return S_OK;
  }

 private:
  std::vector<TFormatEtc> formats_;
  size_t index_;
};

// Theirs: a read-only view of MIME data another program (or Qt) offers. It
// answers only the formats other programs may send: Unicode text and the
// registered formats that are not private to this process.
class TMimeDataReader : public IDataObject {
 public:
  explicit TMimeDataReader(const QMimeData* mimeData) : mimeData_(const_cast<QMimeData*>(mimeData)) {}

  HRESULT GetData(const TFormatEtc& format, TStgMedium& medium) override {
    medium = TStgMedium{};
    const HRESULT hr = QueryGetData(format);
    if (hr != S_OK) return hr;
    std::string bytes;
    if (format.cfFormat == CF_UNICODETEXT) {
      const std::u16string text = Utf8ToUnicode(mimeData_->text().toStdString());
      bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2);
      bytes.append(2, '\0');
    } else {
      const QByteArray data = mimeData_->data(QString::fromStdString(GetClipboardFormatName(format.cfFormat)));
      bytes.assign(data.constData(), static_cast<size_t>(data.size()));
    }
    medium.hGlobal = GlobalAlloc(static_cast<Int64>(bytes.size()));
    if (!medium.hGlobal) return E_OUTOFMEMORY;
    std::copy(bytes.begin(), bytes.end(), medium.hGlobal->begin());
    medium.tymed = TYMED_HGLOBAL;
    return S_OK;
  }
  HRESULT GetDataHere(const TFormatEtc&, TStgMedium&) override { return E_NOTIMPL; }
  HRESULT QueryGetData(const TFormatEtc& format) override {
    if (!(format.tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    for (const TFormatEtc& f : offered())
      if (f.cfFormat == format.cfFormat) return S_OK;
    return DV_E_FORMATETC;
  }
  HRESULT GetCanonicalFormatEtc(const TFormatEtc&, TFormatEtc& out) override {
    out.ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  HRESULT SetData(const TFormatEtc&, TStgMedium&, bool) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(uint32_t direction, IEnumFORMATETCRef& out) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    out = std::make_shared<TSingleEnum>(offered());
    return S_OK;
  }
  HRESULT DAdvise(const TFormatEtc&, uint32_t, const std::shared_ptr<IAdviseSink>&, uint32_t&) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT DUnadvise(uint32_t) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT EnumDAdvise(std::shared_ptr<IEnumSTATDATA>&) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  std::vector<TFormatEtc> offered() const {
    std::vector<TFormatEtc> result;
    if (!mimeData_) return result;
    auto add = [&](Word format) {
      if (format == 0 || IsClipboardFormatPrivate(format)) return;
      for (const TFormatEtc& f : result)
        if (f.cfFormat == format) return;
      TFormatEtc etc;
      etc.cfFormat = format;
      result.push_back(etc);
    };
    for (const QString& mime : mimeData_->formats()) {
      if (mime == kText || mime == kTextUtf8)
        add(CF_UNICODETEXT);
      else
        add(FindClipboardFormat(mime.toStdString()));
    }
    return result;
  }
  QPointer<QMimeData> mimeData_;
};

const TDataObjectMimeData* ours(const QMimeData* mimeData) { return dynamic_cast<const TDataObjectMimeData*>(mimeData); }

QClipboard* clipboard() { return QGuiApplication::instance() ? QGuiApplication::clipboard() : nullptr; }

}  // namespace

QMimeData* NewMimeDataFor(const IDataObjectRef& dataObject) { return new TDataObjectMimeData(dataObject); }

IDataObjectRef DataObjectOfMimeData(const QMimeData* mimeData) {
  if (!mimeData) return nullptr;
  if (const TDataObjectMimeData* m = ours(mimeData)) return m->DataObject();
  return std::make_shared<TMimeDataReader>(mimeData);
}

// ---------------------------------------------------------------------------
// Clipboard

HRESULT OleSetClipboard(const IDataObjectRef& dataObject) {
  QClipboard* c = clipboard();
  if (!c) return CLIPBRD_E_CANT_OPEN;
  if (!dataObject) {
    if (ours(c->mimeData())) c->clear();
    return S_OK;
  }
  c->setMimeData(NewMimeDataFor(dataObject));
  return S_OK;
}

HRESULT OleGetClipboard(IDataObjectRef& dataObject) {
  dataObject = nullptr;
  QClipboard* c = clipboard();
  if (!c) return CLIPBRD_E_CANT_OPEN;
  dataObject = DataObjectOfMimeData(c->mimeData());
  return dataObject ? S_OK : CLIPBRD_E_CANT_OPEN;
}

HRESULT OleIsCurrentClipboard(const IDataObjectRef& dataObject) {
  QClipboard* c = clipboard();
  if (!c || !dataObject) return S_FALSE;
  const TDataObjectMimeData* m = ours(c->mimeData());
  return m && m->DataObject() == dataObject ? S_OK : S_FALSE;
}

HRESULT OleFlushClipboard() {
  QClipboard* c = clipboard();
  if (!c) return CLIPBRD_E_CANT_OPEN;
  const TDataObjectMimeData* m = ours(c->mimeData());
  if (!m) return S_OK;
  const IDataObjectRef keep = m->DataObject();
  auto* copy = new QMimeData;
  for (const QString& mime : m->formats()) {
    std::string bytes;
    if (renderQuietly(*keep, mime.toStdString(), bytes)) copy->setData(mime, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  }
  c->setMimeData(copy);
  return S_OK;
}

// ---------------------------------------------------------------------------
// Drag and drop

namespace {

Qt::DropActions actionsOf(int32_t effects) {
  Qt::DropActions a;
  if (effects & DROPEFFECT_COPY) a |= Qt::CopyAction;
  if (effects & DROPEFFECT_MOVE) a |= Qt::MoveAction;
  if (effects & DROPEFFECT_LINK) a |= Qt::LinkAction;
  return a;
}

int32_t effectsOf(Qt::DropActions actions) {
  int32_t e = 0;
  if (actions & Qt::CopyAction) e |= DROPEFFECT_COPY;
  if (actions & Qt::MoveAction) e |= DROPEFFECT_MOVE;
  if (actions & Qt::LinkAction) e |= DROPEFFECT_LINK;
  return e;
}

// The one action an effect stands for (a target answers one; of several,
// move before copy before link).
Qt::DropAction actionOf(int32_t effect) {
  if (effect & DROPEFFECT_MOVE) return Qt::MoveAction;
  if (effect & DROPEFFECT_COPY) return Qt::CopyAction;
  if (effect & DROPEFFECT_LINK) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

int32_t keyStateOf(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  int32_t k = 0;
  if (buttons & Qt::LeftButton) k |= MK_LBUTTON;
  if (buttons & Qt::RightButton) k |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) k |= MK_MBUTTON;
  if (modifiers & Qt::ShiftModifier) k |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) k |= MK_CONTROL;
  if (modifiers & Qt::AltModifier) k |= MK_ALT;
  return k;
}

class TDropTargetFilter : public QObject {
 public:
  TDropTargetFilter(QWidget* widget, std::shared_ptr<IDropTarget> target)
      : QObject(widget), widget_(widget), target_(std::move(target)) {
    setObjectName(QStringLiteral("px-drop-target"));
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != widget_) return false;
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove:
      case QEvent::Drop: {
        auto* e = static_cast<QDropEvent*>(event);
        const int32_t keys = keyStateOf(e->buttons(), e->modifiers());
        const QPoint g = widget_->mapToGlobal(e->position().toPoint());
        const TPoint pt{g.x(), g.y()};
        int32_t effect = effectsOf(e->possibleActions());
        HRESULT hr = E_FAIL;
        const std::shared_ptr<IDropTarget> target = target_;  // the target may revoke itself meanwhile
        Guarded([&] {
          if (event->type() == QEvent::DragEnter)
            hr = target->DragEnter(DataObjectOfMimeData(e->mimeData()), keys, pt, effect);
          else if (event->type() == QEvent::DragMove)
            hr = target->DragOver(keys, pt, effect);
          else
            hr = target->Drop(DataObjectOfMimeData(e->mimeData()), keys, pt, effect);
        });
        const Qt::DropAction action = Succeeded(hr) ? actionOf(effect) : Qt::IgnoreAction;
        if (event->type() == QEvent::DragEnter) {
          // Qt sends no moves to a widget that ignored the entry; the move
          // that follows decides whether a drop is possible.
          e->setDropAction(action == Qt::IgnoreAction ? e->proposedAction() : action);
          e->accept();
        } else if (action != Qt::IgnoreAction && (e->possibleActions() & action)) {
          e->setDropAction(action);
          e->accept();
        } else {
          e->setDropAction(Qt::IgnoreAction);
          e->ignore();
        }
        return true;
      }
      case QEvent::DragLeave: {
        const std::shared_ptr<IDropTarget> target = target_;
        Guarded([&] { target->DragLeave(); });
        event->accept();
        return true;
      }
      default:
        return false;
    }
  }

 private:
  QWidget* widget_;
  std::shared_ptr<IDropTarget> target_;
};

TDropTargetFilter* filterOf(QWidget* widget) {
  return widget ? widget->findChild<TDropTargetFilter*>(QStringLiteral("px-drop-target"), Qt::FindDirectChildrenOnly)
                : nullptr;
}

}  // namespace

HRESULT DoDragDrop(QWidget* source, const IDataObjectRef& dataObject, IDropSource*, int32_t allowedEffects,
                   int32_t& effect, const QPixmap* picture, TPoint hotSpot) {
  effect = DROPEFFECT_NONE;
  if (!source || !dataObject) return E_INVALIDARG;
  // Qt's drag loop follows the buttons and Escape itself, the way a drop
  // source's QueryContinueDrag decides; the default cursors are Qt's.
  QPointer<QDrag> drag = new QDrag(source);
  drag->setMimeData(NewMimeDataFor(dataObject));
  if (picture && !picture->isNull()) {
    drag->setPixmap(*picture);
    drag->setHotSpot(QPoint(hotSpot.X, hotSpot.Y));
  }
  const Qt::DropActions allowed = actionsOf(allowedEffects ? allowedEffects : DROPEFFECT_COPY);
  Qt::DropAction preferred = allowed & Qt::MoveAction ? Qt::MoveAction : Qt::CopyAction;
  const Qt::DropAction result = drag->exec(allowed, preferred);
  if (drag) drag->deleteLater();
  effect = effectsOf(result);
  return result == Qt::IgnoreAction ? DRAGDROP_S_CANCEL : DRAGDROP_S_DROP;
}

void RegisterDragDrop(QWidget* widget, const std::shared_ptr<IDropTarget>& target) {
  if (!widget) return;
  RevokeDragDrop(widget);
  if (!target) return;
  auto* filter = new TDropTargetFilter(widget, target);
  widget->installEventFilter(filter);
  widget->setAcceptDrops(true);
}

void RevokeDragDrop(QWidget* widget) {
  if (TDropTargetFilter* f = filterOf(widget)) {
    widget->removeEventFilter(f);
    f->setObjectName(QString());
    f->deleteLater();
    widget->setAcceptDrops(false);
  }
}

}  // namespace px
