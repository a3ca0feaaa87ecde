// The USB device list against the prefix's device database, seeded by the test bed.
#include "install/engine/usb_device_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devsetup/device_info.h"
#include "support/fault_injecting_device_setup.h"
#include "support/install_test_support.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

const GUID kUsbClass = UsbClassGuid();

bool Listed(const UsbDeviceList& list, const std::string& instanceId) {
  return IndexOfInstance(list, instanceId) >= 0;
}

class UsbDeviceListTest : public ::testing::Test {
 protected:
  SetupApiDeviceSetup setup;
  UsbDeviceList list{setup};
};

TEST_F(UsbDeviceListTest, RootHubsShortAndLowerCaseIdsAreLeftOut) {
  GUID hubs = NewClassGuid();
  SeedDevice("USB\\ROOT_HUB\\4&1&0", kUsbClass, {"USB\\ROOT_HUB"}, "");
  SeedDevice("USB\\ROOT_HUB20\\4&2&0", kUsbClass,
             {"USB\\ROOT_HUB20&VID1234&PID5678&REV0001", "USB\\ROOT_HUB20"}, "");
  SeedDevice("USB\\ROOT_HUB30\\4&3&0", kUsbClass, {"USB\\ROOT_HUB30"}, "");
  SeedDevice("USB\\LOWER\\1", hubs, {"usb\\vid_0547&pid_1002"}, "");
  SeedDevice("USB\\MIXED\\1", hubs, {"Usb\\VID_0547&PID_1002"}, "");
  SeedDevice("USB\\SHORT\\1", hubs, {"USB\\A"}, "");
  SeedDevice("USB\\SIX\\1", hubs, {"USB\\AB"}, "");
  SeedDevice("ROOT\\OTHER\\1", hubs, {"ROOT\\USB\\VID_0547"}, "");
  // A root hub's ID found only second does not count: the first ID decides.
  SeedDevice("USB\\VID_0547&PID_1003\\1", hubs, {"USB\\VID_0547&PID_1003", "USB\\ROOT_HUB"}, "");

  ASSERT_EQ(list.Enumerate(true), 0);
  EXPECT_FALSE(Listed(list, "USB\\ROOT_HUB\\4&1&0"));
  EXPECT_FALSE(Listed(list, "USB\\ROOT_HUB20\\4&2&0"));
  EXPECT_FALSE(Listed(list, "USB\\ROOT_HUB30\\4&3&0"));
  EXPECT_FALSE(Listed(list, "USB\\LOWER\\1"));
  EXPECT_FALSE(Listed(list, "USB\\MIXED\\1"));
  EXPECT_FALSE(Listed(list, "USB\\SHORT\\1"));
  EXPECT_FALSE(Listed(list, "ROOT\\OTHER\\1"));
  EXPECT_TRUE(Listed(list, "USB\\SIX\\1"));  // six characters are enough
  EXPECT_TRUE(Listed(list, "USB\\VID_0547&PID_1003\\1"));
}

TEST_F(UsbDeviceListTest, CompositeInterfacesAndExternalHubsAreListedWhateverTheirClass) {
  SeedDevice("USB\\VID_0547&PID_1002&MI_00\\6&1&0&0000", NewClassGuid(),
             {"USB\\VID_0547&PID_1002&REV_0000&MI_00", "USB\\VID_0547&PID_1002&MI_00"}, "");
  SeedDevice("USB\\VID_0547&PID_1002&MI_01\\6&1&0&0001", kUsbClass,
             {"USB\\VID_0547&PID_1002&MI_01"}, "");
  SeedDevice("USB\\VID_05E3&PID_0608\\5&9&0&2", kUsbClass, {"USB\\VID_05E3&PID_0608&REV_6060"}, "",
             "Generic USB Hub");
  ASSERT_EQ(list.Enumerate(true), 0);
  EXPECT_TRUE(Listed(list, "USB\\VID_0547&PID_1002&MI_00\\6&1&0&0000"));
  EXPECT_TRUE(Listed(list, "USB\\VID_0547&PID_1002&MI_01\\6&1&0&0001"));
  EXPECT_TRUE(Listed(list, "USB\\VID_05E3&PID_0608\\5&9&0&2"));
}

