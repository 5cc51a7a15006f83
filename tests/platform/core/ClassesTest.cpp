#include "platform/core/Classes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/Lists.h"

namespace px {
namespace {

// Records every destruction and every removal it hears of, by name.
std::vector<std::string>* gLog = nullptr;

class TProbe : public TComponent {
 public:
  explicit TProbe(TComponent* owner, std::string tag = {}) : TComponent(owner), label(std::move(tag)) {}
  ~TProbe() override {
    if (gLog) gLog->push_back("~" + label);
  }
  void Notification(TComponent* component, TOperation operation) override {
    // The dying component still shows its own class here.
    if (operation == opRemove && component == Target) {
      Target = nullptr;
      if (gLog) gLog->push_back(label + " lost " + dynamic_cast<TProbe&>(*component).label);
    }
    TComponent::Notification(component, operation);
  }
  void SetTarget(TProbe* target) {
    Target = target;
    if (target) target->FreeNotification(this);
  }
  std::string label;
  TProbe* Target = nullptr;
};

class ComponentTest : public testing::Test {
 protected:
  void SetUp() override { gLog = &log; }
  void TearDown() override { gLog = nullptr; }
  std::vector<std::string> log;
};

TEST_F(ComponentTest, OwnerFreesChildrenLastFirstAndFreedChildLeavesOwner) {
  auto form = MakeObject<TProbe>(nullptr, "form");
  auto* a = CreateComponent<TProbe>(form.get(), "a");
  auto* b = CreateComponent<TProbe>(form.get(), "b");
  auto* c = CreateComponent<TProbe>(form.get(), "c");
  ASSERT_EQ(form->ComponentCount(), 3);
  EXPECT_EQ(b->Owner(), form.get());
  EXPECT_EQ(c->ComponentIndex(), 2);

  FreeObject(b);
  ASSERT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->Components(0), a);
  EXPECT_EQ(form->Components(1), c);

  form.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"~b", "~form", "~c", "~a"}));
}

TEST_F(ComponentTest, FreeNotificationClearsReferencesAcrossOwnersAndAmongSiblings) {
  auto formA = MakeObject<TProbe>(nullptr, "formA");
  auto formB = MakeObject<TProbe>(nullptr, "formB");
  auto* database = CreateComponent<TProbe>(formA.get(), "database");
  auto* sibling = CreateComponent<TProbe>(formA.get(), "sibling");
  auto* stranger = CreateComponent<TProbe>(formB.get(), "stranger");
  sibling->SetTarget(database);   // same owner: told through the owner
  stranger->SetTarget(database);  // other owner: told through free notification

  FreeObject(database);
  EXPECT_EQ(sibling->Target, nullptr);
  EXPECT_EQ(stranger->Target, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"stranger lost database", "sibling lost database", "~database"}));

  // The listener dies first: the dead listener must not be called later.
  auto* source = CreateComponent<TProbe>(formA.get(), "source");
  auto* listener = CreateComponent<TProbe>(formB.get(), "listener");
  listener->SetTarget(source);
  FreeObject(listener);
  log.clear();
  FreeObject(source);
  EXPECT_EQ(log, (std::vector<std::string>{"~source"}));
}

TEST_F(ComponentTest, OwnerDestroyingChildrenStillNotifiesOtherOwnersListeners) {
  auto other = MakeObject<TProbe>(nullptr, "other");
  auto* watcher = CreateComponent<TProbe>(other.get(), "watcher");
  {
    auto form = MakeObject<TProbe>(nullptr, "form");
    watcher->SetTarget(CreateComponent<TProbe>(form.get(), "edit"));
  }
  EXPECT_EQ(watcher->Target, nullptr);
  // The form's own destructor body runs first; its children go after it.
  EXPECT_EQ(log, (std::vector<std::string>{"~form", "watcher lost edit", "~edit"}));
}

TEST_F(ComponentTest, ComponentStateAndMovingBetweenOwners) {
  auto a = MakeObject<TComponent>(nullptr);
  auto b = MakeObject<TComponent>(nullptr);
  auto* child = CreateComponent<TComponent>(a.get());
  b->SetDesigning(true);
  b->InsertComponent(child);
  EXPECT_EQ(a->ComponentCount(), 0);
  EXPECT_EQ(child->Owner(), b.get());
  EXPECT_TRUE(child->ComponentState().Contains(csDesigning));
  // No ownership cycles.
  EXPECT_THROW(child->InsertComponent(b.get()), EComponentError);
  EXPECT_THROW(child->InsertComponent(child), EComponentError);

  child->SetComponentStateFlag(csLoading, true);
  child->Loaded();
  EXPECT_FALSE(child->ComponentState().Contains(csLoading));
  b->Destroying();
  EXPECT_TRUE(child->ComponentState().Contains(csDestroying));
}

