#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/core/Debug.h"
#include "support/TempDir.h"
#include "ui/framework/UnitQVRSystem.h"
#include "ui/framework/UnitTranslation.h"
#include "ui/framework/UnitUtilities.h"
#include <QWidget>

namespace px {
using test::TempDir;
using test::WriteFileBytes;

class TfraListener : public TQVRFrame, public IDeviceListener {
 public:
  using TQVRFrame::TQVRFrame;
  int events = 0;
  std::function<void()> onEvent;
  void DeviceStatusChanged(bool, bool) override {
    ++events;
    if (onEvent) onEvent();
  }
  void DeviceActivity() override {}
};

class TfraPlain : public TQVRFrame {
 public:
  using TQVRFrame::TQVRFrame;
};

class TfrmMain : public TQVRForm {
 public:
  explicit TfrmMain(TComponent* owner) : TQVRForm(owner) {
    SetCaption("[Title]");
    label = CreateComponent<TfraPlain>(this);
    label->SetName("lblCount");
    label->SetCaption("[Count]");
    label->Hint = "[x]";
    plain = CreateComponent<TfraPlain>(this);
    plain->SetCaption("Count");
    empty = CreateComponent<TfraPlain>(this);
    empty->SetCaption("[]");
  }
  TControl* label;
  TControl* plain;
  TControl* empty;
};

namespace {

class Env : public ::testing::Environment {
 public:
  void SetUp() override { InitializeApplication(); }
  void TearDown() override { FinalizeApplication(); }
};
[[maybe_unused]] const auto* env = ::testing::AddGlobalTestEnvironment(new Env);

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { InitializeQVRSystem(); }
  void TearDown() override { FinalizeQVRSystem(); }
};

struct Service : IInterface {
  int n;
  explicit Service(int v) : n(v) {}
};

TEST_F(Registry, ServicesByGuid) {
  const TGUID iid = IImageLists::IID;
  EXPECT_EQ(QVRSystem->GetService(iid), nullptr);
  QVRSystem->RegisterService(iid, "", std::make_shared<Service>(1));
  QVRSystem->RegisterService(iid, "", std::make_shared<Service>(2));
  EXPECT_EQ(std::dynamic_pointer_cast<Service>(QVRSystem->GetService(iid))->n, 2);
  EXPECT_EQ(QVRSystem->GetNamespaceService(iid, "other"), nullptr);
  QVRSystem->UnregisterService(iid, "");
  QVRSystem->UnregisterService(iid, "missing");
  EXPECT_EQ(QVRSystem->GetService(iid), nullptr);
}

TEST_F(Registry, FramesByNumber) {
  QVRSystem->RegisterControl<TfraPlain>(1);
  QVRSystem->RegisterControl<TfraListener>(2);
  QVRSystem->RegisterControl<TfraPlain>(3);
  QVRSystem->UnregisterControl(2);
  TForm host(nullptr);
  host.SetBounds(0, 0, 300, 200);
  IQVRLink* a = QVRSystem->CreateControl(1, &host);
  EXPECT_NE(dynamic_cast<TfraPlain*>(a->GetComponent()), nullptr);
  IQVRLink* b = QVRSystem->CreateDockedControl(3, &host, &host);
  EXPECT_EQ(b->GetControl()->Align(), alClient);
  EXPECT_EQ(b->GetControl()->BoundsRect(), Rect(0, 0, 300, 200));
  try {
    QVRSystem->CreateControl(2, &host);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unknown control ID: 2");
  }
  EXPECT_EQ(QVRSystem->LinkCount(), 2);
  FreeLinkedComponent(a);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(QVRSystem->LinkCount(), 1);
}

TEST_F(Registry, DockedControlKeepsItsAlignment) {
  QVRSystem->RegisterControl(7, [](TComponent* owner) -> TComponent* {
    auto* f = QVRSystem->CreateFramework<TfraPlain>(owner);
    f->SetAlign(alTop);
    return f;
  });
  TForm host(nullptr);
  EXPECT_EQ(QVRSystem->CreateDockedControl(7, &host, &host)->GetControl()->Align(), alTop);
  EXPECT_EQ(QVRSystem->CreateDockedControl(7, &host, nullptr)->GetControl()->Parent(), nullptr);
}

TEST_F(Registry, ListenersOnBothSidesInEitherOrder) {
  for (bool frameFirst : {true, false}) {
    auto* form = new TfrmMain(nullptr);
    auto* frame = new TfraListener(nullptr);
    frame->AddListener(static_cast<IQVRLinkReverse*>(form));
    frame->AddListener(static_cast<IQVRLinkReverse*>(form));  // once only
    EXPECT_EQ(frame->Link()->Listeners().size(), 1u);
    EXPECT_EQ(form->Link()->ListensTo().size(), 1u);
    EXPECT_EQ(frame->GetListeners<TfrmMain>().size(), 1u);
    if (frameFirst) {
      FreeObject(frame);
      EXPECT_TRUE(form->Link()->ListensTo().empty());
      FreeObject(form);
    } else {
      FreeObject(form);
      EXPECT_TRUE(frame->Link()->Listeners().empty());
      FreeObject(frame);
    }
    EXPECT_EQ(QVRSystem->LinkCount(), 0);
  }
  TQVRLink lone(nullptr);
  EXPECT_THROW(lone.RemoveListenerReverse(&lone), Exception);
}

TEST_F(Registry, EnumerationReachesSupportersAndSurvivesFreeing) {
  TForm owner(nullptr);
  auto* a = CreateComponent<TfraListener>(&owner);
  CreateComponent<TfraPlain>(&owner);
  auto* b = CreateComponent<TfraListener>(&owner);
  auto* c = CreateComponent<TfraListener>(&owner);
  EXPECT_EQ(QVRSystem->Links<IDeviceListener>().size(), 3u);
  // The first listener frees the next one while the walk runs: the freed one
  // is skipped and the rest still reached, with no stale pointer used.
  a->onEvent = [&] { FreeObject(b); };
  QVRSystem->ForEachLink<IDeviceListener>([](IDeviceListener* l) { l->DeviceStatusChanged(true, false); });
  EXPECT_EQ(a->events, 1);
  EXPECT_EQ(c->events, 1);
  EXPECT_EQ(QVRSystem->LinkCount(), 3);
  EXPECT_EQ(QVRSystem->Links<IDeviceListener>().size(), 2u);
  a->onEvent = nullptr;
  // A listener that frees itself.
  c->onEvent = [&] { FreeObject(c); };
  QVRSystem->ForEachLink<IDeviceListener>([](IDeviceListener* l) { l->DeviceStatusChanged(false, false); });
  EXPECT_EQ(QVRSystem->Links<IDeviceListener>().size(), 1u);
}

TEST(RegistryTeardown, LinkLeakIsReportedNotThrown) {
  std::vector<std::string> faults;
  auto old = SetTeardownFaultHandler([&](const std::string& m) { faults.push_back(m); });
  TDebugCapture debug;
  InitializeQVRSystem();
  auto* leaked = new TfraPlain(nullptr);
  EXPECT_NO_THROW(FinalizeQVRSystem());
  // The frame outlives the registry: reported as well, without a throw.
  EXPECT_NO_THROW(FreeObject(leaked));
  SetTeardownFaultHandler(old);
  ASSERT_GE(faults.size(), 1u);
  EXPECT_EQ(faults[0], "System: Link leak: 1");
  EXPECT_EQ(debug.Lines().at(0), "System: Link leak: 1");
}

// ---------------------------------------------------------------------------

class Translation : public ::testing::Test {
 protected:
  TempDir dir;
  std::string file;
  std::string savedAll, savedLang;
  void SetUp() override {
    if (const char* v = std::getenv("LC_ALL")) savedAll = v;
    if (const char* v = std::getenv("LANG")) savedLang = v;
    file = (dir.Path() / "app.lang").string();
    WriteFileBytes(file, "[nlNL]\nTitle=Titel\nTfrmMain.Count=Aantal\nTfrmMain.x=iks\n[enGB]\nTitle=Title GB\n");
  }
  void TearDown() override {
    setenv("LC_ALL", savedAll.c_str(), 1);
    setenv("LANG", savedLang.c_str(), 1);
    FinalizeTranslations();
  }
};

TEST_F(Translation, LanguageFromLocaleAndFallback) {
  struct Case {
    const char* lcAll;
    const char* lang;
    const char* current;
  };
  for (Case cs : {Case{"en_GB.UTF-8", "nl_NL.UTF-8", "enGB"}, Case{"", "en_GB", "enGB"},
                  Case{"de_DE.UTF-8", "", "nlNL"}, Case{"C", "", "nlNL"}}) {
    SCOPED_TRACE(cs.lcAll);
    setenv("LC_ALL", cs.lcAll, 1);
    setenv("LANG", cs.lang, 1);
    TTranslations t(file);
    EXPECT_EQ(t.Current(), cs.current);
  }
  EXPECT_EQ(TTranslations::LanguageCodeFromLocale("nl_NL.UTF-8@euro"), "nlNL");
  TTranslations t(file);
  t.SetLanguage("ENGB");
  EXPECT_EQ(t.Translate("Title"), "Title GB");
  EXPECT_EQ(t.Translate("Missing"), "Missing");
  EXPECT_EQ(t.TranslateQualified("", "Title"), "Title GB");
  TTranslations none((dir.Path() / "absent.lang").string());
  EXPECT_EQ(none.Translate("Title"), "Title");
}

TEST_F(Translation, FormTextPass) {
  setenv("LC_ALL", "nl_NL.UTF-8", 1);
  InitializeTranslations(file);
  InitializeQVRSystem();
  {
    auto* form = TQVRSystem::CreateFramework<TfrmMain>(nullptr);
    EXPECT_EQ(form->Caption(), "TfrmMain.Title");  // no translation: the qualified key
    EXPECT_EQ(form->label->Caption(), "Aantal");
    EXPECT_EQ(form->label->Hint, "iks");
    EXPECT_EQ(form->plain->Caption(), "Count");
    EXPECT_EQ(form->empty->Caption(), "[]");
    FreeObject(form);
  }
  FinalizeQVRSystem();
  EXPECT_EQ(Translate("Title"), "Titel");
}

TEST_F(Translation, ThreadsTranslateWhileTheLanguageChanges) {
  TTranslations t(file);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&] {
      while (!stop) {
        std::string v = t.Translate("Title");
        if (v != "Titel" && v != "Title GB") ++bad;
      }
    });
  for (int i = 0; i < 2000; ++i) t.SetLanguage(i % 2 ? "nlNL" : "enGB");
  stop = true;
  for (auto& th : threads) th.join();
  EXPECT_EQ(bad, 0);
}

