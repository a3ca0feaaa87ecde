// KORVAcw.exe as a user runs it: in this prefix, on a seeded device database and INF folders.
#include <windows.h>

#include <gtest/gtest.h>

#include "cleanup/core/cleanup_settings.h"
#include "support/wine_test_env.h"

namespace korva {
namespace {

using testing::FileExists;
using testing::PlaceFile;
using testing::SeedDevice;

const std::string kKitInf =
    "[Version]\r\nClass=KORVA\r\nClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n"
    "[Devices]\r\n%Dev%=Install, USB\\VID_0547&PID_1002\r\n"
    "[Install.HW.AddReg]\r\n"
    "HKR,,CleanupWizard_DeviceIdentString,,\"{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\"\r\n";

std::string Cw(const std::string& arguments) {
  return "\"" + testing::KorvaCwPath() + "\" " + arguments;
}

// Waits for a top-level window with this title; null on time-out.
HWND WaitForWindow(const char* title, DWORD timeoutMs = 20000) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    if (HWND window = FindWindowA(nullptr, title)) return window;
    Sleep(100);
  }
  return nullptr;
}

std::string MessageBoxText(HWND box) {
  char text[4096] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));  // the box's text control
  return text;
}

bool HaveDisplay() { return GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0; }

class KorvaCwTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::RemovePlacedInfFiles(); }
  void TearDown() override { testing::RemovePlacedInfFiles(); }
};

TEST_F(KorvaCwTest, NoGuiRemovesEverythingOfTheKitAndNothingElse) {
  GUID kit = KitClassGuid();
  GUID otherClass = testing::NewClassGuid();
  const std::string present = "USB\\VID_0547&PID_1002\\bb1";
  const std::string second = "USB\\VID_0547&PID_1003\\bb2";
  const std::string lowerCase = "USB\\VID_0547&PID_1004\\bb3";
  const std::string foreign = "USB\\VID_1234&PID_0001\\bb4";
  const std::string pci = "PCI\\VEN_0547&DEV_1005\\bb5";
  const std::string otherClassDevice = "USB\\VID_0547&PID_1006\\bb6";
  SeedDevice(present, kit, {"USB\\VID_0547&PID_1002"}, kKitIdent);
  SeedDevice(second, kit, {"USB\\VID_0547&PID_1003"}, kKitIdent);
  SeedDevice(lowerCase, kit, {"usb\\vid_0547&pid_1004"}, "{dab6a146-d93e-48ab-b3e5-374ab8fff277}");
  SeedDevice(foreign, kit, {"USB\\VID_1234&PID_0001"}, "");
  SeedDevice(pci, kit, {"PCI\\VEN_0547&DEV_1005"}, kKitIdent);
  SeedDevice(otherClassDevice, otherClass, {"USB\\VID_0547&PID_1006"}, kKitIdent);
  std::string kitInf = PlaceFile("inf", "korvatest_oem7.inf", kKitInf);
  std::string kitPnf = PlaceFile("inf", "korvatest_oem7.pnf", "pnf");
  std::string otherInf = PlaceFile("inf\\other", "korvatest_other.inf", kKitInf);
  std::string plainInf = PlaceFile("inf", "korvatest_plain.inf", "[Version]\r\nClass=Net\r\n");

  EXPECT_EQ(testing::RunProcess(Cw("-nogui")), 0u);

  EXPECT_FALSE(testbed::DeviceExists(present));
  EXPECT_FALSE(testbed::DeviceExists(second));
  EXPECT_FALSE(testbed::DeviceExists(lowerCase));
  EXPECT_TRUE(testbed::DeviceExists(foreign));
  EXPECT_TRUE(testbed::DeviceExists(pci));
  EXPECT_TRUE(testbed::DeviceExists(otherClassDevice));
  EXPECT_FALSE(FileExists(kitInf));
  EXPECT_FALSE(FileExists(kitPnf));
  EXPECT_FALSE(FileExists(otherInf));
  EXPECT_TRUE(FileExists(plainInf));
  // Wine's own INF files stay.
  EXPECT_TRUE(FileExists(testing::WindowsFolder() + "\\inf\\wineusb.inf"));

  // Expert mode with another class takes every USB instance of that class.
  SeedDevice("USB\\VID_7777&PID_0001\\bb7", otherClass, {"USB\\VID_7777&PID_0001"}, "");
  EXPECT_EQ(testing::RunProcess(Cw("-NOGUI -Expert -c " + testbed::GuidText(otherClass))), 0u);
  EXPECT_FALSE(testbed::DeviceExists(otherClassDevice));
  EXPECT_FALSE(testbed::DeviceExists("USB\\VID_7777&PID_0001\\bb7"));
  EXPECT_TRUE(testbed::DeviceExists(foreign));
  testbed::RemoveDevice(foreign);
  testbed::RemoveDevice(pci);
}

TEST_F(KorvaCwTest, NoGuiWithACustomIdentTakesOnlyThatIdent) {
  GUID kit = KitClassGuid();
  SeedDevice("USB\\VID_0547&PID_2001\\ci1", kit, {"USB\\VID_0547&PID_2001"}, "MyIdent");
  SeedDevice("USB\\VID_0547&PID_2002\\ci2", kit, {"USB\\VID_0547&PID_2002"}, kKitIdent);
  EXPECT_EQ(testing::RunProcess(Cw("-i myident -nogui")), 0u);
  EXPECT_FALSE(testbed::DeviceExists("USB\\VID_0547&PID_2001\\ci1"));
  EXPECT_TRUE(testbed::DeviceExists("USB\\VID_0547&PID_2002\\ci2"));
  testbed::RemoveDevice("USB\\VID_0547&PID_2002\\ci2");
}

