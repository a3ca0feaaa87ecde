// The demo program's view of the device database: the kit's device instances, read through
// the device set-up layer (devsetup). No user interface here, so a test can call it in-process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "devsetup/device_setup.h"

namespace korva::demo {

struct KitDevice {
  std::string instanceId;
  std::string description;
  std::string hardwareId;  // the first one
  bool connected = false;
};

// Every installed instance of the kit's class (connected or not) that is a USB device and
// carries the kit's ident, in the database's order. Returns 0, or the platform's error code
// when the class could not be enumerated at all (`devices` is then empty).
DWORD ListKitDevices(std::vector<KitDevice>& devices);
// The same through the given device set-up services.
DWORD ListKitDevices(DeviceSetup& setup, std::vector<KitDevice>& devices);

}  // namespace korva::demo
