#pragma once
// The framework registry: services by interface GUID in named namespaces,
// frame classes by number, and the link of every live framework form and
// frame, with listeners between links.
//
// Interfaces are abstract classes deriving from IInterface; a form or frame
// "supports" an interface when it derives from it (checked with
// dynamic_cast). Services are held by shared pointers (the registry keeps a
// reference); forms, frames and listeners are plain pointers that the links
// keep in step as either side is destroyed.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Guid.h"
#include "platform/gui/Controls.h"
#include "platform/gui/Forms.h"

namespace px {

class IInterface {
 public:
  virtual ~IInterface() = default;
};
using IInterfacePtr = std::shared_ptr<IInterface>;

// The object identity of an interface pointer (its most derived object).
inline const void* InterfaceIdentity(const IInterface* i) { return i ? dynamic_cast<const void*>(i) : nullptr; }

class TQVRLink;
class TAction;

class IQVRLink : public virtual IInterface {
 public:
  static inline const TGUID IID = TGUID::FromString("{48F1885A-6490-4C9C-A61B-0037866E7BCB}");
  virtual TComponent* GetComponent() = 0;
  virtual TControl* GetControl() = 0;
  // The link's listeners that support T.
  template <typename T>
  std::vector<T*> GetListeners();
  virtual void AddListener(IInterface* listener) = 0;
  virtual void RemoveListener(IInterface* listener) = 0;
  virtual TQVRLink* Link() = 0;
};

class IQVRLinkReverse : public IQVRLink {
 public:
  static inline const TGUID IID = TGUID::FromString("{B2ABB6F8-B7A0-4D92-8351-617605E7C002}");
  virtual Integer AddListenerReverse(TQVRLink* link) = 0;
  virtual void RemoveListenerReverse(TQVRLink* link) = 0;
};

class IMainForm : public virtual IInterface {
 public:
  static inline const TGUID IID = TGUID::FromString("{70A692F2-4140-408D-8682-5A272950D4C6}");
  virtual IQVRLink* ShowFrame(Integer id) = 0;
  virtual IQVRLink* ShowMenuFrame(Integer id) = 0;
  virtual void AddCategoryButton(const std::string& category, TAction* action) = 0;
  virtual void AddMenuItem(const std::string& menuCaption, TAction* action) = 0;
  virtual void SetCaption(const std::string& text) = 0;
  virtual void SetImageName(const std::string& name) = 0;
  virtual void SetStatusPanelCount(Integer count) = 0;
  virtual void SetStatusPanelText(Integer index, const std::string& text) = 0;
  virtual void SetWindowState(TWindowState state, Integer left, Integer top, Integer width, Integer height) = 0;
};

class IMainFormFiller : public virtual IInterface {
 public:
  static inline const TGUID IID = TGUID::FromString("{8A8C02D6-F2D8-45DC-985E-5BF62149318B}");
  virtual void SetMainForm(IMainForm* mainForm) = 0;
  virtual void Fill() = 0;
  virtual IQVRLink* ShowFrame(Integer id) = 0;
  virtual void SetStatusPanelCount(Integer count) = 0;
  virtual void SetStatusPanelText(Integer index, const std::string& text) = 0;
};

class IFrameCloseQuery : public virtual IInterface {
 public:
  static inline const TGUID IID = TGUID::FromString("{B8F2E506-A40D-4F96-AB35-BA708E8E09DF}");
  virtual void CloseQuery(bool& canClose) = 0;
};

class IDeviceListener : public virtual IInterface {
 public:
  static inline const TGUID IID = TGUID::FromString("{FE5E62C6-4E31-449C-BA51-FE2CD0661082}");
  virtual void DeviceStatusChanged(bool connected, bool audible) = 0;
  virtual void DeviceActivity() = 0;
};

class IImageLists : public virtual IInterface {
 public:
  static inline const TGUID IID = TGUID::FromString("{BF5BFF9F-2B71-4098-96E5-9006C5EA6444}");
  virtual void Draw(TCanvas* canvas, Integer x, Integer y, Integer index, const std::string& imageName) = 0;
  virtual TSize GetImageSize(const std::string& imageName) = 0;
};

class IPanelAdjust : public virtual IInterface {
 public:
  static inline const TGUID IID = TGUID::FromString("{5B9E7FF3-76CE-4296-969B-1E3723C3E5A7}");
  virtual void Adjust(TObject* panel) = 0;
};

// Services registered under one namespace name.
class TQVRSystemNamespace {
 public:
  Integer IndexOf(const TGUID& iid) const;
  IInterfacePtr GetService(const TGUID& iid) const;
  void SetService(const TGUID& iid, IInterfacePtr service);
  void RemoveService(const TGUID& iid);
  Integer Count() const { return static_cast<Integer>(iids_.size()); }

