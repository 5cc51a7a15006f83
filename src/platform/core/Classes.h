#pragma once
// The object model the rest of the program builds on: the root object, the
// assignable persistent object, components with owners and free notification,
// and collections of items.
//
// Destruction of components and collection items follows the class library's
// order as far as C++ allows. An object freed through FreeObject (or a
// TObjectPtr, or its owner) first runs BeforeDestruction while its whole type
// is still alive; components use that moment to tell everyone who holds a
// reference to them, so that Notification overrides can still look at the
// dying component's real class. Owned components are freed by the base
// destructor, after the owner's own destructor body: a derived class whose
// children reach back into its own members calls DestroyComponents() first.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/Sets.h"
#include "platform/core/Types.h"

namespace px {

class TObject;
using TNotifyEvent = std::function<void(TObject* sender)>;

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = default;
  TObject& operator=(const TObject&) = default;
  virtual ~TObject() = default;

  // The class name without namespace ("TComponent"), used in messages.
  virtual std::string ClassName() const;
  // Runs after the last constructor when the object is made through
  // MakeObject, CreateComponent or an item class, when the object is whole.
  virtual void AfterConstruction() {}
  // Runs before the destructor when the object is freed through FreeObject,
  // while the object is still whole.
  virtual void BeforeDestruction() {}
};

// Frees an object: BeforeDestruction, then delete. Null is allowed. Never
// throws; a failure in BeforeDestruction goes to the debug output.
void FreeObject(TObject* object) noexcept;

// Deleter for smart pointers: TObject descendants go through FreeObject.
struct TObjectDeleter {
  template <typename T>
  void operator()(T* p) const noexcept {
    if constexpr (std::is_base_of_v<TObject, T>)
      FreeObject(p);
    else
      delete p;
  }
};

template <typename T>
using TObjectPtr = std::unique_ptr<T, TObjectDeleter>;

// Runs AfterConstruction on a new object; frees it when that fails.
template <typename T>
T* Constructed(T* object) {
  if constexpr (std::is_base_of_v<TObject, T>) {
    try {
      object->AfterConstruction();
    } catch (...) {
      FreeObject(object);
      throw;
    }
  }
  return object;
}

// Makes an object that no owner takes; the pointer owns it.
template <typename T, typename... Args>
TObjectPtr<T> MakeObject(Args&&... args) {
  return TObjectPtr<T>(Constructed(new T(std::forward<Args>(args)...)));
}

// Objects that can copy their content from another one. Assign asks the
// source to AssignTo the destination when the destination does not know the
// source's class; when neither knows the other, EConvertError
// "Cannot assign a %s to a %s" names the source and destination classes.
class TPersistent : public TObject {
 public:
  virtual void Assign(const TPersistent* source);

 protected:
  virtual void AssignTo(TPersistent* dest) const;
  [[noreturn]] void AssignError(const TPersistent* source) const;
  // The object that owns this one, for name paths and collections.
  virtual TPersistent* GetOwner() const { return nullptr; }
};

enum TOperation { opInsert, opRemove };

enum TComponentStateFlag {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateFlag>;

// A component with an owner is freed by that owner; freeing it earlier first
// takes it out of its owner. Create owned components with CreateComponent and
// unowned ones with MakeObject.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // An identifier (letters, digits, underscore; not starting with a digit) or
  // empty; unique among the owner's components ignoring case.
  virtual void SetName(const std::string& name);
  Integer ComponentCount() const { return static_cast<Integer>(components_.size()); }
  // Raises EListError "List index out of bounds (%d)".
  TComponent* Components(Integer index) const;
  // Position in the owner's list, -1 without owner.
  Integer ComponentIndex() const;
  TComponentState ComponentState() const { return state_; }
  void SetComponentStateFlag(TComponentStateFlag flag, bool value);
  void SetDesigning(bool value, bool setChildren = true);

  // Moves the component here from its previous owner. Names must stay unique
  // and a component cannot come to own itself or one of its owners.
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Owned component by name, ignoring case; nullptr when none (or empty name).
  TComponent* FindComponent(std::string_view name) const;
  // Both components learn of the other's destruction (Notification with
  // opRemove). Components of the same owner already hear of each other
  // through the owner.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);
  // Frees all owned components, the last first.
  void DestroyComponents();
  // Marks this component and its owned components csDestroying.
  void Destroying();
  void BeforeDestruction() override;

  // Told of components inserted into or removed from the owner, and of
  // components this one asked free notification of. The base forgets a removed
  // component's free notification and passes the call on to every owned
  // component; overrides call it.
  virtual void Notification(TComponent* component, TOperation operation);
  // Clears csLoading.
  virtual void Loaded();

  NativeInt Tag = 0;

 protected:
  virtual void ValidateRename(TComponent* component, std::string_view currentName, std::string_view newName);
  TPersistent* GetOwner() const override { return owner_; }

