// Driver installation for a seeded device: the driver update road and the class installer
// road, as Wine's SetupAPI and newdev carry them out.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/engine/package_signing.h"
#include "install/engine/usb_device_list.h"

#include <newdev.h>
#include "devsetup/device_info.h"
#include "support/fault_injecting_device_setup.h"
#include "support/install_test_support.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

const char kKitClassKey[] =
    "SYSTEM\\CurrentControlSet\\Control\\Class\\{96E73B6E-7A5A-11D4-9F24-0080C82727F4}";
const char kKitClassName[] = "KorvaUsbDevices";
const GUID kUsbClass = UsbClassGuid();

std::vector<std::string> ClassSubkeys() {
  return RegistrySubkeys(HKEY_LOCAL_MACHINE, kKitClassKey);
}

// Leaves the kit's class key with exactly the numbered subkeys given.
void SetClassSubkeys(const std::vector<std::string>& wanted) {
  for (const std::string& name : ClassSubkeys()) {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, (std::string(kKitClassKey) + "\\" + name).c_str());
  }
  for (const std::string& name : wanted) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kKitClassKey) + "\\" + name).c_str(),
                              0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
}

bool HasSubkey(const std::string& name) {
  std::vector<std::string> names = ClassSubkeys();
  return std::find(names.begin(), names.end(), name) != names.end();
}

class DriverInstallTest : public ::testing::Test {
 protected:
  // Seeds a USB device of the USB class, selects it and generates its INF file from the kit's
  // template into a scratch folder holding korva.sys, with the catalog the INF file names.
  void Prepare(const std::string& name, const std::string& instanceId,
               const std::string& hardwareId) {
    folder = ScratchFolder(name);
    infPath = folder + "\\korvawiz.inf";
    CopyKitFile("korva.sys", folder);
    SeedDevice(instanceId, kUsbClass, {hardwareId}, "", "Test Board");
    ASSERT_TRUE(EnumerateAndSelect(list, instanceId));
    PackageToSign package;
    ASSERT_EQ(list.GenerateInf(KitFolder() + "\\korvawiz.tpl", infPath, "korva", &package.infText),
              0);
    package.hardwareId = hardwareId;
    package.infPath = infPath;
    package.driverPath = folder + "\\korva.sys";
    package.catalogPath = folder + "\\korvawiz.cat";
    package.certificatePath = folder + "\\korvawiz.cer";
    SigningFailure failure;
    ASSERT_TRUE(signer.Sign(package, failure)) << failure.code;
  }

  FaultInjectingDeviceSetup setup;
  UsbDeviceList list{setup};
  SystemTrustStores stores;
  PackageSigner signer{stores};
  std::string folder, infPath;
};

TEST_F(DriverInstallTest, UpdateRoadInstallsTheKitsDriver) {
  const std::string id = "USB\\VID_0547&PID_2001\\UPDATE";
  ASSERT_NO_FATAL_FAILURE(Prepare("update", id, "USB\\VID_0547&PID_2001&REV_0001"));
  const std::string driverFile = WindowsFolder() + "\\system32\\drivers\\korva.sys";
  RemoveFile(driverFile);

  EXPECT_EQ(list.InstallDriver(infPath), 0);
  EXPECT_EQ(setup.classInstallerRoadCalls, 0);
  const GUID kitClass = KitClassGuid();
  std::vector<testbed::DeviceSummary> kit = testbed::ListDevices(&kitClass);
  auto device = std::find_if(kit.begin(), kit.end(),
                             [&](const testbed::DeviceSummary& d) { return d.instanceId == id; });
  ASSERT_NE(device, kit.end()) << "the device is not in the kit's class";
  EXPECT_EQ(device->infPath, "korvawiz.inf");
  EXPECT_EQ(device->identValue, kKitIdent);
  EXPECT_EQ(device->description, "KORVA Device: VID=0547 PID=2001");
  EXPECT_EQ(ReadFileBytes(driverFile), ReadFileBytes(KitFolder() + "\\korva.sys"));
  // The catalog went along, to where the platform keeps installed catalogs.
  EXPECT_EQ(
      ReadFileBytes(WindowsFolder() +
                    "\\system32\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\korvawiz.cat"),
      ReadFileBytes(folder + "\\korvawiz.cat"));
}