TEST(Component, NamesAreIdentifiersUniqueIgnoringCase) {
  auto form = MakeObject<TComponent>(nullptr);
  auto* edit = CreateComponent<TComponent>(form.get());
  edit->SetName("edName");
  EXPECT_EQ(form->FindComponent("EDNAME"), edit);
  EXPECT_EQ(form->FindComponent(""), nullptr);

  auto* other = CreateComponent<TComponent>(form.get());
  try {
    other->SetName("EdName");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_EQ(e.Message(), "A component named EdName already exists");
  }
  edit->SetName("EDNAME");  // a component may change the case of its own name
  for (const char* bad : {"1st", "has space", "ä", "a-b"}) {
    EXPECT_THROW(other->SetName(bad), EComponentError) << bad;
  }
  EXPECT_EQ(other->Name(), "");

  // Inserting a component whose name is taken is refused too.
  auto loose = MakeObject<TComponent>(nullptr);
  loose->SetName("edname");
  EXPECT_THROW(form->InsertComponent(loose.get()), EComponentError);
  EXPECT_EQ(loose->Owner(), nullptr);
  EXPECT_THROW(form->Components(2), EListError);
}

class TPoint3 : public TPersistent {
 public:
  int x = 0;
  void Assign(const TPersistent* source) override {
    if (auto* p = dynamic_cast<const TPoint3*>(source)) {
      x = p->x;
      return;
    }
    TPersistent::Assign(source);
  }
};
class TOther : public TPersistent {};

TEST(Persistent, AssignErrorsNameBothClasses) {
  TPoint3 p;
  TOther o;
  try {
    p.Assign(&o);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TOther to a TPoint3");
  }
  try {
    p.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a nil to a TPoint3");
  }
}

// --- collections ----------------------------------------------------------------

class TColumn : public TCollectionItem {
 public:
  explicit TColumn(TCollection* collection) : TCollectionItem(collection) {}
  void Assign(const TPersistent* source) override {
    if (auto* c = dynamic_cast<const TColumn*>(source)) {
      width = c->width;
      return;
    }
    TCollectionItem::Assign(source);
  }
  void SetWidth(int value) {
    width = value;
    Changed(false);
  }
  int width = 50;
};

class TColumns : public TCollectionOf<TColumn> {
 public:
  std::vector<std::string> events;

 protected:
  void Update(TCollectionItem* item) override {
    events.push_back(item ? "update " + std::to_string(item->ID()) : "update all");
  }
  void Notify(TCollectionItem* item, TCollectionNotification action) override {
    static const char* names[] = {"added", "extracting", "deleting"};
    events.push_back(std::string(names[action]) + " " + std::to_string(item->ID()));
  }
};

std::vector<int> ids(const TColumns& columns) {
  std::vector<int> result;
  for (int i = 0; i < columns.Count(); ++i) result.push_back(columns.Items(i)->ID());
  return result;
}

TEST(Collection, IndexMovesItemsAndIdsStayUnique) {
  auto columns = MakeObject<TColumns>();
  for (int i = 0; i < 4; ++i) columns->Add();
  columns->Items(0)->SetIndex(3);
  EXPECT_EQ(ids(*columns), (std::vector<int>{1, 2, 3, 0}));
  columns->Items(3)->SetIndex(1);
  EXPECT_EQ(ids(*columns), (std::vector<int>{1, 0, 2, 3}));
  EXPECT_EQ(columns->Items(2)->Index(), 2);
  EXPECT_THROW(columns->Items(0)->SetIndex(4), EListError);
  EXPECT_EQ(ids(*columns), (std::vector<int>{1, 0, 2, 3}));

  TColumn* inserted = columns->Insert(0);
  EXPECT_EQ(inserted->ID(), 4);
  EXPECT_EQ(inserted->Index(), 0);
  columns->Delete(2);
  EXPECT_EQ(ids(*columns), (std::vector<int>{4, 1, 2, 3}));
  EXPECT_EQ(columns->FindItemID(2), columns->Items(2));
  EXPECT_EQ(columns->FindItemID(0), nullptr);
  try {
    columns->Items(4);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (4)");
  }
  EXPECT_THROW(columns->Insert(6), EListError);
}

