// KORVAcw: the KORVA Cleanup Wizard.
#include <windows.h>

#include "cleanup/cleanup_wizard_app.h"

namespace {

// The process-wide objects of the run; they outlive the application object.
korva::SetupApiDeviceSetup deviceSetup;
korva::CleanupSettings cleanupSettings;
korva::DeviceInstanceList deviceInstanceList(deviceSetup, cleanupSettings);
korva::InfFileList infFileList(cleanupSettings);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  korva::SystemMessageBox messageBoxes;
  korva::CleanupWizardApp app(cleanupSettings, deviceInstanceList, infFileList, messageBoxes);
  return app.Run(commandLine ? commandLine : "");
}