 private:
  std::vector<TGUID> iids_;
  std::vector<IInterfacePtr> services_;
};

// Makes a component for a control id, owned by the owner.
using TQVRControlClass = std::function<TComponent*(TComponent* owner)>;

class TQVRSystem {
 public:
  TQVRSystem();
  // Links still registered are a leak: reported to the debug output (and a
  // failed assertion in debug builds), never thrown from here.
  ~TQVRSystem();
  TQVRSystem(const TQVRSystem&) = delete;
  TQVRSystem& operator=(const TQVRSystem&) = delete;

  void AddLink(TQVRLink* link);
  void RemoveLink(TQVRLink* link);
  Integer LinkCount() const;

  // The class must make components that implement IQVRLink (checked when
  // CreateControl makes one). The first registration of an id wins.
  void RegisterControl(Integer id, TQVRControlClass controlClass);
  template <typename T>
  void RegisterControl(Integer id) {
    static_assert(std::is_base_of_v<IQVRLink, T> && std::is_base_of_v<TComponent, T>);
    RegisterControl(id, [](TComponent* owner) -> TComponent* { return CreateFramework<T>(owner); });
  }
  void UnregisterControl(Integer id);
  // Raises Exception "Unknown control ID: %d".
  IQVRLink* CreateControl(Integer id, TComponent* owner);
  IQVRLink* CreateDockedControl(Integer id, TComponent* owner, TWinControl* parent);

  void RegisterService(const TGUID& iid, const std::string& nameSpace, IInterfacePtr service);
  void UnregisterService(const TGUID& iid, const std::string& nameSpace);
  IInterfacePtr GetService(const TGUID& iid) const { return GetNamespaceService(iid, ""); }
  IInterfacePtr GetNamespaceService(const TGUID& iid, const std::string& nameSpace) const;
  template <typename T>
  std::shared_ptr<T> GetService() const {
    return std::dynamic_pointer_cast<T>(GetService(T::IID));
  }

  // Calls fn for every registered link whose form or frame supports T, in
  // the order of registration. Links freed during the walk are skipped (their
  // slots are cleared and compacted when the outermost walk ends); links
  // added during the walk are visited.
  template <typename T>
  void ForEachLink(const std::function<void(T*)>& fn);
  template <typename T>
  std::vector<T*> Links();

  // Makes a framework form or frame and runs the form-text pass over it.
  template <typename T, typename... Args>
  static T* CreateFramework(TComponent* owner, Args&&... args);

 private:
  void walk(const std::function<void(TQVRLink*)>& fn);
  std::vector<std::pair<Integer, TQVRControlClass>> controls_;
  std::vector<std::pair<std::string, std::unique_ptr<TQVRSystemNamespace>>> namespaces_;
  std::vector<TQVRLink*> links_;
  int walking_ = 0;
  bool holes_ = false;
};

// The one registry, made and freed by the start-up sequence.
extern TQVRSystem* QVRSystem;
void InitializeQVRSystem();
void FinalizeQVRSystem();

// Reports a fault found while tearing down, where nothing may be thrown: to
// the debug output and to the installed handler (tests install one); without
// a handler a debug build aborts as a failed assertion would.
void ReportTeardownFault(const std::string& message);
std::function<void(const std::string&)> SetTeardownFaultHandler(std::function<void(const std::string&)> handler);

// The link of one framework form or frame.
class TQVRLink : public IQVRLinkReverse {
 public:
  explicit TQVRLink(TComponent* controller);
  ~TQVRLink() override;
  TQVRLink(const TQVRLink&) = delete;
  TQVRLink& operator=(const TQVRLink&) = delete;

