// The device-instance scan and removal against Wine's SetupAPI and registry.
#include "cleanup/engine/device_instance_list.h"

#include <clocale>
#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "common/core/text.h"
#include "common/last_error.h"
#include "support/fault_injecting_device_setup.h"
#include "support/wine_test_env.h"

namespace korva {
namespace {

using testing::FaultInjectingDeviceSetup;
using testing::SeedDevice;

class DeviceInstanceListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    classGuid = testing::NewClassGuid();
    settings.classGuidText = testbed::GuidText(classGuid);
    std::memcpy(settings.classGuid.data(), &classGuid, sizeof(classGuid));
    settings.deviceIdentString = "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}";
    settings.identValueName = "CLEANUPWIZARD_DEVICEIDENTSTRING";
    settings.interactive = false;
  }

  // Instance ids unique to this test's class.
  std::string Id(const std::string& hardwareId, int n) {
    return hardwareId + "\\" + std::to_string(n) + "&" + settings.classGuidText.substr(1, 8);
  }

  std::vector<std::string> HardwareIds(const std::vector<DeviceInstanceRecord>& records) {
    std::vector<std::string> ids;
    for (const auto& r : records) ids.push_back(r.hardwareId);
    return ids;
  }

  GUID classGuid{};
  CleanupSettings settings;
  FaultInjectingDeviceSetup setup;
};

TEST_F(DeviceInstanceListTest, ListsTheKitsUsbInstancesWithTheirProperties) {
  std::string kit = Id("USB\\VID_0547&PID_1002", 1);
  SeedDevice(kit, classGuid, {"USB\\VID_0547&PID_1002&REV_0001", "USB\\VID_0547&PID_1002"},
             kKitIdent, "KORVA device");
  testbed::SetDriverInfPath(kit, "oem12.inf");
  SeedDevice(Id("USB\\VID_1111&PID_0001", 2), classGuid, {"USB\\VID_1111&PID_0001"}, "");
  SeedDevice(Id("USB\\VID_1111&PID_0002", 3), classGuid, {"USB\\VID_1111&PID_0002"},
             "{00000000-0000-0000-0000-000000000000}");

  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  const DeviceInstanceRecord& item = list.Items()[0];
  EXPECT_TRUE(item.selected);
  EXPECT_EQ(item.hardwareId, "USB\\VID_0547&PID_1002&REV_0001");
  EXPECT_EQ(item.description, "KORVA device");
  EXPECT_EQ(item.manufacturer, "KORVA");
  EXPECT_EQ(item.location, "Port_#0001.Hub_#0001");
  EXPECT_EQ(item.infPath, "oem12.inf");
  EXPECT_STRCASEEQ(item.instanceId.c_str(), kit.c_str());
  EXPECT_EQ(item.devInfoData.cbSize, sizeof(SP_DEVINFO_DATA));
  EXPECT_TRUE(list.Results().empty());
}

TEST_F(DeviceInstanceListTest, IdentValueKindsAndCases) {
  std::string lower = Id("USB\\VID_2222&PID_0001", 1);
  SeedDevice(lower, classGuid, {"USB\\VID_2222&PID_0001"},
             "{dab6a146-d93e-48ab-b3e5-374ab8fff277}");
  std::string multi = Id("USB\\VID_2222&PID_0002", 2);
  SeedDevice(multi, classGuid, {"USB\\VID_2222&PID_0002"}, "");
  testbed::SetHardwareValue(multi, "CleanupWizard_DeviceIdentString", REG_MULTI_SZ,
                            testbed::MultiStringData({kKitIdent, "second"}));
  std::string multiSecond = Id("USB\\VID_2222&PID_0003", 3);
  SeedDevice(multiSecond, classGuid, {"USB\\VID_2222&PID_0003"}, "");
  testbed::SetHardwareValue(multiSecond, "CleanupWizard_DeviceIdentString", REG_MULTI_SZ,
                            testbed::MultiStringData({"first", kKitIdent}));
  std::string numeric = Id("USB\\VID_2222&PID_0004", 4);
  SeedDevice(numeric, classGuid, {"USB\\VID_2222&PID_0004"}, "");
  testbed::SetHardwareValue(numeric, "CleanupWizard_DeviceIdentString", REG_DWORD,
                            testbed::DwordData(42));
  std::string expand = Id("USB\\VID_2222&PID_0005", 5);
  SeedDevice(expand, classGuid, {"USB\\VID_2222&PID_0005"}, "");
  testbed::SetHardwareValue(expand, "CleanupWizard_DeviceIdentString", REG_EXPAND_SZ,
                            testbed::StringData(kKitIdent));
  std::string longer = Id("USB\\VID_2222&PID_0006", 6);
  SeedDevice(longer, classGuid, {"USB\\VID_2222&PID_0006"}, std::string(kKitIdent) + "x");

  DeviceInstanceList list(setup, settings);
  list.Scan();
  EXPECT_EQ(HardwareIds(list.Items()),
            (std::vector<std::string>{"USB\\VID_2222&PID_0001", "USB\\VID_2222&PID_0002",
                                      "USB\\VID_2222&PID_0005"}));
}

