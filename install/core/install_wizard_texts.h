// The Installation Wizard's button rules and the texts its pages build. Platform-free.
#pragma once

#include <string>

#include "common/core/wizard_buttons.h"

namespace korva {

enum InstallPageKind {
  kWelcomePageKind = 1,
  kDeviceSelectionPageKind = 2,
  kDeviceDetailsPageKind = 3,
  kProgressPageKind = 4,
  kFinishPageKind = 5,
};

// The frame's fixed order of the pages; the progress page is passed only during the install
// step.
enum InstallPageIndex {
  kWelcomePageIndex = 0,
  kDeviceSelectionPageIndex = 1,
  kDeviceDetailsPageIndex = 2,
  kProgressPageIndex = 3,
  kFinishPageIndex = 4,
  kInstallPageCount = 5,
};

// Which of Back, Next and Cancel are usable on a page of that kind.
WizardButtonStates InstallButtonStates(int pageKind, bool hasSelection);

extern const char kUnknownManufacturer[];
extern const char kNoDevicesHeader[];
extern const char kDevicesHeader[];
extern const char kProgressText[];
extern const char kSaveInfText[];
extern const char kRunDemoText[];
extern const char kDetailsHeader[];
extern const char kNoDriverHeader[];
extern const char kDriverHeader[];
extern const char kDateNotAvailable[];
// Added to the finish page's success text when Windows needs a restart to complete the
// installation.
extern const char kRestartToCompleteInstallation[];

std::string WelcomeText(bool isNt5OrLater);
// "Installation of KORVA failed (error %d).\n"
std::string InstallFailedMessage(int result);
// The finish page's result line, in decimal and in eight hexadecimal digits for a failure; a
// success that needs a restart says so on its second line.
std::string InstallResultText(int installResult, bool restartNeeded = false);
// The details page's bottom text: the warning first when a driver is installed.
std::string DetailsBottomText(bool hasDriver);
// Every "&" doubled, so that a static control shows it instead of taking it for a mnemonic.
std::string DoubleAmpersands(const std::string& text);
std::string TrimLeadingSpace(const std::string& text);
// "Unable to create %s."
std::string UnableToCreateMessage(const std::string& path);
// "Unable to execute %s.\n" and the reinstall line.
std::string UnableToExecuteMessage(const std::string& path);

}  // namespace korva
