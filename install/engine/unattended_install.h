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

// The text of a code the install step's part `stage` failed with: ours for the codes of our
// own, else the platform's ("" when it has none).
std::string InstallStepErrorText(InstallStage stage, int code);

}  // namespace korva
