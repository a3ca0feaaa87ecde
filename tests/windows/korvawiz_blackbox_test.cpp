// KORVAwiz.exe as the user starts it: one wizard at a time, and the exit codes; and as a
// management tool starts it: -nogui, without any window, its record on standard output and in
// the log file.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/ansi_text.h"
#include "common/core/kit_refusals.h"
#include "common/core/log_line.h"
#include "common/instance_lock.h"
#include "common/object_security.h"
#include "install/core/install_command_line.h"
#include "install/ui/install_wizard_app.h"
#include "res/install_resource.h"
#include "support/fault_injecting_signing.h"
#include "support/install_test_support.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

std::string KorvaWizPath() { return BuildFolder() + "\\install\\KORVAwiz.exe"; }

bool HaveDisplay() { return GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0; }

BOOL CALLBACK FindVisibleWizard(HWND window, LPARAM data) {
  char title[64] = {};
  GetWindowTextA(window, title, sizeof(title));
  if (std::string(title) != "KORVA Installation Wizard" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(data) = window;
  return FALSE;
}

// The wizard's frame once some process shows it, or null after about ten seconds.
HWND WaitForWizard() {
  for (int i = 0; i < 200; ++i) {
    HWND frame = nullptr;
    EnumWindows(FindVisibleWizard, reinterpret_cast<LPARAM>(&frame));
    if (frame) return frame;
    Sleep(50);
  }
  return nullptr;
}

BOOL CALLBACK CountWizard(HWND window, LPARAM data) {
  char title[64] = {};
  GetWindowTextA(window, title, sizeof(title));
  if (std::string(title) == "KORVA Installation Wizard") ++*reinterpret_cast<int*>(data);
  return TRUE;
}

int CountWizards() {
  int count = 0;
  EnumWindows(CountWizard, reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST(KorvaWizTest, ASecondStartLeavesTheOpenWizardAloneAndCancelEndsIt) {
  if (!GetEnvironmentVariableA("DISPLAY", nullptr, 0)) GTEST_SKIP() << "no display";
  const std::string kit = ScratchFolder("blackbox") + "\\Bin";
  CreateDirectoryA(kit.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(KorvaWizPath().c_str(), (kit + "\\KORVAwiz.exe").c_str(), FALSE));
  const std::string command = "\"" + kit + "\\KORVAwiz.exe\"";

  Process first(command);
  ASSERT_TRUE(first.Started());
  HWND frame = WaitForWizard();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(FolderExists(kit + "\\install"));

  Process second(command);
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.Wait(20000), 0u);
  EXPECT_EQ(CountWizards(), 1);
  EXPECT_TRUE(IsWindow(frame));

  // Cancel, clicked as the user would.
  SendMessageA(GetDlgItem(frame, IDC_CANCEL_BUTTON), BM_CLICK, 0, 0);
  EXPECT_EQ(first.Wait(20000), 2u);
  EXPECT_EQ(CountWizards(), 0);
}

// The lines of a record, each split at its tabs.
std::vector<std::vector<std::string>> LogLines(const std::string& text) {
  std::vector<std::vector<std::string>> lines;
  for (const std::string& line : RecordLines(text)) lines.push_back(RecordFields(line));
  return lines;
}

std::vector<std::string> Kinds(const std::vector<std::vector<std::string>>& lines) {
  std::vector<std::string> kinds;
  for (const auto& line : lines) kinds.push_back(line.empty() ? "" : line[0]);
  return kinds;
}

// Whether the device is in the kit's class with the kit's ident, as the wizard's INF file
// leaves it. (Under Wine the driver key's InfPath names the driver store's copy from the second
// installation on.)
bool HasKitDriver(const std::string& instanceId) {
  const GUID kitClass = KitClassGuid();
  for (const testbed::DeviceSummary& device : testbed::ListDevices(&kitClass)) {
    if (device.instanceId == instanceId) return device.identValue == kKitIdent;
  }
  return false;
}

// A kit folder C:\korvatest\<name>\Bin with the program, the template and two binaries.
class KorvaWizNoGuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    kit = root + "\\Bin";
    CreateDirectoryA(kit.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(KorvaWizPath().c_str(), (kit + "\\KORVAwiz.exe").c_str(), FALSE));
    // And its console companion, which a command prompt waits for.
    std::string companion = KorvaWizPath().substr(0, KorvaWizPath().size() - 4) + ".com";
    ASSERT_TRUE(CopyFileA(companion.c_str(), (kit + "\\KORVAwiz.com").c_str(), FALSE));
    for (const char* file : {"korvawiz.tpl", "korva.sys", "korva98.sys"}) CopyKitFile(file, kit);
  }

  // A USB device without the kit's driver; `tag` makes its IDs.
  std::string Seed(const std::string& tag) {
    std::string hardwareId = HardwareId(tag);
    std::string instanceId = hardwareId + "\\NG" + tag;
    SeedDevice(instanceId, UsbClassGuid(), {hardwareId + "&REV_0001", hardwareId}, "",
               "No-GUI board " + tag);
    return instanceId;
  }
  static std::string HardwareId(const std::string& tag) { return "USB\\VID_0547&PID_" + tag; }

  // Its standard output in a pipe or a file, as management tools start programs. A run that
  // shows a box never ends by itself: it is stopped after a minute, and the test fails.
  CapturedRun Run(const std::string& arguments, OutputTo output = OutputTo::kPipe,
                  const char* program = "KORVAwiz.exe") {
    return RunCapturingOutput("\"" + kit + "\\" + program + "\" " + arguments, output);
  }

  std::string root, kit;
};

