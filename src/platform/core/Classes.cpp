#include "platform/core/Classes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include "platform/core/Debug.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Lists.h"

namespace px {

namespace {

// Demangled name with namespaces dropped ("px::TFoo" -> "TFoo").
std::string shortTypeName(const std::type_info& type) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(type.name(), nullptr, nullptr, &status),
                                                    std::free);
  std::string name = status == 0 && demangled ? demangled.get() : type.name();
  const size_t templateStart = name.find('<');
  const size_t lastScope = name.rfind("::", templateStart);
  if (lastScope != std::string::npos) name.erase(0, lastScope + 2);
  return name;
}

void reportDestructionFailure(const char* where) noexcept {
  try {
    std::string what = "unknown exception";
    try {
      throw;
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    OutputDebugString(std::string(where) + ": " + what);
  } catch (...) {
  }
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

template <typename T>
void eraseValue(std::vector<T*>& list, T* value) {
  auto it = std::find(list.begin(), list.end(), value);
  if (it != list.end()) list.erase(it);
}

}  // namespace

// --- TObject ----------------------------------------------------------------

std::string TObject::ClassName() const { return shortTypeName(typeid(*this)); }

void FreeObject(TObject* object) noexcept {
  if (object == nullptr) return;
  try {
    object->BeforeDestruction();
  } catch (...) {
    reportDestructionFailure("FreeObject");
  }
  delete object;
}

// --- TPersistent ------------------------------------------------------------

void TPersistent::Assign(const TPersistent* source) {
  if (source == nullptr) AssignError(nullptr);
  source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* dest) const { dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const {
  const std::string sourceName = source != nullptr ? source->ClassName() : "nil";
  throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

// --- TComponent -------------------------------------------------------------

bool IsValidIdent(std::string_view name) {
  if (name.empty()) return false;
  auto isAlpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!isAlpha(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), [&](char c) { return isAlpha(c) || (c >= '0' && c <= '9'); });
}

TComponent::TComponent(TComponent* owner) {
  if (owner == nullptr) return;
  try {
    owner->InsertComponent(this);
  } catch (...) {
    // A failed constructor runs no destructor: leave no pointer behind.
    if (owner_ != nullptr) owner_->remove(this);
    throw;
  }
}

TComponent::~TComponent() {
  // Freed without FreeObject (a member or a stack object): do now what
  // BeforeDestruction would have done, with what is left of the object.
  try {
    TComponent::BeforeDestruction();
  } catch (...) {
    reportDestructionFailure("TComponent");
  }
  try {
    DestroyComponents();
  } catch (...) {
    reportDestructionFailure("TComponent");
  }
}

void TComponent::BeforeDestruction() {
  if (destructionStarted_) return;
  destructionStarted_ = true;
  Destroying();
  sendFreeNotifications();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::sendFreeNotifications() {
  // Everyone must hear of it, or someone keeps a dangling reference: a failing
  // listener is reported and the others are still told.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    other->removeNotification(this);
    try {
      other->Notification(this, opRemove);
    } catch (...) {
      reportDestructionFailure("Notification");
    }
  }
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!name.empty() && !IsValidIdent(name)) throw EComponentError("'" + name + "' is not a valid component name");
  if (owner_ != nullptr)
    owner_->ValidateRename(this, name_, name);
  else
    ValidateRename(nullptr, name_, name);
  name_ = name;
}

void TComponent::ValidateRename(TComponent* component, std::string_view currentName, std::string_view newName) {
  if (component == nullptr || sameText(currentName, newName)) return;
  const TComponent* holder = FindComponent(newName);
  if (holder != nullptr && holder != component)
    throw EComponentError("A component named " + std::string(newName) + " already exists");
}

TComponent* TComponent::Components(Integer index) const {
  if (index < 0 || index >= ComponentCount()) RaiseListIndexError(index);
  return components_[static_cast<size_t>(index)];
}

Integer TComponent::ComponentIndex() const {
  if (owner_ == nullptr) return -1;
  const auto& siblings = owner_->components_;
  auto it = std::find(siblings.begin(), siblings.end(), this);
  return it == siblings.end() ? -1 : static_cast<Integer>(it - siblings.begin());
}

void TComponent::SetComponentStateFlag(TComponentStateFlag flag, bool value) {
  if (value)
    state_.Include(flag);
  else
    state_.Exclude(flag);
}

void TComponent::SetDesigning(bool value, bool setChildren) {
  SetComponentStateFlag(csDesigning, value);
  if (setChildren)
    for (TComponent* child : components_) child->SetDesigning(value, true);
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr) return;
  for (const TComponent* c = this; c != nullptr; c = c->owner_)
    if (c == component) throw EComponentError("A component cannot own itself or one of its owners");
  ValidateRename(component, {}, component->name_);
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  insert(component);
  if (state_.Contains(csDesigning)) component->SetDesigning(true);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (component == nullptr || component->owner_ != this) return;
  // The component leaves the list even when a listener fails.
  std::exception_ptr error;
  try {
    Notification(component, opRemove);
  } catch (...) {
    error = std::current_exception();
  }
  remove(component);
  if (error) std::rethrow_exception(error);
}

