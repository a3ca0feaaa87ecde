// KORVAcw: the KORVA Cleanup Wizard.
#include <windows.h>
#include <commctrl.h>

#include "cleanup/cleanup_wizard_app.h"
#include "common/system_library.h"

namespace {

// The process-wide objects of the run; they outlive the application object.
korva::SetupApiDeviceSetup deviceSetup;
korva::CleanupSettings cleanupSettings;
korva::DeviceInstanceList deviceInstanceList(deviceSetup, cleanupSettings);
korva::InfFileList infFileList(deviceSetup, cleanupSettings);
korva::SystemTrustStores trustStores;
korva::KitCertificateList kitCertificateList(trustStores, cleanupSettings);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  // First of all: no library from the program's folder (or the current one) from now on.
  korva::RestrictLibrarySearchToSystemFolder();
  // The list pages' list views: registered here, not only where the manifest loads them.
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  korva::SystemMessageBox messageBoxes;
  korva::CleanupWizardApp app(cleanupSettings, deviceInstanceList, infFileList, messageBoxes,
                              &kitCertificateList);
  return app.Run(commandLine ? commandLine : "");
}