// The whole record, on standard output through a pipe and a file, and in the log file, which
// keeps what earlier runs wrote.
// Every connected device that has the given ID among its hardware IDs (whole, letter case
// ignored) gets the driver: Windows gives a USB device's first ID with its revision, and users
// type the one without. The package names the ID as given, so that it covers them all.
TEST_F(KorvaWizNoGuiTest, InstallsTheKitDriverForEveryDeviceWithThatHardwareId) {
  struct Case {
    OutputTo output;
    std::string tag;
    std::string given;  // the hardware ID on the command line
    int twins;          // further devices with the same hardware IDs
    const char* program = "KORVAwiz.exe";
  };
  const Case cases[] = {
      {OutputTo::kPipe, "6001", "USB\\VID_0547&PID_6001&REV_0001", 0},
      {OutputTo::kFile, "6002", "usb\\vid_0547&pid_6002", 0},
      {OutputTo::kPipe, "6003", "USB\\VID_0547&PID_6003", 2},
      // Through the console companion, as typed at a command prompt.
      {OutputTo::kFile, "6004", "USB\\VID_0547&PID_6004&REV_0001", 0, "KORVAwiz.com"},
  };
  const std::string log = root + "\\korvawiz.log";
  WriteFileBytes(log, "earlier\r\n");
  std::string expectedLog = "earlier\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    std::vector<std::string> seeded = {Seed(c.tag)};
    for (int twin = 0; twin < c.twins; ++twin) {
      seeded.push_back(seeded[0] + static_cast<char>('A' + twin));
      SeedDevice(seeded.back(), UsbClassGuid(),
                 {HardwareId(c.tag) + "&REV_0001", HardwareId(c.tag)}, "", "No-GUI board " + c.tag);
    }
    // In the order of the wizard's list.
    SetupApiDeviceSetup setup;
    UsbDeviceList list(setup);
    ASSERT_EQ(list.Enumerate(true), 0);
    std::vector<std::string> ordered;
    for (const auto& item : list.Items()) {
      std::string id = InstanceIdOf(list.DeviceInfoSet(), item->devInfoData);
      if (std::find(seeded.begin(), seeded.end(), id) != seeded.end()) ordered.push_back(id);
    }
    ASSERT_EQ(ordered.size(), seeded.size());

    CapturedRun run = Run("-nogui -hwid " + c.given + " -log " + log, c.output, c.program);
    EXPECT_EQ(run.exitCode, 0u);
    auto lines = LogLines(run.output);
    std::vector<std::string> kinds = {"start"};
    kinds.insert(kinds.end(), ordered.size(), "device");
    kinds.insert(kinds.end(), ordered.size(), "installed");
    kinds.push_back("end");
    ASSERT_EQ(Kinds(lines), kinds) << run.output;
    ASSERT_EQ(lines[0].size(), 5u);
    EXPECT_EQ(lines[0][1].size(), 19u);  // YYYY-MM-DD hh:mm:ss
    EXPECT_EQ(lines[0][2], "KORVAwiz 2.20");
    EXPECT_EQ(lines[0][3], "nogui=yes");
    EXPECT_EQ(lines[0][4], "hwid=" + c.given);
    for (size_t i = 0; i < ordered.size(); ++i) {
      EXPECT_EQ(lines[1 + i],
                (std::vector<std::string>{"device", ordered[i], "No-GUI board " + c.tag,
                                          HardwareId(c.tag) + "&REV_0001"}));
      EXPECT_EQ(lines[1 + ordered.size() + i],
                (std::vector<std::string>{"installed", ordered[i], "update service"}));
      EXPECT_TRUE(HasKitDriver(ordered[i])) << ordered[i];
    }
    EXPECT_EQ(lines.back(), (std::vector<std::string>{"end", "installed=1", "status=0"}));
    // Where the wizard puts them; the models line names the ID given, as the device spells it.
    std::string inf = ReadFileBytes(kit + "\\install\\korvawiz.inf");
    std::string spelled = c.given;
    for (char& ch : spelled) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_NE(inf.find("=KorvaInstall," + spelled + "\r\n"), std::string::npos) << inf;
    EXPECT_EQ(ReadFileBytes(kit + "\\install\\korva.sys"), ReadFileBytes(kit + "\\korva.sys"));
    expectedLog += run.output;
    EXPECT_EQ(ReadFileBytes(log), expectedLog);
  }
}

