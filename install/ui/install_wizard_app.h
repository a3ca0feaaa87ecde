// The Installation Wizard's application object: its start-up routine does the whole run.
#pragma once

#include <windows.h>

#include <string>

#include "common/message_box.h"
#include "common/save_as_dialog.h"
#include "install/engine/driver_staging.h"
#include "install/engine/usb_device_list.h"

namespace korva {

class InstallWizardFrame;

// Exit codes: 0 after Finish (and for a start that found the wizard open already), 1 after a
// fatal error of the install step or when the install folder can't be made, 2 after Cancel.
enum InstallExitCode {
  kInstallExitFinished = 0,
  kInstallExitFailed = 1,
  kInstallExitCancelled = 2
};

class InstallWizardApp {
 public:
  InstallWizardApp(UsbDeviceList& deviceList, MessageBoxSeam& messageBoxes, SaveAsSeam& saveAs)
      : deviceList(deviceList), messageBoxes(messageBoxes), saveAs(saveAs) {}

  // The start-up routine, given the full path of the program file. Returns the exit code.
  int Run(const std::string& modulePath);

  // An error box: owned by the frame while it exists, else captioned with the program's name.
  void ShowErrorBox(const std::string& text);

  // The frame while the wizard runs, else null.
  InstallWizardFrame* Frame() const { return frame_; }

  UsbDeviceList& deviceList;
  MessageBoxSeam& messageBoxes;
  SaveAsSeam& saveAs;

  std::string programFolder;
  std::string installFolder;
  std::string templatePath;
  std::string infPath;
  std::string alternateFolder;
  int isNt5OrLater = 0;
  StagedDriverFiles stagedDriverFiles;
  HWND mainWindow = nullptr;

 private:
  std::string programName_;
  InstallWizardFrame* frame_ = nullptr;
};

}  // namespace korva