TEST_F(DeviceInstanceListTest, OnlyUsbHardwareIdsQualifyEvenInExpertMode) {
  SeedDevice(Id("USB\\VID_3333&PID_0001", 1), classGuid, {"usb\\vid_3333&pid_0001"}, kKitIdent);
  SeedDevice(Id("USB\\VID_3333&PID_0002", 2), classGuid, {"USB"}, kKitIdent);
  SeedDevice(Id("PCI\\VEN_3333&DEV_0003", 3), classGuid, {"PCI\\VEN_3333&DEV_0003"}, kKitIdent);
  SeedDevice(Id("USB\\VID_3333&PID_0004", 4), classGuid, {}, kKitIdent);
  SeedDevice(Id("USB\\VID_3333&PID_0005", 5), classGuid, {"USBX\\VID_3333"}, kKitIdent);

  DeviceInstanceList list(setup, settings);
  list.Scan();
  EXPECT_EQ(HardwareIds(list.Items()), (std::vector<std::string>{"usb\\vid_3333&pid_0001"}));
  settings.expertMode = true;
  list.Scan();
  EXPECT_EQ(HardwareIds(list.Items()), (std::vector<std::string>{"usb\\vid_3333&pid_0001"}));
}

TEST_F(DeviceInstanceListTest, ExpertModeListsEveryUsbInstanceOfTheClass) {
  SeedDevice(Id("USB\\VID_4444&PID_0001", 1), classGuid, {"USB\\VID_4444&PID_0001"}, kKitIdent);
  SeedDevice(Id("USB\\VID_4444&PID_0002", 2), classGuid, {"USB\\VID_4444&PID_0002"}, "");
  SeedDevice(Id("USB\\VID_4444&PID_0003", 3), classGuid, {"USB\\VID_4444&PID_0003"}, "other");
  settings.expertMode = true;
  DeviceInstanceList list(setup, settings);
  EXPECT_EQ(list.Scan(), 3);
}

// Wine lists every registered instance as connected (it ignores DIGCF_PRESENT for devices),
// so an unplugged device cannot be made here; what binds is that the scan asks for every
// instance of the class, connected or not.
TEST_F(DeviceInstanceListTest, ScanAsksForEveryInstanceConnectedOrNot) {
  std::string kit = Id("USB\\VID_5555&PID_0001", 1);
  SeedDevice(kit, classGuid, {"USB\\VID_5555&PID_0001"}, kKitIdent);
  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  EXPECT_EQ(setup.lastClassDevsFlags, 0u);
  EXPECT_TRUE(IsEqualGUID(setup.lastClassGuid, classGuid));
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 1u);
  EXPECT_EQ(list.Results()[0].error, 0u);
  EXPECT_FALSE(testbed::DeviceExists(kit));
}

