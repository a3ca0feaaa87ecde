// The Installation Wizard's application object: its start-up routine does the whole run.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/instance_lock.h"
#include "common/kit_trust.h"
#include "common/message_box.h"
#include "common/program_path.h"
#include "common/run_log.h"
#include "common/save_as_dialog.h"
#include "common/wow64_hand_over.h"
#include "common/unique_resource.h"
#include "install/core/install_command_line.h"
#include "install/core/install_paths.h"
#include "install/engine/driver_staging.h"
#include "install/engine/install_folder.h"
#include "install/engine/package_signing.h"
#include "install/engine/usb_device_list.h"

namespace korva {

class InstallWizardFrame;

// Held by an unattended run and by the wizard, so that neither starts while the other stages and
// installs (an unattended run has no window to be found). In the global namespace: a run from a
// deployment service (session 0) and one in a user's session stage into the same folders.
constexpr char kInstallMutexName[] = "Global\\KORVA_InstallWizard_GlobalMutex";
// The lock in the administrators' own namespace (common/instance_lock.h).
constexpr char kInstallPrivateLockName[] = "KORVA_InstallWizard";

class InstallWizardApp {
 public:
  InstallWizardApp(UsbDeviceList& deviceList, MessageBoxSeam& messageBoxes, SaveAsSeam& saveAs)
      : deviceList_(deviceList), messageBoxes_(messageBoxes), saveAs_(saveAs) {}
  InstallWizardApp(const InstallWizardApp&) = delete;
  InstallWizardApp& operator=(const InstallWizardApp&) = delete;

  // The start-up routine, given the full path of the program file and the arguments part of
  // the command line. Returns the exit code (an InstallExitCode, or one of the codes both
  // programs share).
  int Run(const ProgramPath& program, const std::string& commandLine = "");

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
  // Signs each package the install step makes; the system's certificate stores unless a test
  // gives others.
  PackageSigner& Signer() { return *signer_; }
  void UseTrustStores(TrustStores& stores);
  // How the install folder is made the administrators' own; a test gives one of its own.
  void UseInstallFolderSecurity(InstallFolderSecurity& security) { folderSecurity_ = &security; }
  // Who may change the kit; a test gives the access lists Windows gives.
  KitTrust& Trust() { return *trust_; }
  void UseKitTrust(KitTrust& trust) { trust_ = &trust; }
  // The program's own file, checked with the kit.
  const std::string& ProgramFile() const { return programFile_; }
  // The install folder as start-up prepared it, held while the program runs.
  const InstallFolder& Folder() const { return installFolder_; }
  SaveAsSeam& SaveAs() { return saveAs_; }

 private:
  // Why a run ends before it starts: no exact path, no usable 64-bit build.
  struct EarlyEnd {
    int status = 0;  // 0: the run goes on
    std::string message;
    KitTrustProblem problem;  // a part of the kit that others can change, when `untrusted`
    bool untrusted = false;
  };
  static EarlyEnd Early(int status, const std::string& message) {
    EarlyEnd early;
    early.status = status;
    early.message = message;
    return early;
  }
  // The installation without a window, for a command line read as unattended (or a bad one).
  int RunUnattended(const ProgramPath& program, InstallStartAction action,
                    const InstallOptions& options, const EarlyEnd& early);
  // An unattended run that ends before it starts: its reason and its end in the log.
  int EndsEarly(RunLog& log, const EarlyEnd& early);
  // Whether the kit passes (common/kit_trust.h); the log and the alternate folder's warning
  // for an unattended run (`log`), else the box.
  bool KitTrusted(RunLog* log);
  // Whether another KORVAwiz runs: a wizard's window, or an unattended run's mutex.
  bool AnotherInstallRuns();
  // Takes the mutex of the runs that install, held until the process ends; false when another
  // run holds it (or the lock could not be taken at all).
  bool TakeInstallMutex();
  // The message for a lock not taken: `anotherRuns`, unless the lock could not be taken at all.
  std::string LockMessage(const std::string& anotherRuns) const;

  UsbDeviceList& deviceList_;
  MessageBoxSeam& messageBoxes_;
  SaveAsSeam& saveAs_;
  std::string programName_;
  InstallPaths paths_;
  bool isNt5OrLater_ = false;
  StagedDriverFiles stagedDriverFiles_;
  SystemTrustStores systemTrustStores_;
  std::unique_ptr<PackageSigner> signer_ = std::make_unique<PackageSigner>(systemTrustStores_);
  InstallFolderSecurity systemFolderSecurity_;
  InstallFolderSecurity* folderSecurity_ = &systemFolderSecurity_;
  KitTrust systemTrust_;
  KitTrust* trust_ = &systemTrust_;
  std::string programFile_;
  InstallFolder installFolder_;
  InstallWizardFrame* frame_ = nullptr;
  InstanceLock lock_;  // held until the process ends
};

}  // namespace korva
