#include "install/error_box.h"

namespace korva {

void ShowErrorBox(MessageBoxSeam& boxes, HWND mainWindow, const std::string& programName,
                  const std::string& text) {
  const UINT style = MB_OK | MB_ICONEXCLAMATION;
  if (mainWindow) {
    boxes.Show(mainWindow, text, kInstallErrorCaption, style);
  } else {
    boxes.Show(nullptr, text, programName, style);
  }
}

}  // namespace korva