// -stage: the package for an ID that no connected device has yet goes into the INF folder (and,
// on Windows, the driver store), made as for a device nobody knows; the platform's own driver
// search then offers it to a device with that ID that arrives later, and installing it from
// there puts the device on the kit's driver. (Windows installs it at arrival by itself.)
// A device with the ID that is connected already gets it at once, as with -hwid.
TEST_F(KorvaWizNoGuiTest, StagesThePackageForAnIdBeforeItsDeviceArrives) {
  struct Case {
    std::string tag;
    bool connected;
    const char* program;
  };
  const Case cases[] = {
      {"6801", false, "KORVAwiz.exe"},
      {"6802", true, "KORVAwiz.exe"},
      // Through the console companion, as typed at a command prompt.
      {"6803", false, "KORVAwiz.com"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    std::string connected = c.connected ? Seed(c.tag) : std::string();
    CapturedRun run = Run("-nogui -hwid " + HardwareId(c.tag) + " -stage", OutputTo::kPipe,
                          c.program);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    auto lines = LogLines(run.output);
    std::vector<std::string> kinds = {"start", "staged", "end"};
    if (c.connected) kinds = {"start", "device", "staged", "installed", "end"};
    ASSERT_EQ(Kinds(lines), kinds) << run.output;
    EXPECT_EQ(lines[0].back(), "stage=yes");
    const auto& staged = lines[c.connected ? 2 : 1];
    ASSERT_EQ(staged.size(), 2u);
    const std::string published = WindowsFolder() + "\\inf\\" + staged[1];
    // The package as generated, signed beside it, with the description of an unknown device.
    std::string inf = ReadFileBytes(kit + "\\install\\korvawiz.inf");
    EXPECT_EQ(ReadFileBytes(published), inf);
    EXPECT_NE(inf.find("=KorvaInstall," + HardwareId(c.tag) + "\r\n"), std::string::npos) << inf;
    EXPECT_TRUE(FileExists(kit + "\\install\\korvawiz.cat"));
    EXPECT_EQ(lines.back(), (std::vector<std::string>{"end", "installed=1", "status=0"}));
    if (c.connected) {
      EXPECT_EQ(lines[3], (std::vector<std::string>{"installed", connected, "update service"}));
      EXPECT_TRUE(HasKitDriver(connected));
      continue;
    }

    // The device arrives: the platform's search of the INF folder offers the staged package.
    std::string arrived = Seed(c.tag);
    UniqueDevInfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    ASSERT_TRUE(SetupDiOpenDeviceInfoA(set.Get(), arrived.c_str(), nullptr, 0, &element));
    ASSERT_TRUE(SetupDiBuildDriverInfoList(set.Get(), &element, SPDIT_COMPATDRIVER));
    SP_DRVINFO_DATA_W driver{};
    driver.cbSize = sizeof(driver);
    bool offered = false;
    for (DWORD i = 0; !offered && SetupDiEnumDriverInfoW(set.Get(), &element, SPDIT_COMPATDRIVER,
                                                          i, &driver);
         ++i) {
      SP_DRVINFO_DETAIL_DATA_W detail{};
      detail.cbSize = sizeof(detail);
      DWORD size = 0;
      if (!SetupDiGetDriverInfoDetailW(set.Get(), &element, &driver, &detail, sizeof(detail),
                                       &size) &&
          GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        continue;
      }
      // Wine gives the INF folder with forward slashes.
      std::wstring offeredFile = detail.InfFileName;
      std::replace(offeredFile.begin(), offeredFile.end(), L'/', L'\\');
      offered = lstrcmpiW(offeredFile.c_str(), WideFromAnsi(published).c_str()) == 0;
    }
    ASSERT_TRUE(offered) << "the staged " << published << " was not offered";
    // Wine 8 has no SetupDiSetSelectedDriver: the class installer picks the best one, as the
    // platform does for a device that arrives.
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_SELECTBESTCOMPATDRV, set.Get(), &element));
    SP_DRVINFO_DATA_W selected{};
    selected.cbSize = sizeof(selected);
    ASSERT_TRUE(SetupDiGetSelectedDriverW(set.Get(), &element, &selected));
    EXPECT_EQ(selected.Reserved, driver.Reserved);
    ASSERT_TRUE(SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set.Get(), &element))
        << GetLastError();
    EXPECT_TRUE(HasKitDriver(arrived));
  }
}