TEST(Collection, NotifyAndUpdateHooks) {
  auto columns = MakeObject<TColumns>();
  columns->Add();
  columns->Add()->SetWidth(10);
  columns->Delete(0);
  EXPECT_EQ(columns->events, (std::vector<std::string>{"added 0", "update all", "added 1", "update all", "update 1",
                                                       "deleting 0", "extracting 0", "update all"}));
  columns->events.clear();
  columns->BeginUpdate();
  columns->Add();
  columns->Items(0)->SetWidth(20);
  columns->EndUpdate();
  EXPECT_EQ(columns->events, (std::vector<std::string>{"added 2", "update all"}));

  // A whole item freed on its own leaves the collection.
  columns->events.clear();
  FreeObject(columns->Items(1));
  EXPECT_EQ(columns->Count(), 1);
  EXPECT_EQ(columns->events, (std::vector<std::string>{"extracting 2", "update all"}));

  auto copy = MakeObject<TColumns>();
  copy->Add();
  copy->Assign(columns.get());
  ASSERT_EQ(copy->Count(), 1);
  EXPECT_EQ(copy->Items(0)->width, 20);
  EXPECT_THROW(copy->Assign(nullptr), EConvertError);
  copy->Assign(copy.get());  // to itself: nothing is lost
  ASSERT_EQ(copy->Count(), 1);
  EXPECT_EQ(copy->Items(0)->width, 20);
}

// --- lists --------------------------------------------------------------------

TEST(List, BoundsErrors) {
  TList<int> list{10, 20, 30};
  struct Case {
    const char* what;
    std::function<void()> call;
    const char* message;
  };
  const Case cases[] = {
      {"get -1", [&] { list[-1]; }, "List index out of bounds (-1)"},
      {"get 3", [&] { list.Items(3); }, "List index out of bounds (3)"},
      {"insert 4", [&] { list.Insert(4, 0); }, "List index out of bounds (4)"},
      {"delete 3", [&] { list.Delete(3); }, "List index out of bounds (3)"},
      {"move to 3", [&] { list.Move(0, 3); }, "List index out of bounds (3)"},
      {"exchange", [&] { list.Exchange(-2, 0); }, "List index out of bounds (-2)"},
      {"capacity", [&] { list.SetCapacity(2); }, "List capacity out of bounds (2)"},
      {"count", [&] { list.SetCount(-1); }, "List count out of bounds (-1)"},
      {"last of empty", [] { TList<int>().Last(); }, "List index out of bounds (-1)"},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what;
    } catch (const EListError& e) {
      EXPECT_EQ(e.Message(), c.message) << c.what;
    }
  }
  EXPECT_EQ(list.Count(), 3);
}

TEST(List, EditingAndSorting) {
  TList<int> list{1, 2, 3, 4};
  list.Move(0, 3);
  list.Exchange(0, 1);
  list.Insert(4, 9);
  EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{3, 2, 4, 1, 9}));
  EXPECT_EQ(list.Remove(4), 2);
  EXPECT_EQ(list.Remove(7), -1);
  EXPECT_EQ(list.Extract(9), 9);
  list.SetCapacity(100);
  EXPECT_GE(list.Capacity(), 100);
  list.SetCapacity(3);
  EXPECT_EQ(std::vector<int>(list.begin(), list.end()), (std::vector<int>{3, 2, 1}));

  // Pairs of (key, arrival): the sort is the class library's quicksort, not a
  // stable one, and equal keys come out in its order.
  using Pairs = std::vector<std::pair<int, int>>;
  TList<std::pair<int, int>> pairs{{2, 0}, {1, 1}, {2, 2}, {1, 3}, {2, 4}, {1, 5}};
  pairs.Sort([](const auto& a, const auto& b) { return a.first - b.first; });
  EXPECT_EQ(Pairs(pairs.begin(), pairs.end()), (Pairs{{1, 3}, {1, 1}, {1, 5}, {2, 4}, {2, 0}, {2, 2}}));
  TList<int> many;
  for (int i = 0; i < 200; ++i) many.Add((i * 7919) % 211);
  many.Sort([](int a, int b) { return a - b; });
  EXPECT_TRUE(std::is_sorted(many.begin(), many.end()));
}

TEST(ObjectList, OwnsObjectsFreesWhatItLetsGo) {
  struct TItem : TObject {
    explicit TItem(int* counter) : freed(counter) {}
    ~TItem() override { ++*freed; }
    int* freed;
  };
  int freed = 0;
  {
    TObjectList<TItem> list;
    for (int i = 0; i < 5; ++i) list.AddNew(&freed);  // A B C D E
    list.Delete(0);                                   // frees A
    list.Remove(list[0]);                             // frees B
    TItem* c = list.Extract(list[0]);                 // C handed back: D E
    EXPECT_EQ(freed, 2);
    list.SetItems(0, c);  // replacing D frees it: C E
    EXPECT_EQ(freed, 3);
    EXPECT_EQ(list.IndexOf(c), 0);
  }
  EXPECT_EQ(freed, 5);

  TItem local(&freed);
  {
    TObjectList<TItem> borrowed(false);
    borrowed.Add(&local);
    borrowed.Add(&local);
    borrowed.Delete(0);
  }
  EXPECT_EQ(freed, 5);
}

}  // namespace
}  // namespace px
