// The round trip of the two programs: what KORVAwiz installs for a device without a window is
// what the Cleanup Wizard's non-interactive run then lists, finds and removes, and nothing else.
#include <gtest/gtest.h>

#include <string>

#include "install/core/install_paths.h"
#include "support/install_test_support.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

const GUID kUsbClass = UsbClassGuid();

TEST(InstallRoundTripTest, TheCleanupWizardRemovesWhatWasInstalledAndNothingElse) {
  const std::string installed = "USB\\VID_0547&PID_1002\\5&1A2B&0&1";
  const std::string otherBoard = "USB\\VID_0547&PID_1002\\5&1A2B&0&2";
  const std::string otherUsb = "USB\\VID_04B4&PID_8613\\5&1A2B&0&3";
  const std::string kitNoIdent = "USB\\VID_0547&PID_2131\\5&1A2B&0&4";
  const std::string otherClassWithIdent = "USB\\VID_0547&PID_2132\\5&1A2B&0&5";
  SeedDevice(installed, kUsbClass, {"USB\\VID_0547&PID_1002&REV_0001"}, "", "My Device");
  SeedDevice(otherBoard, kUsbClass, {"USB\\VID_0547&PID_1003&REV_0001"}, "", "Other board");
  SeedDevice(otherUsb, kUsbClass, {"USB\\VID_04B4&PID_8613&REV_0001"}, "", "Other device");
  SeedDevice(kitNoIdent, KitClassGuid(), {"USB\\VID_0547&PID_2131"}, "");
  SeedDevice(otherClassWithIdent, NewClassGuid(), {"USB\\VID_0547&PID_2132"}, kKitIdent);

  // KORVAwiz without a window, as a management tool runs it, for the first device.
  std::string root = ScratchFolder("roundtrip");
  InstallPaths paths = DeriveInstallPaths(root + "\\Bin\\KORVAwiz.exe");
  CreateDirectoryA(paths.programFolder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA((BuildFolder() + "\\install\\KORVAwiz.exe").c_str(),
                        (paths.programFolder + "\\KORVAwiz.exe").c_str(), FALSE));
  for (const char* file : {"korvawiz.tpl", "korva.sys", "korva98.sys"}) {
    CopyKitFile(file, paths.programFolder);
  }
  CapturedRun install = RunCapturingOutput("\"" + paths.programFolder +
                                               "\\KORVAwiz.exe\" -nogui -hwid "
                                               "USB\\VID_0547&PID_1002&REV_0001",
                                           OutputTo::kPipe);
  ASSERT_EQ(install.exitCode, 0u) << install.output;
  EXPECT_NE(install.output.find("\r\ninstalled\t" + installed + "\t"), std::string::npos)
      << install.output;

  // The installation copied the INF file into the system's INF folder: Wine under its own name,
  // Windows as oemNN.inf. The copy Windows would make is placed beside it by hand; its name
  // takes it through the driver store's removal (Wine's deletes the INF file alone).
  const std::string copied = WindowsFolder() + "\\inf\\korvawiz.inf";
  EXPECT_EQ(ReadFileBytes(copied), ReadFileBytes(paths.infPath));
  const std::string oemInf = PlaceFile("inf", "oemkorvatest7.inf", ReadFileBytes(paths.infPath));
  const std::string oemPnf = PlaceFile("inf", "oemkorvatest7.pnf", "compiled");

  // Asked first, KORVAcw names what it would remove, and removes nothing.
  CapturedRun list = RunCapturingOutput("\"" + KorvaCwPath() + "\" -nogui -list", OutputTo::kPipe);
  EXPECT_EQ(list.exitCode, 1u) << list.output;
  for (const std::string& line : {"\r\ndevice\t" + installed + "\t", "\r\ninf\t" + copied + "\r\n",
                                  "\r\ninf\t" + oemInf + "\r\n"}) {
    EXPECT_NE(list.output.find(line), std::string::npos) << line << "\n" << list.output;
  }
  EXPECT_TRUE(testbed::DeviceExists(installed));
  EXPECT_TRUE(FileExists(copied));
  EXPECT_TRUE(FileExists(oemInf));

  EXPECT_EQ(RunProcess("\"" + KorvaCwPath() + "\" -nogui"), 0u);
  EXPECT_FALSE(testbed::DeviceExists(installed));
  for (const std::string& stays : {otherBoard, otherUsb, kitNoIdent, otherClassWithIdent}) {
    EXPECT_TRUE(testbed::DeviceExists(stays)) << stays;
  }
  EXPECT_FALSE(FileExists(copied));
  EXPECT_FALSE(FileExists(WindowsFolder() + "\\inf\\korvawiz.pnf"));
  EXPECT_FALSE(FileExists(oemInf));
  EXPECT_FALSE(FileExists(oemPnf));
  // The install folder is the wizard's, not the system's: it stays.
  EXPECT_TRUE(FileExists(paths.infPath));
  RemovePlacedInfFiles();
}

}  // namespace
}  // namespace korva::testing