 private:
  void insert(TComponent* component);
  void remove(TComponent* component);
  void removeNotification(TComponent* component);
  void sendFreeNotifications();

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
  TComponentState state_;
  bool destructionStarted_ = false;
};

// Creates a component that the owner takes (the owner must not be null) and
// returns a non-owning pointer to it.
template <typename T, typename... Args>
T* CreateComponent(TComponent* owner, Args&&... args) {
  static_assert(std::is_base_of_v<TComponent, T>);
  Assert(owner != nullptr, "CreateComponent needs an owner");
  return Constructed(new T(owner, std::forward<Args>(args)...));
}

// True for a valid component name: letters, digits and underscores, not
// starting with a digit.
bool IsValidIdent(std::string_view name);

class TCollection;

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

// An item of a collection. Items are made by their collection (Add, Insert)
// through its item class; the constructor sees Collection() set but the item
// joins the list only when the constructor has finished, so that the
// collection's Notify and Update hooks always meet whole items.
class TCollectionItem : public TPersistent {
 public:
  explicit TCollectionItem(TCollection* collection) : collection_(collection) {}
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return collection_; }
  Integer ID() const { return id_; }
  Integer Index() const;
  // Moves the item to the position; raises EListError for a position out of range.
  virtual void SetIndex(Integer value);
  // The class name unless a descendant knows better.
  virtual std::string DisplayName() const;
  virtual void SetDisplayName(const std::string& value);

 protected:
  // Tells the collection (outside BeginUpdate/EndUpdate) that this item, or
  // with allItems every item, changed.
  void Changed(bool allItems);
  TPersistent* GetOwner() const override;

 private:
  friend class TCollection;
  TCollection* collection_;
  bool listed_ = false;
  Integer id_ = -1;
};

using TCollectionItemClass = std::function<TCollectionItem*(TCollection* collection)>;

// The item class of a collection holding T.
template <typename T>
TCollectionItemClass CollectionItemClass() {
  static_assert(std::is_base_of_v<TCollectionItem, T>);
  return [](TCollection* collection) -> TCollectionItem* { return Constructed(new T(collection)); };
}

// An owned, ordered list of items of one item class. Every item gets a
// unique ID. Freeing the collection through FreeObject (or a TObjectPtr)
// clears it while its Notify override can still run; a derived collection held
// otherwise calls Clear() in its destructor when it needs that.
class TCollection : public TPersistent {
 public:
  explicit TCollection(TCollectionItemClass itemClass, TPersistent* owner = nullptr);
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  TCollectionItem* Add();
  // Adds an item and moves it to the index (0..Count).
  TCollectionItem* Insert(Integer index);
  // Notifies cnDeleting, then frees the item (which notifies cnExtracting).
  void Delete(Integer index);
  void Clear();
  Integer Count() const { return static_cast<Integer>(items_.size()); }
  // Raises EListError "List index out of bounds (%d)".
  TCollectionItem* Items(Integer index) const;
  void SetItems(Integer index, const TCollectionItem* value);
  TCollectionItem* FindItemID(Integer id) const;
  // From another collection: clears this one and adds a copy of every item.
  void Assign(const TPersistent* source) override;
  void BeforeDestruction() override;

  virtual void BeginUpdate();
  virtual void EndUpdate();
  Integer UpdateCount() const { return updateCount_; }
  TPersistent* Owner() const { return owner_; }
  const TCollectionItemClass& ItemClass() const { return itemClass_; }

 protected:
  // Called on every change outside BeginUpdate/EndUpdate; item is null when
  // more than one item may have changed.
  virtual void Update(TCollectionItem* item);
  virtual void Notify(TCollectionItem* item, TCollectionNotification action);
  void Changed();
  TPersistent* GetOwner() const override { return owner_; }

 private:
  friend class TCollectionItem;
  void insertItem(TCollectionItem* item);
  void removeItem(TCollectionItem* item);

  TCollectionItemClass itemClass_;
  TPersistent* owner_;
  std::vector<TCollectionItem*> items_;
  Integer nextId_ = 0;
  Integer updateCount_ = 0;
};

// A collection whose items are all T (or descend from it).
template <typename T>
class TCollectionOf : public TCollection {
 public:
  explicit TCollectionOf(TPersistent* owner = nullptr) : TCollection(CollectionItemClass<T>(), owner) {}
  TCollectionOf(TCollectionItemClass itemClass, TPersistent* owner) : TCollection(std::move(itemClass), owner) {}
  T* Add() { return static_cast<T*>(TCollection::Add()); }
  T* Insert(Integer index) { return static_cast<T*>(TCollection::Insert(index)); }
  T* Items(Integer index) const { return static_cast<T*>(TCollection::Items(index)); }
};

}  // namespace px
