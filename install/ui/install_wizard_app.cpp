#include "install/ui/install_wizard_app.h"

#include "common/ansi_text.h"
#include "common/core/kit_refusals.h"
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
#include "install/engine/kit_check.h"
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

int InstallWizardApp::Run(const ProgramPath& program, const std::string& commandLine) {
  const std::string& modulePath = program.ansi;
  programName_ = BaseName(modulePath);
  programFile_ = modulePath;
  InstallOptions options;
  InstallStartAction action = ReadInstallOptions(commandLine, options);
  const bool unattended =
      action == InstallStartAction::kUnattended || action == InstallStartAction::kBadUnattended;

  // A path that the ANSI calls can only give as a look-alike would take the kit (and the 64-bit
  // build) from a folder of that other name, which anyone may have made.
  EarlyEnd early;
  if (!program.exact) {
    early = Early(kExitProgramPathNotAnsi,
                  ProgramPathNotAnsiMessage("The KORVA Installation Wizard", program.Folder()));
  } else {
    // On 64-bit Windows only the 64-bit build can install drivers: a 32-bit one hands the whole
    // run over to it, the test for an open wizard included, and does nothing of its own.
    Wow64HandOver handOver = HandOverTo64BitBuild();
    if (handOver.outcome == Wow64HandOver::kHandedOver) {
      return static_cast<int>(handOver.exitStatus);
    }
    if (handOver.outcome == Wow64HandOver::kFailed) {
      early = Early(kExitNo64BitBuild,
                    No64BitBuildMessage(kInstallWizardName, "install drivers", handOver.path,
                                        handOver.error, handOver.waitFailed));
    } else if (handOver.outcome == Wow64HandOver::kNotTrusted) {
      early = Early(kExitKitNotTrusted, KitNotTrustedMessage(handOver.problem));
      early.problem = handOver.problem;
      early.untrusted = true;
    }
  }

  if (unattended) return RunUnattended(program, action, options, early);
  if (early.status != 0) {
    ShowErrorBox(early.message);
    return early.status;
  }
  if (action != InstallStartAction::kWizard) {
    messageBoxes_.Show(nullptr, BuildInstallUsageText(), kInstallUsageCaption,
                       MB_OK | MB_ICONINFORMATION);
    return action == InstallStartAction::kUsageAsked ? kInstallExitFinished
                                                     : kInstallExitBadCommandLine;
  }

  // One wizard at a time: a running one is recognised by its title, shown by a process of this
  // program's own file (any program can show a window of that title).
  if (HWND running = FindWindowOfThisProgram(kInstallWizardName)) {
    SetForegroundWindow(running);
    return kInstallExitFinished;
  }
  // The title is not seen across sessions, nor is there one while an unattended run installs;
  // both stage into the same install folder, so the wizard holds the same lock as such a run.
  if (!TakeInstallMutex()) {
    ShowErrorBox(LockMessage(kUnattendedInstallRunsMessage));
    return kInstallExitAlreadyRunning;
  }

  paths_ = DeriveInstallPaths(modulePath, IsAnsiLeadByte);
  // Nothing of a kit that others than administrators can change is used, the install folder in
  // it included.
  if (!KitTrusted(nullptr)) return kExitKitNotTrusted;
  if (installFolder_.Prepare(paths_.installFolder, *folderSecurity_, *trust_).error != 0) {
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
  if (result == kInstallExitCancelled || result == kInstallExitFailed ||
      result == kExitKitNotTrusted) {
    return static_cast<int>(result);
  }
  return kInstallExitFinished;
}

int InstallWizardApp::RunUnattended(const ProgramPath& program, InstallStartAction action,
                                    const InstallOptions& options, const EarlyEnd& early) {
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
                                                              log.OpenErrorText()))});
  }

  if (early.status != 0) return EndsEarly(log, early);
  if (action == InstallStartAction::kBadUnattended) {
    return EndsEarly(log, Early(kInstallExitBadCommandLine, kInstallInvalidArgumentMessage));
  }
  // Listing reads the device database only: it takes no lock, and needs no kit.
  if (options.mode == UnattendedMode::kList) {
    log.Write("start", {RunLog::LocalTimeText(), "KORVAwiz " KORVAWIZ_VERSION_TEXT, "nogui=yes",
                        "list=yes"});
    int count = 0;
    int status = ListConnectedDevices(deviceList_, log, count);
    if (!logOpened && status == kInstallExitFinished) status = kExitLogNotOpened;
    log.Write("end", {"devices=" + std::to_string(count), "status=" + std::to_string(status)});
    return status;
  }
  if (AnotherInstallRuns()) {
    return EndsEarly(log,
                     Early(kInstallExitAlreadyRunning, LockMessage(kAnotherInstallRunsMessage)));
  }

  const bool staging = options.mode == UnattendedMode::kStage;
  std::vector<std::string> startFields = {RunLog::LocalTimeText(), "KORVAwiz " KORVAWIZ_VERSION_TEXT,
                                          "nogui=yes", "hwid=" + options.hardwareId};
  if (staging) startFields.push_back("stage=yes");
  log.Write("start", startFields);
  paths_ = DeriveInstallPaths(program.ansi, IsAnsiLeadByte);
  int status = kInstallExitFinished;
  if (!KitTrusted(&log)) {
    status = kExitKitNotTrusted;
  } else {
    InstallFolderOutcome folder =
        installFolder_.Prepare(paths_.installFolder, *folderSecurity_, *trust_);
    if (!folder.replacedTo.empty()) {
      // Whoever could change it may hold it open still: a new one took its place.
      std::vector<std::string> fields = KitTrustLogFields(folder.replacedBecause);
      fields[0] = folder.replacedTo;
      fields.insert(fields.begin(), {"install folder replaced", paths_.installFolder});
      log.Write("warning", fields);
    }
    if (DWORD error = folder.error) {
      log.Write("failed",
                {"staging", paths_.installFolder, ErrorCodeText(error), SystemErrorText(error)});
      status = kInstallExitFailed;
    } else {
      if (!folder.accessListsKept) {
        log.Write("warning", {"install folder", paths_.installFolder, kNoAccessListsWarning});
      }
      auto run = staging ? StageForHardwareId : InstallForHardwareId;
      status = run(options.hardwareId, paths_, stagedDriverFiles_, deviceList_, *signer_, *trust_,
                   installFolder_, log);
    }
  }
  bool installed = status == kInstallExitFinished || status == kInstallExitRestartNeeded;
  // Only a run that did all it had to is marked for its missing log.
  if (!logOpened && status == kInstallExitFinished) status = kExitLogNotOpened;
  log.Write("end", {installed ? "installed=1" : "installed=0", "status=" + std::to_string(status)});
  return status;
}

