#include "cleanup/cleanup_wizard_app.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <utility>

#include "cleanup/ui/cleanup_wizard_frame.h"
#include "common/core/wow64_hand_over.h"
#include "common/core/kit_refusals.h"
#include "common/guid_text.h"
#include "common/message_pump.h"
#include "common/windows_version.h"
#include "common/wow64_hand_over.h"

namespace korva {

CleanupWizardApp::CleanupWizardApp(CleanupSettings& settings, DeviceInstanceList& deviceInstances,
                                   InfFileList& infFiles, MessageBoxSeam& messageBoxes,
                                   KitCertificateList* certificates)
    : settings_(settings),
      deviceInstances_(deviceInstances),
      infFiles_(infFiles),
      certificates_(certificates),
      services_(deviceInstances.Setup()),
      messageBoxes_(messageBoxes) {
  if (!certificates_) {
    ownCertificates_ = std::make_unique<KitCertificateList>(systemTrustStores_, settings_);
    certificates_ = ownCertificates_.get();
  }
}

bool ParseGuidString(const std::string& text, GuidBytes& guid) {
  GUID parsed;
  if (!ParseGuidText(text, parsed)) return false;
  std::memcpy(guid.data(), &parsed, sizeof(parsed));
  return true;
}

void CleanupWizardApp::ShowErrorMessage(const std::string& text, UINT style) {
  messageBoxes_.Show(nullptr, text, kCleanupErrorCaption, style);
}

void CleanupWizardApp::ShowUsage() {
  messageBoxes_.Show(nullptr, BuildUsageText(settings_.expertMode), kCleanupUsageCaption,
                     MB_OK | MB_ICONINFORMATION);
}

void CleanupWizardApp::PumpPendingMessages() { korva::PumpPendingMessages(); }

HWND CleanupWizardApp::MainWindow() const { return frame_ ? frame_->Window() : nullptr; }

int CleanupWizardApp::Run(const std::string& commandLine, const ProgramPath& program) {
  // The ident is the user's text, upper-cased with their locale.
  std::setlocale(LC_ALL, "");
  // Read once; everything below acts on this value.
  const CleanupCommandLine options =
      ReadCleanupCommandLine(commandLine, ParseGuidString, settings_);
  // No "insert a disk" box for a log path on an empty drive when nobody is there to answer,
  // also where the run ends before it begins.
  if (options.log.noGui) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // A path that the ANSI calls can only give as a look-alike would hand the run over to a
  // program in a folder of that other name.
  if (!program.exact) {
    return Refused(ProgramPathNotAnsiMessage("The KORVA Cleanup Wizard", program.Folder()),
                   kExitProgramPathNotAnsi, options.log);
  }
  // On 64-bit Windows only the 64-bit build can remove devices: a 32-bit one hands the whole
  // run over to it, the single-instance test included, and does nothing of its own.
  Wow64HandOver handOver = HandOverTo64BitBuild();
  if (handOver.outcome == Wow64HandOver::kHandedOver) return static_cast<int>(handOver.exitStatus);
  if (handOver.outcome == Wow64HandOver::kFailed) return No64BitBuild(handOver, options.log);
  if (handOver.outcome == Wow64HandOver::kNotTrusted) {
    return Refused(KitNotTrustedMessage(handOver.problem), kExitKitNotTrusted, options.log,
                   &handOver.problem);
  }

  if (!TakeMutexes()) {
    return EndsEarly(options.log,
                     lock_.Error() ? LockNotTakenMessage("KORVA Cleanup Wizard", lock_.Error(),
                                                         SystemErrorText(lock_.Error()))
                                   : kAnotherInstanceMessage,
                     kExitAlreadyRunning);
  }

  isNt5OrLater_ = korva::IsNt5OrLater();

  LogRequest request = options.log;
  bool logOpened = OpenLog(request);
  CleanupLogHooks hooks(log_, deviceInstances_, infFiles_, *certificates_, services_);

  switch (options.action) {
    case StartAction::kInvalidArgument:
      return Rejected(kInvalidArgumentMessage, request);
    case StartAction::kInvalidClassGuid:
      return Rejected(kInvalidClassGuidMessage, request);
    case StartAction::kShowUsage:
      // Unattended, a box would wait for nobody: the text goes to the log instead.
      if (request.unattended) {
        log_.Usage(BuildUsageText(settings_.expertMode));
        // Every run's record ends with its status, so that a script sees it complete.
        log_.End(CleanupRunCounts(), kExitOk);
      } else {
        ShowUsage();
      }
      return kExitOk;
    case StartAction::kRun:
      break;
  }

  log_.Start(settings_);
  if (settings_.interactive) {
    if (!logOpened) {
      ShowErrorMessage(LogNotOpenedMessage(request.path, log_.OpenError(), log_.OpenErrorText()),
                       MB_OK | MB_ICONWARNING);
    }
    CleanupWizardFrame frame(*this);
    frame_ = &frame;
    frame.RunModal(nullptr);
    frame_ = nullptr;
    int status = logOpened ? kExitOk : kExitLogNotOpened;
    log_.End(CountCleanupRun(deviceInstances_, infFiles_, *certificates_, services_), status);
    return status;
  }
  int status = RunNonInteractive(!logOpened);
  log_.End(CountCleanupRun(deviceInstances_, infFiles_, *certificates_, services_), status);
  return status;
}

bool CleanupWizardApp::TakeMutexes() {
  // Owned until the process ends; never released explicitly.
  return lock_.Take(kCleanupPrivateLockName, {kCleanupMutexName, kCleanupGlobalMutexName});
}

bool CleanupWizardApp::OpenLog(LogRequest& request) {
  // Standard output only when nobody looks at a window: under management tools. Output that
  // goes to a file, a pipe or a device (NUL) says as plainly as -log that nobody is there to
  // answer a box, and so does a window station nobody sees (a service, a scheduled task).
  if (request.noGui) {
    bool redirected = log_.UseStandardOutputIfRedirected();
    if (redirected || !WindowStationVisible()) request.unattended = true;
  }
  std::string path = request.path;
  if (path.empty()) return true;
  if (log_.OpenFile(path)) return true;
  // Said where it can still be read: a redirected standard output (the wizard says it in a box).
  if (request.noGui) {
    log_.Error(LogNotOpenedMessage(path, log_.OpenError(), log_.OpenErrorText()));
  }
  return false;
}

int CleanupWizardApp::Rejected(const std::string& message, const LogRequest& request) {
  log_.Error(message);
  // With -nogui and -log a box would wait on a desktop nobody sees, holding the mutex that
  // every later run needs.
  if (!request.unattended) ShowErrorMessage(message, MB_OK | MB_ICONERROR);
  log_.End(CleanupRunCounts(), kExitBadCommandLine);
  return kExitBadCommandLine;
}

int CleanupWizardApp::EndsEarly(const LogRequest& logRequest, const std::string& message,
                                int status, const KitTrustProblem* problem) {
  LogRequest request = logRequest;
  OpenLog(request);
  if (problem) log_.Untrusted(*problem);
  log_.Error(message);
  log_.End(CleanupRunCounts(), status);
  return status;
}

int CleanupWizardApp::No64BitBuild(const Wow64HandOver& handOver, const LogRequest& request) {
  return Refused(No64BitBuildMessage(kCleanupErrorCaption, "remove devices", handOver.path,
                                     handOver.error, handOver.waitFailed),
                 kExitNo64BitBuild, request);
}

int CleanupWizardApp::Refused(const std::string& message, int status, const LogRequest& request,
                              const KitTrustProblem* problem) {
  // An unattended run shows nothing; its record and status say what happened.
  if (!request.noGui) ShowErrorMessage(message, MB_OK | MB_ICONERROR);
  return EndsEarly(request, message, status, problem);
}

const RescanResult& CleanupWizardApp::FinishRemovals() {
  rescan_ = RescanResult();
  auto removedAny = [](const auto& results) {
    return std::any_of(results.begin(), results.end(),
                       [](const auto& result) { return result.error == 0; });
  };
  // The kit's services that no device uses go in every removal run, whatever else it removed:
  // -list names them whenever they are there, and a run that removed them (or failed to) before
  // must not leave them for ever.
  services_.RemoveUnused();
  if (removedAny(deviceInstances_.Results()) || removedAny(infFiles_.Results())) {
    rescan_ = deviceInstances_.RescanDevices();
    log_.Rescan(rescan_);
  }
  return rescan_;
}

int CleanupWizardApp::RunNonInteractive(bool logNotOpened) {
  // Nobody sees a window: a prompt of the platform's would wait for ever, holding the mutex.
  deviceInstances_.MakeNonInteractive();
  deviceInstances_.Scan();
  infFiles_.Scan();
  certificates_->Scan();
  // -list answers "is anything of the kit left?" and changes nothing.
  if (!settings_.listOnly) {
    deviceInstances_.RemoveSelected();
    DWORD devicesNotListed = 0;
    std::vector<std::string> inUse = deviceInstances_.InfPathsStillInUse(devicesNotListed);
    infFiles_.RemoveSelected(inUse, devicesNotListed);
    // Last: what made the kit's packages trusted goes once the packages are gone; the
    // certificate of one that stays stays too.
    certificates_->RemoveSelected(infFiles_.CatalogsOfPackagesLeft());
    FinishRemovals();
  } else {
    // What would go with the kit's devices.
    std::vector<std::string> going;
    for (const DeviceInstanceRecord& item : deviceInstances_.Items())
      going.push_back(item.instanceId);
    services_.Scan(going);
  }
  return UnattendedExitStatus(
      CountCleanupRun(deviceInstances_, infFiles_, *certificates_, services_), settings_.listOnly,
      logNotOpened);
}

}  // namespace korva
