#pragma once
// Bounds-checked lists: TList<T> holds values, TObjectList<T> holds pointers
// and, with OwnsObjects, frees the objects it lets go of. Every index is
// checked; a bad one raises EListError the way the class library's lists do.
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Types.h"

namespace px {

[[noreturn]] inline void RaiseListIndexError(Integer index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

template <typename T>
class TList {
 public:
  using value_type = T;
  using iterator = typename std::vector<T>::iterator;
  using const_iterator = typename std::vector<T>::const_iterator;

  TList() = default;
  TList(std::initializer_list<T> items) : items_(items) {}

  Integer Count() const { return static_cast<Integer>(items_.size()); }
  // Growing fills with default values; raises EListError
  // "List count out of bounds (%d)" for a negative count.
  void SetCount(Integer count) {
    if (count < 0) throw EListError("List count out of bounds (" + std::to_string(count) + ")");
    items_.resize(static_cast<size_t>(count));
  }
  Integer Capacity() const { return static_cast<Integer>(items_.capacity()); }
  // Raises EListError "List capacity out of bounds (%d)" below Count.
  void SetCapacity(Integer capacity) {
    if (capacity < Count()) throw EListError("List capacity out of bounds (" + std::to_string(capacity) + ")");
    const auto wanted = static_cast<size_t>(capacity);
    if (wanted > items_.capacity()) {
      items_.reserve(wanted);
    } else if (wanted < items_.capacity()) {
      std::vector<T> smaller;
      smaller.reserve(wanted);
      for (T& item : items_) smaller.push_back(std::move(item));
      items_.swap(smaller);
    }
  }

  const T& Items(Integer index) const { return items_[check(index)]; }
  T& Items(Integer index) { return items_[check(index)]; }
  const T& operator[](Integer index) const { return Items(index); }
  T& operator[](Integer index) { return Items(index); }
  void SetItems(Integer index, T value) { items_[check(index)] = std::move(value); }
  const T& First() const { return Items(0); }
  const T& Last() const { return Items(Count() - 1); }

  Integer Add(T item) {
    items_.push_back(std::move(item));
    return Count() - 1;
  }
  // Index may be Count (appends).
  void Insert(Integer index, T item) {
    if (index < 0 || index > Count()) RaiseListIndexError(index);
    items_.insert(items_.begin() + index, std::move(item));
  }
  void Delete(Integer index) { items_.erase(items_.begin() + check(index)); }
  // Removes the first equal item; answers its former index or -1.
  Integer Remove(const T& item) {
    const Integer index = IndexOf(item);
    if (index >= 0) items_.erase(items_.begin() + index);
    return index;
  }
  // Removes the first equal item and answers it; a default value when none.
  T Extract(const T& item) {
    const Integer index = IndexOf(item);
    if (index < 0) return T{};
    T result = std::move(items_[static_cast<size_t>(index)]);
    items_.erase(items_.begin() + index);
    return result;
  }
  Integer IndexOf(const T& item) const {
    for (size_t i = 0; i < items_.size(); ++i)
      if (items_[i] == item) return static_cast<Integer>(i);
    return -1;
  }
  bool Contains(const T& item) const { return IndexOf(item) >= 0; }
  void Exchange(Integer index1, Integer index2) { std::swap(items_[check(index1)], items_[check(index2)]); }
  // Takes the item out of curIndex and puts it at newIndex.
  void Move(Integer curIndex, Integer newIndex) {
    if (curIndex == newIndex) return;
    check(curIndex);
    check(newIndex);
    T item = std::move(items_[static_cast<size_t>(curIndex)]);
    items_.erase(items_.begin() + curIndex);
    items_.insert(items_.begin() + newIndex, std::move(item));
  }
  void Clear() {
    items_.clear();
    items_.shrink_to_fit();
  }

  // Quicksort with the middle element as pivot, as the class library sorts,
  // so that items with equal keys end up in the same order as there.
  // compare(a, b) answers <0, 0 or >0.
  template <typename Compare>
  void Sort(Compare compare) {
    if (items_.size() > 1) quickSort(0, Count() - 1, compare);
  }

  iterator begin() { return items_.begin(); }
  iterator end() { return items_.end(); }
  const_iterator begin() const { return items_.begin(); }
  const_iterator end() const { return items_.end(); }

 private:
  size_t check(Integer index) const {
    if (index < 0 || index >= Count()) RaiseListIndexError(index);
    return static_cast<size_t>(index);
  }

  template <typename Compare>
  void quickSort(Integer left, Integer right, Compare& compare) {
    Integer i;
    do {
      i = left;
      Integer j = right;
      const T pivot = items_[static_cast<size_t>((left + right) / 2)];
      do {
        while (compare(items_[static_cast<size_t>(i)], pivot) < 0) ++i;
        while (compare(items_[static_cast<size_t>(j)], pivot) > 0) --j;
        if (i <= j) {
          if (i != j) std::swap(items_[static_cast<size_t>(i)], items_[static_cast<size_t>(j)]);
          ++i;
          --j;
        }
      } while (i <= j);
      if (left < j) quickSort(left, j, compare);
      left = i;
    } while (i < right);
  }

  std::vector<T> items_;
};

// A list of objects. With OwnsObjects (the default) the list frees each object
// it deletes, removes, replaces or clears, and frees the rest when it is
// destroyed; Extract hands an object back without freeing it.
template <typename T>
class TObjectList {
 public:
  using iterator = typename TList<T*>::iterator;
  using const_iterator = typename TList<T*>::const_iterator;

  explicit TObjectList(bool ownsObjects = true) : ownsObjects_(ownsObjects) {}
  ~TObjectList() { Clear(); }
  TObjectList(const TObjectList&) = delete;
  TObjectList& operator=(const TObjectList&) = delete;

  bool OwnsObjects() const { return ownsObjects_; }
  void SetOwnsObjects(bool value) { ownsObjects_ = value; }

  Integer Count() const { return list_.Count(); }
  Integer Capacity() const { return list_.Capacity(); }
  void SetCapacity(Integer capacity) { list_.SetCapacity(capacity); }
  T* Items(Integer index) const { return list_.Items(index); }
  T* operator[](Integer index) const { return list_.Items(index); }
  void SetItems(Integer index, T* item) {
    T* old = list_.Items(index);
    list_.SetItems(index, item);
    if (old != item) release(old);
  }
  T* First() const { return list_.First(); }
  T* Last() const { return list_.Last(); }

  // Takes the object (owned when OwnsObjects).
  Integer Add(T* item) { return list_.Add(item); }
  template <typename U>
  Integer Add(TObjectPtr<U> item) {
    return list_.Add(item.release());
  }
  // Makes a U, adds it and answers it.
  template <typename U = T, typename... Args>
  U* AddNew(Args&&... args) {
    TObjectPtr<U> item(Constructed(new U(std::forward<Args>(args)...)));
    U* result = item.get();
    list_.Add(result);
    item.release();
    return result;
  }
  void Insert(Integer index, T* item) { list_.Insert(index, item); }
  void Delete(Integer index) {
    T* item = list_.Items(index);
    list_.Delete(index);
    release(item);
  }
  Integer Remove(T* item) {
    const Integer index = list_.Remove(item);
    if (index >= 0) release(item);
    return index;
  }
  // Takes the object out without freeing it; the caller owns it now.
  T* Extract(T* item) { return list_.Extract(item); }
  Integer IndexOf(const T* item) const { return list_.IndexOf(const_cast<T*>(item)); }
  bool Contains(const T* item) const { return IndexOf(item) >= 0; }
  void Exchange(Integer index1, Integer index2) { list_.Exchange(index1, index2); }
  void Move(Integer curIndex, Integer newIndex) { list_.Move(curIndex, newIndex); }
  template <typename Compare>
  void Sort(Compare compare) {
    list_.Sort(compare);
  }
  // Frees from the last object to the first.
  void Clear() {
    while (list_.Count() > 0) Delete(list_.Count() - 1);
    list_.Clear();
  }

  iterator begin() { return list_.begin(); }
  iterator end() { return list_.end(); }
  const_iterator begin() const { return list_.begin(); }
  const_iterator end() const { return list_.end(); }

 private:
  void release(T* item) {
    if (ownsObjects_) TObjectDeleter()(item);
  }

  TList<T*> list_;
  bool ownsObjects_;
};

}  // namespace px
