#include "install/ui/install_wizard_app.h"

#include "common/ansi_text.h"
#include "common/core/log_line.h"
#include "common/core/wow64_hand_over.h"
#include "common/last_error.h"
#include "common/run_log.h"
#include "common/windows_version.h"
#include "common/wow64_hand_over.h"
#include "install/error_box.h"
#include "install/ui/install_wizard_frame.h"
#include "install/core/inf_template.h"
#include "install/core/install_wizard_texts.h"
#include "install/engine/install_folder.h"
#include "install/engine/unattended_install.h"
#include "res/version.h"

namespace korva {

namespace {

// The base name of the program file, without folder and extension.
std::string BaseName(const std::string& modulePath) {
  size_t start = modulePath.find_last_of("\\/:");
  std::string name = modulePath.substr(start == std::string::npos ? 0 : start + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

constexpr char kAnotherInstallRunsMessage[] =
    "Another KORVA Installation Wizard is running; this one did nothing.";
constexpr char kUnattendedInstallRunsMessage[] =
    "An unattended installation of the KORVA driver is running.\nTry again when it has ended.";

int PendingQuitCode() {
  MSG message;
  if (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    return static_cast<int>(message.wParam);
  }
  return -1;
}

}  // namespace

int InstallWizardApp::Run(const std::string& modulePath, const std::string& commandLine) {
  programName_ = BaseName(modulePath);
  // On 64-bit Windows only the 64-bit build can install drivers: a 32-bit one hands the whole
  // run over to it, the test for an open wizard included, and does nothing of its own.
  Wow64HandOver handOver = HandOverTo64BitBuild();
  if (handOver.outcome == Wow64HandOver::kHandedOver) return static_cast<int>(handOver.exitStatus);

  InstallOptions options;
  InstallStartAction action = ReadInstallOptions(commandLine, options);
  if (action == InstallStartAction::kUnattended || action == InstallStartAction::kBadUnattended) {
    return RunUnattended(modulePath, action, options, handOver);
  }
  if (handOver.outcome == Wow64HandOver::kFailed) {
    ShowErrorBox(No64BitBuildMessage(kInstallWizardName, "install drivers", handOver.path,
                                     handOver.error, handOver.waitFailed));
    return kExitNo64BitBuild;
  }
  if (action != InstallStartAction::kWizard) {
    messageBoxes_.Show(nullptr, BuildInstallUsageText(), kInstallUsageCaption,
                       MB_OK | MB_ICONINFORMATION);
    return action == InstallStartAction::kUsageAsked ? kInstallExitFinished
                                                     : kInstallExitBadCommandLine;
  }

  // One wizard at a time: a running one is recognised by its title alone.
  if (HWND running = FindWindowA(nullptr, kInstallWizardName)) {
    SetForegroundWindow(running);
    return kInstallExitFinished;
  }
  // The title is not seen across sessions, nor is there one while an unattended run installs;
  // both stage into the same install folder, so the wizard holds the same mutex as such a run.
  if (!TakeInstallMutex()) {
    ShowErrorBox(kUnattendedInstallRunsMessage);
    return kInstallExitAlreadyRunning;
  }

  paths_ = DeriveInstallPaths(modulePath, IsAnsiLeadByte);
  if (PrepareInstallFolder(paths_.installFolder, *folderSecurity_).error != 0) {
    ShowErrorBox("Unable to create directory " + paths_.installFolder + ".\n");
    return kInstallExitFailed;
  }

  isNt5OrLater_ = korva::IsNt5OrLater();

  InstallWizardFrame frame(*this);
  frame_ = &frame;
  INT_PTR result = frame.RunModal(nullptr);
  frame_ = nullptr;

  // The frame ends with the exit code (Finish, Cancel, a fatal install step). A quit request
  // from elsewhere ends it too; the dialog manager puts that back on the queue for us.
  int quitCode = PendingQuitCode();
  if (quitCode >= 0) return quitCode;
  if (result == kInstallExitCancelled || result == kInstallExitFailed) {
    return static_cast<int>(result);
  }
  return kInstallExitFinished;
}

int InstallWizardApp::RunUnattended(const std::string& modulePath, InstallStartAction action,
                                    const InstallOptions& options, const Wow64HandOver& handOver) {
  // Nothing here may wait for a person: no window, no box, neither ours nor the platform's
  // (a disk request, a signature prompt). What happened goes to the log and the exit status.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  deviceList_.MakeNonInteractive();
  RunLog log;
  log.UseStandardOutputIfRedirected();
  bool logOpened = options.logPath.empty() || log.OpenFile(options.logPath);
  if (!logOpened) {
    // Said where it can still be read: a redirected standard output.
    log.Write("error", {MessageAsLogField(LogNotOpenedMessage(options.logPath, log.OpenError(),
                                                              SystemErrorText(log.OpenError())))});
  }

  int status = kInstallExitFinished;
  if (handOver.outcome == Wow64HandOver::kFailed) {
    status = EndsEarly(log,
                       No64BitBuildMessage(kInstallWizardName, "install drivers", handOver.path,
                                           handOver.error, handOver.waitFailed),
                       kExitNo64BitBuild);
  } else if (action == InstallStartAction::kBadUnattended) {
    status = EndsEarly(log, kInstallInvalidArgumentMessage, kInstallExitBadCommandLine);
  } else if (AnotherInstallRuns()) {
    status = EndsEarly(log, kAnotherInstallRunsMessage, kInstallExitAlreadyRunning);
  }
  if (status != kInstallExitFinished) return status;

  log.Write("start", {RunLog::LocalTimeText(), "KORVAwiz " KORVAWIZ_VERSION_TEXT, "nogui=yes",
                      "hwid=" + options.hardwareId});
  paths_ = DeriveInstallPaths(modulePath, IsAnsiLeadByte);
  InstallFolderOutcome folder = PrepareInstallFolder(paths_.installFolder, *folderSecurity_);
  if (DWORD error = folder.error) {
    log.Write("failed",
              {"staging", paths_.installFolder, ErrorCodeText(error), SystemErrorText(error)});
    status = kInstallExitFailed;
  } else {
    if (!folder.accessListsKept) {
      log.Write("warning", {"install folder", paths_.installFolder, kNoAccessListsWarning});
    }
    status = InstallForHardwareId(options.hardwareId, paths_, stagedDriverFiles_, deviceList_,
                                  *signer_, log);
  }
  bool installed = status == kInstallExitFinished || status == kInstallExitRestartNeeded;
  // Only a run that did all it had to is marked for its missing log.
  if (!logOpened && status == kInstallExitFinished) status = kExitLogNotOpened;
  log.Write("end", {installed ? "installed=1" : "installed=0", "status=" + std::to_string(status)});
  return status;
}

int InstallWizardApp::EndsEarly(RunLog& log, const std::string& message, int status) {
  log.Write("error", {MessageAsLogField(message)});
  log.Write("end", {"installed=0", "status=" + std::to_string(status)});
  return status;
}

bool InstallWizardApp::AnotherInstallRuns() {
  // A wizard is found by its title, as when the wizard starts; unattended, nobody is there to
  // see it, so it stays where it is.
  if (FindWindowA(nullptr, kInstallWizardName)) return true;
  return !TakeInstallMutex();
}

bool InstallWizardApp::TakeInstallMutex() {
  mutex_.Reset(CreateMutexA(nullptr, FALSE, kInstallMutexName));
  if (!mutex_.Valid()) return false;
  // A mutex left by a run that died is ours now.
  DWORD wait = WaitForSingleObject(mutex_.Get(), 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) return true;
  mutex_.Reset();
  return false;
}

void InstallWizardApp::UseTrustStores(TrustStores& stores) {
  signer_ = std::make_unique<PackageSigner>(stores);
}

HWND InstallWizardApp::MainWindow() const { return frame_ ? frame_->Window() : nullptr; }

void InstallWizardApp::ShowErrorBox(const std::string& text) {
  korva::ShowErrorBox(messageBoxes_, MainWindow(), programName_, text);
}

}  // namespace korva