// -list: every connected USB device, one line each, with its driver and whether it is the
// kit's; the line's fields are the same from every program and mode.
TEST_F(KorvaWizNoGuiTest, ListsTheConnectedDevicesAndTheirDrivers) {
  const std::string bare = Seed("6901");
  const std::string kitDevice = Seed("6902");
  ASSERT_EQ(Run("-nogui -hwid " + HardwareId("6902")).exitCode, 0u);
  // A driver that is not the kit's: the ident the kit's INF file writes is gone.
  const std::string otherDevice = Seed("6903");
  ASSERT_EQ(Run("-nogui -hwid " + HardwareId("6903")).exitCode, 0u);
  {
    UniqueDevInfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    ASSERT_TRUE(SetupDiOpenDeviceInfoA(set.Get(), otherDevice.c_str(), nullptr, 0, &element));
    HKEY key = SetupDiOpenDevRegKey(set.Get(), &element, DICS_FLAG_GLOBAL, 0, DIREG_DEV,
                                    KEY_SET_VALUE);
    ASSERT_NE(key, INVALID_HANDLE_VALUE);
    EXPECT_EQ(RegDeleteValueA(key, "CleanupWizard_DeviceIdentString"), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  for (const char* program : {"KORVAwiz.exe", "KORVAwiz.com"}) {
    SCOPED_TRACE(program);
    const std::string log = root + "\\list.log";
    DeleteFileA(log.c_str());
    CapturedRun run = Run("-nogui -list -log " + log, OutputTo::kFile, program);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(ReadFileBytes(log), run.output);
    auto lines = LogLines(run.output);
    ASSERT_GE(lines.size(), 5u) << run.output;
    EXPECT_EQ(lines[0].back(), "list=yes");
    std::map<std::string, std::vector<std::string>> byInstance;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
      ASSERT_EQ(lines[i].size(), 10u) << run.output;
      EXPECT_EQ(lines[i][0], "connected");
      byInstance[lines[i][1]] = lines[i];
    }
    EXPECT_EQ(lines.back(),
              (std::vector<std::string>{"end", "devices=" + std::to_string(lines.size() - 2),
                                        "status=0"}));
    ASSERT_EQ(byInstance.count(bare), 1u) << run.output;
    EXPECT_EQ(byInstance[bare],
              (std::vector<std::string>{"connected", bare,
                                        HardwareId("6901") + "&REV_0001 " + HardwareId("6901"),
                                        "No-GUI board 6901", "KORVA", "", "", "", "", "none"}));
    for (const auto& [instance, verdict] : {std::pair{kitDevice, "kit"}, {otherDevice, "other"}}) {
      ASSERT_EQ(byInstance.count(instance), 1u) << run.output;
      const auto& line = byInstance[instance];
      EXPECT_EQ(line[9], verdict) << instance;
      // The INF file the driver came from (Wine writes no provider, date or version there).
      EXPECT_EQ(line[8].rfind("oem", 0), 0u) << run.output;
    }
  }
}

// Each run that can't install says why, installs nothing and shows nothing (a box would hold
// the run until the time-out). The lines go to the log file as well, when one is named.
TEST_F(KorvaWizNoGuiTest, WhatCannotBeInstalledEndsWithItsStatusAndNoWindow) {
  const std::string instanceId = Seed("6101");
  const std::string log = root + "\\refused.log";
  struct Case {
    std::string arguments;
    DWORD status;
    std::string error;  // the error line's text
  };
  const std::string invalid =
      "An invalid command line argument was passed. "
      "Use KORVAWIZ -h to display information on how to use the wizard.";
  const Case cases[] = {
      {"-nogui -hwid", 3, invalid},
      {"-nogui -hwid -log " + log, 3, invalid},
      {"-nogui", 3, invalid},
      {"-nogui -hwid " + HardwareId("6101") + "&REV_0001 -logfile " + log, 3, invalid},
      {"-nogui -hwid=" + HardwareId("6101") + " -log " + log, 3, invalid},
      {"-nogui -h", 3, invalid},
      // A hardware ID counts only as a whole: the start of one is none.
      {"-nogui -hwid " + HardwareId("6101").substr(0, HardwareId("6101").size() - 2) + " -log " +
           log,
       7,
       "No connected USB device has the hardware ID " +
           HardwareId("6101").substr(0, HardwareId("6101").size() - 2) + "."},
      // Not a USB hardware ID, or one that can't stand in an INF file as it is.
      {"-nogui -hwid PCI\\VEN_10B5&DEV_9054 -log " + log, 3, invalid},
      {"-nogui -hwid " + HardwareId("6101") + "\\ -log " + log, 3, invalid},
      {"-nogui -hwid USB\\VID_0547&PID_61FF -log " + log, 7,
       "No connected USB device has the hardware ID USB\\VID_0547&PID_61FF."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    RemoveFile(log);
    CapturedRun run = Run(c.arguments);
    EXPECT_EQ(run.exitCode, c.status);
    // A command line that is refused has no settings to start with.
    std::vector<std::string> kinds = {"start", "error", "end"};
    if (c.status == 3) kinds.erase(kinds.begin());
    auto lines = LogLines(run.output);
    ASSERT_EQ(Kinds(lines), kinds) << run.output;
    EXPECT_EQ(lines[kinds.size() - 2], (std::vector<std::string>{"error", c.error}));
    EXPECT_EQ(lines.back(), (std::vector<std::string>{"end", "installed=0",
                                                      "status=" + std::to_string(c.status)}));
    bool logNamed = c.arguments.find(" -log " + log) != std::string::npos;
    EXPECT_EQ(ReadFileBytes(log), logNamed ? run.output : "");
    EXPECT_FALSE(HasKitDriver(instanceId));
    EXPECT_FALSE(FileExists(kit + "\\install\\korvawiz.inf"));
  }
}

// What the package's own folder does not allow: a catalog that can't be written ends with the
// signing status, an install folder that is a link to elsewhere with 1. Neither installs, and
// neither leaves a certificate of the package in the stores.
// A kit template whose package can't be installed as it stands (a file it names is not in the
// kit: the platform's file copy would ask for it, and Wine's waits for ever; no model line for
// the device) is checked before anything is installed, and the run ends.
TEST_F(KorvaWizNoGuiTest, APackageThatCannotBeSignedOrStagedSafelyIsNotInstalled) {
  const std::string install = kit + "\\install";
  const std::string inf = install + "\\korvawiz.inf";
  const std::string elsewhere = root + "\\elsewhere";
  const std::string templatePath = kit + "\\korvawiz.tpl";
  const std::string kitTemplate = ReadFileBytes(templatePath);
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string text = kitTemplate;
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
    return text;
  };
  CreateDirectoryA(elsewhere.c_str(), nullptr);
  struct Case {
    std::string tag;
    std::function<void()> prepare;
    DWORD status;
    std::vector<std::string> failed;  // the failed line's fields after its kind
  } cases[] = {
      {"6303",
       [&] {
         WriteFileBytes(templatePath, replaced("[KorvaInstall.CopyFiles]",
                                               "[KorvaInstall.CopyFiles]\nkorvaextra.sys"));
       },
       10,
       {"package check", inf, "2"}},
      {"6304",
       [&] { WriteFileBytes(templatePath, replaced(",$$HWID$$", ",USB\\VID_FFFF&PID_FFFF")); },
       10,
       {"package check", inf, ErrorCodeText(static_cast<DWORD>(ERROR_NO_COMPAT_DRIVERS))}},
      {"6301",
       [&] {
         WriteFileBytes(templatePath, kitTemplate);
         CreateDirectoryA(install.c_str(), nullptr);
         CreateDirectoryA((install + "\\korvawiz.cat").c_str(), nullptr);
       },
       9,
       {"signing", install + "\\korvawiz.cat"}},
      {"6302",
       [&] {
         RemoveDirectoryA((install + "\\korvawiz.cat").c_str());
         RemoveFile(install + "\\korvawiz.inf");
         RemoveFile(install + "\\korva.sys");
         RemoveFile(install + "\\korva98.sys");
         RemoveDirectoryA(install.c_str());
         RunUnixShell("ln -s " + ShellQuoted(UnixPathOf(elsewhere)) + " " +
                      ShellQuoted(UnixPathOf(install)));
       },
       1,
       {"staging", install, "4395"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    c.prepare();
    const std::string instanceId = Seed(c.tag);
    CapturedRun run = Run("-nogui -hwid " + HardwareId(c.tag) + "&REV_0001");
    EXPECT_EQ(run.exitCode, c.status) << run.output;
    auto lines = LogLines(run.output);
    ASSERT_GE(lines.size(), 2u) << run.output;
    const std::vector<std::string>& failed = lines[lines.size() - 2];
    ASSERT_GE(failed.size(), c.failed.size() + 1) << run.output;
    EXPECT_EQ(failed[0], "failed");
    for (size_t i = 0; i < c.failed.size(); ++i) EXPECT_EQ(failed[i + 1], c.failed[i]);
    EXPECT_EQ(lines.back(), (std::vector<std::string>{"end", "installed=0",
                                                      "status=" + std::to_string(c.status)}));
    EXPECT_FALSE(HasKitDriver(instanceId));
    for (const char* store : kKitCertificateStores) {
      EXPECT_TRUE(KitCertificatesFor(HardwareId(c.tag) + "&REV_0001", store).empty()) << store;
    }
  }
  // Nothing was written where the link pointed.
  EXPECT_FALSE(FileExists(elsewhere + "\\korvawiz.inf"));
  EXPECT_FALSE(FileExists(elsewhere + "\\korva.sys"));
}

// A log that can't be opened does not stop the installation; the status says it is missing.
TEST_F(KorvaWizNoGuiTest, ALogFileThatCannotBeOpenedEndsWith6AfterTheInstallation) {
  const std::string readOnly = root + "\\readonly.log";
  WriteFileBytes(readOnly, "kept\r\n");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::string longPath = root + "\\" + std::string(2000 - root.size() - 5, 'l') + ".log";
  ASSERT_EQ(longPath.size(), 2000u);
  const std::string cases[] = {root + "\\missing\\folder\\korvawiz.log", readOnly, longPath,
                               "\\\\.\\NUL"};
  int tag = 6201;
  for (const std::string& path : cases) {
    SCOPED_TRACE(path.substr(0, 80));
    const std::string instanceId = Seed(std::to_string(tag));
    CapturedRun run =
        Run("-nogui -hwid " + HardwareId(std::to_string(tag++)) + "&REV_0001 -log " + path);
    EXPECT_EQ(run.exitCode, 6u);
    auto lines = LogLines(run.output);
    ASSERT_EQ(Kinds(lines),
              (std::vector<std::string>{"error", "start", "device", "installed", "end"}))
        << run.output;
    ASSERT_EQ(lines[0].size(), 2u);
    const std::string said = "The log file could not be opened: " + path + " error = ";
    EXPECT_EQ(lines[0][1].substr(0, said.size()), said);
    EXPECT_NE(lines[0][1].substr(said.size(), 2), "0:");
    EXPECT_EQ(lines[0][1].substr(lines[0][1].size() - 28), " The run goes on without it.");
    EXPECT_EQ(lines[4], (std::vector<std::string>{"end", "installed=1", "status=6"}));
    EXPECT_TRUE(HasKitDriver(instanceId));
  }
  EXPECT_EQ(ReadFileBytes(readOnly), "kept\r\n");
  EXPECT_FALSE(FolderExists(root + "\\missing"));
}

// Unattended, a kit that others than administrators can change ends with 11, and the log says
// which folder or file and who may change it: nothing is staged, trusted or installed, and no
// install folder is made. An alternate folder that others can change is passed over with a
// warning; an install folder that a user made before is moved aside and made anew.
TEST_F(KorvaWizNoGuiTest, AKitThatOthersCanChangeEndsWith11) {
  const std::string instanceId = Seed("6601");
  const std::string arguments = "-nogui -hwid " + HardwareId("6601") + "&REV_0001";
  ASSERT_TRUE(ChangeUnixMode(kit, "o+w"));
  CapturedRun run = Run(arguments);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitKitNotTrusted));
  auto lines = LogLines(run.output);
  ASSERT_EQ(Kinds(lines), (std::vector<std::string>{"start", "untrusted", "error", "end"}))
      << run.output;
  EXPECT_EQ(lines[1], (std::vector<std::string>{"untrusted", kit, "Everyone", "write, delete"}));
  EXPECT_EQ(lines[3], (std::vector<std::string>{"end", "installed=0", "status=11"}));
  EXPECT_FALSE(FolderExists(kit + "\\install"));
  EXPECT_FALSE(HasKitDriver(instanceId));
  ASSERT_TRUE(ChangeUnixMode(kit, "o-w"));

  const std::string alternate = root + "\\korva";
  CreateDirectoryA(alternate.c_str(), nullptr);
  CopyKitFile("korvav.sys", alternate);
  ASSERT_TRUE(ChangeUnixMode(alternate, "o+w"));
  const std::string install = kit + "\\install";
  CreateDirectoryA(install.c_str(), nullptr);
  WriteFileBytes(install + "\\korvawiz.inf", "theirs");
  ASSERT_TRUE(ChangeUnixOwner(install));
  run = Run(arguments);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  lines = LogLines(run.output);
  ASSERT_EQ(Kinds(lines),
            (std::vector<std::string>{"start", "warning", "warning", "device", "installed", "end"}))
      << run.output;
  EXPECT_EQ(lines[1], (std::vector<std::string>{"warning", "alternate folder not used", alternate,
                                                "Everyone", "write, delete"}));
  ASSERT_EQ(lines[2].size(), 6u);
  EXPECT_EQ(lines[2][1], "install folder replaced");
  EXPECT_EQ(lines[2][2], install);
  EXPECT_EQ(lines[2][3], install + ".replaced");
  EXPECT_EQ(lines[2][4], PrincipalName(sid::kAnonymousLogon));
  EXPECT_EQ(lines[2][5], "its owner");
  EXPECT_EQ(ReadFileBytes(install + ".replaced\\korvawiz.inf"), "theirs");
  EXPECT_TRUE(HasKitDriver(instanceId));
  // Only the program folder's binaries were staged.
  EXPECT_FALSE(FileExists(install + "\\korvav.sys"));
}

// A cleanup that could not delete the kit's driver while it was in use leaves its deletion for
// the next restart: an installation before that restart would copy the driver anew and lose it
// then, though it said 0. It says that a restart comes first (13), and installs nothing.
TEST_F(KorvaWizNoGuiTest, APendingDeletionOfTheDriverMeansRestartFirst) {
  const std::string instanceId = Seed("6901");
  const std::string arguments = "-nogui -hwid " + HardwareId("6901") + "&REV_0001";
  const std::string driver = WindowsFolder() + "\\system32\\drivers\\korva.sys";
  // Other programs' operations come first: a deletion (whose empty side ends no list) and a rename.
  const std::string other = root + "\\other.tmp";
  WriteFileBytes(other, "another program's file");
  ASSERT_TRUE(MoveFileExA(other.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(MoveFileExA(other.c_str(), (other + ".new").c_str(), MOVEFILE_DELAY_UNTIL_REBOOT));
  WriteFileBytes(driver, "the driver that was in use");
  ASSERT_TRUE(MoveFileExA(driver.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  CapturedRun run = Run(arguments);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kInstallExitRestartFirst)) << run.output;
  auto lines = LogLines(run.output);
  ASSERT_EQ(Kinds(lines), (std::vector<std::string>{"start", "device", "failed", "end"}))
      << run.output;
  ASSERT_GE(lines[2].size(), 4u);
  EXPECT_EQ(lines[2][1], "restart first");
  EXPECT_EQ(lstrcmpiA(lines[2][2].c_str(), driver.c_str()), 0) << lines[2][2];
  EXPECT_EQ(lines[2][3], "350");
  EXPECT_EQ(lines[3], (std::vector<std::string>{"end", "installed=0", "status=13"}));
  EXPECT_FALSE(HasKitDriver(instanceId));
  // After the restart (its operations done and gone), the same command line installs.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                          0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  RegDeleteValueA(key, "PendingFileRenameOperations");
  RegCloseKey(key);
  run = Run(arguments);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(HasKitDriver(instanceId));
}

// A crypt32.dll put beside KORVAwiz (crypt32 is no KnownDLL) is never loaded, not at start and
// not when the package is signed and its certificate trusted.
TEST_F(KorvaWizNoGuiTest, ACrypt32BesideTheProgramIsNeverLoaded) {
  const std::string instanceId = Seed("6801");
  ASSERT_TRUE(CopyFileA((BuildFolder() + "\\tests\\windows\\planted\\crypt32.dll").c_str(),
                        (kit + "\\crypt32.dll").c_str(), FALSE));
  NativeLibrariesFirst nativeFirst("KORVAwiz.exe", {"crypt32"});
  CapturedRun run = Run("-nogui -hwid " + HardwareId("6801") + "&REV_0001");
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_TRUE(HasKitDriver(instanceId));
  EXPECT_FALSE(FileExists(kit + "\\crypt32.dll.loaded"));
}

// A kit folder whose name the ANSI code page cannot spell ("Kit-Łódź" under code page 1252):
// the ANSI calls would give "Kit-Lódz", a folder anyone may make, and the programs would take
// their kit (and the 64-bit build) from there. Both programs and both companions refuse with
// status 12 and name the folder, a ? for each character the code page lacks.
TEST_F(KorvaWizNoGuiTest, AProgramFolderTheAnsiCodePageCannotSpellIsRefused) {
  const std::wstring folder = WideFromAnsi(root) + L"\\Kit-\u0141\u00f3d\u017a";
  const std::string shown = root +
                            "\\Kit-?\xf3"
                            "d?";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  // The look-alike that the ANSI calls would lead to, with a kit of its own.
  const std::string lookAlike = root +
                                "\\Kit-L\xf3"
                                "dz";
  CreateDirectoryA(lookAlike.c_str(), nullptr);
  for (const char* file : {"korvawiz.tpl", "korva.sys", "korva98.sys"})
    CopyKitFile(file, lookAlike);
  const std::string instanceId = Seed("6701");
  struct Case {
    std::string program;  // in the build
    const wchar_t* name;
    std::string arguments;
  };
  const Case cases[] = {
      {KorvaWizPath(), L"KORVAwiz.exe", "-nogui -hwid " + HardwareId("6701")},
      {KorvaWizPath().substr(0, KorvaWizPath().size() - 4) + ".com", L"KORVAwiz.com",
       "-nogui -hwid " + HardwareId("6701")},
      {KorvaCwPath(), L"KORVAcw.exe", "-nogui -list"},
      {KorvaCwPath().substr(0, KorvaCwPath().size() - 4) + ".com", L"KORVAcw.com", "-nogui -list"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const std::wstring program = folder + L"\\" + c.name;
    ASSERT_TRUE(CopyFileW(WideFromAnsi(c.program).c_str(), program.c_str(), FALSE));
    if (std::wstring(c.name).rfind(L".com") != std::wstring::npos) {
      // Its program beside it.
      std::string windowed = c.program.substr(0, c.program.size() - 4) + ".exe";
      std::wstring name = std::wstring(c.name).substr(0, wcslen(c.name) - 4) + L".exe";
      ASSERT_TRUE(
          CopyFileW(WideFromAnsi(windowed).c_str(), (folder + L"\\" + name).c_str(), FALSE));
    }
    CapturedRun run =
        RunCapturingOutput(L"\"" + program + L"\" " + WideFromAnsi(c.arguments), OutputTo::kPipe);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitProgramPathNotAnsi)) << run.output;
    EXPECT_NE(run.output.find(shown), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("cannot run from the folder"), std::string::npos) << run.output;
    EXPECT_FALSE(FolderExists(lookAlike + "\\install"));
    EXPECT_FALSE(HasKitDriver(instanceId));
  }
}

// Another KORVAwiz, with its wizard open or running unattended: nothing is done, and the open
// wizard's window is left as it is. The wizard takes the unattended run's lock as well, both
// ways round. What any user can make (a mutex of the lock's name, a window of the wizard's
// title) is no KORVAwiz, and stops nothing.
TEST_F(KorvaWizNoGuiTest, AnotherRunningKorvaWizEndsWith4) {
  const std::string instanceId = Seed("6301");
  const std::string arguments = "-nogui -hwid " + HardwareId("6301") + "&REV_0001";
  {
    // An unattended run of another session holds the lock.
    InstanceLock copy;
    ASSERT_TRUE(copy.Take(kInstallPrivateLockName, {kInstallMutexName}));
    CapturedRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 4u);
    auto lines = LogLines(run.output);
    ASSERT_EQ(Kinds(lines), (std::vector<std::string>{"error", "end"})) << run.output;
    EXPECT_EQ(lines[0][1], "Another KORVA Installation Wizard is running; this one did nothing.");
    if (HaveDisplay()) {
      // Nor does the wizard open while an unattended run installs: it says so and ends with 4.
      Process wizard("\"" + kit + "\\KORVAwiz.exe\"");
      HWND box = nullptr;
      for (int i = 0; i < 200 && !box; ++i, Sleep(100)) box = FindWindowA(nullptr, "KORVAwiz");
      ASSERT_NE(box, nullptr);
      char text[512] = {};
      GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));  // the box's text control
      EXPECT_EQ(std::string(text),
                "An unattended installation of the KORVA driver is running.\n"
                "Try again when it has ended.");
      EXPECT_EQ(CountWizards(), 0);
      SendMessageA(box, WM_COMMAND, IDOK, 0);
      EXPECT_EQ(wizard.Wait(20000), 4u);
      EXPECT_EQ(CountWizards(), 0);
    }
  }
  if (HaveDisplay()) {
    // A wizard in another session, whose window is not seen from here: its mutex is.
    Process wizard("\"" + kit + "\\KORVAwiz.exe\"");
    HWND frame = WaitForWizard();
    ASSERT_NE(frame, nullptr);
    SendMessageA(frame, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("KORVA elsewhere"));
    ASSERT_EQ(CountWizards(), 0);
    EXPECT_EQ(Run(arguments).exitCode, 4u);
    SendMessageA(GetDlgItem(frame, IDC_CANCEL_BUTTON), BM_CLICK, 0, 0);
    EXPECT_EQ(wizard.Wait(20000), 2u);
  }
  EXPECT_FALSE(HasKitDriver(instanceId));
  // With neither, the same command line installs.
  EXPECT_EQ(Run(arguments).exitCode, 0u);
  EXPECT_TRUE(HasKitDriver(instanceId));
  {
    // Some user's mutex of that name, held, and a window of this program with the wizard's
    // title.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
        "O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)", SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    UniqueHandle mutex(CreateMutexA(&attributes, TRUE, kInstallMutexName));
    LocalFree(descriptor);
    ASSERT_TRUE(mutex.Valid());
    HWND window = CreateWindowA("STATIC", "KORVA Installation Wizard", WS_POPUP, 0, 0, 10, 10,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    // It installs again.
    CapturedRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_TRUE(HasKitDriver(instanceId));
    if (HaveDisplay()) {
      Process wizard("\"" + kit + "\\KORVAwiz.exe\"");
      HWND frame = WaitForWizard();
      ASSERT_NE(frame, nullptr);
      EXPECT_NE(frame, window);
      SendMessageA(GetDlgItem(frame, IDC_CANCEL_BUTTON), BM_CLICK, 0, 0);
      EXPECT_EQ(wizard.Wait(20000), 2u);
    }
    DestroyWindow(window);
    ReleaseMutex(mutex.Get());
  }
}