TEST_F(Translation, RecordModeWritesLookedUpKeys) {
  setenv("PX_TRANSLATION_RECORD", "1", 1);
  {
    TTranslations t(file);
    EXPECT_TRUE(t.RecordMode());
    t.SetLanguage("enGB");
    t.Translate("NewKey");
  }
  unsetenv("PX_TRANSLATION_RECORD");
  TTranslations again(file);
  again.SetLanguage("enGB");
  EXPECT_FALSE(again.RecordMode());
  TMemIniFile ini(file);
  EXPECT_EQ(ini.ReadString("enGB", "NewKey", "?"), "NewKey");
}

// ---------------------------------------------------------------------------

TEST(WindowLock, LocksOnlyOurWindowAndRestoresTheCursor) {
  TForm main(nullptr);
  Application->SetMainForm(&main);
  Screen->SetCursor(crDefault);
  {
    TLockWindowSaver guard(nullptr, crHourGlass);  // no window: our main form
    EXPECT_TRUE(guard.Locked());
    EXPECT_EQ(guard.Window(), &main);
    EXPECT_FALSE(main.Widget()->updatesEnabled());
    EXPECT_EQ(Screen->Cursor(), crHourGlass);
    Screen->SetCursor(crIBeam);  // changed meanwhile
    TLockWindowSaver second(&main, crDefault);  // only one lock at a time
    EXPECT_FALSE(second.Locked());
  }
  EXPECT_TRUE(main.Widget()->updatesEnabled());
  EXPECT_EQ(Screen->Cursor(), crDefault);
  Screen->SetCursor(crIBeam);
  { auto g = LockWindowUpdates(&main, crDefault); }
  EXPECT_EQ(Screen->Cursor(), crIBeam);  // crDefault leaves the cursor alone
  Screen->SetCursor(crDefault);
  Application->SetMainForm(nullptr);
}

}  // namespace
}  // namespace px