// Letter case follows the user's locale (Windows-1252 in this prefix): an ident typed with
// "\xE4" (a umlaut) matches "\xC4" (A umlaut) in the registry and in an INF file. Under the C
// locale neither would match.
TEST_F(KorvaCwTest, LetterCaseFollowsTheUsersLocale) {
  const std::string device = "USB\\VID_0547&PID_2101\\lc1";
  SeedDevice(device, KitClassGuid(), {"USB\\VID_0547&PID_2101"}, "KORVA-\xC4");
  std::string inf = PlaceFile("inf", "korvatest_locale.inf",
                              "ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n"
                              "%Dev%=Install, USB\\VID_0547&PID_2101\r\n"
                              "HKR,,CleanupWizard_DeviceIdentString,,\"KORVA-\xC4\"\r\n");
  EXPECT_EQ(testing::RunProcess(Cw("-nogui -i korva-\xE4")), 0u);
  EXPECT_FALSE(testbed::DeviceExists(device));
  EXPECT_FALSE(FileExists(inf));
}

TEST_F(KorvaCwTest, NoGuiExitsWith2WhenARemovalFails) {
  std::string held = PlaceFile("inf", "korvatest_held.inf", kKitInf);
  std::string free = PlaceFile("inf", "korvatest_free.inf", kKitInf);
  SeedDevice("USB\\VID_0547&PID_3001\\f1", KitClassGuid(), {"USB\\VID_0547&PID_3001"}, kKitIdent);
  testing::FileHolder holder(held, /*readable=*/true);
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(testing::RunProcess(Cw("-nogui")), 2u);
  EXPECT_TRUE(FileExists(held));
  EXPECT_FALSE(FileExists(free));
  EXPECT_FALSE(testbed::DeviceExists("USB\\VID_0547&PID_3001\\f1"));
}

// Runs KORVAcw, waits for its box with this caption, reads its text and clicks OK.
struct BoxRun {
  std::string text;
  DWORD exitCode = ~0u;
};
BoxRun RunAndDismissBox(const std::string& arguments, const char* caption) {
  BoxRun run;
  testing::Process cw(Cw(arguments));
  if (HWND box = WaitForWindow(caption)) {
    run.text = MessageBoxText(box);
    SendMessageA(box, WM_COMMAND, IDOK, 0);
  }
  run.exitCode = cw.Wait();
  return run;
}

TEST_F(KorvaCwTest, RejectedCommandLinesShowARealBoxAndExitWith3) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  SeedDevice("USB\\VID_0547&PID_5001\\rj1", KitClassGuid(), {"USB\\VID_0547&PID_5001"}, kKitIdent);
  BoxRun guid = RunAndDismissBox("-nogui -c nonsense", "KORVA Cleanup Wizard");
  EXPECT_EQ(guid.text,
            "An invalid ClassGuid string has been passed.\n"
            "Use KORVACW -h to display information on how to use the wizard.");
  EXPECT_EQ(guid.exitCode, 3u);
  BoxRun missing = RunAndDismissBox("-nogui -c", "KORVA Cleanup Wizard");
  EXPECT_EQ(missing.text,
            "An invalid command line argument was passed.\n"
            "Use KORVACW -h to display information on how to use the wizard.\n");
  EXPECT_EQ(missing.exitCode, 3u);
  // Nothing was removed by either run.
  EXPECT_TRUE(testbed::DeviceExists("USB\\VID_0547&PID_5001\\rj1"));
  testbed::RemoveDevice("USB\\VID_0547&PID_5001\\rj1");
}

TEST_F(KorvaCwTest, UsageBoxExitsWith0) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  BoxRun usage = RunAndDismissBox("/H", "KORVA Cleanup Wizard Usage");
  EXPECT_EQ(usage.text, BuildUsageText(false));
  EXPECT_EQ(usage.exitCode, 0u);
}

TEST_F(KorvaCwTest, ASecondInstanceDoesNothingWhileTheFirstRuns) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  const std::string device = "USB\\VID_0547&PID_4001\\si1";
  SeedDevice(device, KitClassGuid(), {"USB\\VID_0547&PID_4001"}, kKitIdent);
  std::string inf = PlaceFile("inf", "korvatest_second.inf", kKitInf);

  // The first instance holds the mutex while its usage box is open.
  testing::Process first(Cw("-h -expert"));
  HWND usage = WaitForWindow("KORVA Cleanup Wizard Usage");
  ASSERT_NE(usage, nullptr);
  std::string text = MessageBoxText(usage);
  EXPECT_EQ(text.rfind("KORVACW [option] [option] [...]\n", 0), 0u);
  EXPECT_NE(text.find("\n-expert\t\tEnable expert mode."), std::string::npos);

  EXPECT_EQ(testing::RunProcess(Cw("-nogui")), 4u);
  EXPECT_TRUE(testbed::DeviceExists(device));
  EXPECT_TRUE(FileExists(inf));
  // Not even a help box from the second one.
  EXPECT_EQ(testing::RunProcess(Cw("-h"), 10000), 4u);

  SendMessageA(usage, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(first.Wait(), 0u);
  // Once the first has ended, a new run goes ahead.
  EXPECT_EQ(testing::RunProcess(Cw("-nogui")), 0u);
  EXPECT_FALSE(testbed::DeviceExists(device));
  EXPECT_FALSE(FileExists(inf));
}

}  // namespace
}  // namespace korva