// Without -nogui, any argument is answered by the usage box; only a request for it is no error.
TEST_F(KorvaWizNoGuiTest, ArgumentsWithoutNoGuiShowTheUsageBox) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  const std::string instanceId = Seed("6401");
  struct Case {
    std::string arguments;
    DWORD status;
  };
  const Case cases[] = {
      {"-hwid " + HardwareId("6401") + "&REV_0001", 3},
      {"-hwid " + HardwareId("6401") + "&REV_0001 -log " + root + "\\usage.log", 3},
      {"-install", 3},
      {"/?", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    Process wiz("\"" + kit + "\\KORVAwiz.exe\" " + c.arguments);
    HWND box = nullptr;
    for (int i = 0; i < 200 && !box; ++i, Sleep(100)) {
      box = FindWindowA(nullptr, kInstallUsageCaption);
    }
    ASSERT_NE(box, nullptr);
    char text[4096] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));  // the box's text control
    EXPECT_EQ(std::string(text), BuildInstallUsageText());
    SendMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(wiz.Wait(20000), c.status);
    EXPECT_EQ(CountWizards(), 0);
  }
  EXPECT_FALSE(FileExists(root + "\\usage.log"));
  EXPECT_FALSE(HasKitDriver(instanceId));
}

}  // namespace
}  // namespace korva::testing
