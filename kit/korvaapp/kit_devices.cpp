#include "kit/korvaapp/kit_devices.h"

#include <setupapi.h>

#include <set>
#include <utility>
#include <vector>

#include "common/core/kit_identity.h"
#include "common/core/text.h"
#include "common/guid_text.h"
#include "devsetup/device_info.h"

namespace korva::demo {

namespace {

// ASCII folding only (EqualsIgnoreAsciiCase): the texts compared here are GUIDs and bus
// names, so the user's locale must not change the answer.
bool IsUsbHardwareId(const std::string& hardwareId) {
  return EqualsIgnoreAsciiCase(hardwareId.substr(0, 4), "USB\\");
}

// A string property (the first string of a list); empty when missing or of another type.
std::string StringProperty(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element,
                           DWORD property) {
  std::string text;
  ReadStringProperty(setup, set, element, property, StringPropertyRules(), text);
  return text;
}

// The ident is read as the Cleanup Wizard reads it, so that both call the same devices the kit's.
bool HasKitIdent(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element) {
  UniqueRegKey hardwareKey = setup.OpenDevRegKey(set, element, DIREG_DEV, KEY_READ);
  if (!hardwareKey.Valid()) return false;
  std::string ident;
  return ReadRegistryString(setup, hardwareKey.Get(), kKitIdentValueName, ident) == 0 &&
         EqualsIgnoreAsciiCase(ident, kKitIdent);
}

std::string InstanceId(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element) {
  std::string id;
  setup.GetDeviceInstanceId(set, element, id);
  return id;
}

// The instance ids of the class's connected devices; empty when they cannot be read, so that
// nothing is then claimed to be connected.
std::set<std::string> ConnectedInstanceIds(DeviceSetup& setup, const GUID& kitClass) {
  std::set<std::string> ids;
  UniqueDevInfo present = setup.GetClassDevs(&kitClass, DIGCF_PRESENT);
  if (!present.Valid()) return ids;
  ForEachMember(setup, present.Get(), MemberFailure::kEndsTheWalk,
                [&](DWORD, const SP_DEVINFO_DATA& element) {
                  std::string id = InstanceId(setup, present.Get(), element);
                  if (!id.empty()) ids.insert(std::move(id));
                });
  return ids;
}

}  // namespace

DWORD ListKitDevices(std::vector<KitDevice>& devices) {
  SetupApiDeviceSetup setup;
  return ListKitDevices(setup, devices);
}

DWORD ListKitDevices(DeviceSetup& setup, std::vector<KitDevice>& devices) {
  devices.clear();
  DWORD error = 0;
  const GUID kitClass = KitClassGuid();
  UniqueDevInfo all = setup.GetClassDevs(&kitClass, 0, &error);
  if (!all.Valid()) return error;
  const std::set<std::string> connected = ConnectedInstanceIds(setup, kitClass);
  ForEachMember(
      setup, all.Get(), MemberFailure::kEndsTheWalk, [&](DWORD, const SP_DEVINFO_DATA& element) {
        KitDevice device;
        device.hardwareId = StringProperty(setup, all.Get(), element, SPDRP_HARDWAREID);
        if (!IsUsbHardwareId(device.hardwareId) || !HasKitIdent(setup, all.Get(), element)) {
          return;
        }
        device.instanceId = InstanceId(setup, all.Get(), element);
        device.description = StringProperty(setup, all.Get(), element, SPDRP_DEVICEDESC);
        device.connected = !device.instanceId.empty() && connected.count(device.instanceId) != 0;
        devices.push_back(std::move(device));
      });
  return 0;
}

}  // namespace korva::demo
