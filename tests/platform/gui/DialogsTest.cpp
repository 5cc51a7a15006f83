#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QSpinBox>
#include <QTimer>

#include "platform/gui/Dialogs.h"
#include "platform/gui/Forms.h"
#include "support/TempDir.h"

namespace px {
namespace {

using test::TempDir;
using test::WriteFileBytes;

const char* const kReportFilter = "Adobe PDF bestanden (*.pdf)|*.pdf|Alle bestanden (*.*)|*.*";

// Restores the dialog hooks however the test ends.
struct Hooks {
  TFileDialogHook oldFile;
  TMessageDlgHook oldMsg;
  TPrinterDialogHook oldPrinter;
  Hooks() : oldFile(SetFileDialogHook(nullptr)), oldMsg(SetMessageDlgHook(nullptr)), oldPrinter(SetPrinterDialogHook(nullptr)) {}
  ~Hooks() {
    SetFileDialogHook(oldFile);
    SetMessageDlgHook(oldMsg);
    SetPrinterDialogHook(oldPrinter);
  }
};

// Runs f on the modal dialog of type D once it is up. Dialogs run their own
// loop, so this is armed before Execute; keep the answer alive until then.
template <typename D, typename F>
std::unique_ptr<QTimer> whenDialogShows(F f) {
  auto timer = std::make_unique<QTimer>();
  timer->setInterval(5);
  QTimer* t = timer.get();
  QObject::connect(t, &QTimer::timeout, [t, f] {
    if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
      t->stop();
      f(d);
    }
  });
  t->start();
  return timer;
}

TEST(Dialogs, ParseFileFilter) {
  struct Case {
    const char* filter;
    std::vector<std::pair<std::string, std::vector<std::string>>> expected;
  };
  const Case cases[] = {
      {kReportFilter, {{"Adobe PDF bestanden (*.pdf)", {"*.pdf"}}, {"Alle bestanden (*.*)", {"*.*"}}}},
      {"Text|*.txt; *.csv ;", {{"Text", {"*.txt", "*.csv"}}}},
      {"", {}},
      {"Only a description", {}},
      {"A|*.a|Dangling", {{"A", {"*.a"}}}},
      {"Empty||B|*.b", {{"B", {"*.b"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    std::vector<TFileFilter> got = ParseFileFilter(c.filter);
    ASSERT_EQ(got.size(), c.expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].Description, c.expected[i].first);
      EXPECT_EQ(got[i].Patterns, c.expected[i].second);
    }
  }
}

TEST(Dialogs, SaveDialogAsksWithItsSettingsAndAddsTheDefaultExtension) {
  Hooks hooks;
  TempDir dir;
  TComponent owner(nullptr);
  auto* dlg = CreateComponent<TSaveDialog>(&owner);
  dlg->Filter = kReportFilter;
  dlg->DefaultExt = "pdf";
  dlg->Title = "Rapport opslaan als";
  dlg->FileName = "telling.pdf";
  dlg->InitialDir = dir.Path().string();

  TFileDialogRequest seen;
  std::string answer;
  SetFileDialogHook([&](TFileDialogRequest& r) {
    seen = r;
    if (answer.empty()) return false;
    r.FileName = answer;
    r.FilterIndex = 2;
    return true;
  });

  // Cancel leaves everything as it was.
  EXPECT_FALSE(dlg->Execute());
  EXPECT_EQ(seen.Title, "Rapport opslaan als");
  EXPECT_EQ(seen.FileName, "telling.pdf");
  EXPECT_EQ(seen.InitialDir, dir.Path().string());
  ASSERT_EQ(seen.Filters.size(), 2u);
  EXPECT_EQ(seen.FilterIndex, 1);
  EXPECT_EQ(dlg->FileName, "telling.pdf");

  struct Case {
    std::string typed, stored;
  };
  for (const Case& c : {Case{"report", "report.pdf"}, Case{"report.PDF", "report.PDF"}, Case{"notes.txt", "notes.txt"},
                        Case{"v1.2/report", "v1.2/report.pdf"}}) {
    answer = dir.File(c.typed);
    EXPECT_TRUE(dlg->Execute());
    EXPECT_EQ(dlg->FileName, dir.File(c.stored));
    EXPECT_EQ(dlg->FilterIndex, 2);
  }
}

TEST(Dialogs, OverwritePromptReturnsToTheDialogUntilTheUserAgrees) {
  Hooks hooks;
  TempDir dir;
  WriteFileBytes(dir.File("report.pdf"), "123");
  TComponent owner(nullptr);
  auto* dlg = CreateComponent<TSaveDialog>(&owner);
  dlg->DefaultExt = "pdf";
  dlg->Options = {ofOverwritePrompt, ofHideReadOnly, ofEnableSizing};

  std::vector<std::string> proposed;
  std::vector<std::string> answers;
  SetFileDialogHook([&](TFileDialogRequest& r) {
    proposed.push_back(r.FileName);
    if (proposed.size() > answers.size()) return false;
    r.FileName = answers[proposed.size() - 1];
    return true;
  });
  std::vector<std::string> questions;
  TModalResult reply = mrNo;
  SetMessageDlgHook([&](const std::string& text, TMsgDlgType, TMsgDlgButtons buttons) {
    questions.push_back(text);
    EXPECT_TRUE(buttons.Contains(mbYes) && buttons.Contains(mbNo));
    return reply;
  });

  // "No" brings the dialog back with the refused name; a new name that does
  // not exist is taken without asking.
  answers = {dir.File("report"), dir.File("other")};
  EXPECT_TRUE(dlg->Execute());
  EXPECT_EQ(dlg->FileName, dir.File("other.pdf"));
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], "report.pdf already exists.\nDo you want to replace it?");
  ASSERT_EQ(proposed.size(), 2u);
  EXPECT_EQ(proposed[1], dir.File("report.pdf"));

  // "No" and then Cancel: nothing chosen, the old name stays.
  proposed.clear();
  questions.clear();
  answers = {dir.File("report.pdf")};
  EXPECT_FALSE(dlg->Execute());
  EXPECT_EQ(dlg->FileName, dir.File("other.pdf"));
  EXPECT_EQ(questions.size(), 1u);

  // "Yes" takes the existing file.
  proposed.clear();
  reply = mrYes;
  EXPECT_TRUE(dlg->Execute());
  EXPECT_EQ(dlg->FileName, dir.File("report.pdf"));

  // Without the option nobody is asked.
  proposed.clear();
  questions.clear();
  dlg->Options = {};
  EXPECT_TRUE(dlg->Execute());
  EXPECT_TRUE(questions.empty());
}

TEST(Dialogs, SaveDialogOverQtFileDialog) {
  Hooks hooks;
  TempDir dir;
  TComponent owner(nullptr);
  auto* dlg = CreateComponent<TSaveDialog>(&owner);
  dlg->Filter = kReportFilter;
  dlg->FilterIndex = 2;
  dlg->DefaultExt = "pdf";
  dlg->Title = "Rapport opslaan als";
  dlg->FileName = dir.File("telling.pdf");

  QStringList filters;
  QString selectedFilter, title, directory;
  auto answer1 = whenDialogShows<QFileDialog>([&](QFileDialog* d) {
    filters = d->nameFilters();
    selectedFilter = d->selectedNameFilter();
    title = d->windowTitle();
    directory = d->directory().absolutePath();
    d->selectNameFilter(filters.value(0));
    d->selectFile(QString::fromStdString(dir.File("chosen")));
    static_cast<QDialog*>(d)->accept();  // QFileDialog's own accept, which checks the name
  });
  ASSERT_TRUE(dlg->Execute());
  EXPECT_EQ(dlg->FileName, dir.File("chosen.pdf"));
  EXPECT_EQ(dlg->FilterIndex, 1);
  EXPECT_EQ(title, "Rapport opslaan als");
  EXPECT_EQ(directory.toStdString(), std::filesystem::canonical(dir.Path()).string());
  ASSERT_EQ(filters.size(), 2);
  // Patterns the description already shows are not shown again.
  EXPECT_EQ(filters[0], "Adobe PDF bestanden (*.pdf)");
  EXPECT_EQ(filters[1], "Alle bestanden (*.*)");
  EXPECT_EQ(selectedFilter, filters[1]);

  auto answer2 = whenDialogShows<QFileDialog>([](QFileDialog* d) { d->reject(); });
  EXPECT_FALSE(dlg->Execute());
  EXPECT_EQ(dlg->FileName, dir.File("chosen.pdf"));
}

TEST(Dialogs, PrinterSetupDialog) {
  Hooks hooks;
  TComponent owner(nullptr);
  auto* dlg = CreateComponent<TPrinterSetupDialog>(&owner);
  int shown = 0, closed = 0;
  dlg->OnShow = [&](TObject*) { ++shown; };
  dlg->OnClose = [&](TObject*) { ++closed; };

  // Qt's dialog: OK takes over the copies chosen in it; Cancel changes nothing.
  Printer()->Copies = 1;
  auto answer3 = whenDialogShows<QPrintDialog>([](QPrintDialog* d) {
    auto* copies = d->findChild<QSpinBox*>("copies");
    ASSERT_NE(copies, nullptr);
    copies->setValue(2);
    d->accept();
  });
  EXPECT_TRUE(dlg->Execute());
  EXPECT_EQ(Printer()->Copies, 2);
  auto answer4 = whenDialogShows<QPrintDialog>([](QPrintDialog* d) { d->reject(); });
  EXPECT_FALSE(dlg->Execute());
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(closed, 2);

  // A hook answers in its place and sees the current printer.
  TPrinter* seen = nullptr;
  SetPrinterDialogHook([&](TPrinter& p) {
    seen = &p;
    return false;
  });
  EXPECT_FALSE(dlg->Execute());
  EXPECT_EQ(seen, Printer());

  // Not while a document is being printed.
  TempDir dir;
  Printer()->SetOutputFileName(dir.File("busy.pdf"));
  Printer()->BeginDoc();
  EXPECT_THROW(dlg->Execute(), EPrinter);
  Printer()->Abort();
  Printer()->SetOutputFileName("");
  Printer()->Copies = 1;
}


// The real box shows caption, prompt and the starting text; what is typed
// comes back on OK, Cancel leaves the value alone. The hook answers instead
// of the box and sees the same caption and prompt.
TEST(Dialogs, InputQueryBoxAndHook) {
  Hooks hooks;
  TInputQueryHook oldInput = SetInputQueryHook(nullptr);
  std::string value = "start";
  {
    auto typing = whenDialogShows<QInputDialog>([](QInputDialog* d) {
      EXPECT_EQ(d->windowTitle().toStdString(), "Give a name");
      EXPECT_EQ(d->labelText().toStdString(), "Name");
      EXPECT_EQ(d->textValue().toStdString(), "start");
      d->findChild<QLineEdit*>()->setText("Jan");
      d->accept();
    });
    EXPECT_TRUE(InputQuery("Give a name", "Name", value));
    EXPECT_EQ(value, "Jan");
  }
  {
    auto cancelling = whenDialogShows<QInputDialog>([](QInputDialog* d) {
      d->findChild<QLineEdit*>()->setText("Piet");
      d->reject();
    });
    EXPECT_FALSE(InputQuery("Give a name", "Name", value));
    EXPECT_EQ(value, "Jan");
  }
  std::vector<std::string> asked;
  SetInputQueryHook([&](const std::string& caption, const std::string& prompt, std::string& v) {
    asked = {caption, prompt, v};
    v = "typed";
    return caption == "ok";
  });
  EXPECT_FALSE(InputQuery("cancel", "p", value));
  EXPECT_EQ(value, "Jan");  // a cancelled answer changes nothing
  EXPECT_TRUE(InputQuery("ok", "p", value));
  EXPECT_EQ(value, "typed");
  EXPECT_EQ(asked, (std::vector<std::string>{"ok", "p", "Jan"}));
  SetInputQueryHook(oldInput);
}

}  // namespace
}  // namespace px
