// The Installation Wizard's error box.
#pragma once

#include <windows.h>

#include <string>

#include "common/message_box.h"

namespace korva {

constexpr char kInstallErrorCaption[] = "KORVA Installation Wizard: ERROR";

// While the wizard's frame exists (`mainWindow`), the box is owned by it and carries the
// wizard's error caption; before that it has no owner and is captioned with the program's name.
void ShowErrorBox(MessageBoxSeam& boxes, HWND mainWindow, const std::string& programName,
                  const std::string& text);

}  // namespace korva