TEST_F(DeviceInstanceListTest, RemovesOnlyTheSelectedItemsAndRecordsEachAttempt) {
  std::string first = Id("USB\\VID_6666&PID_0001", 1);
  std::string second = Id("USB\\VID_6666&PID_0002", 2);
  std::string third = Id("USB\\VID_6666&PID_0003", 3);
  std::string pci = Id("PCI\\VEN_6666&DEV_0004", 4);
  SeedDevice(first, classGuid, {"USB\\VID_6666&PID_0001"}, kKitIdent, "first");
  SeedDevice(second, classGuid, {"USB\\VID_6666&PID_0002"}, kKitIdent, "second");
  SeedDevice(third, classGuid, {"USB\\VID_6666&PID_0003"}, kKitIdent, "third");
  SeedDevice(pci, classGuid, {"PCI\\VEN_6666&DEV_0004"}, kKitIdent);

  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 3);
  list.Items()[1].selected = false;
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 2u);
  EXPECT_EQ(list.Results()[0].description, "first");
  EXPECT_EQ(list.Results()[0].hardwareId, "USB\\VID_6666&PID_0001");
  EXPECT_EQ(list.Results()[0].location, "Port_#0001.Hub_#0001");
  EXPECT_EQ(list.Results()[0].manufacturer, "");
  EXPECT_FALSE(list.Results()[0].selected);
  EXPECT_EQ(list.Results()[1].description, "third");
  EXPECT_FALSE(testbed::DeviceExists(first));
  EXPECT_TRUE(testbed::DeviceExists(second));
  EXPECT_FALSE(testbed::DeviceExists(third));
  EXPECT_TRUE(testbed::DeviceExists(pci));
  // The items stay as they were.
  EXPECT_EQ(list.Items().size(), 3u);
  EXPECT_FALSE(list.Items()[1].selected);
}

// A device in use is removed when Windows restarts: the removal succeeded, and its install
// parameters say that a restart is needed (Wine never asks for one).
TEST_F(DeviceInstanceListTest, ARemovalThatNeedsARestartIsStillASuccess) {
  std::string ids[3];
  for (int i = 0; i < 3; ++i) {
    ids[i] = Id("USB\\VID_6667&PID_000" + std::to_string(i), i);
    SeedDevice(ids[i], classGuid, {"USB\\VID_6667&PID_000" + std::to_string(i)}, kKitIdent);
  }
  setup.restartFlags = {0, DI_NEEDREBOOT, DI_NEEDRESTART};
  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 3);
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list.Results()[i].error, 0u) << i;
    EXPECT_EQ(list.Results()[i].restartNeeded, i != 0) << i;
    EXPECT_FALSE(testbed::DeviceExists(ids[i])) << i;
  }
}

TEST_F(DeviceInstanceListTest, UncheckingEverythingRemovesNothing) {
  std::string kit = Id("USB\\VID_7777&PID_0001", 1);
  SeedDevice(kit, classGuid, {"USB\\VID_7777&PID_0001"}, kKitIdent);
  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  list.Items()[0].selected = false;
  list.RemoveSelected();
  EXPECT_TRUE(list.Results().empty());
  EXPECT_TRUE(testbed::DeviceExists(kit));
}

TEST_F(DeviceInstanceListTest, AnEmptyClassGivesNothing) {
  DeviceInstanceList list(setup, settings);
  EXPECT_EQ(list.Scan(), 0);
  list.RemoveSelected();
  EXPECT_TRUE(list.Results().empty());
}

TEST_F(DeviceInstanceListTest, ScanningTwiceKeepsTheSecondScanAndEarlierResults) {
  std::string a = Id("USB\\VID_8888&PID_0001", 1);
  std::string b = Id("USB\\VID_8888&PID_0002", 2);
  SeedDevice(a, classGuid, {"USB\\VID_8888&PID_0001"}, kKitIdent);
  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  list.RemoveSelected();
  SeedDevice(b, classGuid, {"USB\\VID_8888&PID_0002"}, kKitIdent);
  ASSERT_EQ(list.Scan(), 1);
  EXPECT_EQ(list.Items()[0].hardwareId, "USB\\VID_8888&PID_0002");
  EXPECT_EQ(list.Results().size(), 1u);
  // The elements of the second scan are valid in its set: removal works.
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 2u);
  EXPECT_EQ(list.Results()[1].error, 0u);
  EXPECT_FALSE(testbed::DeviceExists(b));
}

