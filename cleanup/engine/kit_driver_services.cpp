#include "cleanup/engine/kit_driver_services.h"

#include <algorithm>
#include <cstring>

#include "common/core/text.h"
#include "common/file_deletion.h"
#include "common/last_error.h"
#include "common/system_folders.h"
#include "devsetup/device_info.h"

namespace korva {

const char* const kKitDriverServiceNames[3] = {"korva", "korval", "korvav"};

namespace {

bool StartsWithIgnoreCase(const std::string& text, const std::string& start) {
  return text.size() >= start.size() && EqualsIgnoreAsciiCase(text.substr(0, start.size()), start);
}

}  // namespace

bool ServiceBinaryNames(const std::string& servicePath, const std::string& binary,
                        const std::string& windowsFolder) {
  if (windowsFolder.empty() || !StartsWithIgnoreCase(binary, windowsFolder + "\\")) return false;
  // The part below the Windows folder: "System32\drivers\korva.sys".
  const std::string below = binary.substr(windowsFolder.size() + 1);
  std::string path = servicePath;
  if (StartsWithIgnoreCase(path, "\\??\\")) path = path.substr(4);
  for (const char* root : {"\\SystemRoot\\", "%SystemRoot%\\"}) {
    if (StartsWithIgnoreCase(path, root))
      return EqualsIgnoreAsciiCase(path.substr(strlen(root)), below);
  }
  return EqualsIgnoreAsciiCase(path, binary) || EqualsIgnoreAsciiCase(path, below);
}

std::vector<DriverServiceRecord> KitDriverServiceList::KitServices() {
  std::vector<DriverServiceRecord> found;
  const std::string drivers = SystemFolder() + "\\drivers\\";
  const std::string windows = SystemWindowsFolder();
  for (const char* name : kKitDriverServiceNames) {
    DWORD type = 0;
    std::string servicePath;
    if (setup_.QueryDriverService(name, type, servicePath) != 0) continue;
    // Another product's service of the same name, or one pointed elsewhere, is not ours.
    DriverServiceRecord record;
    record.name = name;
    record.binaryPath = drivers + name + ".sys";
    if (type != SERVICE_KERNEL_DRIVER ||
        !ServiceBinaryNames(servicePath, record.binaryPath, windows)) {
      continue;
    }
    found.push_back(record);
  }
  return found;
}

int KitDriverServiceList::Scan(const std::vector<std::string>& goingInstanceIds) {
  items.clear();
  listError_ = 0;
  std::vector<DriverServiceRecord> kit = KitServices();
  if (kit.empty()) return 0;
  // Every device of the system, of every class, connected or not; one that can't be seen may
  // use a service: then none goes.
  std::vector<std::string> used;
  DWORD error = ForEachDeviceOfTheSystem(setup_, [&](HDEVINFO set, const SP_DEVINFO_DATA& element) {
    std::string id;
    setup_.GetDeviceInstanceId(set, element, id);
    if (std::any_of(goingInstanceIds.begin(), goingInstanceIds.end(),
                    [&](const std::string& going) { return EqualsIgnoreAsciiCase(going, id); })) {
      return;
    }
    char service[256] = {};
    DWORD type = 0;
    if (setup_.GetDeviceRegistryProperty(set, element, SPDRP_SERVICE, type,
                                         reinterpret_cast<BYTE*>(service),
                                         sizeof(service) - 1) == 0 &&
        type == REG_SZ) {
      used.push_back(service);
    }
  });
  if (error != 0) {
    listError_ = error;
    return 0;
  }
  for (const DriverServiceRecord& record : kit) {
    if (std::none_of(used.begin(), used.end(), [&](const std::string& service) {
          return EqualsIgnoreAsciiCase(service, record.name);
        })) {
      items.push_back(record);
      if (onFound) onFound(items.back());
    }
  }
  return static_cast<int>(items.size());
}

void KitDriverServiceList::RemoveUnused() {
  Scan();
  if (listError_ != 0) {
    for (DriverServiceRecord record : KitServices()) {
      record.error = listError_;
      results.push_back(record);
      if (onResult) onResult(results.back());
    }
    return;
  }
  for (const DriverServiceRecord& item : items) Remove(item);
}

void KitDriverServiceList::Remove(const DriverServiceRecord& item) {
  DriverServiceRecord result = item;
  DWORD stop = setup_.StopDriverService(item.name.c_str(), kServiceStopWaitMs);
  // A driver that can't be unloaded refuses the request; one that takes longer is still running.
  bool stillRunning = stop == ERROR_SERVICE_REQUEST_TIMEOUT ||
                      stop == ERROR_INVALID_SERVICE_CONTROL ||
                      stop == ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  if (stop != 0 && !stillRunning) {
    result.error = stop;
  } else {
    // A running driver's service is only marked for deletion; it goes at the restart.
    result.error = setup_.DeleteDriverService(item.name.c_str());
    if (result.error == ERROR_SERVICE_MARKED_FOR_DELETE) result.error = 0;
  }
  if (result.error == 0) {
    DWORD deletion = 0;
    if (stillRunning ||
        (DeleteFileIfPresent(item.binaryPath, deletion) &&
         (deletion == ERROR_SHARING_VIOLATION || deletion == ERROR_ACCESS_DENIED))) {
      // Loaded still: the binary goes at the next restart.
      deletion = MoveFileExA(item.binaryPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)
                     ? 0
                     : LastErrorOfFailure();
      result.restartNeeded = deletion == 0;
    }
    result.error = deletion;
  }
  results.push_back(result);
  if (onResult) onResult(results.back());
}

}  // namespace korva
