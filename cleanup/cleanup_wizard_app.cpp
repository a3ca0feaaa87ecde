#include "cleanup/cleanup_wizard_app.h"

#include "cleanup/ui/cleanup_wizard_frame.h"
#include "common/message_pump.h"

#include <objbase.h>

#include <clocale>
#include <cstring>
#include <vector>

namespace korva {

CleanupWizardApp::CleanupWizardApp(CleanupSettings& settings, DeviceInstanceList& deviceInstances,
                                   InfFileList& infFiles, MessageBoxSeam& messageBoxes)
    : settings_(settings),
      deviceInstances_(deviceInstances),
      infFiles_(infFiles),
      messageBoxes_(messageBoxes) {}

bool ParseGuidString(const std::string& text, GuidBytes& guid) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return false;
  std::vector<wchar_t> wide(static_cast<size_t>(length));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  CLSID clsid;
  if (CLSIDFromString(wide.data(), &clsid) != S_OK) return false;
  std::memcpy(guid.data(), &clsid, sizeof(clsid));
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

int CleanupWizardApp::Run(const std::string& commandLine) {
  mutex_.Reset(CreateMutexA(nullptr, FALSE, kCleanupMutexName));
  if (!mutex_.Valid()) return kExitAlreadyRunning;
  // Owned until the process ends; never released explicitly.
  if (WaitForSingleObject(mutex_.Get(), 0) != WAIT_OBJECT_0) return kExitAlreadyRunning;

  std::setlocale(LC_ALL, "");

  OSVERSIONINFOA version;
  std::memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (GetVersionExA(&version)) {
#pragma GCC diagnostic pop
    isNt5OrLater =
        version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5 ? 1 : 0;
  }

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
    mainWindow = nullptr;
    return kExitOk;
  }
  return RunNonInteractive();
}

int CleanupWizardApp::RunNonInteractive() {
  deviceInstances_.Scan();
  infFiles_.Scan();
  deviceInstances_.RemoveSelected();
  infFiles_.RemoveSelected();
  for (const DeviceInstanceRecord& result : deviceInstances_.Results()) {
    if (result.error != 0) return kExitRemovalFailed;
  }
  for (const InfFileRecord& result : infFiles_.Results()) {
    if (result.error != 0) return kExitRemovalFailed;
  }
  return kExitOk;
}

}  // namespace korva
