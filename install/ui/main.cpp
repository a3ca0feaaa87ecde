// KORVAwiz: the KORVA Installation Wizard.
#include <windows.h>
#include <commctrl.h>

#include "install/ui/install_wizard_app.h"

namespace {

// The process-wide objects of the run; they outlive the application object.
korva::SetupApiDeviceSetup deviceSetup;
korva::UsbDeviceList deviceList(deviceSetup);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  char modulePath[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
  korva::SystemMessageBox messageBoxes;
  korva::SystemSaveAsDialog saveAs;
  korva::InstallWizardApp app(deviceList, messageBoxes, saveAs);
  return app.Run(modulePath, commandLine ? commandLine : "");
}
