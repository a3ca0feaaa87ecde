#include "install/core/install_command_line.h"

#include <vector>

#include "common/core/command_line_tokens.h"
#include "common/core/text.h"
#include "install/core/inf_template.h"

namespace korva {

namespace {

bool Is(const std::string& token, const char* option) {
  return EqualsIgnoreCaseMultibyte(token, option);
}

bool IsHelp(const std::string& token) {
  return Is(token, "-h") || Is(token, "/h") || Is(token, "-?") || Is(token, "/?");
}

bool IsUnattendedOption(const std::string& token) {
  return Is(token, "-nogui") || Is(token, "-hwid") || Is(token, "-log") || Is(token, "-stage") ||
         Is(token, "-list");
}

}  // namespace

const char kInstallInvalidArgumentMessage[] =
    "An invalid command line argument was passed.\n"
    "Use KORVAWIZ -h to display information on how to use the wizard.\n";

bool IsUsbHardwareIdText(const std::string& id) {
  return id.size() > 4 && (id[0] == 'U' || id[0] == 'u') && (id[1] == 'S' || id[1] == 's') &&
         (id[2] == 'B' || id[2] == 'b') && id[3] == '\\';
}

InstallStartAction ReadInstallOptions(const std::string& commandLine, InstallOptions& options) {
  options = InstallOptions();
  std::vector<std::string> tokens = CommandLineTokens(commandLine);
  if (tokens.empty()) return InstallStartAction::kWizard;

  bool nogui = false;
  for (const std::string& token : tokens) nogui = nogui || Is(token, "-nogui");
  if (!nogui) {
    for (const std::string& token : tokens) {
      if (IsHelp(token)) return InstallStartAction::kUsageAsked;
    }
    // The wizard takes no arguments: whatever was meant, the user learns what there is.
    return InstallStartAction::kUsageOnError;
  }

  // Unattended, nothing is guessed: a misspelt option or a missing value must not turn into an
  // installation for some other device.
  bool bad = false;
  int noguiCount = 0;
  int hwidCount = 0;
  int logCount = 0;
  int stageCount = 0;
  int listCount = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& token = tokens[i];
    if (Is(token, "-nogui")) {
      ++noguiCount;
      continue;
    }
    if (Is(token, "-stage") || Is(token, "-list")) {
      ++(Is(token, "-stage") ? stageCount : listCount);
      continue;
    }
    bool hwid = Is(token, "-hwid");
    if (!hwid && !Is(token, "-log")) {
      bad = true;
      continue;
    }
    ++(hwid ? hwidCount : logCount);
    // An option in a value's place is a value left out (`-log -h` names no file "-h").
    if (i + 1 == tokens.size() || IsUnattendedOption(tokens[i + 1]) || IsHelp(tokens[i + 1])) {
      bad = true;
      continue;
    }
    ++i;
    (hwid ? options.hardwareId : options.logPath) = tokens[i];
    // A quote left in a log path is one that was never closed: no file name holds one.
    if (!hwid && tokens[i].find('"') != std::string::npos) bad = true;
    // A USB hardware ID that can stand in the INF file as it is: nothing else names a device
    // this program installs for.
    if (hwid && (!IsUsbHardwareIdText(tokens[i]) || !IsUsableHardwareId(tokens[i]))) bad = true;
  }
  // -list names no device; -hwid names one, to install for or (with -stage) to stage for.
  bool listing = listCount == 1 && hwidCount == 0 && stageCount == 0;
  bool forDevice = listCount == 0 && hwidCount == 1 && stageCount <= 1;
  if (bad || noguiCount != 1 || !(listing || forDevice) || logCount > 1) {
    // A log named once still gets the reason.
    if (logCount != 1) options.logPath.clear();
    return InstallStartAction::kBadUnattended;
  }
  options.mode = listing ? UnattendedMode::kList
                         : stageCount == 1 ? UnattendedMode::kStage : UnattendedMode::kInstall;
  return InstallStartAction::kUnattended;
}

std::string BuildInstallUsageText() {
  return "KORVAWIZ [-nogui (-hwid HardwareId [-stage] | -list) [-log LogFile]]\n\n"
         "Without options the wizard guides you through the installation.\n\n"
         "supported options:\n-h\t\tShows this help message.\n\n"
         "-nogui\t\tRun in non-interactive mode. The wizard does not require any user input\n"
         "\t\tand shows no window. Requires -hwid or -list.\n\n"
         "-hwid HardwareId\tInstalls the KORVA driver for every connected USB device\n"
         "\t\tthat has the hardware ID HardwareId (letter case is ignored).\n\n"
         "-stage\t\tWith -hwid: also adds the driver package for HardwareId to the\n"
         "\t\tdriver store, so that Windows installs it on every such device\n"
         "\t\tconnected later; no device needs to be connected.\n\n"
         "-list\t\tLists the connected USB devices and their drivers.\n\n"
         "-log LogFile\tAppends a record of the run to LogFile.\n\n"
         "Example (at a command prompt, where ^& stands for &):\n"
         "KORVAWIZ -nogui -hwid USB\\VID_0547^&PID_1002 -log "
         "%SystemRoot%\\Logs\\KORVA\\korvawiz.log\n"
         "KORVAWIZ -nogui -hwid USB\\VID_0547^&PID_1002 -stage\n"
         "KORVAWIZ -nogui -list\n";
}

}  // namespace korva
