#pragma once
// The program started in-process on a fresh home for the users and history
// screens: message boxes, tones, beeps, modal dialogs and the input box are
// answered and recorded here; isql-fb reads and writes the program's
// database while the program lets go of it.
#include <QApplication>
#include <QWidget>

#include <cstdlib>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/Startup.h"
#include "app/UnitData.h"
#include "app/UnitGetPassword.h"
#include "app/UnitMain.h"
#include "app/UnitSettings.h"
#include "dbclient/IsqlPeer.h"
#include "device/scalesim/FakeHidSysfs.h"
#include "platform/core/DateTime.h"
#include "platform/core/Debug.h"
#include "platform/gui/Dialogs.h"
#include "platform/gui/Forms.h"
#include "support/TempDir.h"
#include "ui/framework/UnitQVRSystem.h"

namespace px::test {

class ScreensProgram {
 public:
  ScreensProgram() : tree_(home_.Dir().Path() / "devices") {
    oldDlg_ = SetMessageDlgHook([this](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
      boxes.push_back(text);
      return answer;
    });
    oldTone_ = SetToneSink([this](Cardinal f, Cardinal d) { tones.emplace_back(f, d); });
    oldModal_ = SetShowModalHook([this](TForm& form) -> TModalResult {
      if (auto* p = dynamic_cast<TfrmGetPassword*>(&form)) {
        ++passwordPrompts;
        p->edPassword->SetText(password);
        return mrOk;
      }
      return modal ? modal(form) : mrCancel;
    });
    oldInput_ = SetInputQueryHook([this](const std::string& caption, const std::string& prompt, std::string& v) {
      asked.push_back(caption + "|" + prompt);
      if (!input) return false;
      v = *input;
      return true;
    });
    std::filesystem::create_directories(home_.Dir().Path() / "devices" / "sys" / "class" / "hidraw");
    std::filesystem::create_directories(home_.Dir().Path() / "devices" / "dev");
    TProgramSetup setup;
    setup.ShippedFolder = std::string(PX_APP_DATA_DIR) + "/";
    setup.TranslationFile = setup.ShippedFolder + "Pondarix7350.lang";
    setup.SysfsRoot = tree_.SysfsRoot();
    setup.DevRoot = tree_.DevRoot();
    setup.WatchHotPlug = false;
    InitializeProgram(setup);
    SetBeepHandler([this] { ++beeps; });
    form = dynamic_cast<TfrmMain*>(CreateMainBlock(true));
    Application->ProcessMessages();
    dmDatabase->OpenDatabase();
  }
  ~ScreensProgram() {
    Application->DestroyComponents();
    FinalizeProgram();
    SetToneSink(oldTone_);
    SetMessageDlgHook(oldDlg_);
    SetShowModalHook(oldModal_);
    SetInputQueryHook(oldInput_);
  }

  // Shows frame id in the main window as its button does.
  template <typename T>
  T* Show(Integer id) {
    IQVRLink* link = QVRSystem->GetService<IMainFormFiller>()->ShowFrame(id);
    return link ? dynamic_cast<T*>(link->GetComponent()) : nullptr;
  }
  // Processes events until done answers true (at most thirty seconds).
  static bool PumpUntil(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
  }
  // Saves a grab of the main window when PX_SHOT_DIR names a folder (for
  // looking at the screens).
  void Shot(const std::string& name) const {
    if (const char* dir = std::getenv("PX_SHOT_DIR"))
      form->Widget()->grab().save(QString::fromStdString(std::string(dir) + "/" + name + ".png"));
  }
  std::string DatabaseFile() const { return dmDatabase->DB->DatabaseName(); }
  // Lets go of the database and runs the script through isql-fb.
  std::string Isql(const std::string& script) {
    dmDatabase->DB->SetConnected(false);
    return RunIsql(DatabaseFile(), "SET LIST ON;\n" + script, "ISO8859_1");
  }
  std::vector<std::string> IsqlLines(const std::string& script) { return ListLines(Isql(script)); }
  const FreshHome& Home() const { return home_; }

  TfrmMain* form = nullptr;
  std::vector<std::string> boxes;
  std::vector<std::pair<Cardinal, Cardinal>> tones;
  std::vector<std::string> asked;
  int beeps = 0;
  int passwordPrompts = 0;
  TModalResult answer = mrYes;
  std::string password;
  std::optional<std::string> input;
  std::function<TModalResult(TForm&)> modal;

 private:
  FreshHome home_;
  FakeHidSysfs tree_;
  TMessageDlgHook oldDlg_;
  TToneSink oldTone_;
  TShowModalHook oldModal_;
  TInputQueryHook oldInput_;
};

}  // namespace px::test
