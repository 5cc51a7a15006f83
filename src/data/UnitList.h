#pragma once
// Intrusive, doubly linked lists of owned items (TBaseList of TBaseItem) and,
// on top, a list of uniquely named items with a hash table keyed by the
// CRC-32 of the name (TNameList of TNameItem). Items carry their own links,
// so adding, removing and finding allocate nothing but the bucket table.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/core/Types.h"

namespace px {

PX_DECLARE_EXCEPTION(EListException, Exception);

// Options of a list (all clear after creation).
constexpr Byte loRaiseNotFound = 1;         // Find raises when the name is absent
constexpr Byte loTakeFromOtherList = 2;     // Add moves an item owned by another list
constexpr Byte loReplaceSameName = 4;       // Add frees a present item of the same name
constexpr Byte loRefuseFreeWhileOwned = 8;  // Free of an item still in a list raises

class TBaseList;
class TNameList;

class TBaseItem {
 public:
  TBaseItem() = default;
  TBaseItem(const TBaseItem&) = delete;
  TBaseItem& operator=(const TBaseItem&) = delete;
  // Takes the item out of its list first. Never raises.
  virtual ~TBaseItem();
  // Frees the item. With loRefuseFreeWhileOwned set on its list, an item
  // still in the list raises "%s.Destroy: Item owned by list and is being
  // destroyed!" and stays as it is.
  void Free();

  TBaseList* List() const { return list_; }
  TBaseItem* Next() const { return next_; }
  TBaseItem* Prev() const { return prev_; }
  // The class name used in messages.
  std::string ClassName() const;

 private:
  friend class TBaseList;
  TBaseList* list_ = nullptr;
  TBaseItem* next_ = nullptr;
  TBaseItem* prev_ = nullptr;
};

class TBaseList {
 public:
  TBaseList() = default;
  TBaseList(const TBaseList&) = delete;
  TBaseList& operator=(const TBaseList&) = delete;
  virtual ~TBaseList();

  // Frees the item.
  virtual void FreeItem(TBaseItem* item);
  // Frees every item.
  virtual void Clear();
  // Unlinks the item without freeing it.
  virtual void Remove(TBaseItem* item);
  // Appends an item; the list owns it from then on. Adding an item that is
  // already in this list does nothing. On a TNameList this is its Add (an
  // item that is not a TNameItem is refused).
  void Add(TBaseItem* item);

  Integer Count() const { return count_; }
  TBaseItem* Head() const { return head_; }
  TBaseItem* Tail() const { return tail_; }
  Byte Options = 0;

  std::string ClassName() const;

 protected:
  // Step 1 and 2 of adding: false when the item is already in this list.
  bool prepareAdd(TBaseItem* item);
  void append(TBaseItem* item);
  void unlink(TBaseItem* item);
  void checkRemove(TBaseItem* item) const;

 private:
  Integer count_ = 0;
  TBaseItem* head_ = nullptr;
  TBaseItem* tail_ = nullptr;
};

class TNameItem : public TBaseItem {
 public:
  explicit TNameItem(std::string_view name = {}) : name_(name) {}
  // Leaves its list while it is still a TNameItem, so the list can unlink
  // it from its hash chain.
  ~TNameItem() override;

  const AnsiString& Name() const { return name_; }
  // In a TNameList the item is renamed in place (it keeps its place in list
  // order); a name another item of the list has raises "%s.Add: Item with
  // same Name already in list: %s".
  void SetName(std::string_view name);
  Cardinal Hash() const { return hash_; }

 private:
  friend class TNameList;
  TNameItem* hashNext_ = nullptr;
  AnsiString name_;
  Cardinal hash_ = 0;
};

class TNameList : public TBaseList {
 public:
  TNameList();
  ~TNameList() override;

  void Clear() override;
  void Remove(TBaseItem* item) override;
  // CRC-32 of the name.
  virtual Cardinal HashName(std::string_view name) const;

  void Add(TNameItem* item);
  // Adds an item the caller made; when Add raises, the item is freed.
  template <class T>
  T* Add(std::unique_ptr<T> item) {
    Add(static_cast<TNameItem*>(item.get()));
    return item.release();
  }
  // Exact, case-sensitive match; nil when absent (or raises "%s: Item not
  // found: %s" with loRaiseNotFound).
  TNameItem* Find(std::string_view name) const;

  Integer BucketCount() const { return static_cast<Integer>(buckets_.size()); }

 private:
  friend class TNameItem;
  void rehash(Integer newSize);
  TNameItem* findInChain(Cardinal hash, std::string_view name) const;
  void unlinkFromChain(TNameItem* item);
  void pushOnChain(TNameItem* item);
  void rename(TNameItem* item, std::string_view name);

  Cardinal mask_ = 0;
  Integer growLimit_ = 0;
  Integer shrinkLimit_ = -1;
  Integer initialSize_ = 16;
  std::vector<TNameItem*> buckets_;
};

}  // namespace px
