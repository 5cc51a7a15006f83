#pragma once
// Data transfer between windows and programs: the records and interfaces a
// data object, a drop source and a drop target speak (format descriptions,
// storage media, result codes), over Qt's clipboard and drag and drop.
//
// A data object offers formats by number (the standard formats 1-16 and the
// registered ones, ClipboardFormats.h) and renders one only when a reader
// asks for it. On the Qt side it is a QMimeData whose MIME types are derived
// from the format numbers (ClipboardFormatMimeTypes): registered formats
// travel under their registered names with the object's bytes, Unicode text
// also as UTF-8 "text/plain", "HTML Format" also as "text/html" and "Rich Text
// Format" also as "text/rtf". Formats marked private never leave the process.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Geometry.h"
#include "platform/core/Streams.h"
#include "platform/core/Types.h"

class QMimeData;
class QPixmap;
class QWidget;

namespace px {

// ---------------------------------------------------------------------------
// Result codes
using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064);
constexpr HRESULT DV_E_LINDEX = static_cast<HRESULT>(0x80040068);
constexpr HRESULT DV_E_TYMED = static_cast<HRESULT>(0x80040069);
constexpr HRESULT DV_E_DVASPECT = static_cast<HRESULT>(0x8004006B);
constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = static_cast<HRESULT>(0x80040003);
constexpr HRESULT CLIPBRD_E_CANT_OPEN = static_cast<HRESULT>(0x800401D0);
constexpr HRESULT OLE_S_USEREG = 0x00040000;
constexpr HRESULT DATA_S_SAMEFORMATETC = 0x00040130;
constexpr HRESULT DRAGDROP_S_DROP = 0x00040100;
constexpr HRESULT DRAGDROP_S_CANCEL = 0x00040101;
constexpr HRESULT DRAGDROP_S_USEDEFAULTCURSORS = 0x00040102;
inline bool Succeeded(HRESULT hr) { return hr >= 0; }
inline bool Failed(HRESULT hr) { return hr < 0; }

// Drop effects.
constexpr int32_t DROPEFFECT_NONE = 0;
constexpr int32_t DROPEFFECT_COPY = 1;
constexpr int32_t DROPEFFECT_MOVE = 2;
constexpr int32_t DROPEFFECT_LINK = 4;
constexpr int32_t DROPEFFECT_SCROLL = static_cast<int32_t>(0x80000000);

// Directions of EnumFormatEtc.
constexpr uint32_t DATADIR_GET = 1;
constexpr uint32_t DATADIR_SET = 2;

// Aspects and medium types of a format description.
constexpr uint32_t DVASPECT_CONTENT = 1;
constexpr uint32_t TYMED_NULL = 0;
constexpr uint32_t TYMED_HGLOBAL = 1;
constexpr uint32_t TYMED_FILE = 2;
constexpr uint32_t TYMED_ISTREAM = 4;
constexpr uint32_t TYMED_ISTORAGE = 8;
constexpr uint32_t TYMED_GDI = 16;
constexpr uint32_t TYMED_MFPICT = 32;
constexpr uint32_t TYMED_ENHMF = 64;

// A format description: which format, for which aspect and in which media.
struct TFormatEtc {
  Word cfFormat = 0;
  void* ptd = nullptr;
  uint32_t dwAspect = DVASPECT_CONTENT;
  int32_t lindex = -1;
  uint32_t tymed = TYMED_HGLOBAL;
  bool operator==(const TFormatEtc&) const = default;
};

// ---------------------------------------------------------------------------
// Objects handed around by counted reference.
class IUnknown : public std::enable_shared_from_this<IUnknown> {
 public:
  virtual ~IUnknown() = default;
};
using IUnknownRef = std::shared_ptr<IUnknown>;

// A block of "global memory": bytes shared by whoever holds the handle; an
// empty handle is the null handle.
using HGLOBAL = std::shared_ptr<TBytes>;
// A zero-filled block; the null handle when size is negative or larger than
// MaxMemoryStreamSize.
HGLOBAL GlobalAlloc(Int64 size);
inline Int64 GlobalSize(const HGLOBAL& h) { return h ? static_cast<Int64>(h->size()) : 0; }

// A storage medium: data in global memory, a stream or a file. The release
// object, when set, owns what the medium refers to (ReleaseStgMedium drops
// only the reference then).
struct TStgMedium {
  uint32_t tymed = TYMED_NULL;
  HGLOBAL hGlobal;
  std::shared_ptr<TStream> stm;
  std::u16string fileName;
  IUnknownRef pUnkForRelease;
};
void ReleaseStgMedium(TStgMedium& medium);

