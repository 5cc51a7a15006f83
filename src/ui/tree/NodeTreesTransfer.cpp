// The tree's data object, its format enumerator, and copy, cut and paste
// through the clipboard.
#include "ui/tree/NodeTreesTransfer.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/gui/ClipboardFormats.h"
#include "ui/tree/NodeTrees.h"
#include "ui/tree/NodeTreesString.h"

namespace px {

// ---------------------------------------------------------------------------
// Tree ids

namespace {

struct TreeIds {
  std::mutex lock;
  std::map<uint32_t, TBaseNodeTree*> byId;
  std::map<TBaseNodeTree*, uint32_t> byTree;
  uint32_t next = 1;
  // The data object each tree last put on the clipboard: only its release
  // ends the tree's cut or copy (an older object of the same tree that
  // lives on elsewhere must not).
  std::map<uint32_t, const TNTDataObject*> clipboardObject;
};

TreeIds& treeIds() {
  static TreeIds ids;
  return ids;
}

uint32_t processId() { return static_cast<uint32_t>(::getpid()); }

}  // namespace

uint32_t NodeTreeId(TBaseNodeTree* tree) {
  if (!tree) return 0;
  TreeIds& ids = treeIds();
  std::lock_guard<std::mutex> guard(ids.lock);
  auto it = ids.byTree.find(tree);
  if (it != ids.byTree.end()) return it->second;
  uint32_t id = ids.next++;
  if (id == 0) id = ids.next++;
  ids.byTree.emplace(tree, id);
  ids.byId.emplace(id, tree);
  return id;
}

TBaseNodeTree* FindNodeTree(uint32_t id) {
  if (id == 0) return nullptr;
  TreeIds& ids = treeIds();
  std::lock_guard<std::mutex> guard(ids.lock);
  auto it = ids.byId.find(id);
  return it != ids.byId.end() ? it->second : nullptr;
}

void ForgetNodeTree(TBaseNodeTree* tree) {
  TreeIds& ids = treeIds();
  std::lock_guard<std::mutex> guard(ids.lock);
  auto it = ids.byTree.find(tree);
  if (it == ids.byTree.end()) return;
  ids.byId.erase(it->second);
  ids.clipboardObject.erase(it->second);
  ids.byTree.erase(it);
}

namespace {

void setClipboardObject(uint32_t treeId, const TNTDataObject* object) {
  TreeIds& ids = treeIds();
  std::lock_guard<std::mutex> guard(ids.lock);
  ids.clipboardObject[treeId] = object;
}

// Forgets the object as its tree's clipboard object; true when it was.
bool takeClipboardObject(uint32_t treeId, const TNTDataObject* object) {
  TreeIds& ids = treeIds();
  std::lock_guard<std::mutex> guard(ids.lock);
  auto it = ids.clipboardObject.find(treeId);
  if (it == ids.clipboardObject.end() || it->second != object) return false;
  ids.clipboardObject.erase(it);
  return true;
}

bool isClipboardObjectOf(uint32_t treeId, const IDataObjectRef& object) {
  auto* o = dynamic_cast<const TNTDataObject*>(object.get());
  if (!o) return false;
  TreeIds& ids = treeIds();
  std::lock_guard<std::mutex> guard(ids.lock);
  auto it = ids.clipboardObject.find(treeId);
  return it != ids.clipboardObject.end() && it->second == o;
}

}  // namespace

// ---------------------------------------------------------------------------
// TEnumFormatEtc

TEnumFormatEtc::TEnumFormatEtc(TBaseNodeTree* tree, std::vector<TFormatEtc> formats)
    : treeId_(NodeTreeId(tree)), formats_(std::move(formats)) {}

HRESULT TEnumFormatEtc::Next(uint32_t count, TFormatEtc* out, uint32_t* fetched) {
  const size_t left = CurrentIndex < formats_.size() ? formats_.size() - CurrentIndex : 0;
  const uint32_t n = static_cast<uint32_t>(std::min<size_t>(count, left));
  for (uint32_t i = 0; i < n; ++i) out[i] = formats_[CurrentIndex + i];
  CurrentIndex += n;
  if (fetched) *fetched = n;
  return n == count ? S_OK : S_FALSE;
}

HRESULT TEnumFormatEtc::Skip(uint32_t count) {
  if (static_cast<uint64_t>(CurrentIndex) + count > formats_.size()) return S_FALSE;
  CurrentIndex += count;
  return S_OK;
}

HRESULT TEnumFormatEtc::Reset() {
  CurrentIndex = 0;
  return S_OK;
}

HRESULT TEnumFormatEtc::Clone(IEnumFORMATETCRef& out) {
  try {
    auto copy = std::make_shared<TEnumFormatEtc>(Tree(), formats_);
    copy->treeId_ = treeId_;
    copy->CurrentIndex = CurrentIndex;
    out = copy;
    return S_OK;
  } catch (...) {
    out = nullptr;
    return E_FAIL;
  }
}

// ---------------------------------------------------------------------------
// TNTDataObject

TNTDataObject::TNTDataObject(TBaseNodeTree* tree, bool forClipboard)
    : ownerId_(NodeTreeId(tree)), forClipboard_(forClipboard) {
  if (tree) FormatEtcArray = tree->GetNativeClipboardFormats();
}

TNTDataObject::~TNTDataObject() {
  // The clipboard let go of the object (another owner took it, or the tree
  // put a newer one there): the nodes are no longer cut or copied. While the
  // tree itself flushes the clipboard its marks stay.
  if (forClipboard_ && takeClipboardObject(ownerId_, this)) {
    TBaseNodeTree* tree = Owner();
    if (tree && !tree->TreeStates().Contains(stClipboardFlushing)) {
      try {
        tree->CancelCutOrCopy();
      } catch (...) {
      }
    }
  }
  for (auto& stored : StoredMedia) ReleaseStgMedium(stored.second);
}

HRESULT TNTDataObject::QueryGetData(const TFormatEtc& format) {
  HRESULT result = DV_E_FORMATETC;
  for (const TFormatEtc& f : FormatEtcArray) {
    if (f.cfFormat != format.cfFormat) continue;
    if (!(f.tymed & format.tymed))
      result = DV_E_TYMED;
    else if (f.dwAspect != format.dwAspect)
      result = DV_E_DVASPECT;
    else if (f.lindex != format.lindex)
      result = DV_E_LINDEX;
    else
      return S_OK;
  }
  return result;
}

HRESULT TNTDataObject::GetData(const TFormatEtc& format, TStgMedium& medium) {
  medium = TStgMedium{};
  try {
    TBaseNodeTree* tree = Owner();
    if (format.cfFormat == CF_NODETREEREFERENCE()) {
      if (!tree || tree->TreeStates().Contains(stClipboardFlushing)) return E_FAIL;
      medium.hGlobal = GlobalAlloc(8);
      if (!medium.hGlobal) return E_OUTOFMEMORY;
      const uint32_t words[2] = {processId(), ownerId_};
      std::memcpy(medium.hGlobal->data(), words, 8);
      medium.tymed = TYMED_HGLOBAL;
      return S_OK;
    }
    const HRESULT query = QueryGetData(format);
    if (query != S_OK) return query;
    for (const TFormatEtc& f : FormatEtcArray) {
      if (f.cfFormat != format.cfFormat || !(f.tymed & format.tymed) || f.dwAspect != format.dwAspect ||
          f.lindex != format.lindex)
        continue;
      for (auto& stored : StoredMedia)
        if (stored.first == format.cfFormat && stored.second.tymed != TYMED_NULL)
          return CopyMedium(stored.second, medium, shared_from_this(), false);
      if (!tree) return E_FAIL;
      return tree->RenderTreeData(format, medium, forClipboard_);
    }
    return DV_E_FORMATETC;
  } catch (...) {
    medium = TStgMedium{};
    return E_FAIL;
  }
}

HRESULT TNTDataObject::GetDataHere(const TFormatEtc&, TStgMedium&) { return E_NOTIMPL; }

HRESULT TNTDataObject::GetCanonicalFormatEtc(const TFormatEtc&, TFormatEtc& out) {
  out.ptd = nullptr;
  return DATA_S_SAMEFORMATETC;
}

HRESULT TNTDataObject::SetData(const TFormatEtc& format, TStgMedium& medium, bool release) {
  std::pair<Word, TStgMedium>* slot = nullptr;
  for (auto& stored : StoredMedia)
    if (stored.first == format.cfFormat) slot = &stored;
  const bool known = std::any_of(FormatEtcArray.begin(), FormatEtcArray.end(),
                                 [&](const TFormatEtc& f) { return f.cfFormat == format.cfFormat; });
  if (!known) FormatEtcArray.push_back(format);
  if (!slot) {
    StoredMedia.emplace_back(format.cfFormat, TStgMedium{});
    slot = &StoredMedia.back();
  } else {
    ReleaseStgMedium(slot->second);
  }
  HRESULT result = S_OK;
  if (release) {
    slot->second = std::move(medium);
    medium = TStgMedium{};
  } else {
    result = CopyMedium(medium, slot->second, shared_from_this(), true);
    // A copy that would keep this very object alive would keep it forever.
    if (slot->second.pUnkForRelease.get() == static_cast<IUnknown*>(this)) slot->second.pUnkForRelease = nullptr;
  }
  if (adviseHolder_) adviseHolder_->SendOnDataChange(this, 0, 0);
  return result;
}

HRESULT TNTDataObject::EnumFormatEtc(uint32_t direction, IEnumFORMATETCRef& out) {
  out = nullptr;
  if (direction == DATADIR_SET) return OLE_S_USEREG;
  if (direction != DATADIR_GET) return E_NOTIMPL;
  out = std::make_shared<TEnumFormatEtc>(Owner(), FormatEtcArray);
  return S_OK;
}

HRESULT TNTDataObject::DAdvise(const TFormatEtc& format, uint32_t advf, const std::shared_ptr<IAdviseSink>& sink,
                               uint32_t& connection) {
  if (!adviseHolder_) adviseHolder_ = std::make_unique<TDataAdviseHolder>();
  return adviseHolder_->Advise(this, format, advf, sink, connection);
}

HRESULT TNTDataObject::DUnadvise(uint32_t connection) {
  return adviseHolder_ ? adviseHolder_->Unadvise(connection) : E_NOTIMPL;
}

HRESULT TNTDataObject::EnumDAdvise(std::shared_ptr<IEnumSTATDATA>& out) {
  return adviseHolder_ ? adviseHolder_->EnumAdvise(out) : OLE_E_ADVISENOTSUPPORTED;
}

HRESULT TNTDataObject::CopyMedium(const TStgMedium& in, TStgMedium& out, const IUnknownRef& dataObject,
                                  bool deepCopy) {
  out = TStgMedium{};
  out.tymed = in.tymed;
  out.pUnkForRelease = in.pUnkForRelease;
  switch (in.tymed) {
    case TYMED_HGLOBAL:
      if (deepCopy) {
        if (in.hGlobal) {
          out.hGlobal = GlobalAlloc(GlobalSize(in.hGlobal));
          if (!out.hGlobal) {
            out = TStgMedium{};
            return E_OUTOFMEMORY;
          }
          *out.hGlobal = *in.hGlobal;
        }
      } else {
        out.hGlobal = in.hGlobal;
        out.pUnkForRelease = dataObject;
      }
      return S_OK;
    case TYMED_FILE:
      out.fileName = in.fileName;
      return S_OK;
    case TYMED_ISTREAM:
    case TYMED_ISTORAGE:
      out.stm = in.stm;
      return S_OK;
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
      if (deepCopy) {
        out = TStgMedium{};
        return DV_E_TYMED;
      }
      out.pUnkForRelease = dataObject;
      return S_OK;
    default:
      out = TStgMedium{};
      return DV_E_TYMED;
  }
}

// ---------------------------------------------------------------------------
// The tree's side

std::vector<TFormatEtc> TBaseNodeTree::GetNativeClipboardFormats() {
  std::vector<TFormatEtc> result = ClipboardFormatList().EnumerateFormats(TreeClass(), &ClipboardFormats());
  std::vector<std::string> names;
  GetClipboardFormatsList(names);
  for (const std::string& name : names) {
    const TClipboardFormatEntry* entry = ClipboardFormatList().FindFormat(name);
    TFormatEtc etc;
    if (entry) {
      etc = entry->FormatEtc;
    } else {
      etc.cfFormat = RegisterClipboardFormat(name);
      if (etc.cfFormat == 0) continue;
    }
    if (std::none_of(result.begin(), result.end(), [&](const TFormatEtc& f) { return f.cfFormat == etc.cfFormat; }))
      result.push_back(etc);
  }
  return result;
}

HRESULT TBaseNodeTree::RenderTreeData(const TFormatEtc& formatEtc, TStgMedium& medium, bool forClipboard) {
  medium = TStgMedium{};
  if (formatEtc.cfFormat == CF_NODETREEDATA() && (formatEtc.tymed & (TYMED_HGLOBAL | TYMED_ISTREAM))) {
    if (formatEtc.tymed & TYMED_ISTREAM) {
      auto stream = std::make_shared<TMemoryStream>();
      WriteTreeDataNodes(*stream, forClipboard);
      stream->SetPosition(0);
      medium.tymed = TYMED_ISTREAM;
      medium.stm = stream;
      return S_OK;
    }
    const std::string block = RenderTreeDataBlock(forClipboard);
    if (block.empty()) return E_FAIL;
    medium.hGlobal = GlobalAlloc(static_cast<Int64>(block.size()));
    if (!medium.hGlobal) return E_OUTOFMEMORY;
    std::memcpy(medium.hGlobal->data(), block.data(), block.size());
    medium.tymed = TYMED_HGLOBAL;
    return S_OK;
  }
  return DataRender(formatEtc, medium, forClipboard);
}

TBaseNodeTree* TBaseNodeTree::SourceTreeOfDataObject(const IDataObjectRef& dataObject) {
  if (!dataObject) return nullptr;
  TFormatEtc etc;
  etc.cfFormat = CF_NODETREEREFERENCE();
  TStgMedium medium;
  if (dataObject->GetData(etc, medium) != S_OK) return nullptr;
  TBaseNodeTree* result = nullptr;
  if ((medium.tymed & TYMED_HGLOBAL) && GlobalSize(medium.hGlobal) >= 8) {
    uint32_t words[2];
    std::memcpy(words, medium.hGlobal->data(), 8);
    if (words[0] == processId()) result = FindNodeTree(words[1]);
  }
  ReleaseStgMedium(medium);
  return result;
}

void TBaseNodeTree::CopyToClipboard() {
  if (selectionCount_ == 0) return;
  auto dataObject = std::make_shared<TNTDataObject>(this, true);
  if (OleSetClipboard(dataObject) != S_OK) return;
  // Whatever an earlier cut or copy marked is replaced by this one.
  CancelCutOrCopy();
  setClipboardObject(NodeTreeId(this), dataObject.get());
  MarkCutCopy();
  ChangeTreeState({stCopyPending}, {});
  Invalidate();
}

void TBaseNodeTree::CutToClipboard() {
  if (selectionCount_ == 0 || options_->MiscOptions().Contains(moReadOnly)) return;
  auto dataObject = std::make_shared<TNTDataObject>(this, true);
  if (OleSetClipboard(dataObject) != S_OK) return;
  CancelCutOrCopy();
  setClipboardObject(NodeTreeId(this), dataObject.get());
  MarkCutCopy();
  ChangeTreeState({stCutPending}, {});
  Invalidate();
}

bool TBaseNodeTree::PasteFromClipboard() {
  if (options_->MiscOptions().Contains(moReadOnly)) return false;
  IDataObjectRef dataObject;
  if (OleGetClipboard(dataObject) != S_OK || !dataObject) ShowError("Clipboard operation failed.", hcTFClipboardFailed);
  TBaseNodeTree* source = SourceTreeOfDataObject(dataObject);
  const bool optimized = source && source->states_.Contains(stCutPending);
  const bool result = ProcessOLEData(source, dataObject, focusedNode_, DefaultPasteMode, optimized);
  if (source) {
    if (source == this)
      // Nodes moved or copied inside this tree keep no marks: they would
      // stay painted as cut with nothing pending.
      CancelCutOrCopy();
    else
      source->FinishCutOrCopy();
  }
  return result;
}

namespace {

// A read-only stream over bytes the caller keeps alive.
class TOLEMemoryStream : public TStream {
 public:
  TOLEMemoryStream(const Byte* data, Int64 size) : data_(data), size_(size) {}
  Int64 Read(void* buffer, Int64 count) override {
    if (count <= 0 || position_ >= size_) return 0;
    const Int64 n = std::min(count, size_ - position_);
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
  }
  Int64 Write(const void*, Int64) override { throw EStreamError("Can't write to a read-only resource stream"); }
  Int64 Seek(Int64 offset, TSeekOrigin origin) override {
    Int64 p = origin == soBeginning ? offset : origin == soCurrent ? position_ + offset : size_ + offset;
    if (p < 0) RaiseInvalidPosition();
    position_ = p;
    return p;
  }
  Int64 Size() override { return size_; }
  void SetSize(Int64) override { throw EStreamError("Can't write to a read-only resource stream"); }

