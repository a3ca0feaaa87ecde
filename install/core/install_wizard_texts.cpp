#include "install/core/install_wizard_texts.h"

#include <cstdio>

#include "common/core/own_codes.h"
#include "common/core/text.h"
#include "install/core/inf_template.h"

namespace korva {

const char kUnknownManufacturer[] = ">>Unknown<<";
const char kNoDevicesHeader[] =
    "No USB devices present.\nConnect your device(s) to the system and click Refresh.";
const char kDevicesHeader[] =
    "The list shows the USB devices currently connected to the system.\nPlease select a device "
    "for which to install the KORVA driver.";
const char kProgressText[] =
    "Please wait while the KORVA device driver is installed ...\n\n\nThis may take a few seconds.";
const char kSaveInfText[] =
    "You may store the generated driver installation file (INF) for later use. This will also "
    "copy the driver binary korva.sys. In this way you can later install KORVA for the device "
    "manually.";
const char kRunDemoText[] =
    "Run the KORVA demo application to make sure the device is working correctly with KORVA.";
const char kDetailsHeader[] = "The KORVA driver will be installed for the following device:";
const char kNoDriverHeader[] = "There is currently no driver installed for this device.";
const char kDriverHeader[] = "The following driver is currently installed for this device:";
const char kDateNotAvailable[] = "not available";
const char kRestartToCompleteInstallation[] =
    "Please restart your computer to complete the installation.\n";

WizardButtonStates InstallButtonStates(int pageKind, bool hasSelection) {
  WizardButtonStates states;
  switch (pageKind) {
    case kWelcomePageKind:
      states.back = false;
      break;
    case kDeviceSelectionPageKind:
      states.next = hasSelection;
      break;
    case kProgressPageKind:
      states.back = states.next = states.cancel = false;
      break;
    case kFinishPageKind:
      states.back = states.cancel = false;
      states.nextReadsFinish = true;
      break;
    default:
      break;
  }
  return states;
}

std::string WelcomeText(bool isNt5OrLater) {
  std::string text =
      "Welcome to the KORVA Installation Wizard. This wizard will help you to install the KORVA "
      "driver for a USB device. After that, the device can be accessed via the programming "
      "interface provided by KORVA.\n\nMake sure that your USB device is properly connected to "
      "the system.\n\nAfter plugging in the device Windows launches the Hardware Wizard and "
      "prompts you for a driver. Do not abort the Hardware Wizard. Complete the Hardware Wizard "
      "by clicking Next on each page and Finish on the last page. Windows either installs a "
      "default driver or registers your device as 'Unknown Device'. Then, this wizard will allow "
      "you to select your device from a list and to install the KORVA driver.\n\n";
  text += isNt5OrLater ? "Make sure you are logged on as an Administrator. Administrator "
                         "privileges are required to install a device driver.\n\n\n"
                       : "\n\n\n\n";
  text +=
      "To continue, click Next.\n\nYou can abort driver installation at any time by clicking "
      "Cancel.\n";
  return text;
}

std::string InstallFailedMessage(int result) {
  char text[128];
  std::snprintf(text, sizeof(text), "Installation of KORVA failed (error %d).\n",
                ShownCode(result));
  return text;
}

std::string InstallResultText(int installResult, bool restartNeeded) {
  if (installResult == 0) {
    std::string text = "Installation of the KORVA device driver has been successfully completed.\n";
    if (restartNeeded) text += kRestartToCompleteInstallation;
    return text;
  }
  char text[256];
  installResult = ShownCode(installResult);
  std::snprintf(text, sizeof(text),
                "KORVA device driver installation failed!\nAn error occured during installation, "
                "error code %d (0x%08X).\n",
                installResult, static_cast<unsigned>(installResult));
  return text;
}

std::string DetailsBottomText(bool hasDriver) {
  std::string text;
  if (hasDriver) {
    text =
        "WARNING: The current driver will be disabled if you continue!\nThis may put the device "
        "into an unusable state.\n\n";
  }
  text +=
      "To install the KORVA driver for this device, click Next.\nTo abort installation, click "
      "Cancel. No changes will be made to your system.\n";
  return text;
}

std::string DoubleAmpersands(const std::string& text) {
  std::string doubled;
  for (char c : text) {
    doubled += c;
    if (c == '&') doubled += '&';
  }
  return doubled;
}

std::string TrimLeadingSpace(const std::string& text) {
  size_t start = 0;
  while (start < text.size() && IsLocaleSpace(text[start])) ++start;
  return text.substr(start);
}

std::string UnableToCreateMessage(const std::string& path) {
  return "Unable to create " + path + ".";
}

std::string UnableToExecuteMessage(const std::string& path) {
  return "Unable to execute " + path + ".\n" + kReinstallLine;
}

}  // namespace korva
