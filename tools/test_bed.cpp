#include "tools/test_bed.h"

#include <setupapi.h>

#include <cstdio>

#include "common/core/kit_identity.h"
#include "common/unique_resource.h"

namespace korva::testbed {

namespace {

DWORD LastError(BOOL ok) { return ok ? 0 : GetLastError(); }

// Opens one instance by its id in a set of its own.
struct OpenedDevice {
  UniqueDevInfo set;
  SP_DEVINFO_DATA element{};
  DWORD error = 0;
};

OpenedDevice OpenDevice(const std::string& instanceId) {
  OpenedDevice device;
  device.set.Reset(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!device.set.Valid()) {
    device.error = GetLastError();
    return device;
  }
  device.element.cbSize = sizeof(device.element);
  device.error = LastError(
      SetupDiOpenDeviceInfoA(device.set.Get(), instanceId.c_str(), nullptr, 0, &device.element));
  return device;
}

std::string ReadProperty(HDEVINFO set, SP_DEVINFO_DATA& element, DWORD property) {
  BYTE buffer[4096] = {};
  DWORD type = 0;
  if (!SetupDiGetDeviceRegistryPropertyA(set, &element, property, &type, buffer, sizeof(buffer) - 2,
                                         nullptr)) {
    return "";
  }
  return reinterpret_cast<const char*>(buffer);
}

std::string ReadValueText(HKEY key, const char* name) {
  BYTE buffer[4096] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer) - 2;
  if (RegQueryValueExA(key, name, nullptr, &type, buffer, &size) != ERROR_SUCCESS) return "";
  if (type == REG_DWORD) return "dword:" + std::to_string(*reinterpret_cast<DWORD*>(buffer));
  if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
    return reinterpret_cast<const char*>(buffer);
  }
  return "type:" + std::to_string(type);
}

// Puts a value into the instance's hardware key (DIREG_DEV) or driver key (DIREG_DRV), making
// the key when it is missing.
DWORD SetDeviceKeyValue(const std::string& instanceId, DWORD keyType, const std::string& name,
                        DWORD type, const std::vector<BYTE>& data) {
  OpenedDevice device = OpenDevice(instanceId);
  if (device.error) return device.error;
  UniqueRegKey key(SetupDiCreateDevRegKeyA(device.set.Get(), &device.element, DICS_FLAG_GLOBAL, 0,
                                           keyType, nullptr, nullptr));
  if (!key.Valid()) return GetLastError();
  return static_cast<DWORD>(RegSetValueExA(key.Get(), name.c_str(), 0, type, data.data(),
                                           static_cast<DWORD>(data.size())));
}

}  // namespace

std::string GuidText(const GUID& guid) {
  char text[64];
  std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

std::vector<BYTE> StringData(const std::string& text) {
  return std::vector<BYTE>(text.c_str(), text.c_str() + text.size() + 1);
}

std::vector<BYTE> MultiStringData(const std::vector<std::string>& strings) {
  std::vector<BYTE> data;
  for (const std::string& s : strings) data.insert(data.end(), s.c_str(), s.c_str() + s.size() + 1);
  data.push_back(0);
  return data;
}

std::vector<BYTE> DwordData(DWORD value) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
  return std::vector<BYTE>(bytes, bytes + sizeof(value));
}

DWORD AddDevice(const DeviceSeed& seed) {
  UniqueDevInfo set(SetupDiCreateDeviceInfoList(&seed.classGuid, nullptr));
  if (!set.Valid()) return GetLastError();
  SP_DEVINFO_DATA element{};
  element.cbSize = sizeof(element);
  if (!SetupDiCreateDeviceInfoA(set.Get(), seed.instanceId.c_str(), &seed.classGuid,
                                seed.description.empty() ? nullptr : seed.description.c_str(),
                                nullptr, 0, &element)) {
    return GetLastError();
  }
  auto setText = [&](DWORD property, const std::string& text) {
    if (text.empty()) return DWORD{0};
    std::vector<BYTE> data = StringData(text);
    return LastError(SetupDiSetDeviceRegistryPropertyA(set.Get(), &element, property, data.data(),
                                                       static_cast<DWORD>(data.size())));
  };
  if (!seed.hardwareIds.empty()) {
    std::vector<BYTE> ids = MultiStringData(seed.hardwareIds);
    if (!SetupDiSetDeviceRegistryPropertyA(set.Get(), &element, SPDRP_HARDWAREID, ids.data(),
                                           static_cast<DWORD>(ids.size()))) {
      return GetLastError();
    }
  }
  if (DWORD e = setText(SPDRP_DEVICEDESC, seed.description)) return e;
  if (DWORD e = setText(SPDRP_MFG, seed.manufacturer)) return e;
  if (DWORD e = setText(SPDRP_LOCATION_INFORMATION, seed.location)) return e;
  if (DWORD e = setText(SPDRP_SERVICE, seed.service)) return e;
  if (!SetupDiRegisterDeviceInfo(set.Get(), &element, 0, nullptr, nullptr, nullptr)) {
    return GetLastError();
  }
  // Every instance gets its hardware key, as the platform gives every real device one.
  UniqueRegKey key(SetupDiCreateDevRegKeyA(set.Get(), &element, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                           nullptr, nullptr));
  return key.Valid() ? 0 : GetLastError();
}

