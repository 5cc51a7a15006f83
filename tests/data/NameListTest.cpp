#include <gtest/gtest.h>

#include "data/UnitCrc.h"
#include "data/UnitList.h"

namespace px {
namespace {

class TCountedItem : public TNameItem {
 public:
  TCountedItem(std::string_view name, int& alive) : TNameItem(name), alive_(alive) { ++alive_; }
  ~TCountedItem() override { --alive_; }

 private:
  int& alive_;
};

std::string nameOf(int i) { return "item" + std::to_string(i); }

TEST(NameList, BucketsGrowAndShrinkAtTheirLimits) {
  int alive = 0;
  TNameList list;
  EXPECT_EQ(list.BucketCount(), 16);
  std::vector<std::pair<int, int>> growth;  // count after add -> buckets
  for (int i = 1; i <= 33; ++i) {
    list.Add(std::make_unique<TCountedItem>(nameOf(i), alive));
    growth.emplace_back(i, list.BucketCount());
  }
  EXPECT_EQ(growth[7].second, 16);    // 8 items
  EXPECT_EQ(growth[8].second, 32);    // the ninth
  EXPECT_EQ(growth[16].second, 64);   // 17 items
  EXPECT_EQ(growth[32].second, 128);  // 33 items
  for (int i = 1; i <= 33; ++i) {
    TNameItem* it = list.Find(nameOf(i));
    ASSERT_NE(it, nullptr);
    EXPECT_EQ(it->Hash(), CRC32OfString(nameOf(i)));
  }
  // Removing: 128 buckets until the count falls below 16, then 32, and 32 never shrinks.
  for (int i = 1; i <= 17; ++i) list.Find(nameOf(i))->Free();
  EXPECT_EQ(list.Count(), 16);
  EXPECT_EQ(list.BucketCount(), 128);
  list.Find(nameOf(18))->Free();
  EXPECT_EQ(list.BucketCount(), 32);
  for (int i = 19; i <= 32; ++i) list.Find(nameOf(i))->Free();
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.BucketCount(), 32);
  EXPECT_EQ(list.Find(nameOf(33))->Name(), nameOf(33));
  list.Clear();
  EXPECT_EQ(list.BucketCount(), 16);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(alive, 0);
}

TEST(NameList, OrderNamesAndDuplicates) {
  int alive = 0;
  TNameList list;
  TNameItem* a = list.Add(std::make_unique<TCountedItem>("Path", alive));
  TNameItem* b = list.Add(std::make_unique<TCountedItem>("path", alive));  // case matters
  EXPECT_EQ(list.Find("Path"), a);
  EXPECT_EQ(list.Find("path"), b);
  EXPECT_EQ(list.Find("PATH"), nullptr);
  list.Add(a);  // already in: nothing changes
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Head(), a);
  EXPECT_EQ(list.Tail(), b);

  try {
    list.Add(std::make_unique<TCountedItem>("Path", alive));
    FAIL();
  } catch (const EListException& e) {
    EXPECT_EQ(e.Message(), "TNameList.Add: Item with same Name already in list: Path");
  }
  EXPECT_EQ(alive, 2);  // the refused item was freed by its owner

  list.Options = loReplaceSameName | loRaiseNotFound;
  TNameItem* c = list.Add(std::make_unique<TCountedItem>("Path", alive));
  EXPECT_EQ(alive, 2);
  EXPECT_EQ(list.Find("Path"), c);
  EXPECT_EQ(list.Head(), b);
  try {
    list.Find("none");
    FAIL();
  } catch (const EListException& e) {
    EXPECT_EQ(e.Message(), "TNameList: Item not found: none");
  }
  EXPECT_THROW(list.Add(static_cast<TNameItem*>(nullptr)), EListException);
}

TEST(NameList, RenameKeepsOrderAndRefusesTakenNames) {
  TNameList list;
  TNameItem* a = list.Add(std::make_unique<TNameItem>("a"));
  TNameItem* b = list.Add(std::make_unique<TNameItem>("b"));
  a->SetName("a");
  EXPECT_EQ(list.Find("a"), a);
  try {
    a->SetName("b");
    FAIL();
  } catch (const EListException& e) {
    EXPECT_EQ(e.Message(), "TNameList.Add: Item with same Name already in list: b");
  }
  EXPECT_EQ(a->Name(), "a");
  EXPECT_EQ(list.Find("b"), b);
  a->SetName("z");
  EXPECT_EQ(list.Find("a"), nullptr);
  EXPECT_EQ(list.Find("z"), a);
  EXPECT_EQ(list.Head(), a);
  EXPECT_EQ(a->Hash(), CRC32OfString("z"));

  TNameItem loose("x");
  loose.SetName("y");
  EXPECT_EQ(loose.Name(), "y");
}

TEST(NameList, MovingRemovingAndFreeingOwnedItems) {
  TNameList one, two;
  TNameItem* a = one.Add(std::make_unique<TNameItem>("a"));
  try {
    two.Add(a);
    FAIL();
  } catch (const EListException& e) {
    EXPECT_EQ(e.Message(), "TNameList.Add: Item already owned by another list.");
  }
  two.Options = loTakeFromOtherList;
  two.Add(a);
  EXPECT_EQ(one.Count(), 0);
  EXPECT_EQ(a->List(), &two);

  try {
    one.Remove(a);
    FAIL();
  } catch (const EListException& e) {
    EXPECT_EQ(e.Message(), "TNameList.Remove: Cannot remove an item that is not in the list.");
  }
  TBaseList base;
  auto* plain = new TBaseItem;
  base.Add(plain);
  EXPECT_THROW(two.Remove(plain), EListException);
  EXPECT_THROW(two.Remove(nullptr), EListException);

  // An item freed while owned leaves its list; with the option it refuses,
  // in Free and not in a destructor, and Clear still frees it.
  two.Options = loRefuseFreeWhileOwned;
  try {
    a->Free();
    FAIL();
  } catch (const EListException& e) {
    EXPECT_EQ(e.Message(), "TNameItem.Destroy: Item owned by list and is being destroyed!");
  }
  EXPECT_EQ(two.Count(), 1);
  two.Remove(a);
  EXPECT_EQ(a->List(), nullptr);
  a->Free();
  two.Add(std::make_unique<TNameItem>("b"));
  two.Clear();
  EXPECT_EQ(two.Count(), 0);
  TNameItem* c = two.Add(std::make_unique<TNameItem>("c"));
  delete c;
  EXPECT_EQ(two.Count(), 0);
  EXPECT_EQ(two.Find("c"), nullptr);
}

}  // namespace
}  // namespace px