  TComponent* GetComponent() override { return controller_; }
  TControl* GetControl() override { return dynamic_cast<TControl*>(controller_); }
  void AddListener(IInterface* listener) override;
  void RemoveListener(IInterface* listener) override;
  Integer AddListenerReverse(TQVRLink* link) override;
  void RemoveListenerReverse(TQVRLink* link) override;
  TQVRLink* Link() override { return this; }
  // Removes every listener and stops listening to every link.
  void Detach();

  // The controller as T, or nullptr when it does not support T.
  template <typename T>
  T* Query() const {
    return dynamic_cast<T*>(controller_);
  }
  const std::vector<IInterface*>& Listeners() const { return listeners_; }
  const std::vector<TQVRLink*>& ListensTo() const { return listensTo_; }

 private:
  TComponent* controller_;
  std::vector<IInterface*> listeners_;
  std::vector<TQVRLink*> listensTo_;
};

// A form or frame that answers IQVRLinkReverse through a link of its own.
template <class TBase>
class TQVRLinkedControl : public TBase, public IQVRLinkReverse {
 public:
  explicit TQVRLinkedControl(TComponent* owner) : TBase(owner), link_(std::make_unique<TQVRLink>(this)) {}
  ~TQVRLinkedControl() override {
    // The pairs are undone while the control is whole and its link still set.
    link_->Detach();
    link_.reset();
  }
  TComponent* GetComponent() override { return link_->GetComponent(); }
  TControl* GetControl() override { return link_->GetControl(); }
  void AddListener(IInterface* l) override { link_->AddListener(l); }
  void RemoveListener(IInterface* l) override { link_->RemoveListener(l); }
  Integer AddListenerReverse(TQVRLink* l) override { return link_->AddListenerReverse(l); }
  void RemoveListenerReverse(TQVRLink* l) override { link_->RemoveListenerReverse(l); }
  TQVRLink* Link() override { return link_.get(); }

 private:
  std::unique_ptr<TQVRLink> link_;
};

// Base of the main window: a form with a link.
class TQVRForm : public TQVRLinkedControl<TForm> {
 public:
  using TQVRLinkedControl::TQVRLinkedControl;
};

// Base of every screen: a frame with a link.
class TQVRFrame : public TQVRLinkedControl<TFrame> {
 public:
  using TQVRLinkedControl::TQVRLinkedControl;
};

// Frees the link's component and clears the link.
void FreeLinkedComponent(IQVRLink*& link);

// The form-text pass (see UnitTranslation.h); declared here so that
// CreateFramework can run it.
void TranslateFormTexts(TComponent* root);

template <typename T>
std::vector<T*> IQVRLink::GetListeners() {
  std::vector<T*> out;
  for (IInterface* l : Link()->Listeners())
    if (T* t = dynamic_cast<T*>(l)) out.push_back(t);
  return out;
}

template <typename T>
void TQVRSystem::ForEachLink(const std::function<void(T*)>& fn) {
  walk([&fn](TQVRLink* link) {
    if (T* t = link->Query<T>()) fn(t);
  });
}

template <typename T>
std::vector<T*> TQVRSystem::Links() {
  std::vector<T*> out;
  ForEachLink<T>([&out](T* t) { out.push_back(t); });
  return out;
}

template <typename T, typename... Args>
T* TQVRSystem::CreateFramework(TComponent* owner, Args&&... args) {
  T* obj = owner ? CreateComponent<T>(owner, std::forward<Args>(args)...) : new T(nullptr, std::forward<Args>(args)...);
  try {
    TranslateFormTexts(obj);
  } catch (...) {
    FreeObject(obj);
    throw;
  }
  return obj;
}

}  // namespace px
