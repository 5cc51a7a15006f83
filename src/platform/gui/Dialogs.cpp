#include "platform/gui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QWidget>
#include <filesystem>

#include "platform/core/Format.h"
#include "platform/gui/Forms.h"

namespace px {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

TFileDialogHook& fileHook() {
  static TFileDialogHook h;
  return h;
}

TPrinterDialogHook& printerHook() {
  static TPrinterDialogHook h;
  return h;
}

QWidget* dialogParent() {
  if (QWidget* w = QApplication::activeWindow()) return w;
  return Application && Application->MainForm() ? Application->MainForm()->Widget() : nullptr;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t p = s.find(sep, start);
    parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return parts;
}

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// Qt reads the patterns of a name filter from its last parenthesised group,
// so the patterns always go there, whatever the description holds.
QStringList qtFilters(const std::vector<TFileFilter>& filters) {
  QStringList list;
  for (const TFileFilter& f : filters) {
    QString patterns;
    for (const std::string& p : f.Patterns) patterns += (patterns.isEmpty() ? "" : " ") + qs(p);
    list << qs(f.Description) + " (" + patterns + ")";
  }
  return list;
}

bool runQtFileDialog(TFileDialogRequest& r) {
  QFileDialog dialog(dialogParent(), qs(r.Title));
  if (r.ForOpen) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(r.Options.Contains(ofFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The overwrite question is asked by TSaveDialog itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  }
  const QStringList filters = qtFilters(r.Filters);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (r.FilterIndex >= 1 && r.FilterIndex <= filters.size()) dialog.selectNameFilter(filters[r.FilterIndex - 1]);
  }
  std::filesystem::path proposed(r.FileName);
  std::string dir = r.InitialDir;
  if (proposed.has_parent_path()) dir = proposed.parent_path().string();
  if (!dir.empty()) dialog.setDirectory(qs(dir));
  if (!r.FileName.empty()) dialog.selectFile(qs(proposed.filename().string()));
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  r.FileName = chosen.front().toStdString();
  const qsizetype index = filters.indexOf(dialog.selectedNameFilter());
  if (index >= 0) r.FilterIndex = static_cast<Integer>(index) + 1;
  return true;
}

}  // namespace

std::vector<TFileFilter> ParseFileFilter(const std::string& filter) {
  std::vector<TFileFilter> result;
  if (filter.empty()) return result;
  std::vector<std::string> parts = split(filter, '|');
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    TFileFilter f;
    f.Description = parts[i];
    for (const std::string& p : split(parts[i + 1], ';'))
      if (std::string t = trim(p); !t.empty()) f.Patterns.push_back(t);
    if (!f.Patterns.empty()) result.push_back(std::move(f));
  }
  return result;
}

TFileDialogHook SetFileDialogHook(TFileDialogHook hook) {
  TFileDialogHook old = std::move(fileHook());
  fileHook() = std::move(hook);
  return old;
}

bool TSaveDialog::Execute() {
  TFileDialogRequest request;
  request.Title = Title;
  request.InitialDir = InitialDir;
  request.Filters = ParseFileFilter(Filter);
  request.FilterIndex = FilterIndex;
  request.Options = Options;
  request.FileName = FileName;
  if (OnShow) OnShow(this);
  bool accepted = false;
  for (;;) {
    TFileDialogRequest answer = request;
    accepted = fileHook() ? fileHook()(answer) : runQtFileDialog(answer);
    if (!accepted || answer.FileName.empty()) {
      accepted = false;
      break;
    }
    std::filesystem::path chosen(answer.FileName);
    if (!DefaultExt.empty() && !chosen.filename().has_extension()) {
      std::string ext = DefaultExt.front() == '.' ? DefaultExt.substr(1) : DefaultExt;
      chosen += "." + ext;
    }
    std::error_code ec;
    if (Options.Contains(ofOverwritePrompt) && std::filesystem::exists(chosen, ec)) {
      std::string text = Format("%s already exists.\nDo you want to replace it?", chosen.filename().string());
      if (MessageDlg(text, mtWarning, {mbYes, mbNo}) != mrYes) {
        // Back to the dialog, which starts from the name refused.
        request.FileName = chosen.string();
        request.FilterIndex = answer.FilterIndex;
        continue;
      }
    }
    FileName = chosen.string();
    FilterIndex = answer.FilterIndex;
    break;
  }
  if (OnClose) OnClose(this);
  return accepted;
}

bool TOpenDialog::Execute() {
  TFileDialogRequest request;
  request.Title = Title;
  request.InitialDir = InitialDir;
  request.Filters = ParseFileFilter(Filter);
  request.FilterIndex = FilterIndex;
  request.Options = Options;
  request.FileName = FileName;
  request.ForOpen = true;
  if (OnShow) OnShow(this);
  bool accepted = false;
  for (;;) {
    TFileDialogRequest answer = request;
    accepted = fileHook() ? fileHook()(answer) : runQtFileDialog(answer);
    if (!accepted || answer.FileName.empty()) {
      accepted = false;
      break;
    }
    std::error_code ec;
    if (Options.Contains(ofFileMustExist) && !std::filesystem::is_regular_file(answer.FileName, ec)) {
      MessageDlg(Format("%s\nFile not found.\nPlease verify the correct file name was given.", answer.FileName),
                 mtWarning, {mbOK});
      request.FileName = answer.FileName;
      request.FilterIndex = answer.FilterIndex;
      continue;
    }
    FileName = answer.FileName;
    FilterIndex = answer.FilterIndex;
    break;
  }
  if (OnClose) OnClose(this);
  return accepted;
}

TPrinterDialogHook SetPrinterDialogHook(TPrinterDialogHook hook) {
  TPrinterDialogHook old = std::move(printerHook());
  printerHook() = std::move(hook);
  return old;
}

bool TPrinterSetupDialog::Execute() {
  TPrinter& printer = *Printer();
  if (printer.Printing()) throw EPrinter("Printing in progress");
  if (OnShow) OnShow(this);
  bool accepted;
  if (printerHook()) {
    accepted = printerHook()(printer);
  } else {
    printer.QtPrinter()->setCopyCount(std::max<Integer>(1, printer.Copies));
    QPrintDialog dialog(printer.QtPrinter(), dialogParent());
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    accepted = dialog.exec() == QDialog::Accepted;
    if (accepted) printer.DeviceSettingsChanged();
  }
  if (OnClose) OnClose(this);
  return accepted;
}

}  // namespace px