// Properties are read whole, at the size the platform asks for; registry values are read into
// 1999 bytes, and a longer one reads as empty.
TEST_F(DeviceInstanceListTest, LongPropertiesAreReadWholeAndLongRegistryValuesAsEmpty) {
  std::string longIdent = Id("USB\\VID_9999&PID_0001", 1);
  SeedDevice(longIdent, classGuid, {"USB\\VID_9999&PID_0001"},
             std::string(kKitIdent) + std::string(3000, ' '));
  std::string longDescription = Id("USB\\VID_9999&PID_0002", 2);
  SeedDevice(longDescription, classGuid, {"USB\\VID_9999&PID_0002"}, kKitIdent,
             std::string(2500, 'd'));
  std::string longHardwareId = Id("USB\\VID_9999&PID_0003", 3);
  SeedDevice(longHardwareId, classGuid, {"USB\\VID_9999&PID_0003" + std::string(2100, 'h')},
             kKitIdent);
  std::string exact = Id("USB\\VID_9999&PID_0004", 4);
  SeedDevice(exact, classGuid, {"USB\\VID_9999&PID_0004"}, kKitIdent, std::string(1998, 'e'));
  // A list of 80 hardware IDs (3,200 bytes): the first one decides, as for a short list.
  std::vector<std::string> manyIds;
  for (int i = 0; i < 80; ++i) {
    char id[64];
    std::snprintf(id, sizeof(id), "USB\\VID_9999&PID_0005&REV_%04d&XXXXXXXX", i);
    manyIds.push_back(id);
  }
  std::string manyHardwareIds = Id("USB\\VID_9999&PID_0005", 5);
  SeedDevice(manyHardwareIds, classGuid, manyIds, kKitIdent);
  // Beyond the reading limit of 64 KB a property is not read.
  std::string hugeDescription = Id("USB\\VID_9999&PID_0006", 6);
  SeedDevice(hugeDescription, classGuid, {"USB\\VID_9999&PID_0006"}, kKitIdent,
             std::string(70000, 'u'));

  DeviceInstanceList list(setup, settings);
  list.Scan();
  // The long ident does not match.
  ASSERT_EQ(HardwareIds(list.Items()),
            (std::vector<std::string>{
                "USB\\VID_9999&PID_0002", "USB\\VID_9999&PID_0003" + std::string(2100, 'h'),
                "USB\\VID_9999&PID_0004", manyIds[0], "USB\\VID_9999&PID_0006"}));
  EXPECT_EQ(list.Items()[0].description, std::string(2500, 'd'));
  EXPECT_EQ(list.Items()[2].description, std::string(1998, 'e'));
  EXPECT_TRUE(list.Items()[4].description.empty());
  // Nor does a device with a long list hide in expert mode.
  settings.expertMode = true;
  list.Scan();
  EXPECT_EQ(HardwareIds(list.Items()).size(), 6u);
}

TEST_F(DeviceInstanceListTest, FailedRemovalIsRecordedAndTheNextItemIsTried) {
  std::string a = Id("USB\\VID_AAAA&PID_0001", 1);
  std::string b = Id("USB\\VID_AAAA&PID_0002", 2);
  SeedDevice(a, classGuid, {"USB\\VID_AAAA&PID_0001"}, kKitIdent);
  SeedDevice(b, classGuid, {"USB\\VID_AAAA&PID_0002"}, kKitIdent);
  setup.removeError = ERROR_NO_SUCH_DEVINST;
  // A failed removal is no removal that waits for a restart, whatever the parameters say.
  setup.restartFlags = {DI_NEEDREBOOT, DI_NEEDREBOOT};
  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 2);
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 2u);
  EXPECT_EQ(list.Results()[0].error, static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
  EXPECT_EQ(list.Results()[1].error, static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
  EXPECT_FALSE(list.Results()[0].restartNeeded);
  EXPECT_FALSE(list.Results()[1].restartNeeded);
  EXPECT_EQ(setup.removeCalls, 2);
  EXPECT_TRUE(testbed::DeviceExists(a));
  EXPECT_TRUE(testbed::DeviceExists(b));
  // A removal that fails without a last error is still a failure.
  setup.removeError = 0;
  setup.removeFailsWithoutCode = true;
  list.Items()[1].selected = false;
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 3u);
  EXPECT_EQ(list.Results()[2].error, kFailureWithoutCode);
  EXPECT_NE(kFailureWithoutCode, 0u);
  EXPECT_TRUE(testbed::DeviceExists(a));
}

