#include "platform/gui/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QWidget>
#include <filesystem>
#include <functional>

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
// so the patterns always go there, whatever the description holds; a
// description that already ends with exactly these patterns in parentheses
// ("PDF files (*.pdf)") shows them once.
QStringList qtFilters(const std::vector<TFileFilter>& filters) {
  QStringList list;
  for (const TFileFilter& f : filters) {
    QString patterns;
    for (const std::string& p : f.Patterns) patterns += (patterns.isEmpty() ? "" : " ") + qs(p);
    QString description = qs(f.Description).trimmed();
    const qsizetype open = description.lastIndexOf('(');
    if (description.endsWith(')') && open >= 0) {
      QStringList shown = description.mid(open + 1, description.size() - open - 2)
                              .split(QRegularExpression("[;\\s]+"), Qt::SkipEmptyParts);
      if (shown.join(' ') == patterns) {
        list << description;
        continue;
      }
    }
    list << description + " (" + patterns + ")";
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

namespace {

TFileDialogRequest fileRequest(const std::string& title, const std::string& initialDir, const std::string& filter,
                               Integer filterIndex, TOpenOptions options, const std::string& fileName) {
  TFileDialogRequest request;
  request.Title = title;
  request.InitialDir = initialDir;
  request.Filters = ParseFileFilter(filter);
  request.FilterIndex = filterIndex;
  request.Options = options;
  request.FileName = fileName;
  return request;
}

// Asks (the user or the hook) until the answer is cancelled or taken. take
// may change the answer's name to the one to use; false sends the user back
// to the dialog, which starts from that name.
bool askForFile(TCommonDialog* dialog, TFileDialogRequest request,
                const std::function<bool(TFileDialogRequest& answer)>& take, std::string& fileName,
                Integer& filterIndex) {
  if (dialog->OnShow) dialog->OnShow(dialog);
  bool accepted = false;
  for (;;) {
    TFileDialogRequest answer = request;
    accepted = fileHook() ? fileHook()(answer) : runQtFileDialog(answer);
    if (!accepted || answer.FileName.empty()) {
      accepted = false;
      break;
    }
    if (!take(answer)) {
      request.FileName = answer.FileName;
      request.FilterIndex = answer.FilterIndex;
      continue;
    }
    fileName = answer.FileName;
    filterIndex = answer.FilterIndex;
    break;
  }
  if (dialog->OnClose) dialog->OnClose(dialog);
  return accepted;
}

}  // namespace

bool TSaveDialog::Execute() {
  return askForFile(
      this, fileRequest(Title, InitialDir, Filter, FilterIndex, Options, FileName),
      [this](TFileDialogRequest& answer) {
        std::filesystem::path chosen(answer.FileName);
        if (!DefaultExt.empty() && !chosen.filename().has_extension()) {
          std::string ext = DefaultExt.front() == '.' ? DefaultExt.substr(1) : DefaultExt;
          chosen += "." + ext;
        }
        answer.FileName = chosen.string();
        std::error_code ec;
        if (!Options.Contains(ofOverwritePrompt) || !std::filesystem::exists(chosen, ec)) return true;
        std::string text = Format("%s already exists.\nDo you want to replace it?", chosen.filename().string());
        return MessageDlg(text, mtWarning, {mbYes, mbNo}) == mrYes;
      },
      FileName, FilterIndex);
}

bool TOpenDialog::Execute() {
  TFileDialogRequest request = fileRequest(Title, InitialDir, Filter, FilterIndex, Options, FileName);
  request.ForOpen = true;
  return askForFile(
      this, request,
      [this](TFileDialogRequest& answer) {
        std::error_code ec;
        if (!Options.Contains(ofFileMustExist) || std::filesystem::is_regular_file(answer.FileName, ec)) return true;
        MessageDlg(Format("%s\nFile not found.\nPlease verify the correct file name was given.", answer.FileName),
                   mtWarning, {mbOK});
        return false;
      },
      FileName, FilterIndex);
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


namespace {
TInputQueryHook& inputQueryHook() {
  static TInputQueryHook h;
  return h;
}
}  // namespace

TInputQueryHook SetInputQueryHook(TInputQueryHook hook) {
  TInputQueryHook old = std::move(inputQueryHook());
  inputQueryHook() = std::move(hook);
  return old;
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  return InputQuery(caption, prompt, value, 0);
}

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value, Integer maxLength) {
  if (inputQueryHook()) {
    std::string answer = value;
    if (!inputQueryHook()(caption, prompt, answer)) return false;
    QString text = QString::fromStdString(answer);
    if (maxLength > 0 && text.size() > maxLength) text.truncate(maxLength);
    value = text.toStdString();
    return true;
  }
  QInputDialog dialog(dialogParent());
  dialog.setWindowTitle(QString::fromStdString(caption));
  dialog.setLabelText(QString::fromStdString(prompt));
  dialog.setTextValue(QString::fromStdString(value));
  if (maxLength > 0)
    if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(maxLength);
  if (dialog.exec() != QDialog::Accepted) return false;
  value = dialog.textValue().toStdString();
  return true;
}

}  // namespace px
