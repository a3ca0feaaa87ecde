// KORVAwiz: the KORVA Installation Wizard.
#include <windows.h>
#include <commctrl.h>

#include "common/program_path.h"
#include "common/system_library.h"
#include "install/ui/install_wizard_app.h"

namespace {

// The process-wide objects of the run; they outlive the application object.
korva::SetupApiDeviceSetup deviceSetup;
korva::UsbDeviceList deviceList(deviceSetup);

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  // First of all: no library from the program's folder (or the current one) from now on.
  korva::RestrictLibrarySearchToSystemFolder();
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  korva::SystemMessageBox messageBoxes;
  korva::SystemSaveAsDialog saveAs;
  korva::InstallWizardApp app(deviceList, messageBoxes, saveAs);
  return app.Run(korva::ReadProgramPath(), commandLine ? commandLine : "");
}
