#include "data/UnitList.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "data/UnitCrc.h"
#include "platform/core/Format.h"

namespace px {
namespace {

std::string shortClassName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = status == 0 && demangled ? demangled : type.name();
  std::free(demangled);
  const size_t colon = name.rfind("::");
  return colon == std::string::npos ? name : name.substr(colon + 2);
}

}  // namespace

// ---------------------------------------------------------------------------
// TBaseItem

TBaseItem::~TBaseItem() {
  if (!list_) return;
  try {
    list_->Remove(this);
  } catch (...) {
    // Remove of an item that is in the list does not fail; never let a
    // destructor raise.
  }
}

void TBaseItem::Free() {
  // The check lives here rather than in the destructor, which must not raise.
  if (list_ && (list_->Options & loRefuseFreeWhileOwned))
    throw EListException(ClassName() + ".Destroy: Item owned by list and is being destroyed!");
  delete this;
}

std::string TBaseItem::ClassName() const { return shortClassName(typeid(*this)); }

// ---------------------------------------------------------------------------
// TBaseList

TBaseList::~TBaseList() { TBaseList::Clear(); }

std::string TBaseList::ClassName() const { return shortClassName(typeid(*this)); }

void TBaseList::FreeItem(TBaseItem* item) { delete item; }

void TBaseList::Clear() {
  TBaseItem* item = head_;
  while (item) {
    TBaseItem* next = item->next_;
    FreeItem(item);  // the item takes itself out of the list
    item = next;
  }
  head_ = tail_ = nullptr;
  count_ = 0;
}

void TBaseList::checkRemove(TBaseItem* item) const {
  if (!item) throw EListException(ClassName() + ".Remove: Item not assigned.");
  if (item->list_ != this) throw EListException(ClassName() + ".Remove: Cannot remove an item that is not in the list.");
}

void TBaseList::Remove(TBaseItem* item) {
  checkRemove(item);
  unlink(item);
}

void TBaseList::unlink(TBaseItem* item) {
  if (item->prev_)
    item->prev_->next_ = item->next_;
  else
    head_ = item->next_;
  if (item->next_)
    item->next_->prev_ = item->prev_;
  else
    tail_ = item->prev_;
  --count_;
  item->list_ = nullptr;
  item->next_ = item->prev_ = nullptr;
}

bool TBaseList::prepareAdd(TBaseItem* item) {
  if (!item) throw EListException(ClassName() + ".Add: Item not assigned.");
  if (item->list_ == this) return false;
  if (item->list_) {
    if (!(Options & loTakeFromOtherList))
      throw EListException(ClassName() + ".Add: Item already owned by another list.");
    item->list_->Remove(item);
  }
  return true;
}

void TBaseList::append(TBaseItem* item) {
  item->prev_ = tail_;
  item->next_ = nullptr;
  if (tail_)
    tail_->next_ = item;
  else
    head_ = item;
  tail_ = item;
  ++count_;
  item->list_ = this;
}

void TBaseList::Add(TBaseItem* item) {
  // A name list reached through this class must still hash what it holds,
  // and can hold nothing but named items.
  if (auto* names = dynamic_cast<TNameList*>(this)) {
    auto* named = dynamic_cast<TNameItem*>(item);
    if (item && !named)
      throw EListException(Format("%s.Add: Item is not of correct type (%s)", ClassName(), item->ClassName()));
    return names->Add(named);
  }
  if (prepareAdd(item)) append(item);
}

// ---------------------------------------------------------------------------
// TNameItem

TNameItem::~TNameItem() {
  if (!List()) return;
  try {
    List()->Remove(this);
  } catch (...) {
    // Remove of an item that is in the list does not fail.
  }
}

void TNameItem::SetName(std::string_view name) {
  if (auto* names = dynamic_cast<TNameList*>(List()))
    names->rename(this, name);
  else
    name_ = name;
}

// ---------------------------------------------------------------------------
// TNameList

TNameList::TNameList() { TNameList::Clear(); }

TNameList::~TNameList() { TNameList::Clear(); }

Cardinal TNameList::HashName(std::string_view name) const { return CRC32OfString(name); }

void TNameList::Clear() {
  TBaseList::Clear();
  rehash(initialSize_);
}

void TNameList::rehash(Integer newSize) {
  buckets_.assign(static_cast<size_t>(newSize), nullptr);
  mask_ = static_cast<Cardinal>(newSize - 1);
  growLimit_ = newSize / 2;
  shrinkLimit_ = initialSize_ / 2 >= newSize / 8 ? -1 : newSize / 8;
  for (TBaseItem* it = Head(); it; it = it->Next()) pushOnChain(static_cast<TNameItem*>(it));
}

void TNameList::pushOnChain(TNameItem* item) {
  TNameItem*& head = buckets_[item->hash_ & mask_];
  item->hashNext_ = head;
  head = item;
}

void TNameList::unlinkFromChain(TNameItem* item) {
  TNameItem** link = &buckets_[item->hash_ & mask_];
  while (*link && *link != item) link = &(*link)->hashNext_;
  if (*link) *link = item->hashNext_;
  item->hashNext_ = nullptr;
}

TNameItem* TNameList::findInChain(Cardinal hash, std::string_view name) const {
  for (TNameItem* it = buckets_[hash & mask_]; it; it = it->hashNext_)
    if (it->name_ == name) return it;
  return nullptr;
}

void TNameList::Add(TNameItem* item) {
  for (;;) {
    if (!item) throw EListException(ClassName() + ".Add: Item not assigned.");
    if (item->List() == this) return;
    if (item->List() && !(Options & loTakeFromOtherList))
      throw EListException(ClassName() + ".Add: Item already owned by another list.");
    // The name is checked before the item leaves another list: a refused
    // move must leave it with its owner, not in no list at all.
    const Cardinal hash = HashName(item->name_);
    if (TNameItem* present = findInChain(hash, item->name_)) {
      if (!(Options & loReplaceSameName))
        throw EListException(Format("%s.Add: Item with same Name already in list: %s", ClassName(), item->name_));
      Remove(present);
      FreeItem(present);
      continue;
    }
    if (!prepareAdd(item)) return;
    if (Count() >= growLimit_) rehash(growLimit_ * 4);
    item->hash_ = hash;
    append(item);
    pushOnChain(item);
    return;
  }
}

TNameItem* TNameList::Find(std::string_view name) const {
  TNameItem* it = findInChain(HashName(name), name);
  if (!it && (Options & loRaiseNotFound))
    throw EListException(Format("%s: Item not found: %s", ClassName(), std::string(name)));
  return it;
}

void TNameList::Remove(TBaseItem* item) {
  checkRemove(item);
  auto* named = dynamic_cast<TNameItem*>(item);
  if (!named)
    throw EListException(
        Format("%s.Remove: Item is not of correct type (%s)", ClassName(), item->ClassName()));
  unlinkFromChain(named);
  unlink(named);
  if (Count() < shrinkLimit_) rehash(shrinkLimit_ * 2);
}

void TNameList::rename(TNameItem* item, std::string_view name) {
  const Cardinal hash = HashName(name);
  if (TNameItem* present = findInChain(hash, name)) {
    if (present == item) return;
    throw EListException(Format("%s.Add: Item with same Name already in list: %s", ClassName(), std::string(name)));
  }
  unlinkFromChain(item);
  item->name_ = name;
  item->hash_ = hash;
  pushOnChain(item);
}

}  // namespace px
