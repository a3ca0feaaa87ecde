// The Installation Wizard's command line: none for the wizard, or the options of an unattended
// installation. Platform-free.
#pragma once

#include <string>

namespace korva {

// Exit status of KORVAwiz. The wizard ends with the first three, or with 4 while an unattended
// run installs; the unattended run with the others, or with 1 for a fatal install step.
// kExitNo64BitBuild (5) and kExitLogNotOpened (6) are the ones both programs share.
enum InstallExitCode {
  kInstallExitFinished = 0,   // Finish; the wizard was open already; installed (unattended)
  kInstallExitFailed = 1,     // fatal install step, or the install folder can't be made
  kInstallExitCancelled = 2,  // Cancel
  kInstallExitBadCommandLine = 3,
  kInstallExitAlreadyRunning = 4,      // another KORVAwiz runs (for the wizard, an unattended one)
  kInstallExitNoSuchDevice = 7,        // no connected USB device has that hardware ID
  kInstallExitInstallationFailed = 8,  // the driver update service or class installer refused
  // The package could not be signed (its catalog made, or its certificate trusted): nothing was
  // installed.
  kInstallExitSigningFailed = 9,
  // The generated package failed its check (a file it names is not staged, no model line for
  // the device): nothing was installed.
  kInstallExitPackageCheckFailed = 10,
  // Windows deletes or replaces the driver binary the package installs at the next restart
  // (an earlier cleanup could not delete it while it was in use): nothing was installed, since
  // that restart would take the new driver away. Restart first.
  kInstallExitRestartFirst = 13,
  // -stage: the platform did not add the package to its INF folder and driver store; no
  // certificate of it stays trusted.
  kInstallExitStagingFailed = 14,
  // Installed, and Windows needs a restart to complete it (ERROR_SUCCESS_REBOOT_REQUIRED, which
  // management tools read as success, restart pending).
  kInstallExitRestartNeeded = 3010,
};

enum class InstallStartAction {
  kWizard,         // no arguments at all: the wizard, as ever
  kUnattended,     // -nogui -hwid <ID> [-stage] [-log <file>], or -nogui -list [-log <file>]
  kUsageAsked,     // -h and the like without -nogui: the usage box, status 0
  kUsageOnError,   // any other argument without -nogui: the usage box, status 3
  kBadUnattended,  // -nogui with a command line that is not exactly the above: status 3
};

// Whether `id` starts as a USB hardware ID does ("USB\\", any letter case), with more after it.
bool IsUsbHardwareIdText(const std::string& id);

// What an unattended run does.
enum class UnattendedMode {
  kInstall,  // -hwid: install for the connected devices with that ID
  kStage,    // -hwid -stage: add the package for that ID to the driver store, and install for
             // the connected devices with it
  kList,     // -list: list the connected USB devices and their drivers
};

struct InstallOptions {
  UnattendedMode mode = UnattendedMode::kInstall;
  std::string hardwareId;
  std::string logPath;  // empty without -log; also filled when the rest of the line is bad
};

// Options are whole blank-separated tokens in any letter case, a value is the next token, and
// quotes are ordinary characters, as in KORVAcw. Unattended, every token must be -nogui, -hwid,
// -log, -stage, -list or the value after -hwid or -log; each option stands once, a value may not
// be an option itself (`-hwid -log x` has no ID), -stage goes with -hwid and -list without it.
InstallStartAction ReadInstallOptions(const std::string& commandLine, InstallOptions& options);

constexpr char kInstallUsageCaption[] = "KORVA Installation Wizard Usage";
// The text of the usage box.
std::string BuildInstallUsageText();
// The error line of an unattended run whose command line was rejected.
extern const char kInstallInvalidArgumentMessage[];

}  // namespace korva