// ---------------------------------------------------------------------------
// Interfaces of data transfer
class IEnumFORMATETC : public IUnknown {
 public:
  // Copies up to count entries into out; fetched (when given) receives the
  // number copied. S_OK when count entries were copied, else S_FALSE.
  virtual HRESULT Next(uint32_t count, TFormatEtc* out, uint32_t* fetched) = 0;
  virtual HRESULT Skip(uint32_t count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(std::shared_ptr<IEnumFORMATETC>& out) = 0;
};
using IEnumFORMATETCRef = std::shared_ptr<IEnumFORMATETC>;

class IDataObject;
class IAdviseSink : public IUnknown {
 public:
  virtual void OnDataChange(const TFormatEtc& format, const TStgMedium& medium) = 0;
};

class IEnumSTATDATA : public IUnknown {};

class IDataObject : public IUnknown {
 public:
  virtual HRESULT GetData(const TFormatEtc& format, TStgMedium& medium) = 0;
  virtual HRESULT GetDataHere(const TFormatEtc& format, TStgMedium& medium) = 0;
  virtual HRESULT QueryGetData(const TFormatEtc& format) = 0;
  virtual HRESULT GetCanonicalFormatEtc(const TFormatEtc& in, TFormatEtc& out) = 0;
  // With release the object takes the medium over (it is emptied);
  // otherwise it keeps a copy.
  virtual HRESULT SetData(const TFormatEtc& format, TStgMedium& medium, bool release) = 0;
  virtual HRESULT EnumFormatEtc(uint32_t direction, IEnumFORMATETCRef& out) = 0;
  virtual HRESULT DAdvise(const TFormatEtc& format, uint32_t advf, const std::shared_ptr<IAdviseSink>& sink,
                          uint32_t& connection) = 0;
  virtual HRESULT DUnadvise(uint32_t connection) = 0;
  virtual HRESULT EnumDAdvise(std::shared_ptr<IEnumSTATDATA>& out) = 0;
};
using IDataObjectRef = std::shared_ptr<IDataObject>;

// The advise connections of a data object.
class TDataAdviseHolder {
 public:
  HRESULT Advise(IDataObject* dataObject, const TFormatEtc& format, uint32_t advf,
                 const std::shared_ptr<IAdviseSink>& sink, uint32_t& connection);
  HRESULT Unadvise(uint32_t connection);
  HRESULT EnumAdvise(std::shared_ptr<IEnumSTATDATA>& out);
  // Tells every sink that the data changed.
  HRESULT SendOnDataChange(IDataObject* dataObject, uint32_t reserved, uint32_t advf);
  size_t Count() const { return entries_.size(); }

 private:
  struct Entry {
    uint32_t connection;
    TFormatEtc format;
    std::shared_ptr<IAdviseSink> sink;
  };
  std::vector<Entry> entries_;
  uint32_t next_ = 1;
};

class IDropSource : public IUnknown {
 public:
  virtual HRESULT QueryContinueDrag(bool escapePressed, int32_t keyState) = 0;
  virtual HRESULT GiveFeedback(int32_t effect) = 0;
};

// Points are screen coordinates; KeyState holds MK_ flags.
class IDropTarget : public IUnknown {
 public:
  virtual HRESULT DragEnter(const IDataObjectRef& dataObject, int32_t keyState, TPoint pt, int32_t& effect) = 0;
  virtual HRESULT DragOver(int32_t keyState, TPoint pt, int32_t& effect) = 0;
  virtual HRESULT DragLeave() = 0;
  virtual HRESULT Drop(const IDataObjectRef& dataObject, int32_t keyState, TPoint pt, int32_t& effect) = 0;
};

// The class library's own drag between its controls: CM_DRAG carries the
// drag message in WParam and a TDragRec* in LParam (Pos in screen
// coordinates).
enum TDragMessage { dmDragEnter, dmDragLeave, dmDragMove, dmDragDrop, dmDragCancel, dmFindTarget };
struct TDragRec {
  TPoint Pos;
  TObject* Source = nullptr;
  void* Target = nullptr;
  bool Docking = false;
};

// ---------------------------------------------------------------------------
// Formats on the Qt side

// Marks a format as private to this process: it is never offered to other
// programs and never accepted from them.
void SetClipboardFormatPrivate(Word format);
bool IsClipboardFormatPrivate(Word format);
// The MIME types a format travels under (empty for private formats and for
// formats without a name).
std::vector<std::string> ClipboardFormatMimeTypes(Word format);

// The Qt face of a data object: renders a format only when a reader asks
// for it. Qt deleting it (the clipboard taken by another owner, a finished
// drag) releases the data object.
QMimeData* NewMimeDataFor(const IDataObjectRef& dataObject);
// The data object behind a QMimeData: the very object for ours, a read-only
// object over the MIME data otherwise (it answers only formats that other
// programs may send, and only while the QMimeData lives).
IDataObjectRef DataObjectOfMimeData(const QMimeData* mimeData);
// The bytes of one MIME type as the data object renders it (empty when it
// cannot); used by the QMimeData above and by the clipboard flush.
bool RenderMimeType(IDataObject& dataObject, const std::string& mimeType, std::string& bytes);

// ---------------------------------------------------------------------------
// The clipboard
// Puts the object on the system clipboard (nullptr: empties the clipboard
// when this process owns it).
HRESULT OleSetClipboard(const IDataObjectRef& dataObject);
// The clipboard's current content as a data object; CLIPBRD_E_CANT_OPEN
// without a clipboard.
HRESULT OleGetClipboard(IDataObjectRef& dataObject);
// S_OK when the object is the clipboard's content, S_FALSE otherwise.
HRESULT OleIsCurrentClipboard(const IDataObjectRef& dataObject);
// Replaces the object on the clipboard with a copy of every format it
// offers to other programs, rendered now, so that the content outlives the
// object.
HRESULT OleFlushClipboard();

// ---------------------------------------------------------------------------
// Drag and drop

// Runs a drag of the data object from the widget: the drop source decides
// when to drop or cancel, the picture (when given) follows the pointer with
// its hot spot under it. Effect receives the effect the target chose;
// DRAGDROP_S_DROP after a drop, DRAGDROP_S_CANCEL otherwise.
HRESULT DoDragDrop(QWidget* source, const IDataObjectRef& dataObject, IDropSource* dropSource,
                   int32_t allowedEffects, int32_t& effect, const QPixmap* picture = nullptr,
                   TPoint hotSpot = {0, 0});
// Makes the widget accept drops and hands Qt's drag events to the target
// (nullptr: stops accepting drops).
void RegisterDragDrop(QWidget* widget, const std::shared_ptr<IDropTarget>& target);
void RevokeDragDrop(QWidget* widget);

}  // namespace px
