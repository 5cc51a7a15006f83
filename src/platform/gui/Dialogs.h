#pragma once
// Common dialogs: choosing a file to read or to save to, and choosing a
// printer.
//
// Both run Qt's dialogs. The behaviour around the dialog (filters, the
// default extension, the overwrite question, taking over the chosen printer)
// is ours, so that it is the same whatever dialog answers: tests replace the
// dialog itself through the hooks below, as they replace message boxes with
// SetMessageDlgHook.
#include <functional>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/gui/Printers.h"

namespace px {

enum TOpenOption {
  ofReadOnly,
  ofOverwritePrompt,
  ofHideReadOnly,
  ofNoChangeDir,
  ofShowHelp,
  ofNoValidate,
  ofAllowMultiSelect,
  ofExtensionDifferent,
  ofPathMustExist,
  ofFileMustExist,
  ofCreatePrompt,
  ofShareAware,
  ofNoReadOnlyReturn,
  ofNoTestFileCreate,
  ofNoNetworkButton,
  ofNoLongNames,
  ofOldStyleDialog,
  ofNoDereferenceLinks,
  ofEnableIncludeNotify,
  ofEnableSizing,
  ofDontAddToRecent,
  ofForceShowHidden
};
using TOpenOptions = TSet<TOpenOption>;

class TCommonDialog : public TComponent {
 public:
  explicit TCommonDialog(TComponent* owner) : TComponent(owner) {}
  // Shows the dialog and waits; true when the user confirmed it.
  virtual bool Execute() = 0;
  TNotifyEvent OnShow;
  TNotifyEvent OnClose;
};

// One entry of a file filter: "PDF files (*.pdf)" with patterns {"*.pdf"}.
struct TFileFilter {
  std::string Description;
  std::vector<std::string> Patterns;
};
// Splits "Description|*.a;*.b|Description|*.*" into its entries. A trailing
// description without patterns is dropped; empty patterns are skipped.
std::vector<TFileFilter> ParseFileFilter(const std::string& filter);

// What a file dialog asks and, once answered, what the user chose.
struct TFileDialogRequest {
  std::string Title;
  std::string InitialDir;
  std::vector<TFileFilter> Filters;
  // 1-based, as FilterIndex; the answer sets the filter the user chose.
  Integer FilterIndex = 1;
  TOpenOptions Options;
  // The proposed name; the answer sets the chosen path.
  std::string FileName;
  // Asks for an existing file to read rather than a name to write.
  bool ForOpen = false;
};
// Answers in place of the dialog: true for OK (with FileName set).
using TFileDialogHook = std::function<bool(TFileDialogRequest& request)>;
// Puts a hook in place (nullptr: the real dialog) and answers the old one.
TFileDialogHook SetFileDialogHook(TFileDialogHook hook);

// Asks for the name of a file to write. A chosen name without extension gets
// DefaultExt; with ofOverwritePrompt an existing file is only accepted after
// the user agrees to replace it, otherwise the dialog comes back.
class TSaveDialog : public TCommonDialog {
 public:
  explicit TSaveDialog(TComponent* owner) : TCommonDialog(owner) {}
  bool Execute() override;

  // "Description|patterns|..." pairs.
  std::string Filter;
  // 1-based index of the filter shown first; set to the chosen one.
  Integer FilterIndex = 1;
  // Without leading dot ("pdf").
  std::string DefaultExt;
  std::string FileName;
  std::string InitialDir;
  std::string Title;
  TOpenOptions Options{ofHideReadOnly, ofEnableSizing};
};

// Asks for a file to read. With ofFileMustExist a name that names no file
// is refused with a message and the dialog comes back.
class TOpenDialog : public TCommonDialog {
 public:
  explicit TOpenDialog(TComponent* owner) : TCommonDialog(owner) {}
  bool Execute() override;

  std::string Filter;
  Integer FilterIndex = 1;
  std::string FileName;
  std::string InitialDir;
  std::string Title;
  TOpenOptions Options{ofHideReadOnly, ofEnableSizing};
};

// Answers in place of the printer dialog: may change the printer's settings,
// true for OK.
using TPrinterDialogHook = std::function<bool(TPrinter& printer)>;
TPrinterDialogHook SetPrinterDialogHook(TPrinterDialogHook hook);

// Lets the user choose the printer and its settings for the current
// printer (Printer()); what is chosen stays with it for the next document.
class TPrinterSetupDialog : public TCommonDialog {
 public:
  explicit TPrinterSetupDialog(TComponent* owner) : TCommonDialog(owner) {}
  bool Execute() override;
};

// Asks for one line of text in a box with the caption, the prompt above the
// edit and OK and Cancel. Value is what the edit starts with and, on OK,
// what the user typed; on Cancel it stays as it was. True for OK.
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
// The same with an edit that takes at most maxLength characters (0: no
// limit); an answer of the hook is cut to that length as the edit would.
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value, Integer maxLength);
// Answers in place of the box: sees the caption and prompt, may set the
// value, true for OK.
using TInputQueryHook =
    std::function<bool(const std::string& caption, const std::string& prompt, std::string& value)>;
TInputQueryHook SetInputQueryHook(TInputQueryHook hook);

}  // namespace px