int InstallWizardApp::EndsEarly(RunLog& log, const EarlyEnd& early) {
  if (early.untrusted) log.Write("untrusted", KitTrustLogFields(early.problem));
  log.Write("error", {MessageAsLogField(early.message)});
  log.Write("end", {"installed=0", "status=" + std::to_string(early.status)});
  return early.status;
}

bool InstallWizardApp::KitTrusted(RunLog* log) {
  InstallKitCheck kit = CheckInstallKit(paths_, programFile_, *trust_);
  if (!kit.trusted) {
    std::string message = KitNotTrustedMessage(kit.problem);
    if (!log) {
      ShowErrorBox(message);
    } else {
      log->Write("untrusted", KitTrustLogFields(kit.problem));
      log->Write("error", {MessageAsLogField(message)});
    }
    return false;
  }
  // An alternate folder that others can change is not read, as if it were not there.
  if (log && kit.alternatePresent && !kit.alternateUsable) {
    std::vector<std::string> fields = KitTrustLogFields(kit.alternateProblem);
    fields.insert(fields.begin(), "alternate folder not used");
    log->Write("warning", fields);
  }
  return true;
}

bool InstallWizardApp::AnotherInstallRuns() {
  // A wizard is found by its title, as when the wizard starts; unattended, nobody is there to
  // see it, so it stays where it is.
  if (FindWindowOfThisProgram(kInstallWizardName)) return true;
  return !TakeInstallMutex();
}

std::string InstallWizardApp::LockMessage(const std::string& anotherRuns) const {
  if (!lock_.Error()) return anotherRuns;
  return LockNotTakenMessage(kInstallWizardName, lock_.Error(), SystemErrorText(lock_.Error()));
}

bool InstallWizardApp::TakeInstallMutex() {
  return lock_.Take(kInstallPrivateLockName, {kInstallMutexName});
}

void InstallWizardApp::UseTrustStores(TrustStores& stores) {
  signer_ = std::make_unique<PackageSigner>(stores);
}

HWND InstallWizardApp::MainWindow() const { return frame_ ? frame_->Window() : nullptr; }

void InstallWizardApp::ShowErrorBox(const std::string& text) {
  korva::ShowErrorBox(messageBoxes_, MainWindow(), programName_, text);
}

}  // namespace korva
