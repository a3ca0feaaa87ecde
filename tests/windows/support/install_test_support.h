// Helpers of the installation engine's tests: the kit files of the build, scratch folders,
// and finding seeded devices in the USB device list.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>

#include "install/core/install_paths.h"
#include "install/engine/usb_device_list.h"

namespace korva::testing {

// The kit files gathered by the build: korvawiz.tpl and the driver binaries.
std::string KitFolder();

// An empty folder C:\korvatest\<name> (made anew on every call).
std::string ScratchFolder(const std::string& name);
void CopyKitFile(const std::string& name, const std::string& toFolder);

std::string InstanceIdOf(HDEVINFO set, const SP_DEVINFO_DATA& element);
// The index in the list of the item of that instance, or -1.
int IndexOfInstance(const UsbDeviceList& list, const std::string& instanceId);
// Enumerates and selects the instance; false when it is not listed.
bool EnumerateAndSelect(UsbDeviceList& list, const std::string& instanceId);

// Removes any quit request waiting in this thread's queue; its exit code, or -1 without one.
int TakeQuitRequest();

// A real PE image to stand in for a driver binary (the kit's placeholders are plain files): a
// program of the build.
std::string PeImageOfTheBuild();

// What readers we did not write say of a signed package: osslsigncode verifies the catalog's
// signature against the certificate given (DER) and finds the driver binary as a member when it
// is a PE image; the plain SHA-1 of the INF file (and of a driver binary that is no PE image), as
// Python's hashlib takes it, must be a member's tag.
struct PackageCheck {
  bool catalogVerifies = false;
  bool infIsMember = false;
  bool driverIsMember = false;
  std::string output;  // what the verifiers said, for the failure message
};
PackageCheck CheckSignedPackage(const std::string& catalogPath, const std::string& certificateDer,
                                const std::string& infPath, const std::string& driverPath,
                                bool driverIsPeImage);

}  // namespace korva::testing
