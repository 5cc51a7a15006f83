#pragma once
// The tree's data transfer objects: the data object that offers a tree's
// nodes to the clipboard and to drags, its format enumerator, the drag
// manager (drop target and drop source of a tree) and the drag image.
#include <memory>
#include <utility>
#include <vector>

#include "platform/gui/DataObjects.h"
#include "platform/gui/Graphics.h"
#include "ui/tree/NodeTrees.h"

class QPixmap;

namespace px {

// A 32-bit number that names a live tree inside this process; a data object
// carries it in place of the tree itself, so that nothing from outside can
// make the process follow a pointer, and a tree that is gone is simply not
// found. 0 is never an id.
uint32_t NodeTreeId(TBaseNodeTree* tree);
TBaseNodeTree* FindNodeTree(uint32_t id);
// The tree is going away; its id is never answered again.
void ForgetNodeTree(TBaseNodeTree* tree);

class TEnumFormatEtc : public IEnumFORMATETC {
 public:
  TEnumFormatEtc(TBaseNodeTree* tree, std::vector<TFormatEtc> formats);
  HRESULT Next(uint32_t count, TFormatEtc* out, uint32_t* fetched) override;
  HRESULT Skip(uint32_t count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumFORMATETCRef& out) override;
  TBaseNodeTree* Tree() const { return FindNodeTree(treeId_); }
  const std::vector<TFormatEtc>& Formats() const { return formats_; }
  uint32_t CurrentIndex = 0;

 private:
  uint32_t treeId_;
  std::vector<TFormatEtc> formats_;
};

class TNTDataObject : public IDataObject {
 public:
  TNTDataObject(TBaseNodeTree* tree, bool forClipboard);
  ~TNTDataObject() override;
  // The tree the object was made for; nullptr once that tree is gone.
  TBaseNodeTree* Owner() const { return FindNodeTree(ownerId_); }
  uint32_t OwnerId() const { return ownerId_; }
  bool ForClipboard() const { return forClipboard_; }
  std::vector<TFormatEtc> FormatEtcArray;
  std::vector<std::pair<Word, TStgMedium>> StoredMedia;

  HRESULT GetData(const TFormatEtc& format, TStgMedium& medium) override;
  HRESULT GetDataHere(const TFormatEtc& format, TStgMedium& medium) override;
  HRESULT QueryGetData(const TFormatEtc& format) override;
  HRESULT GetCanonicalFormatEtc(const TFormatEtc& in, TFormatEtc& out) override;
  HRESULT SetData(const TFormatEtc& format, TStgMedium& medium, bool release) override;
  HRESULT EnumFormatEtc(uint32_t direction, IEnumFORMATETCRef& out) override;
  HRESULT DAdvise(const TFormatEtc& format, uint32_t advf, const std::shared_ptr<IAdviseSink>& sink,
                  uint32_t& connection) override;
  HRESULT DUnadvise(uint32_t connection) override;
  HRESULT EnumDAdvise(std::shared_ptr<IEnumSTATDATA>& out) override;
  // Copies a medium: with deepCopy global memory gets a block of its own;
  // without, the copy shares the data and dataObject keeps it alive.
  static HRESULT CopyMedium(const TStgMedium& in, TStgMedium& out, const IUnknownRef& dataObject, bool deepCopy);

 private:
  uint32_t ownerId_;
  bool forClipboard_;
  std::unique_ptr<TDataAdviseHolder> adviseHolder_;
};

// The interface the tree and its owner use to reach the drag manager.
class INTDragManager : public IUnknown {
 public:
  virtual void ForceHelperLeave() = 0;
  virtual IDataObjectRef GetDataObject() = 0;
  virtual TBaseNodeTree* GetDragSource() = 0;
  virtual bool GetDropTargetHelperSupported() = 0;
  virtual bool GetIsDropTarget() = 0;
};

class TNTDragManager : public INTDragManager, public IDropSource, public IDropTarget {
 public:
  explicit TNTDragManager(TBaseNodeTree* tree);
  ~TNTDragManager() override;
  TBaseNodeTree* Owner() const { return FindNodeTree(ownerId_); }

  // IDropTarget (points are screen coordinates)
  HRESULT DragEnter(const IDataObjectRef& dataObject, int32_t keyState, TPoint pt, int32_t& effect) override;
  HRESULT DragOver(int32_t keyState, TPoint pt, int32_t& effect) override;
  HRESULT DragLeave() override;
  HRESULT Drop(const IDataObjectRef& dataObject, int32_t keyState, TPoint pt, int32_t& effect) override;
  // IDropSource
  HRESULT QueryContinueDrag(bool escapePressed, int32_t keyState) override;
  HRESULT GiveFeedback(int32_t effect) override;
  // INTDragManager
  void ForceHelperLeave() override {}
  IDataObjectRef GetDataObject() override;
  TBaseNodeTree* GetDragSource() override { return FindNodeTree(dragSourceId_); }
  // The drag picture travels with the drag itself (Qt draws it), the way a
  // system drag helper would: the tree never draws it on the screen.
  bool GetDropTargetHelperSupported() override { return true; }
  bool GetIsDropTarget() override { return isDropTarget_; }

 private:
  uint32_t ownerId_;
  uint32_t dragSourceId_ = 0;
  bool isDropTarget_ = false;
  IDataObjectRef dataObject_;
};

// The picture that follows the pointer during a drag: the tree's rendering
// of the dragged nodes, faded out radially from its centre and, where a
// colour key is set, transparent in that colour.
enum TNTDragImageState { disHidden = 1, disPrepared = 2, disInUse = 4, disSystemSupport = 8 };
enum TNTDragMoveRestriction : Byte { dmrNone, dmrHorizontalOnly, dmrVerticalOnly };

class TNTDragImage {
 public:
  explicit TNTDragImage(TBaseNodeTree* owner);
  ~TNTDragImage();
  TNTDragImage(const TNTDragImage&) = delete;
  TNTDragImage& operator=(const TNTDragImage&) = delete;

  Byte Transparency = 128;
  int8_t PreBlendBias = 0;
  int8_t PostBlendBias = 0;
  bool Fade = false;
  TNTDragMoveRestriction Restriction = dmrNone;
  TColor ColorKey = clNone;

  // Image: W x H; imagePosition the screen point of its top-left corner;
  // hotSpot the pointer inside the image.
  void PrepareDrag(const TBitmap& image, TPoint imagePosition, TPoint hotSpot, const IDataObjectRef& dataObject);
  void ShowDragImage();
  void HideDragImage();
  void EndDrag();
  // Moves the image with the pointer; false when it did not move.
  bool DragTo(TPoint p, bool forceRepaint);
  bool WillMove(TPoint p) const;
  TRect GetDragImageRect() const;
  bool Visible() const { return (states_ & 0xF) == (disPrepared | disInUse); }
  Byte States() const { return states_; }
  TPoint ImagePosition() const { return imagePosition_; }
  TPoint HotSpot() const { return hotSpot_; }
  // The prepared image with its per-pixel alpha (32-bit, straight alpha).
  const TBitmap* DragImageBitmap() const { return dragImage_.get(); }
  // What goes on the screen: the image blended by Transparency (and the
  // per-pixel alpha when Fade or ColorKey applies), as a picture with alpha.
  QImage ComposedImage() const;

 private:
  TPoint movement(TPoint p) const;
  TBaseNodeTree* owner_;
  std::unique_ptr<TBitmap> dragImage_;
  TPoint imagePosition_;
  TPoint lastPosition_;
  TPoint hotSpot_;
  Byte states_ = 0;
};

}  // namespace px
