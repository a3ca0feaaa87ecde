#include "cleanup/engine/device_instance_list.h"

#include <cstring>

#include "cleanup/core/cleanup_wizard_texts.h"
#include "common/core/text.h"
#include "common/last_error.h"
#include "devsetup/device_info.h"

namespace korva {

namespace {

// Expandable strings count as text, as for registry values.
const StringPropertyRules kPropertyRules{/*expandableCounts=*/true, kStringPropertyLimit};

bool IsUsbHardwareId(const std::string& hardwareId) {
  return EqualsIgnoreCase(hardwareId.substr(0, 4), "USB\\");
}

}  // namespace

GUID ToGuid(const GuidBytes& bytes) {
  GUID guid;
  static_assert(sizeof(guid) == sizeof(GuidBytes), "a GUID is 16 bytes");
  std::memcpy(&guid, bytes.data(), sizeof(guid));
  return guid;
}

UniqueRegKey DeviceInstanceList::OpenDeviceKey(const SP_DEVINFO_DATA& element, DWORD keyType,
                                               DWORD* error) {
  if (!deviceInfoSet.Valid()) return UniqueRegKey();
  return setup_.OpenDevRegKey(deviceInfoSet.Get(), element, keyType, KEY_READ, error);
}

void DeviceInstanceList::NotExaminedInstance(const SP_DEVINFO_DATA& element, DWORD error) {
  NotExaminedRecord record;
  setup_.GetDeviceInstanceId(deviceInfoSet.Get(), element, record.path);
  record.error = error != 0 ? error : kFailureWithoutCode;
  notExamined.push_back(std::move(record));
  if (onNotExamined) onNotExamined(notExamined.back());
}

int DeviceInstanceList::GetDeviceStringProperty(const SP_DEVINFO_DATA& element, DWORD property,
                                                std::string& text) {
  if (!deviceInfoSet.Valid()) return -1;
  // Read whole, so that a long list of hardware IDs still shows its first one.
  return ReadStringProperty(setup_, deviceInfoSet.Get(), element, property, kPropertyRules, text);
}

int DeviceInstanceList::ReadRegistryString(HKEY key, const char* valueName, std::string& text) {
  return korva::ReadRegistryString(setup_, key, valueName, text);
}

void DeviceInstanceList::ExamineInstance(const SP_DEVINFO_DATA& element) {
  DWORD keyError = 0;
  UniqueRegKey hardwareKey = OpenDeviceKey(element, DIREG_DEV, &keyError);
  if (!hardwareKey.Valid()) {
    // An instance without a hardware key carries no ident. Any other failure (access denied,
    // say) leaves unknown whether it is the kit's.
    if (keyError != ERROR_FILE_NOT_FOUND &&
        keyError != static_cast<DWORD>(ERROR_KEY_DOES_NOT_EXIST)) {
      NotExaminedInstance(element, keyError);
    }
    return;
  }

  std::string ident;
  ReadRegistryString(hardwareKey.Get(), kKitIdentValueName, ident);
  bool identMatches = !ident.empty() && EqualsIgnoreCase(ident, settings_.deviceIdentString);
  // Most instances of a crowded class fail here: their properties are never read.
  if (!(identMatches || settings_.expertMode)) return;

  std::string hardwareId;
  int idError = GetDeviceStringProperty(element, SPDRP_HARDWAREID, hardwareId);
  // No hardware ID, or one that is no text, is no USB hardware ID; an ID that could not be
  // read may be one.
  if (idError != 0 && idError != kPropertyNotAString && idError != ERROR_INVALID_DATA) {
    NotExaminedInstance(element, static_cast<DWORD>(idError));
    return;
  }
  if (!IsUsbHardwareId(hardwareId)) return;

  DeviceInstanceRecord record;
  record.devInfoData = element;
  if (deviceInfoSet.Valid())
    setup_.GetDeviceInstanceId(deviceInfoSet.Get(), element, record.instanceId);
  GetDeviceStringProperty(element, SPDRP_MFG, record.manufacturer);
  GetDeviceStringProperty(element, SPDRP_DEVICEDESC, record.description);
  GetDeviceStringProperty(element, SPDRP_LOCATION_INFORMATION, record.location);
  record.hardwareId = std::move(hardwareId);
  UniqueRegKey driverKey = OpenDeviceKey(element, DIREG_DRV);
  if (driverKey.Valid()) ReadRegistryString(driverKey.Get(), "InfPath", record.infPath);
  record.selected = true;
  items.push_back(std::move(record));
  if (onFound) onFound(items.back());
}

int DeviceInstanceList::Scan() {
  items.clear();
  notExamined.clear();
  deviceInfoSet.Reset();
  GUID classGuid = ToGuid(settings_.classGuid);
  DWORD error = 0;
  deviceInfoSet = setup_.GetClassDevs(&classGuid, 0, &error);
  if (deviceInfoSet.Valid()) {
    error =
        ForEachMember(setup_, deviceInfoSet.Get(), MemberFailure::kEndsTheWalk,
                      [this](DWORD, const SP_DEVINFO_DATA& element) { ExamineInstance(element); });
  } else if (error == 0) {
    error = kFailureWithoutCode;
  }
  // Instances that were never looked at are not instances that are not there.
  if (error != 0) {
    notExamined.push_back(
        {std::string(kClassInstancesRecordPrefix) + " " + settings_.classGuidText, error});
    if (onNotExamined) onNotExamined(notExamined.back());
  }
  return static_cast<int>(items.size());
}

bool DeviceInstanceList::NeedsRestart(SP_DEVINFO_DATA& element) {
  SP_DEVINSTALL_PARAMS_A params{};
  // Parameters that can't be read ask for nothing.
  if (setup_.GetDeviceInstallParams(deviceInfoSet.Get(), element, params) != 0) return false;
  return (params.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART)) != 0;
}

