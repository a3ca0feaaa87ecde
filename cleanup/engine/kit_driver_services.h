// The kit's driver services: a device installed with the kit's driver adds one (its INF file's
// AddService) and copies its binary into the system's drivers folder. Once no device is left
// that names it, the service and its binary go with the kit's devices and packages.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "devsetup/device_setup.h"

namespace korva {

// The names the kit's drivers install their services under; the binary of each is
// <system folder>\drivers\<name>.sys.
extern const char* const kKitDriverServiceNames[3];

struct DriverServiceRecord {
  std::string name;
  std::string binaryPath;  // where the kit's binary of that name lies
  // In a result: 0 when the service and its binary are gone (or go at the next restart, with
  // `restartNeeded`), else the code of the step that failed.
  DWORD error = 0;
  bool restartNeeded = false;
};

class KitDriverServiceList {
 public:
  explicit KitDriverServiceList(DeviceSetup& setup) : setup_(setup) {}

  // The kit's driver services that no device instance of the system names as its service (any
  // class, present or not), leaving out the instances `goingInstanceIds` names (those a run
  // would remove). A service is the kit's when it is a kernel driver of one of the kit's names
  // whose binary path is that name's binary. Returns their number; when the devices cannot be
  // listed, none (every service then stays) and `ListError` says why.
  int Scan(const std::vector<std::string>& goingInstanceIds = {});
  // Scans, then stops and deletes each service found and deletes its binary, one result each. A
  // driver that does not stop is deleted at the next restart, with its binary. When the devices
  // cannot be listed, each of the kit's services gets a result with that code and stays.
  void RemoveUnused();

  const std::vector<DriverServiceRecord>& Items() const { return items; }
  const std::vector<DriverServiceRecord>& Results() const { return results; }
  DWORD ListError() const { return listError_; }

  std::function<void(const DriverServiceRecord& item)> onFound;
  std::function<void(const DriverServiceRecord& result)> onResult;

 private:
  // The kit's services as the service control manager has them, whatever uses them.
  std::vector<DriverServiceRecord> KitServices();
  void Remove(const DriverServiceRecord& item);

  DeviceSetup& setup_;
  DWORD listError_ = 0;
  std::vector<DriverServiceRecord> items;
  std::vector<DriverServiceRecord> results;
};

// How long a run waits for a driver service to stop.
constexpr DWORD kServiceStopWaitMs = 10000;

// Whether a service's binary path, as the service control manager keeps it, names `binary`
// (a whole path): as a whole path, relative to the Windows folder, or below \SystemRoot,
// %SystemRoot% or \??\, in any letter case.
bool ServiceBinaryNames(const std::string& servicePath, const std::string& binary,
                        const std::string& windowsFolder);

}  // namespace korva