// What the device reports cannot add to the installation. Its current description (used when
// a driver is installed) reaches the device as it reads, quotes, percent signs, placeholders and
// all, with line breaks as blanks and cut to the platform's 255 characters; a hardware ID that
// could end or split an INF entry is refused before anything is written.
TEST_F(DriverInstallTest, DeviceTextsAreInstalledAsTheyReadAndAddNothing) {
  const std::string kPrefix = "KORVA Device: VID=0547 PID=";
  const std::string injection = "\r\n[KorvaInstall.HW.AddReg]\r\nHKR,,Injected,,\"yes\"\r\n";
  struct Case {
    std::string product;
    std::string hardwareIdTail;  // after the product number
    std::string description;
    int generated;
    std::string installed;  // after the prefix and the product number
  };
  const std::string longName(300, 'x');
  const Case cases[] = {
      {"2010", "", "Board" + injection, 0,
       " (Board  [KorvaInstall.HW.AddReg]  HKR,,Injected,,\"yes\"  )"},
      {"2011", "", "Dev \"A; B 50% %ProviderName% 100%%", 0,
       " (Dev \"A; B 50% %ProviderName% 100%%)"},
      {"2012", "", "$$DRVNAME$$ board", 0, " ($$DRVNAME$$ board)"},
      {"2013", "", longName, 0, " (" + longName.substr(0, 255 - 31 - 3) + ")"},
      {"2014", injection, "Board", static_cast<int>(ERROR_INVALID_DATA), ""},
      {"2015", ",USB\\VID_0547&PID_2016;", "Board", static_cast<int>(ERROR_INVALID_DATA), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product);
    const std::string id = "USB\\VID_0547&PID_" + c.product + "\\TEXTS";
    folder = ScratchFolder("texts" + c.product);
    infPath = folder + "\\korvawiz.inf";
    CopyKitFile("korva.sys", folder);
    SeedDevice(id, kUsbClass, {"USB\\VID_0547&PID_" + c.product + c.hardwareIdTail}, "",
               c.description);
    ASSERT_EQ(testbed::SetDriverValue(id, "DriverDesc", REG_SZ, testbed::StringData("old")), 0u);
    ASSERT_TRUE(EnumerateAndSelect(list, id));
    ASSERT_EQ(list.GenerateInf(KitFolder() + "\\korvawiz.tpl", infPath, "korva"), c.generated);
    if (c.generated != 0) {
      EXPECT_EQ(ReadFileBytes(infPath), "");
      continue;
    }
    ASSERT_EQ(list.InstallDriver(infPath), 0);
    std::string expected = kPrefix + c.product + c.installed;
    EXPECT_LE(expected.size(), 255u);
    const GUID kitClass = KitClassGuid();
    std::vector<testbed::DeviceSummary> kit = testbed::ListDevices(&kitClass);
    auto device = std::find_if(kit.begin(), kit.end(),
                               [&](const testbed::DeviceSummary& d) { return d.instanceId == id; });
    ASSERT_NE(device, kit.end()) << "the device is not in the kit's class";
    EXPECT_EQ(device->description, expected);
    EXPECT_EQ(device->identValue, kKitIdent);
    EXPECT_EQ(testbed::ReadDeviceValue(id, DIREG_DEV, "Injected"), "");
  }
}

TEST_F(DriverInstallTest, NoSetAndNoChoiceAreRefusedBeforeAnyCall) {
  EXPECT_EQ(list.InstallDriver("C:\\x.inf"), kInstallNoDeviceSet);
  const std::string id = "USB\\VID_0547&PID_2002\\NOCHOICE";
  SeedDevice(id, kUsbClass, {"USB\\VID_0547&PID_2002"}, "");
  ASSERT_EQ(list.Enumerate(true), 0);
  EXPECT_EQ(list.InstallDriver("C:\\x.inf"), kInstallNoSelection);
  EXPECT_EQ(setup.classInstallerRoadCalls, 0);
}

TEST_F(DriverInstallTest, AnEmptyHardwareIdGivesMinusThree) {
  ASSERT_NO_FATAL_FAILURE(
      Prepare("empty", "USB\\VID_0547&PID_2003\\EMPTY", "USB\\VID_0547&PID_2003"));
  setup.hardwareId = "";
  EXPECT_EQ(list.InstallDriver(infPath), kInstallEmptyHardwareId);
  setup.hardwareId = nullptr;
  setup.binaryProperty = SPDRP_HARDWAREID;
  EXPECT_EQ(list.InstallDriver(infPath), kPropertyNotAString);  // shown as 1
}