TEST_F(UsbDeviceListTest, AHardwareIdPropertyLongerThanTheBufferIsLeftOut) {
  // Each ID is 40 characters with its NUL: 30 of them are 1200 bytes.
  std::vector<std::string> ids;
  for (int i = 0; i < 30; ++i) {
    char id[64];
    std::snprintf(id, sizeof(id), "USB\\VID_0547&PID_1002&REV_%04d&XXXXXXXX", i);
    ids.push_back(id);
  }
  SeedDevice("USB\\VID_0547&PID_1002\\LONG", NewClassGuid(), ids, "");
  // 25 of them (1000 bytes with the list's final NUL) still fit.
  ids.resize(25);
  SeedDevice("USB\\VID_0547&PID_1002\\FITS", NewClassGuid(), ids, "");
  ASSERT_EQ(list.Enumerate(true), 0);
  EXPECT_FALSE(Listed(list, "USB\\VID_0547&PID_1002\\LONG"));
  ASSERT_TRUE(Listed(list, "USB\\VID_0547&PID_1002\\FITS"));
  std::string first;
  const auto& item = *list.Items()[IndexOfInstance(list, "USB\\VID_0547&PID_1002\\FITS")];
  EXPECT_EQ(list.GetDeviceProperty(item.devInfoData, SPDRP_HARDWAREID, first), 0);
  EXPECT_EQ(first, "USB\\VID_0547&PID_1002&REV_0000&XXXXXXXX");
}

TEST_F(UsbDeviceListTest, ItemsKeepTheEnumerationOrder) {
  for (int i = 0; i < 4; ++i) {
    std::string n = std::to_string(i);
    SeedDevice("USB\\VID_1111&PID_000" + n + "\\ORDER", NewClassGuid(),
               {"USB\\VID_1111&PID_000" + n}, "");
  }
  ASSERT_EQ(list.Enumerate(true), 0);

  std::vector<std::string> actual;
  int lastIndex = -1;
  for (const auto& item : list.Items()) {
    actual.push_back(InstanceIdOf(list.DeviceInfoSet(), item->devInfoData));
    EXPECT_GT(item->memberIndex, lastIndex);
    lastIndex = item->memberIndex;
  }
  // A walk of a set of its own, done here by hand, meets the listed devices in the same order.
  std::vector<std::string> expected;
  UniqueDevInfo set(
      SetupDiGetClassDevsA(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT));
  ASSERT_TRUE(set.Valid());
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    if (!SetupDiEnumDeviceInfo(set.Get(), index, &element)) break;
    std::string id = InstanceIdOf(set.Get(), element);
    if (std::find(actual.begin(), actual.end(), id) != actual.end()) expected.push_back(id);
  }
  EXPECT_EQ(actual, expected);
  EXPECT_GE(actual.size(), 4u);
}

TEST_F(UsbDeviceListTest, EnumeratingAgainReflectsTheDevicesOfThatMomentAndKeepsTheChoice) {
  SeedDevice("USB\\VID_2222&PID_0001\\AGAIN", NewClassGuid(), {"USB\\VID_2222&PID_0001"}, "");
  ASSERT_EQ(list.Enumerate(true), 0);
  size_t before = list.Items().size();
  list.SetSelectedIndex(IndexOfInstance(list, "USB\\VID_2222&PID_0001\\AGAIN"));
  ASSERT_GE(list.SelectedIndex(), 0);
  const int chosen = list.SelectedIndex();

  ASSERT_EQ(testbed::RemoveDevice("USB\\VID_2222&PID_0001\\AGAIN"), 0u);
  SeedDevice("USB\\VID_2222&PID_0002\\AGAIN", NewClassGuid(), {"USB\\VID_2222&PID_0002"}, "");
  ASSERT_EQ(list.Enumerate(true), 0);
  EXPECT_EQ(list.Items().size(), before);
  EXPECT_FALSE(Listed(list, "USB\\VID_2222&PID_0001\\AGAIN"));
  EXPECT_TRUE(Listed(list, "USB\\VID_2222&PID_0002\\AGAIN"));
  EXPECT_EQ(list.SelectedIndex(), chosen);
  list.Clear();
  EXPECT_EQ(list.SelectedIndex(), chosen);
  EXPECT_TRUE(list.Items().empty());
  EXPECT_EQ(list.GetSelectedItem(), nullptr);
}

TEST_F(UsbDeviceListTest, GetSelectedItemBounds) {
  SeedDevice("USB\\VID_3333&PID_0001\\BOUNDS", NewClassGuid(), {"USB\\VID_3333&PID_0001"}, "");
  ASSERT_EQ(list.Enumerate(true), 0);
  const int count = static_cast<int>(list.Items().size());
  ASSERT_GT(count, 0);
  EXPECT_EQ(list.GetSelectedItem(), nullptr);  // -1: no choice yet
  list.SetSelectedIndex(0);
  EXPECT_EQ(list.GetSelectedItem(), list.Items()[0].get());
  list.SetSelectedIndex(count - 1);
  EXPECT_EQ(list.GetSelectedItem(), list.Items()[count - 1].get());
  list.SetSelectedIndex(count);
  EXPECT_EQ(list.GetSelectedItem(), nullptr);
  list.SetSelectedIndex(-2);
  EXPECT_EQ(list.GetSelectedItem(), nullptr);
}