TEST_F(DeviceInstanceListTest, EnumerationEndingEarlyKeepsWhatWasFound) {
  for (int i = 0; i < 3; ++i) {
    SeedDevice(Id("USB\\VID_BBBB&PID_000" + std::to_string(i), i), classGuid,
               {"USB\\VID_BBBB&PID_000" + std::to_string(i)}, kKitIdent);
  }
  setup.enumerationFailsAt = 2;
  DeviceInstanceList list(setup, settings);
  EXPECT_EQ(list.Scan(), 2);
  // What the walk did not reach is said, not taken for nothing.
  ASSERT_EQ(list.NotExamined().size(), 1u);
  EXPECT_EQ(list.NotExamined()[0].path, "device instances of class " + settings.classGuidText);
  EXPECT_EQ(list.NotExamined()[0].error, static_cast<DWORD>(ERROR_INVALID_DATA));
  setup.enumerationFailsAt = 0;
  EXPECT_EQ(list.Scan(), 0);
  EXPECT_EQ(list.NotExamined().size(), 1u);
  // A failure whose last error reads 0 ends the walk too, at once.
  setup.enumerationFailsAt = 2;
  setup.enumerationError = 0;
  setup.enumerationCalls = 0;
  EXPECT_EQ(list.Scan(), 2);
  EXPECT_EQ(setup.enumerationCalls, 3);
  ASSERT_EQ(list.NotExamined().size(), 1u);
  EXPECT_EQ(list.NotExamined()[0].error, kFailureWithoutCode);
  // A walk to the end leaves nothing unexamined.
  setup.enumerationFailsAt = FaultInjectingDeviceSetup::kNever;
  EXPECT_EQ(list.Scan(), 3);
  EXPECT_TRUE(list.NotExamined().empty());
  // Instances whose hardware key or hardware ID can't be read are said one by one (they may be
  // the kit's); one without a hardware key at all, or without a hardware ID, is no kit device.
  struct Case {
    DWORD keyError;
    DWORD idError;
    bool notExamined;
  } cases[] = {
      {ERROR_ACCESS_DENIED, 0, true},
      {0, ERROR_ACCESS_DENIED, true},
      {0, ERROR_INVALID_FUNCTION, true},  // the platform's 1 is no "not a string"
      {static_cast<DWORD>(ERROR_KEY_DOES_NOT_EXIST), 0, false},
      {ERROR_FILE_NOT_FOUND, 0, false},
      {0, ERROR_INVALID_DATA, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.keyError) + " " + std::to_string(c.idError));
    setup.hardwareKeyError = c.keyError;
    setup.hardwareIdError = c.idError;
    EXPECT_EQ(list.Scan(), 0);
    ASSERT_EQ(list.NotExamined().size(), c.notExamined ? 3u : 0u);
    if (!c.notExamined) continue;
    std::string id = Id("USB\\VID_BBBB&PID_0000", 0);
    UpperCaseInPlace(id);
    EXPECT_EQ(list.NotExamined()[0].path, id);
    EXPECT_EQ(list.NotExamined()[0].error, c.keyError ? c.keyError : c.idError);
  }
  setup.hardwareKeyError = setup.hardwareIdError = 0;
}

TEST_F(DeviceInstanceListTest, NonStringPropertyLeavesItsTextEmpty) {
  SeedDevice(Id("USB\\VID_CCCC&PID_0001", 1), classGuid, {"USB\\VID_CCCC&PID_0001"}, kKitIdent);
  setup.binaryProperty = SPDRP_DEVICEDESC;
  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  EXPECT_EQ(list.Items()[0].description, "");
  EXPECT_EQ(list.Items()[0].manufacturer, "KORVA");
  // A hardware ID of another type makes the instance no USB device.
  setup.binaryProperty = SPDRP_HARDWAREID;
  EXPECT_EQ(list.Scan(), 0);
}

TEST_F(DeviceInstanceListTest, NoClassListMeansNoItemsAndNoRemoval) {
  SeedDevice(Id("USB\\VID_DDDD&PID_0001", 1), classGuid, {"USB\\VID_DDDD&PID_0001"}, kKitIdent);
  DeviceInstanceList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  EXPECT_TRUE(list.NotExamined().empty());
  setup.classListFails = true;
  EXPECT_EQ(list.Scan(), 0);
  ASSERT_EQ(list.NotExamined().size(), 1u);
  EXPECT_EQ(list.NotExamined()[0].error, setup.classListError);
  list.RemoveSelected();
  EXPECT_TRUE(list.Results().empty());
  EXPECT_EQ(setup.removeCalls, 0);
}

}  // namespace
}  // namespace korva
