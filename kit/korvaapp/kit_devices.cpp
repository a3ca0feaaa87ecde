#include "kit/korvaapp/kit_devices.h"

#include <setupapi.h>

#include <set>
#include <utility>

#include "devsetup/unique_resource.h"

namespace korva::demo {

const GUID kKitClassGuid = {
    0x96e73b6e, 0x7a5a, 0x11d4, {0x9f, 0x24, 0x00, 0x80, 0xc8, 0x27, 0x27, 0xf4}};
const char kKitIdentValueName[] = "CleanupWizard_DeviceIdentString";
const char kKitIdent[] = "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}";

namespace {

// ASCII folding only: the texts compared here are GUIDs and bus names, so the user's locale
// must not change the answer.
char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoreAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

bool IsUsbHardwareId(const std::string& hardwareId) {
  return EqualsIgnoreAsciiCase(hardwareId.substr(0, 4), "USB\\");
}

std::string InstanceId(HDEVINFO set, SP_DEVINFO_DATA& element) {
  DWORD size = 0;
  SetupDiGetDeviceInstanceIdA(set, &element, nullptr, 0, &size);
  if (size == 0) return "";
  std::vector<char> id(size + 1, '\0');
  if (!SetupDiGetDeviceInstanceIdA(set, &element, id.data(), size, nullptr)) return "";
  return id.data();
}

// A string property (the first string of a list); empty when missing or of another type.
std::string StringProperty(HDEVINFO set, SP_DEVINFO_DATA& element, DWORD property) {
  DWORD type = 0;
  DWORD size = 0;
  SetupDiGetDeviceRegistryPropertyA(set, &element, property, &type, nullptr, 0, &size);
  if (size == 0) return "";
  // Two spare zeros, so that even a stored text without its terminator ends inside the buffer.
  std::vector<BYTE> buffer(size + 2, 0);
  if (!SetupDiGetDeviceRegistryPropertyA(set, &element, property, &type, buffer.data(), size,
                                         nullptr)) {
    return "";
  }
  if (type != REG_SZ && type != REG_MULTI_SZ && type != REG_EXPAND_SZ) return "";
  return reinterpret_cast<const char*>(buffer.data());
}

// The REG_SZ value of a key; empty when missing or of another type.
std::string RegistryString(HKEY key, const char* name) {
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return "";
  }
  std::vector<BYTE> buffer(size + 2, 0);
  if (RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return "";
  }
  return reinterpret_cast<const char*>(buffer.data());
}

bool HasKitIdent(HDEVINFO set, SP_DEVINFO_DATA& element) {
  UniqueRegKey hardwareKey(
      SetupDiOpenDevRegKey(set, &element, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
  if (!hardwareKey.Valid()) return false;
  return EqualsIgnoreAsciiCase(RegistryString(hardwareKey.Get(), kKitIdentValueName), kKitIdent);
}

// The instance ids of the class's connected devices; empty when they cannot be read, so that
// nothing is then claimed to be connected.
std::set<std::string> ConnectedInstanceIds() {
  std::set<std::string> ids;
  UniqueDevInfo present(SetupDiGetClassDevsA(&kKitClassGuid, nullptr, nullptr, DIGCF_PRESENT));
  if (!present.Valid()) return ids;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    if (!SetupDiEnumDeviceInfo(present.Get(), index, &element)) break;
    std::string id = InstanceId(present.Get(), element);
    if (!id.empty()) ids.insert(std::move(id));
  }
  return ids;
}

}  // namespace

DWORD ListKitDevices(std::vector<KitDevice>& devices) {
  devices.clear();
  UniqueDevInfo all(SetupDiGetClassDevsA(&kKitClassGuid, nullptr, nullptr, 0));
  if (!all.Valid()) return GetLastError();
  const std::set<std::string> connected = ConnectedInstanceIds();
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    if (!SetupDiEnumDeviceInfo(all.Get(), index, &element)) break;
    KitDevice device;
    device.hardwareId = StringProperty(all.Get(), element, SPDRP_HARDWAREID);
    if (!IsUsbHardwareId(device.hardwareId) || !HasKitIdent(all.Get(), element)) continue;
    device.instanceId = InstanceId(all.Get(), element);
    device.description = StringProperty(all.Get(), element, SPDRP_DEVICEDESC);
    device.connected = !device.instanceId.empty() && connected.count(device.instanceId) != 0;
    devices.push_back(std::move(device));
  }
  return 0;
}

}  // namespace korva::demo