 private:
  const Byte* data_;
  Int64 size_;
  Int64 position_ = 0;
};

}  // namespace

bool TBaseNodeTree::ProcessOLEData(TBaseNodeTree* source, const IDataObjectRef& dataObject, PNTNode targetNode,
                                   TNTNodeAttachMode mode, bool optimized) {
  TFormatEtc etc;
  etc.cfFormat = CF_NODETREEDATA();
  etc.tymed = TYMED_ISTREAM | TYMED_HGLOBAL;
  if (!dataObject || options_->MiscOptions().Contains(moReadOnly) || dataObject->QueryGetData(etc) != S_OK)
    return false;
  bool result = false;
  BeginUpdate();
  try {
    if (!targetNode) targetNode = root_;
    if (targetNode == root_) {
      if (mode == amInsertBefore) mode = amAddChildFirst;
      if (mode == amInsertAfter) mode = amAddChildLast;
    }
    if (optimized && source) {
      TNodeArray nodes =
          source->states_.Contains(stOLEDragging) ? source->dragSelection_ : source->GetSortedCutCopySet(true);
      if (mode == amInsertAfter || mode == amAddChildFirst) std::reverse(nodes.begin(), nodes.end());
      for (PNTNode node : nodes)
        if (node != targetNode && !HasAsParent(targetNode, node)) source->MoveTo(node, targetNode, mode, false);
      result = true;
    } else {
      TStgMedium medium;
      if (dataObject->GetData(etc, medium) == S_OK) {
        std::unique_ptr<TStream> own;
        TStream* stream = nullptr;
        if ((medium.tymed & TYMED_HGLOBAL) && medium.hGlobal) {
          // The block is a 32-bit byte count and that many bytes; a count
          // the block does not hold is refused before anything is added.
          const Int64 size = GlobalSize(medium.hGlobal);
          uint32_t count = 0;
          if (size >= 4) std::memcpy(&count, medium.hGlobal->data(), 4);
          if (size >= 4 && count <= size - 4) {
            own = std::make_unique<TOLEMemoryStream>(medium.hGlobal->data() + 4, static_cast<Int64>(count));
            stream = own.get();
          }
        } else if ((medium.tymed & TYMED_ISTREAM) && medium.stm) {
          stream = medium.stm.get();
        }
        if (stream) {
          while (stream->Position() < stream->Size()) {
            PNTNode node = LoadNodeFromStream(*stream, targetNode, mode, 2);
            if (!NodeCopying(node, targetNode)) {
              DeleteNode(node);
              continue;
            }
            NodeCopied(node);
            DoStructureChange(node, source == this ? crNodeCopied : crNodeAdded);
            if (mode == amInsertAfter) targetNode = node;
          }
          result = true;
        }
        ReleaseStgMedium(medium);
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return result;
}

void TBaseNodeTree::ReleaseClipboard(bool flush) {
  if (!states_.Contains(stCutPending) && !states_.Contains(stCopyPending)) return;
  IDataObjectRef current;
  if (OleGetClipboard(current) == S_OK && isClipboardObjectOf(NodeTreeId(this), current)) {
    current = nullptr;
    if (flush) {
      ChangeTreeState({stClipboardFlushing}, {});
      try {
        OleFlushClipboard();
      } catch (...) {
      }
      ChangeTreeState({}, {stClipboardFlushing});
    } else {
      OleSetClipboard(nullptr);
    }
  }
  ChangeTreeState({}, {stCutPending, stCopyPending});
}

void TBaseNodeTree::WMCut(TMessage&) { CutToClipboard(); }
void TBaseNodeTree::WMCopy(TMessage&) { CopyToClipboard(); }
void TBaseNodeTree::WMPaste(TMessage&) { PasteFromClipboard(); }

// ---------------------------------------------------------------------------
// The string tree's text formats

HGLOBAL TCustomNodeStringTree::ContentToClipboard(Word format, TNTExportSource source) {
  std::string bytes;
  if (format == CF_TEXT) {
    bytes = ContentToText(source, "\t");
    bytes.push_back('\0');
  } else if (format == CF_UNICODETEXT) {
    const UnicodeString text = ContentToUnicode(source, u"\t");
    bytes.assign(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    bytes.append(2, '\0');
  } else if (format == CF_CSV()) {
    bytes = ContentToCSV(source);
    bytes.push_back('\0');
  } else if (format == CF_RTF() || format == CF_RTFNOOBJS()) {
    bytes = ContentToRTF(source);
    bytes.push_back('\0');
  } else if (format == CF_HTML()) {
    bytes = ContentToCFHTML(source);
    bytes.push_back('\0');
  } else {
    return nullptr;
  }
  HGLOBAL h = GlobalAlloc(static_cast<Int64>(bytes.size()));
  if (h) std::memcpy(h->data(), bytes.data(), bytes.size());
  return h;
}

HRESULT TCustomNodeStringTree::RenderTreeData(const TFormatEtc& formatEtc, TStgMedium& medium, bool forClipboard) {
  const HRESULT core = TBaseNodeTree::RenderTreeData(formatEtc, medium, forClipboard);
  if (Succeeded(core)) return core;
  try {
    HGLOBAL h = ContentToClipboard(formatEtc.cfFormat, forClipboard ? tstCutCopySet : tstSelected);
    if (!h) return core;
    medium = TStgMedium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = std::move(h);
    return S_OK;
  } catch (...) {
    medium = TStgMedium{};
    return E_FAIL;
  }
}

}  // namespace px
