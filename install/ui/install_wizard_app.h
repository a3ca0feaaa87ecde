// The Installation Wizard's application object: its start-up routine does the whole run.
#pragma once

#include <windows.h>

#include <string>

#include "common/message_box.h"
#include "common/save_as_dialog.h"
#include "install/engine/driver_staging.h"
#include "install/core/install_paths.h"
#include "install/engine/usb_device_list.h"

namespace korva {

class InstallWizardFrame;

// Exit codes: 0 after Finish (and for a start that found the wizard open already), 1 after a
// fatal error of the install step or when the install folder can't be made, 2 after Cancel;
// kExitNo64BitBuild (5) when a 32-bit program on 64-bit Windows has no 64-bit build to run.
enum InstallExitCode {
  kInstallExitFinished = 0,
  kInstallExitFailed = 1,
  kInstallExitCancelled = 2
};

class InstallWizardApp {
 public:
  InstallWizardApp(UsbDeviceList& deviceList, MessageBoxSeam& messageBoxes, SaveAsSeam& saveAs)
      : deviceList_(deviceList), messageBoxes_(messageBoxes), saveAs_(saveAs) {}
  InstallWizardApp(const InstallWizardApp&) = delete;
  InstallWizardApp& operator=(const InstallWizardApp&) = delete;

  // The start-up routine, given the full path of the program file. Returns the exit code.
  int Run(const std::string& modulePath);

  // An error box: owned by the frame while it exists, else captioned with the program's name.
  void ShowErrorBox(const std::string& text);

  // The frame while the wizard runs, else null; its window is the program's main window.
  InstallWizardFrame* Frame() const { return frame_; }
  HWND MainWindow() const;

  // The folders and paths worked out at start-up.
  const InstallPaths& Paths() const { return paths_; }
  bool IsNt5OrLater() const { return isNt5OrLater_; }
  // The binaries the install step staged, for the finish page's "Save INF file".
  StagedDriverFiles& StagedFiles() { return stagedDriverFiles_; }
  const StagedDriverFiles& StagedFiles() const { return stagedDriverFiles_; }
  UsbDeviceList& DeviceList() { return deviceList_; }
  SaveAsSeam& SaveAs() { return saveAs_; }

 private:
  UsbDeviceList& deviceList_;
  MessageBoxSeam& messageBoxes_;
  SaveAsSeam& saveAs_;
  std::string programName_;
  InstallPaths paths_;
  bool isNt5OrLater_ = false;
  StagedDriverFiles stagedDriverFiles_;
  InstallWizardFrame* frame_ = nullptr;
};

}  // namespace korva