TEST_F(UsbDeviceListTest, PropertiesAndDriverValues) {
  const std::string id = "USB\\VID_4444&PID_0001\\VALUES";
  SeedDevice(id, NewClassGuid(), {"USB\\VID_4444&PID_0001&REV_0100", "USB\\VID_4444&PID_0001"}, "",
             "Board with driver");
  ASSERT_EQ(testbed::SetDriverValue(id, "ProviderName", REG_SZ, testbed::StringData("KORVA")), 0u);
  ASSERT_EQ(testbed::SetDriverValue(id, "DriverDesc", REG_DWORD, testbed::DwordData(7)), 0u);
  ASSERT_TRUE(EnumerateAndSelect(list, id));
  const SP_DEVINFO_DATA& element = list.GetSelectedItem()->devInfoData;

  std::string text = "old";
  EXPECT_EQ(list.GetDeviceProperty(element, SPDRP_HARDWAREID, text), 0);
  EXPECT_EQ(text, "USB\\VID_4444&PID_0001&REV_0100");
  EXPECT_EQ(list.GetDeviceProperty(element, SPDRP_DEVICEDESC, text), 0);
  EXPECT_EQ(text, "Board with driver");
  EXPECT_EQ(list.GetDeviceProperty(element, SPDRP_MFG, text), 0);
  EXPECT_EQ(text, "KORVA");
  // A property that is not there: the platform's code, and the text is emptied.
  text = "old";
  EXPECT_EQ(list.GetDeviceProperty(element, SPDRP_FRIENDLYNAME, text),
            static_cast<int>(ERROR_INVALID_DATA));
  EXPECT_EQ(text, "");

  UniqueRegKey key = list.OpenDriverKey(element);
  ASSERT_TRUE(key.Valid());
  text.clear();
  EXPECT_EQ(list.GetDriverValue(key.Get(), kProviderName, text), 0);
  EXPECT_EQ(text, "KORVA");
  text = "unchanged";
  EXPECT_EQ(list.GetDriverValue(key.Get(), kDriverDesc, text), 1);  // a REG_DWORD
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(list.GetDriverValue(key.Get(), kDriverDate, text),
            static_cast<int>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(text, "unchanged");
  EXPECT_EQ(list.GetDriverValue(key.Get(), 3, text), 2);
  EXPECT_EQ(list.GetDriverValue(key.Get(), -1, text), 2);
}

TEST_F(UsbDeviceListTest, ADeviceWithoutADriverHasNoDriverKey) {
  const std::string id = "USB\\VID_4444&PID_0002\\NODRIVER";
  SeedDevice(id, NewClassGuid(), {"USB\\VID_4444&PID_0002"}, "");
  ASSERT_TRUE(EnumerateAndSelect(list, id));
  EXPECT_FALSE(list.OpenDriverKey(list.GetSelectedItem()->devInfoData).Valid());
}

TEST_F(UsbDeviceListTest, NothingIsReadBeforeTheFirstEnumeration) {
  SP_DEVINFO_DATA element{};
  element.cbSize = sizeof(element);
  std::string text = "unchanged";
  EXPECT_EQ(list.GetDeviceProperty(element, SPDRP_HARDWAREID, text), -1);
  EXPECT_EQ(text, "unchanged");
  EXPECT_FALSE(list.OpenDriverKey(element).Valid());
  EXPECT_FALSE(list.IsListedUsbDevice(element));
}

TEST(UsbDeviceListFaultTest, FailuresOfThePlatform) {
  FaultInjectingDeviceSetup setup;
  UsbDeviceList list(setup);
  SeedDevice("USB\\VID_5555&PID_0001\\FAULT", NewClassGuid(), {"USB\\VID_5555&PID_0001"}, "");

  // The set can't be had: its code, and an empty list.
  setup.classListFails = true;
  setup.classListError = ERROR_NOT_ENOUGH_MEMORY;
  EXPECT_EQ(list.Enumerate(true), static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_TRUE(list.Items().empty());
  EXPECT_EQ(list.DeviceInfoSet(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(setup.lastClassDevsFlags, static_cast<DWORD>(DIGCF_ALLCLASSES | DIGCF_PRESENT));
  setup.classListFails = false;
  EXPECT_EQ(list.Enumerate(false), 0);
  EXPECT_EQ(setup.lastClassDevsFlags, static_cast<DWORD>(DIGCF_ALLCLASSES));
  const size_t all = list.Items().size();
  ASSERT_GT(all, 0u);

  // An element that can't be read is skipped, not taken for the end of the list.
  setup.enumerationFailsAt = 0;
  setup.enumerationFailures = 1;
  setup.enumerationError = ERROR_INVALID_DATA;
  EXPECT_EQ(list.Enumerate(false), 0);
  EXPECT_GE(list.Items().size(), all - 1);
  EXPECT_GT(list.Items().size(), 0u);
  setup.enumerationFailures = FaultInjectingDeviceSetup::kNever;
  setup.enumerationError = ERROR_NO_MORE_ITEMS;
  EXPECT_EQ(list.Enumerate(true), 0);
  EXPECT_TRUE(list.Items().empty());
  // But a failure without a last error ends the list, and so does a failure that repeats at
  // every index: skipped, either would go on forever.
  for (DWORD error : {DWORD{0}, DWORD{ERROR_INVALID_HANDLE}}) {
    setup.enumerationError = error;
    setup.enumerationCalls = 0;
    EXPECT_EQ(list.Enumerate(true), 0);
    EXPECT_TRUE(list.Items().empty());
    EXPECT_LE(setup.enumerationCalls, static_cast<int>(kFailedMembersInARowLimit)) << error;
    // The list says that it is not whole.
    EXPECT_NE(list.WalkError(), 0u) << error;
  }

  // A hardware ID of another type is never listed.
  setup.enumerationFailsAt = FaultInjectingDeviceSetup::kNever;
  EXPECT_EQ(list.Enumerate(true), 0);
  EXPECT_EQ(list.WalkError(), 0u);
  setup.binaryProperty = SPDRP_HARDWAREID;
  EXPECT_EQ(list.Enumerate(true), 0);
  EXPECT_TRUE(list.Items().empty());
  setup.binaryProperty = FaultInjectingDeviceSetup::kNever;
  ASSERT_TRUE(EnumerateAndSelect(list, "USB\\VID_5555&PID_0001\\FAULT"));
  setup.binaryProperty = SPDRP_DEVICEDESC;
  std::string text = "x";
  EXPECT_EQ(list.GetDeviceProperty(list.GetSelectedItem()->devInfoData, SPDRP_DEVICEDESC, text),
            kPropertyNotAString);
  EXPECT_EQ(text, "");
}

// The first set and its items are gone before the second set is taken.
TEST(UsbDeviceListFaultTest, EnumeratingAgainFreesTheFirstSetFirst) {
  struct Watching : SetupApiDeviceSetup {
    const UsbDeviceList* list = nullptr;
    std::vector<bool> heldASet;
    std::vector<size_t> heldItems;
    UniqueDevInfo GetClassDevs(const GUID* classGuid, DWORD flags, DWORD* error) override {
      heldASet.push_back(list->DeviceInfoSet() != INVALID_HANDLE_VALUE);
      heldItems.push_back(list->Items().size());
      return SetupApiDeviceSetup::GetClassDevs(classGuid, flags, error);
    }
  };
  Watching setup;
  UsbDeviceList list(setup);
  setup.list = &list;
  SeedDevice("USB\\VID_5555&PID_0004\\TWICE", NewClassGuid(), {"USB\\VID_5555&PID_0004"}, "");
  ASSERT_EQ(list.Enumerate(true), 0);
  ASSERT_FALSE(list.Items().empty());
  ASSERT_EQ(list.Enumerate(true), 0);
  EXPECT_EQ(setup.heldASet, (std::vector<bool>{false, false}));
  EXPECT_EQ(setup.heldItems, (std::vector<size_t>{0, 0}));
}

// Some enumeration failures only skip single members.
TEST(UsbDeviceListFaultTest, AnUnreadableMemberIsSkipped) {
  struct SkipOne : FaultInjectingDeviceSetup {
    DWORD skipped = 1;
    DWORD EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) override {
      if (index == skipped) return ERROR_INVALID_DATA;
      return FaultInjectingDeviceSetup::EnumDeviceInfo(set, index, element);
    }
  };
  SkipOne setup;
  UsbDeviceList list(setup);
  SetupApiDeviceSetup real;
  UsbDeviceList reference(real);
  SeedDevice("USB\\VID_5555&PID_0002\\SKIP", NewClassGuid(), {"USB\\VID_5555&PID_0002"}, "");
  SeedDevice("USB\\VID_5555&PID_0003\\SKIP", NewClassGuid(), {"USB\\VID_5555&PID_0003"}, "");
  ASSERT_EQ(reference.Enumerate(true), 0);
  ASSERT_FALSE(reference.Items().empty());
  setup.skipped = static_cast<DWORD>(reference.Items().front()->memberIndex);
  ASSERT_EQ(list.Enumerate(true), 0);
  EXPECT_EQ(list.Items().size(), reference.Items().size() - 1);
  EXPECT_EQ(list.Items().front()->memberIndex, reference.Items()[1]->memberIndex);
}

}  // namespace
}  // namespace korva::testing
