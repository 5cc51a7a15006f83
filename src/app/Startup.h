#pragma once
// The program's start-up: the units' initializations in their fixed order,
// the main block, and the finalizations in reverse order. The executable and
// `pxtool app tree` run the same sequence.
#include <string>

#include "platform/gui/Forms.h"
#include "platform/hid/HidDevice.h"

namespace px {

// Where the devices come from. The defaults are the real ones; the
// executable's --simulated-scale option brings a private device tree and the
// simulator's opener, --receipt-port the port of every receipt capture.
struct TProgramSetup {
  std::string SysfsRoot = "/sys";
  std::string DevRoot = "/dev";
  bool WatchHotPlug = true;
  THidDeviceOpener Opener = OpenHidrawDevice;
  std::string ReceiptPort;
  // The translation file and the folder of the shipped dataset files; empty
  // means beside the executable.
  std::string TranslationFile;
  std::string ShippedFolder;
};

// The folder of the running executable, ending with "/".
std::string ExecutableFolder();

// Runs every unit initialization. On failure the units already made are
// finalized again before the exception leaves.
void InitializeProgram(const TProgramSetup& setup = {});
// Undoes InitializeProgram in reverse order; safe to call after a failed or
// partial start.
void FinalizeProgram();

// The main block up to the message loop: the application title, the
// main-form filler and the main window (shown unless show is false).
TForm* CreateMainBlock(bool show = true);
// The main block: CreateMainBlock, then the message loop until the program
// ends; the forms are freed before it returns. Returns the exit code.
int RunMainBlock();

}  // namespace px
