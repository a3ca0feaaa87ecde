// The installation without a window: the device is named by its hardware ID instead of chosen
// from a list, and what happens is written to the run log instead of shown.
#pragma once

#include <string>

#include "common/run_log.h"
#include "install/core/install_paths.h"
#include "install/engine/driver_staging.h"
#include "install/engine/usb_device_list.h"

namespace korva {

// Lists the connected USB devices as the wizard does, takes every one that has `hardwareId`
// among its hardware IDs (as a whole, letter case ignored), runs the wizard's install step for
// the first, with a package for that ID as given, and installs it for the others as well (the
// driver update service does so by itself). Writes each device and each outcome to `log`; returns
// the exit status (an InstallExitCode: finished, failed, no such device, signing failed,
// installation failed or restart needed; kExitKitNotTrusted for a kit that others than
// administrators can change).
int InstallForHardwareId(const std::string& hardwareId, const InstallPaths& paths,
                         StagedDriverFiles& stagedDriverFiles, UsbDeviceList& deviceList,
                         PackageSigner& signer, KitTrust& trust, const InstallFolder& installFolder,
                         RunLog& log);

// Writes one "connected" line for every connected USB device as the wizard's list finds it
// (root hubs left out): its instance ID, hardware IDs (separated by blanks), description,
// manufacturer, and its driver's provider, date, version and INF file, then "kit" when that
// driver is the kit's (the kit's class and ident, as the Cleanup Wizard tells them), "other",
// or "none" without a driver. `count` gets the number of lines. Returns kInstallExitFinished,
// or kInstallExitNoSuchDevice with an "error" line when the devices could not all be listed.
int ListConnectedDevices(UsbDeviceList& deviceList, RunLog& log, int& count);

// -stage: makes the package for `hardwareId` as an installation for a device nobody knows would
// (the same staging, INF file, check and signature) and adds it to the driver store without a
// device (a "staged" line with the published INF name), so that the platform installs it on the
// devices with that ID that arrive later; then installs it for the connected ones with the ID,
// as InstallForHardwareId does. Returns the exit status; kInstallExitStagingFailed when the
// platform did not take the package (its certificate is then trusted nowhere).
int StageForHardwareId(const std::string& hardwareId, const InstallPaths& paths,
                       StagedDriverFiles& stagedDriverFiles, UsbDeviceList& deviceList,
                       PackageSigner& signer, KitTrust& trust, const InstallFolder& installFolder,
                       RunLog& log);

// The text of a code the install step's part `stage` failed with: ours for the codes of our
// own, else the platform's ("" when it has none).
std::string InstallStepErrorText(InstallStage stage, int code);

}  // namespace korva
