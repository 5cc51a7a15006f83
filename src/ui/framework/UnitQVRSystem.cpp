#include "ui/framework/UnitQVRSystem.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "platform/core/CodePages.h"
#include "platform/core/Debug.h"

namespace px {

TQVRSystem* QVRSystem = nullptr;

namespace {
std::function<void(const std::string&)>& teardownHandler() {
  static std::function<void(const std::string&)> h;
  return h;
}
}  // namespace

std::function<void(const std::string&)> SetTeardownFaultHandler(std::function<void(const std::string&)> handler) {
  auto old = std::move(teardownHandler());
  teardownHandler() = std::move(handler);
  return old;
}

void ReportTeardownFault(const std::string& message) {
  OutputDebugString(message);
  if (teardownHandler()) {
    teardownHandler()(message);
    return;
  }
#ifndef NDEBUG
  std::cerr << "Assertion failed while tearing down: " << message << std::endl;
  std::abort();
#endif
}

// ---------------------------------------------------------------------------

Integer TQVRSystemNamespace::IndexOf(const TGUID& iid) const {
  for (size_t i = 0; i < iids_.size(); ++i)
    if (iids_[i] == iid) return static_cast<Integer>(i);
  return -1;
}

IInterfacePtr TQVRSystemNamespace::GetService(const TGUID& iid) const {
  Integer i = IndexOf(iid);
  return i < 0 ? nullptr : services_[static_cast<size_t>(i)];
}

void TQVRSystemNamespace::SetService(const TGUID& iid, IInterfacePtr service) {
  Integer i = IndexOf(iid);
  if (i >= 0) {
    services_[static_cast<size_t>(i)] = std::move(service);
  } else {
    iids_.push_back(iid);
    services_.push_back(std::move(service));
  }
}

void TQVRSystemNamespace::RemoveService(const TGUID& iid) {
  Integer i = IndexOf(iid);
  if (i < 0) return;
  // The last entry moves into the hole.
  iids_[static_cast<size_t>(i)] = iids_.back();
  services_[static_cast<size_t>(i)] = std::move(services_.back());
  iids_.pop_back();
  services_.pop_back();
}

// ---------------------------------------------------------------------------

TQVRSystem::TQVRSystem() = default;

TQVRSystem::~TQVRSystem() {
  Integer n = LinkCount();
  if (n > 0) ReportTeardownFault("System: Link leak: " + std::to_string(n));
}

void TQVRSystem::AddLink(TQVRLink* link) {
  Assert(link != nullptr, "Link must not be nil");
  links_.push_back(link);
}

void TQVRSystem::RemoveLink(TQVRLink* link) {
  Assert(link != nullptr, "Link must not be nil");
  auto it = std::find(links_.begin(), links_.end(), link);
  if (it == links_.end()) return;
  if (walking_ > 0) {
    // A walk is running: leave a hole so that its index stays right.
    *it = nullptr;
    holes_ = true;
  } else {
    links_.erase(it);
  }
}

Integer TQVRSystem::LinkCount() const {
  return static_cast<Integer>(std::count_if(links_.begin(), links_.end(), [](TQVRLink* l) { return l != nullptr; }));
}

void TQVRSystem::walk(const std::function<void(TQVRLink*)>& fn) {
  ++walking_;
  try {
    // The size is read afresh on every step: links added meanwhile are visited.
    for (size_t i = 0; i < links_.size(); ++i)
      if (TQVRLink* l = links_[i]) fn(l);
  } catch (...) {
    if (--walking_ == 0 && holes_) {
      std::erase(links_, nullptr);
      holes_ = false;
    }
    throw;
  }
  if (--walking_ == 0 && holes_) {
    std::erase(links_, nullptr);
    holes_ = false;
  }
}

void TQVRSystem::RegisterControl(Integer id, TQVRControlClass controlClass) {
  Assert(static_cast<bool>(controlClass), "Control class must be assigned");
  controls_.emplace_back(id, std::move(controlClass));
}

void TQVRSystem::UnregisterControl(Integer id) {
  auto it = std::find_if(controls_.begin(), controls_.end(), [id](const auto& e) { return e.first == id; });
  if (it != controls_.end()) controls_.erase(it);
}

IQVRLink* TQVRSystem::CreateControl(Integer id, TComponent* owner) {
  auto it = std::find_if(controls_.begin(), controls_.end(), [id](const auto& e) { return e.first == id; });
  if (it == controls_.end()) throw Exception("Unknown control ID: " + std::to_string(id));
  TComponent* c = it->second(owner);
  auto* link = dynamic_cast<IQVRLink*>(c);
  if (!link) {
    FreeObject(c);
    Assert(false, "Control class must implement IQVRLink");
  }
  return link;
}

IQVRLink* TQVRSystem::CreateDockedControl(Integer id, TComponent* owner, TWinControl* parent) {
  IQVRLink* link = CreateControl(id, owner);
  if (!parent) return link;
  TControl* control = link->GetControl();
  if (!control) return link;
  if (control->Align() == alNone) control->SetAlign(alClient);
  control->SetParent(parent);
  parent->Realign();
  control->Perform(WM_SIZE, SIZE_RESTORED, MakeLParam(parent->ClientWidth(), parent->ClientHeight()));
  return link;
}

void TQVRSystem::RegisterService(const TGUID& iid, const std::string& nameSpace, IInterfacePtr service) {
  for (auto& [name, ns] : namespaces_)
    if (SameText(name, nameSpace)) {
      ns->SetService(iid, std::move(service));
      return;
    }
  auto ns = std::make_unique<TQVRSystemNamespace>();
  ns->SetService(iid, std::move(service));
  namespaces_.emplace_back(nameSpace, std::move(ns));
}

void TQVRSystem::UnregisterService(const TGUID& iid, const std::string& nameSpace) {
  for (auto& [name, ns] : namespaces_)
    if (SameText(name, nameSpace)) ns->RemoveService(iid);
}

IInterfacePtr TQVRSystem::GetNamespaceService(const TGUID& iid, const std::string& nameSpace) const {
  for (const auto& [name, ns] : namespaces_)
    if (SameText(name, nameSpace)) return ns->GetService(iid);
  return nullptr;
}

void InitializeQVRSystem() {
  if (!QVRSystem) QVRSystem = new TQVRSystem;
}

void FinalizeQVRSystem() {
  delete QVRSystem;
  QVRSystem = nullptr;
}

// ---------------------------------------------------------------------------

TQVRLink::TQVRLink(TComponent* controller) : controller_(controller) {
  Assert(QVRSystem != nullptr, "The framework registry does not exist");
  QVRSystem->AddLink(this);
}

TQVRLink::~TQVRLink() {
  Detach();
  if (QVRSystem) QVRSystem->RemoveLink(this);
  else ReportTeardownFault("A link was destroyed after the framework registry");
}

void TQVRLink::Detach() {
  // Undo both sides of every pair, so that either side may go first.
  while (!listeners_.empty()) RemoveListener(listeners_.back());
  while (!listensTo_.empty()) {
    TQVRLink* other = listensTo_.back();
    size_t before = listensTo_.size();
    other->RemoveListener(dynamic_cast<IInterface*>(controller_) ? dynamic_cast<IInterface*>(controller_)
                                                                 : static_cast<IInterface*>(this));
    if (listensTo_.size() == before) listensTo_.pop_back();  // the other side did not know us
  }
}

void TQVRLink::AddListener(IInterface* listener) {
  Assert(listener != nullptr, "Listener must not be nil");
  const void* id = InterfaceIdentity(listener);
  for (IInterface* l : listeners_)
    if (InterfaceIdentity(l) == id) return;
  auto* reverse = dynamic_cast<IQVRLinkReverse*>(listener);
  if (!reverse) throw EInvalidCast("Invalid class typecast");
  listeners_.push_back(listener);
  reverse->AddListenerReverse(this);
}

void TQVRLink::RemoveListener(IInterface* listener) {
  const void* id = InterfaceIdentity(listener);
  auto it = std::find_if(listeners_.begin(), listeners_.end(), [id](IInterface* l) { return InterfaceIdentity(l) == id; });
  if (it == listeners_.end()) return;
  IInterface* found = *it;
  *it = listeners_.back();
  listeners_.pop_back();
  if (auto* reverse = dynamic_cast<IQVRLinkReverse*>(found)) {
    try {
      reverse->RemoveListenerReverse(this);
    } catch (const std::exception& e) {
      // Reached from destructors: report, never throw out of them.
      ReportTeardownFault(e.what());
    }
  }
}

Integer TQVRLink::AddListenerReverse(TQVRLink* link) {
  listensTo_.push_back(link);
  return static_cast<Integer>(listensTo_.size()) - 1;
}

void TQVRLink::RemoveListenerReverse(TQVRLink* link) {
  auto it = std::find(listensTo_.begin(), listensTo_.end(), link);
  if (it == listensTo_.end()) throw Exception("Remove Listener Reverse: Listener not found.");
  *it = listensTo_.back();
  listensTo_.pop_back();
}

// ---------------------------------------------------------------------------

void FreeLinkedComponent(IQVRLink*& link) {
  if (!link) return;
  TComponent* c = link->GetComponent();
  link = nullptr;
  FreeObject(c);
}

}  // namespace px