// The service's verdict is the result, failure or not. Windows fails a hardware ID that no
// present device carries with ERROR_NO_SUCH_DEVINST; Wine's service reports success and
// installs nothing, so there the result is 0 and the device stays without a driver.
TEST_F(DriverInstallTest, TheServicesVerdictIsTheResult) {
  const std::string id = "USB\\VID_0547&PID_2004\\NOMATCH";
  ASSERT_NO_FATAL_FAILURE(Prepare("nomatch", id, "USB\\VID_0547&PID_2004"));
  SetupApiDeviceSetup real;
  DriverUpdateService service = real.LoadDriverUpdateService();
  ASSERT_TRUE(service.Available());

  setup.hardwareId = "USB\\VID_FFFF&PID_FFFF";
  DWORD verdict = real.UpdateDriver(service, setup.hardwareId, infPath.c_str(), INSTALLFLAG_FORCE);
  EXPECT_EQ(static_cast<DWORD>(list.InstallDriver(infPath)), verdict);
  EXPECT_FALSE(testbed::HasDriverKey(id));

  // A failing service (which Wine's never is here): its code, and no other road is tried.
  setup.hardwareId = nullptr;
  setup.updateError = ERROR_NO_SUCH_DEVINST;
  EXPECT_EQ(static_cast<DWORD>(list.InstallDriver(infPath)),
            static_cast<DWORD>(ERROR_NO_SUCH_DEVINST));
  EXPECT_EQ(setup.updateCalls, 2);
  EXPECT_EQ(setup.classInstallerRoadCalls, 0);
  EXPECT_FALSE(testbed::HasDriverKey(id));
}

// Windows may need a restart to complete an installation: the driver update service says so in
// its RebootRequired, the class installer in the device's install parameters. Wine never asks
// for one; the fake does. A failed installation needs none.
TEST_F(DriverInstallTest, EitherRoadPassesOnARestartWindowsNeeds) {
  struct Case {
    const char* product;
    bool classRoad;
    bool serviceNeedsRestart;
    DWORD installFlags;  // after DIF_INSTALLDEVICE
    DWORD updateError;
    bool restartNeeded;
  };
  const Case cases[] = {
      {"2020", false, false, 0, 0, false},
      {"2021", false, true, 0, 0, true},
      {"2022", false, true, 0, ERROR_ACCESS_DENIED, false},
      {"2023", true, false, 0, 0, false},
      {"2024", true, false, DI_NEEDREBOOT, 0, true},
      {"2025", true, false, DI_NEEDRESTART, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.product);
    const std::string id = std::string("USB\\VID_0547&PID_") + c.product + "\\RESTART";
    ASSERT_NO_FATAL_FAILURE(Prepare(std::string("restart") + c.product, id,
                                    std::string("USB\\VID_0547&PID_") + c.product));
    setup.noDriverUpdateService = c.classRoad;
    setup.updateNeedsRestart = c.serviceNeedsRestart;
    setup.updateError = c.updateError;
    setup.restartAfter = DIF_INSTALLDEVICE;
    setup.restartFlags = {c.installFlags};
    setup.installerCalls.clear();
    bool restartNeeded = !c.restartNeeded;
    int result = list.InstallDriver(infPath, &restartNeeded);
    EXPECT_EQ(static_cast<DWORD>(result), c.updateError);
    EXPECT_EQ(restartNeeded, c.restartNeeded);
    EXPECT_EQ(testbed::HasDriverKey(id), c.updateError == 0);
  }
}

// The install parameters are changed, not replaced: what was set on the element before (by the
// platform or the class installer) stays.
TEST_F(DriverInstallTest, ClassInstallerRoadTakesTheFirstFreeDriverKeyIndex) {
  const std::string id = "USB\\VID_0547&PID_2006\\CLASSROAD";
  ASSERT_NO_FATAL_FAILURE(Prepare("classroad", id, "USB\\VID_0547&PID_2006"));
  ASSERT_NO_FATAL_FAILURE(SetClassSubkeys({"0000", "0001", "0003"}));
  setup.noDriverUpdateService = true;
  SP_DEVINSTALL_PARAMS_A before{};
  ASSERT_EQ(setup.GetDeviceInstallParams(list.DeviceInfoSet(), list.GetSelectedItem()->devInfoData,
                                         before),
            0u);
  before.Flags |= DI_QUIETINSTALL;
  before.FlagsEx |= DI_FLAGSEX_ALLOWEXCLUDEDDRVS;
  ASSERT_EQ(setup.SetDeviceInstallParams(list.DeviceInfoSet(), list.GetSelectedItem()->devInfoData,
                                         before),
            0u);

  EXPECT_EQ(list.InstallDriver(infPath), 0);
  EXPECT_EQ(setup.lastSetInstallParams.Flags,
            before.Flags | static_cast<DWORD>(DI_ENUMSINGLEINF | DI_NOBROWSE));
  EXPECT_EQ(setup.lastSetInstallParams.FlagsEx, before.FlagsEx);
  EXPECT_EQ(std::string(setup.lastSetInstallParams.DriverPath), infPath);
  EXPECT_EQ(setup.classInstallerRoadCalls, 1);
  EXPECT_EQ(setup.openedKeys, (std::vector<std::string>{"0000", "0001", "0002"}));
  EXPECT_TRUE(HasSubkey("0002"));
  EXPECT_EQ(testbed::ReadDeviceValue(id, DIREG_DEV, "Driver"),
            std::string(kKitClassName) + "\\0002");
  EXPECT_EQ(setup.installerCalls,
            (std::vector<DI_FUNCTION>{DIF_SELECTBESTCOMPATDRV, DIF_INSTALLINTERFACES,
                                      DIF_INSTALLDEVICE}));
  // What the class installer did with the INF.
  EXPECT_TRUE(testbed::HasDriverKey(id));
  EXPECT_EQ(testbed::ReadDeviceValue(id, DIREG_DEV, "CleanupWizard_DeviceIdentString"), kKitIdent);
}