void TComponent::insert(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::remove(TComponent* component) {
  eraseValue(components_, component);
  component->owner_ = nullptr;
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (sameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  if (owner_ == nullptr || component->owner_ != owner_) {
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end()) {
      freeNotifies_.push_back(component);
      component->FreeNotification(this);
    }
  }
  state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  removeNotification(component);
  component->removeNotification(this);
}

void TComponent::removeNotification(TComponent* component) { eraseValue(freeNotifies_, component); }

void TComponent::Notification(TComponent* component, TOperation operation) {
  if (operation == opRemove && component != nullptr) RemoveFreeNotification(component);
  // A notified component may free others; walk down and stay inside the list.
  Integer i = ComponentCount() - 1;
  while (i >= 0) {
    components_[static_cast<size_t>(i)]->Notification(component, operation);
    --i;
    if (i >= ComponentCount()) i = ComponentCount() - 1;
  }
}

void TComponent::DestroyComponents() {
  Destroying();
  while (!components_.empty()) FreeObject(components_.back());
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* child : components_) child->Destroying();
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

// --- TCollectionItem ----------------------------------------------------------

TCollectionItem::~TCollectionItem() {
  if (!listed_) return;
  try {
    collection_->removeItem(this);
  } catch (...) {
    reportDestructionFailure("TCollectionItem");
  }
}

Integer TCollectionItem::Index() const {
  if (!listed_) return -1;
  const auto& items = collection_->items_;
  auto it = std::find(items.begin(), items.end(), this);
  return it == items.end() ? -1 : static_cast<Integer>(it - items.begin());
}

void TCollectionItem::SetIndex(Integer value) {
  const Integer current = Index();
  if (current < 0 || current == value) return;
  auto& items = collection_->items_;
  if (value < 0 || value >= static_cast<Integer>(items.size())) RaiseListIndexError(value);
  items.erase(items.begin() + current);
  items.insert(items.begin() + value, this);
  Changed(true);
}

TPersistent* TCollectionItem::GetOwner() const { return collection_; }

std::string TCollectionItem::DisplayName() const { return ClassName(); }

void TCollectionItem::SetDisplayName(const std::string&) { Changed(false); }

void TCollectionItem::Changed(bool allItems) {
  if (listed_ && collection_->updateCount_ == 0) collection_->Update(allItems ? nullptr : this);
}

// --- TCollection --------------------------------------------------------------

TCollection::TCollection(TCollectionItemClass itemClass, TPersistent* owner)
    : itemClass_(std::move(itemClass)), owner_(owner) {
  Assert(static_cast<bool>(itemClass_), "Collection without item class");
}

TCollection::~TCollection() {
  try {
    TCollection::BeforeDestruction();
  } catch (...) {
    reportDestructionFailure("TCollection");
  }
}

void TCollection::BeforeDestruction() {
  // No more Update calls: the collection is going away.
  updateCount_ = 1;
  Clear();
}

TCollectionItem* TCollection::Add() {
  TObjectPtr<TCollectionItem> item(itemClass_(this));
  Assert(item != nullptr && item->collection_ == this, "Item class made no item of this collection");
  insertItem(item.get());
  return item.release();
}

TCollectionItem* TCollection::Insert(Integer index) {
  if (index < 0 || index > Count()) RaiseListIndexError(index);
  TCollectionItem* item = Add();
  item->SetIndex(index);
  return item;
}

void TCollection::Delete(Integer index) {
  TCollectionItem* item = Items(index);
  Notify(item, cnDeleting);
  FreeObject(item);
}

void TCollection::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  try {
    while (!items_.empty()) FreeObject(items_.back());
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

TCollectionItem* TCollection::Items(Integer index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
  return items_[static_cast<size_t>(index)];
}

void TCollection::SetItems(Integer index, const TCollectionItem* value) { Items(index)->Assign(value); }

TCollectionItem* TCollection::FindItemID(Integer id) const {
  for (TCollectionItem* item : items_)
    if (item->id_ == id) return item;
  return nullptr;
}

void TCollection::Assign(const TPersistent* source) {
  const auto* other = dynamic_cast<const TCollection*>(source);
  if (other == nullptr) {
    TPersistent::Assign(source);
    return;
  }
  if (other == this) return;  // Clear would empty the source
  BeginUpdate();
  try {
    Clear();
    for (const TCollectionItem* item : other->items_) Add()->Assign(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TCollection::BeginUpdate() { ++updateCount_; }

void TCollection::EndUpdate() {
  --updateCount_;
  Changed();
}

void TCollection::Changed() {
  if (updateCount_ == 0) Update(nullptr);
}

void TCollection::Update(TCollectionItem*) {}

void TCollection::Notify(TCollectionItem*, TCollectionNotification) {}

void TCollection::insertItem(TCollectionItem* item) {
  items_.push_back(item);
  item->listed_ = true;
  item->id_ = nextId_++;
  Notify(item, cnAdded);
  Changed();
}

void TCollection::removeItem(TCollectionItem* item) {
  // The item leaves the list even when Notify fails.
  std::exception_ptr error;
  try {
    Notify(item, cnExtracting);
  } catch (...) {
    error = std::current_exception();
  }
  eraseValue(items_, item);
  item->listed_ = false;
  if (error) std::rethrow_exception(error);
  Changed();
}

}  // namespace px