void DeviceInstanceList::RemoveSelected() {
  const size_t count = items.size();
  for (size_t i = 0; i < count; ++i) {
    DeviceInstanceRecord& item = items[i];
    if (!item.selected) continue;
    DeviceInstanceRecord result;
    result.error = deviceInfoSet.Valid() ? setup_.CallClassInstaller(
                                               DIF_REMOVE, deviceInfoSet.Get(), item.devInfoData)
                                         : ERROR_INVALID_HANDLE;
    // A device in use is removed when Windows restarts; the removal still succeeded.
    result.restartNeeded = result.error == 0 && NeedsRestart(item.devInfoData);
    result.instanceId = item.instanceId;
    result.description = item.description;
    result.location = item.location;
    result.hardwareId = item.hardwareId;
    result.infPath = item.infPath;
    results.push_back(std::move(result));
    if (onResult) onResult(results.back());
  }
}

RescanResult DeviceInstanceList::RescanDevices() {
  RescanResult rescan;
  rescan.asked = true;
  rescan.error = setup_.ReenumerateDevices();
  if (rescan.error != 0) return rescan;
  // A wait that can't be made (no such call) leaves the installations to Windows: no failure.
  rescan.timedOut = setup_.WaitForPendingInstallations(kPendingInstallationsWaitMs) == WAIT_TIMEOUT;
  return rescan;
}

std::vector<std::string> DeviceInstanceList::InfPathsStillInUse(DWORD& listError) const {
  // Every device left on the system, of every class, connected or not: one the user kept, one
  // whose removal failed, one the scan never took for the kit's.
  std::vector<std::string> paths;
  listError = ForEachDeviceOfTheSystem(setup_, [&](HDEVINFO set, const SP_DEVINFO_DATA& element) {
    UniqueRegKey driverKey = setup_.OpenDevRegKey(set, element, DIREG_DRV, KEY_READ, nullptr);
    std::string infPath;
    if (driverKey.Valid() &&
        korva::ReadRegistryString(setup_, driverKey.Get(), "InfPath", infPath) == 0 &&
        !infPath.empty()) {
      paths.push_back(infPath);
    }
  });
  return paths;
}

}  // namespace korva
