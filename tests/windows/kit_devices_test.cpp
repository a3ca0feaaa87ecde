// The demo program's device list against Wine's SetupAPI and registry, seeded with the test bed.
#include "kit/korvaapp/kit_devices.h"

#include <cstring>

#include <gtest/gtest.h>

#include "support/wine_test_env.h"

namespace korva::demo {
namespace {

using testing::SeedDevice;

// Every test of the suite shares the kit's class in one prefix, so each seeds instance ids of
// its own and looks only for those.
const KitDevice* Find(const std::vector<KitDevice>& devices, const std::string& instanceId) {
  for (const KitDevice& device : devices) {
    if (_stricmp(device.instanceId.c_str(), instanceId.c_str()) == 0) return &device;
  }
  return nullptr;
}

std::vector<KitDevice> List() {
  std::vector<KitDevice> devices;
  EXPECT_EQ(ListKitDevices(devices), 0u);
  return devices;
}

TEST(KitDevicesTest, ListsAKitDeviceWithItsProperties) {
  const std::string id = "USB\\VID_0547&PID_1002\\KITDEVICES&1";
  SeedDevice(id, KitClassGuid(), {"USB\\VID_0547&PID_1002&REV_0001", "USB\\VID_0547&PID_1002"},
             kKitIdent, "KORVA demo board");

  std::vector<KitDevice> devices = List();
  const KitDevice* device = Find(devices, id);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->description, "KORVA demo board");
  EXPECT_EQ(device->hardwareId, "USB\\VID_0547&PID_1002&REV_0001");
  // Wine reports every registered instance as present (DIGCF_PRESENT drops none), so under
  // Wine a seeded device always reads as connected; the "No" case needs real hardware.
  EXPECT_TRUE(device->connected);
}

TEST(KitDevicesTest, LeavesOutDevicesWithoutTheIdent) {
  const std::string none = "USB\\VID_0547&PID_2001\\KITDEVICES&1";
  SeedDevice(none, KitClassGuid(), {"USB\\VID_0547&PID_2001"}, "");
  const std::string other = "USB\\VID_0547&PID_2002\\KITDEVICES&2";
  SeedDevice(other, KitClassGuid(), {"USB\\VID_0547&PID_2002"},
             "{00000000-0000-0000-0000-000000000000}");
  const std::string longer = "USB\\VID_0547&PID_2003\\KITDEVICES&3";
  SeedDevice(longer, KitClassGuid(), {"USB\\VID_0547&PID_2003"}, std::string(kKitIdent) + "x");

  std::vector<KitDevice> devices = List();
  EXPECT_EQ(Find(devices, none), nullptr);
  EXPECT_EQ(Find(devices, other), nullptr);
  EXPECT_EQ(Find(devices, longer), nullptr);
}

// The ident is read as the Cleanup Wizard reads it: any string type is text, a number is not.
TEST(KitDevicesTest, TheIdentIsReadAsTheCleanupReadsIt) {
  const std::string multi = "USB\\VID_0547&PID_2101\\KITDEVICES&1";
  SeedDevice(multi, KitClassGuid(), {"USB\\VID_0547&PID_2101"}, "");
  testbed::SetHardwareValue(multi, "CleanupWizard_DeviceIdentString", REG_MULTI_SZ,
                            testbed::MultiStringData({kKitIdent}));
  const std::string numeric = "USB\\VID_0547&PID_2102\\KITDEVICES&2";
  SeedDevice(numeric, KitClassGuid(), {"USB\\VID_0547&PID_2102"}, "");
  testbed::SetHardwareValue(numeric, "CleanupWizard_DeviceIdentString", REG_DWORD,
                            testbed::DwordData(42));

  std::vector<KitDevice> devices = List();
  EXPECT_NE(Find(devices, multi), nullptr);
  EXPECT_EQ(Find(devices, numeric), nullptr);
}

TEST(KitDevicesTest, LeavesOutDevicesThatAreNotUsb) {
  const std::string pci = "PCI\\VEN_0547&DEV_3001\\KITDEVICES&1";
  SeedDevice(pci, KitClassGuid(), {"PCI\\VEN_0547&DEV_3001"}, kKitIdent);
  const std::string usbLater = "USB\\VID_0547&PID_3002\\KITDEVICES&2";
  SeedDevice(usbLater, KitClassGuid(), {"HID\\VID_0547&PID_3002", "USB\\VID_0547"}, kKitIdent);
  const std::string noIds = "USB\\VID_0547&PID_3003\\KITDEVICES&3";
  SeedDevice(noIds, KitClassGuid(), {}, kKitIdent);

  std::vector<KitDevice> devices = List();
  EXPECT_EQ(Find(devices, pci), nullptr);
  EXPECT_EQ(Find(devices, usbLater), nullptr);
  EXPECT_EQ(Find(devices, noIds), nullptr);
}

TEST(KitDevicesTest, LeavesOutDevicesOfAnotherClass) {
  const std::string id = "USB\\VID_0547&PID_4001\\KITDEVICES&1";
  SeedDevice(id, testing::NewClassGuid(), {"USB\\VID_0547&PID_4001"}, kKitIdent);

  std::vector<KitDevice> devices = List();
  EXPECT_EQ(Find(devices, id), nullptr);
}

TEST(KitDevicesTest, TheIdentAndTheBusNameMatchInAnyLetterCase) {
  const std::string lower = "USB\\VID_0547&PID_5001\\KITDEVICES&1";
  SeedDevice(lower, KitClassGuid(), {"USB\\VID_0547&PID_5001"},
             "{dab6a146-d93e-48ab-b3e5-374ab8fff277}");
  const std::string upper = "USB\\VID_0547&PID_5002\\KITDEVICES&2";
  SeedDevice(upper, KitClassGuid(), {"USB\\VID_0547&PID_5002"},
             "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}");
  const std::string bus = "USB\\VID_0547&PID_5003\\KITDEVICES&3";
  SeedDevice(bus, KitClassGuid(), {"usb\\vid_0547&pid_5003"}, kKitIdent);

  std::vector<KitDevice> devices = List();
  EXPECT_NE(Find(devices, lower), nullptr);
  EXPECT_NE(Find(devices, upper), nullptr);
  const KitDevice* device = Find(devices, bus);
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(device->hardwareId, "usb\\vid_0547&pid_5003");
}

TEST(KitDevicesTest, ListsEveryKitDeviceOnce) {
  const std::string first = "USB\\VID_0547&PID_6001\\KITDEVICES&1";
  SeedDevice(first, KitClassGuid(), {"USB\\VID_0547&PID_6001"}, kKitIdent);
  const std::string second = "USB\\VID_0547&PID_6002\\KITDEVICES&2";
  SeedDevice(second, KitClassGuid(), {"USB\\VID_0547&PID_6002"}, kKitIdent);

  std::vector<KitDevice> devices = List();
  int seen = 0;
  for (const KitDevice& device : devices) {
    if (device.instanceId.find("PID_600") != std::string::npos) ++seen;
  }
  EXPECT_EQ(seen, 2);
  EXPECT_NE(Find(devices, first), nullptr);
  EXPECT_NE(Find(devices, second), nullptr);
}

}  // namespace
}  // namespace korva::demo
