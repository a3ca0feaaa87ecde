// The kit's device instances of one set-up class: scan and removal.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <functional>
#include <string>
#include <vector>

#include "cleanup/core/cleanup_settings.h"
#include "cleanup/core/cleanup_wizard_texts.h"
#include "cleanup/engine/not_examined.h"
#include "devsetup/device_setup.h"

namespace korva {

struct DeviceInstanceRecord {
  bool selected = false;
  SP_DEVINFO_DATA devInfoData{};
  std::string instanceId;  // empty when the platform gave none
  std::string manufacturer;
  std::string description;
  std::string location;
  std::string hardwareId;
  std::string infPath;
  DWORD error = 0;
  // In a result: removed, but Windows needs a restart to complete the removal.
  bool restartNeeded = false;
};

class DeviceInstanceList {
 public:
  DeviceInstanceList(DeviceSetup& setup, const CleanupSettings& settings)
      : setup_(setup), settings_(settings) {}

  // Lists every instance of the class, present or not, and keeps the USB ones that carry the
  // ident string (every USB one in expert mode), all selected. Returns their number.
  int Scan();
  // Removes each selected item through the class installer, one result record per attempt,
  // noting a removal that Windows completes only after a restart.
  void RemoveSelected();
  // The INF files (their driver keys' InfPath) that the device instances left on the system
  // are installed from (any class, connected or not: the ones the user kept, the ones whose
  // removal failed, others'), asked after the removals. When the devices cannot all be listed,
  // `listError` says why, and no INF file is to go.
  std::vector<std::string> InfPathsStillInUse(DWORD& listError) const;
  // Asks Windows to enumerate the devices again from the root and waits a while for the
  // installations that starts: connected devices get the best driver Windows has for them,
  // their own once the kit's package is gone. Only after the kit's devices and INF files.
  RescanResult RescanDevices();
  // An unattended run: the platform's set-up calls fail rather than show a window.
  void MakeNonInteractive() { setup_.MakeNonInteractive(); }
  DeviceSetup& Setup() { return setup_; }

  std::vector<DeviceInstanceRecord>& Items() { return items; }
  const std::vector<DeviceInstanceRecord>& Items() const { return items; }
  const std::vector<DeviceInstanceRecord>& Results() const { return results; }
  // What the last scan could not read: the class's list, or its members from where the walk
  // ended early.
  const std::vector<NotExaminedRecord>& NotExamined() const { return notExamined; }

  // Told of each item as the scan finds it and of each result as its removal ends, so that a
  // record of the run is written as it happens.
  std::function<void(const DeviceInstanceRecord& item)> onFound;
  std::function<void(const DeviceInstanceRecord& result)> onResult;
  std::function<void(const NotExaminedRecord& record)> onNotExamined;

 private:
  UniqueRegKey OpenDeviceKey(const SP_DEVINFO_DATA& element, DWORD keyType, DWORD* error = nullptr);
  // An instance that could not be looked at: it may be the kit's.
  void NotExaminedInstance(const SP_DEVINFO_DATA& element, DWORD error);
  int GetDeviceStringProperty(const SP_DEVINFO_DATA& element, DWORD property, std::string& text);
  int ReadRegistryString(HKEY key, const char* valueName, std::string& text);
  void ExamineInstance(const SP_DEVINFO_DATA& element);
  bool NeedsRestart(SP_DEVINFO_DATA& element);

  DeviceSetup& setup_;
  const CleanupSettings& settings_;
  // Declared first so that it goes last: the items' elements belong to it.
  UniqueDevInfo deviceInfoSet;
  std::vector<DeviceInstanceRecord> results;
  std::vector<DeviceInstanceRecord> items;
  std::vector<NotExaminedRecord> notExamined;
};

// Copies the GUID bytes of the settings into the platform's type.
GUID ToGuid(const GuidBytes& bytes);

}  // namespace korva
