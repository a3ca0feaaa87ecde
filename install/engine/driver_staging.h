// The install step: the kit's driver binaries are copied into the install folder, the
// device's INF file is generated beside them and installed for the chosen device.
#pragma once

#include <array>
#include <functional>
#include <string>

#include "common/core/kit_refusals.h"
#include "common/core/own_codes.h"
#include "common/kit_trust.h"
#include "install/core/inf_template.h"
#include "install/core/install_paths.h"
#include "install/engine/install_folder.h"
#include "install/engine/package_signing.h"
#include "install/engine/usb_device_list.h"

namespace korva {

struct DriverBinary {
  const char* file;
  const char* driverName;
};

// Every binary the kit may ship, in the order they are staged; the second of each pair is
// the one for the older systems. The driver name comes from the first staged file without
// "98", the one the INF file names.
constexpr std::array<DriverBinary, 6> kDriverBinaryTable = {{
    {"korva.sys", "korva"},
    {"korva98.sys", "korva"},
    {"korval.sys", "korval"},
    {"korval98.sys", "korval"},
    {"korvav.sys", "korvav"},
    {"korvav98.sys", "korvav"},
}};

// The first two binaries staged (file names; empty when free). Filled, never emptied; the
// second gives way to the binary the INF file names when that was not among the first two.
using StagedDriverFiles = std::array<std::string, 2>;

// Returned when fewer than two binaries could be staged but the platform's last error reads
// 0, so that the failure is never taken for success; and when none of those staged is one the
// INF file can name (a "98" file only of each pair).
constexpr int kTooFewDriverBinaries = ERROR_FILE_NOT_FOUND;

// The install step's code for a kit that others than administrators can change: shown as the
// exit status that says so.
constexpr int kKitNotTrustedCode = OwnCode(OwnCodeGroup::kKit, kExitKitNotTrusted);

using ErrorBox = std::function<void(const std::string& text)>;

// The parts of the install step, in their order.
enum class InstallStage {
  kKitCheck,
  kStaging,
  kInfGeneration,
  kPackageCheck,
  kSigning,
  kInstallation
};

// What the install step came to.
struct InstallStepOutcome {
  int result = 0;      // 0, or the code of the step that failed
  bool fatal = false;  // the kit can't be used (too few binaries, no INF file): the wizard ends
  bool restartNeeded = false;  // installed, but Windows needs a restart to complete it
  InstallStage stage = InstallStage::kStaging;  // the last part that ran
  InstallRoad road = InstallRoad::kNone;        // the way the driver was installed
  // Signing failed: what it was working on (a path, or a store's name); the package check
  // failed: why; a file in the install folder could not be replaced: its path.
  std::string subject;
  KitTrustProblem kitProblem;  // the kit check failed: who may change what
  // The install folder's path led elsewhere before `stage` (kInstallFolderChanged): fatal.
  bool installFolderChanged = false;
  // Windows deletes or replaces the driver binary at the next restart (`subject` names it):
  // nothing was installed, the result is kRestartFirstCode.
  bool restartFirst = false;
  // Added to the driver store (PackageTarget::kDriverStore): the INF folder's file the platform
  // published the package as.
  std::string publishedPath;
};

// What the package is made for: the chosen device, or the driver store alone (staged for its
// hardware ID, set with UsbDeviceList::UseHardwareId, with no device chosen).
enum class PackageTarget { kChosenDevice, kDriverStore };

// Checks the kit, stages the binaries, generates the INF file, signs the package and installs
// it. A kit that others than administrators can change, missing binaries, an INF file that
// can't be generated and an install folder that is no longer the one prepared are fatal: their
// error box is shown here, and the caller ends the wizard (exit code 1, or kExitKitNotTrusted)
// once it has shown its own. The alternate folder is read only when it passes the kit check.
// A package that fails its check (CheckPackage) or can't be signed is not installed: its box
// is shown here, and the failure goes to the finish page. For the driver store, a package the
// platform does not take leaves its certificate trusted nowhere.
InstallStepOutcome StageAndInstall(const InstallPaths& paths, StagedDriverFiles& stagedDriverFiles,
                                   UsbDeviceList& deviceList, PackageSigner& signer,
                                   const ErrorBox& showErrorBox, KitTrust& trust,
                                   const InstallFolder& installFolder,
                                   PackageTarget target = PackageTarget::kChosenDevice);

// The box of an install folder whose path no longer leads to the folder prepared.
std::string InstallFolderChangedMessage(const std::string& folder);
// The platform's code for "No action was taken as a system reboot is required"
// (ERROR_FAIL_NOACTION_REBOOT, missing from older headers): the result of an installation that
// must wait for a restart.
constexpr DWORD kRestartFirstCode = 350;

// The box of a driver binary that Windows deletes or replaces at the next restart.
std::string RestartFirstMessage(const std::string& binary);

// Whether Windows deletes, replaces or moves `path` at the next restart (a pending file
// operation of the session manager, as a deletion of a driver that was in use leaves one).
bool PendingAtRestart(DeviceSetup& setup, const std::string& path);

// The box of a file in the install folder that is there and cannot be deleted before the step
// writes it anew (held open by another process, a folder of that name).
std::string StaleFileMessage(const std::string& path, unsigned long error);

}  // namespace korva