DWORD SetHardwareValue(const std::string& instanceId, const std::string& name, DWORD type,
                       const std::vector<BYTE>& data) {
  return SetDeviceKeyValue(instanceId, DIREG_DEV, name, type, data);
}

DWORD SetDriverValue(const std::string& instanceId, const std::string& name, DWORD type,
                     const std::vector<BYTE>& data) {
  return SetDeviceKeyValue(instanceId, DIREG_DRV, name, type, data);
}

DWORD SetDriverInfPath(const std::string& instanceId, const std::string& infPath) {
  return SetDriverValue(instanceId, "InfPath", REG_SZ, StringData(infPath));
}

DWORD SetHardwareIds(const std::string& instanceId, const std::vector<std::string>& hardwareIds) {
  OpenedDevice device = OpenDevice(instanceId);
  if (device.error) return device.error;
  std::vector<BYTE> data = MultiStringData(hardwareIds);
  return LastError(SetupDiSetDeviceRegistryPropertyA(device.set.Get(), &device.element,
                                                     SPDRP_HARDWAREID, data.data(),
                                                     static_cast<DWORD>(data.size())));
}

std::string ReadDeviceValue(const std::string& instanceId, DWORD keyType, const std::string& name) {
  OpenedDevice device = OpenDevice(instanceId);
  if (device.error) return "";
  UniqueRegKey key(SetupDiOpenDevRegKey(device.set.Get(), &device.element, DICS_FLAG_GLOBAL, 0,
                                        keyType, KEY_READ));
  if (!key.Valid()) return "";
  return ReadValueText(key.Get(), name.c_str());
}

bool HasDriverKey(const std::string& instanceId) {
  OpenedDevice device = OpenDevice(instanceId);
  if (device.error) return false;
  UniqueRegKey key(SetupDiOpenDevRegKey(device.set.Get(), &device.element, DICS_FLAG_GLOBAL, 0,
                                        DIREG_DRV, KEY_READ));
  return key.Valid();
}

DWORD RemoveDevice(const std::string& instanceId) {
  OpenedDevice device = OpenDevice(instanceId);
  if (device.error) return device.error;
  return LastError(SetupDiCallClassInstaller(DIF_REMOVE, device.set.Get(), &device.element));
}

bool DeviceExists(const std::string& instanceId) { return OpenDevice(instanceId).error == 0; }

std::vector<DeviceSummary> ListDevices(const GUID* classGuid) {
  std::vector<DeviceSummary> devices;
  UniqueDevInfo set(
      SetupDiGetClassDevsA(classGuid, nullptr, nullptr, classGuid ? 0 : DIGCF_ALLCLASSES));
  if (!set.Valid()) return devices;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    if (!SetupDiEnumDeviceInfo(set.Get(), index, &element)) {
      if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
      continue;
    }
    DeviceSummary device;
    char id[512] = {};
    SetupDiGetDeviceInstanceIdA(set.Get(), &element, id, sizeof(id), nullptr);
    device.instanceId = id;
    device.classGuid = GuidText(element.ClassGuid);
    device.hardwareId = ReadProperty(set.Get(), element, SPDRP_HARDWAREID);
    device.description = ReadProperty(set.Get(), element, SPDRP_DEVICEDESC);
    UniqueRegKey hardwareKey(
        SetupDiOpenDevRegKey(set.Get(), &element, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
    if (hardwareKey.Valid()) {
      device.identValue = ReadValueText(hardwareKey.Get(), kKitIdentValueName);
    }
    UniqueRegKey driverKey(
        SetupDiOpenDevRegKey(set.Get(), &element, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ));
    if (driverKey.Valid()) device.infPath = ReadValueText(driverKey.Get(), "InfPath");
    devices.push_back(device);
  }
  return devices;
}

}  // namespace korva::testbed
