#include "cleanup/cleanup_wizard_app.h"

#include <clocale>
#include <cstring>

#include "cleanup/core/command_line.h"
#include "cleanup/ui/cleanup_wizard_frame.h"
#include "common/core/wow64_hand_over.h"
#include "common/guid_text.h"
#include "common/message_pump.h"
#include "common/windows_version.h"
#include "common/wow64_hand_over.h"

namespace korva {

CleanupWizardApp::CleanupWizardApp(CleanupSettings& settings, DeviceInstanceList& deviceInstances,
                                   InfFileList& infFiles, MessageBoxSeam& messageBoxes)
    : settings_(settings),
      deviceInstances_(deviceInstances),
      infFiles_(infFiles),
      messageBoxes_(messageBoxes) {}

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

int CleanupWizardApp::Run(const std::string& commandLine) {
  // On 64-bit Windows only the 64-bit build can remove devices: a 32-bit one hands the whole
  // run over to it, the single-instance test included, and does nothing of its own.
  Wow64HandOver handOver = HandOverTo64BitBuild();
  if (handOver.outcome == Wow64HandOver::kHandedOver) return static_cast<int>(handOver.exitStatus);
  if (handOver.outcome == Wow64HandOver::kFailed) return No64BitBuild(handOver, commandLine);

  mutex_.Reset(CreateMutexA(nullptr, FALSE, kCleanupMutexName));
  if (!mutex_.Valid()) return kExitAlreadyRunning;
  // Owned until the process ends; never released explicitly.
  if (WaitForSingleObject(mutex_.Get(), 0) != WAIT_OBJECT_0) return kExitAlreadyRunning;

  std::setlocale(LC_ALL, "");

  isNt5OrLater_ = korva::IsNt5OrLater();

  switch (ReadCleanupOptions(commandLine, ParseGuidString, settings_)) {
    case StartAction::kInvalidArgument:
      ShowErrorMessage(kInvalidArgumentMessage, MB_OK | MB_ICONERROR);
      return kExitBadCommandLine;
    case StartAction::kInvalidClassGuid:
      ShowErrorMessage(kInvalidClassGuidMessage, MB_OK | MB_ICONERROR);
      return kExitBadCommandLine;
    case StartAction::kShowUsage:
      ShowUsage();
      return kExitOk;
    case StartAction::kRun:
      break;
  }

  if (settings_.interactive) {
    CleanupWizardFrame frame(*this);
    frame_ = &frame;
    frame.RunModal(nullptr);
    frame_ = nullptr;
    return kExitOk;
  }
  return RunNonInteractive();
}

int CleanupWizardApp::No64BitBuild(const Wow64HandOver& handOver, const std::string& commandLine) {
  // An unattended run shows nothing; its status says what happened.
  std::setlocale(LC_ALL, "");
  if (!FindCommandLineOption(commandLine, "-nogui", nullptr, true)) {
    ShowErrorMessage(
        No64BitBuildMessage(kCleanupErrorCaption, "remove devices", handOver.path, handOver.error),
        MB_OK | MB_ICONERROR);
  }
  return kExitNo64BitBuild;
}

int CleanupWizardApp::RunNonInteractive() {
  deviceInstances_.Scan();
  infFiles_.Scan();
  deviceInstances_.RemoveSelected();
  infFiles_.RemoveSelected();
  bool restartNeeded = false;
  for (const DeviceInstanceRecord& result : deviceInstances_.Results()) {
    if (result.error != 0) return kExitRemovalFailed;
    restartNeeded = restartNeeded || result.restartNeeded;
  }
  for (const InfFileRecord& result : infFiles_.Results()) {
    if (result.error != 0) return kExitRemovalFailed;
  }
  return restartNeeded ? kExitRestartNeeded : kExitOk;
}

}  // namespace korva