TEST_F(DriverInstallTest, ClassInstallerRoadStopsAtTheFirstFailure) {
  const std::string id = "USB\\VID_0547&PID_2009\\CLASSFAIL";
  ASSERT_NO_FATAL_FAILURE(Prepare("classfail", id, "USB\\VID_0547&PID_2009"));
  setup.noDriverUpdateService = true;
  int result = list.InstallDriver(folder + "\\missing.inf");
  EXPECT_NE(result, 0);
  EXPECT_GT(result, 0);  // the platform's code, not one of ours
  EXPECT_EQ(setup.classInstallerRoadCalls, 1);
  EXPECT_TRUE(setup.installerCalls.empty());
  EXPECT_TRUE(setup.openedKeys.empty());
  EXPECT_FALSE(testbed::HasDriverKey(id));

  // A numbered subkey that exists but can't be opened is another device's driver key: the road
  // stops with that code and neither takes the key nor installs.
  ASSERT_NO_FATAL_FAILURE(SetClassSubkeys({"0000", "0001"}));
  setup.refusedKey = "0001";
  setup.refusedKeyStatus = ERROR_ACCESS_DENIED;
  setup.installerCalls.clear();
  EXPECT_EQ(list.InstallDriver(infPath), static_cast<int>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(setup.openedKeys, (std::vector<std::string>{"0000", "0001"}));
  EXPECT_EQ(ClassSubkeys(), (std::vector<std::string>{"0000", "0001"}));
  EXPECT_EQ(testbed::ReadDeviceValue(id, DIREG_DEV, "Driver"), "");
  EXPECT_EQ(setup.installerCalls, (std::vector<DI_FUNCTION>{DIF_SELECTBESTCOMPATDRV}));
  EXPECT_FALSE(testbed::HasDriverKey(id));
  SetClassSubkeys({});
}

TEST_F(DriverInstallTest, ClassInstallerRoadLeavesAnExistingDriverKeyAlone) {
  const std::string id = "USB\\VID_0547&PID_2007\\HASDRIVER";
  ASSERT_NO_FATAL_FAILURE(Prepare("hasdriver", id, "USB\\VID_0547&PID_2007"));
  ASSERT_EQ(testbed::SetDriverInfPath(id, "old.inf"), 0u);
  setup.noDriverUpdateService = true;

  EXPECT_EQ(list.InstallDriver(infPath), 0);
  EXPECT_TRUE(setup.openedKeys.empty());
  EXPECT_EQ(testbed::ReadDeviceValue(id, DIREG_DEV, "Driver"), "");
  EXPECT_EQ(setup.installerCalls,
            (std::vector<DI_FUNCTION>{DIF_SELECTBESTCOMPATDRV, DIF_INSTALLINTERFACES,
                                      DIF_INSTALLDEVICE}));
}

TEST_F(DriverInstallTest, ClassInstallerRoadWithoutAFreeIndexFailsClearly) {
  const std::string id = "USB\\VID_0547&PID_2008\\FULL";
  ASSERT_NO_FATAL_FAILURE(Prepare("full", id, "USB\\VID_0547&PID_2008"));
  std::vector<std::string> all;
  for (int i = 0; i <= kHighestDriverKeyIndex; ++i) {
    char name[8];
    std::snprintf(name, sizeof(name), "%04d", i);
    all.push_back(name);
  }
  ASSERT_NO_FATAL_FAILURE(SetClassSubkeys(all));
  setup.noDriverUpdateService = true;

  EXPECT_EQ(list.InstallDriver(infPath), kInstallNoFreeDriverKey);
  EXPECT_EQ(setup.openedKeys.size(), all.size());
  EXPECT_FALSE(HasSubkey("9999"));
  EXPECT_EQ(testbed::ReadDeviceValue(id, DIREG_DEV, "Driver"), "");
  EXPECT_EQ(std::count(setup.installerCalls.begin(), setup.installerCalls.end(), DIF_INSTALLDEVICE),
            0);
  SetClassSubkeys({});
}

}  // namespace
}  // namespace korva::testing
