#include "cleanup/core/cleanup_wizard_texts.h"

#include <gtest/gtest.h>

#include <clocale>

namespace korva {
namespace {

TEST(CleanupPageSequenceTest, TheFourTaskCombinations) {
  // Forward from the welcome page, as Next takes it.
  auto forward = [](bool registry, bool inf) {
    std::string pages = "0";
    for (int page = 0; page < 3;) {
      page = NextCleanupPage(page, registry, inf);
      pages += std::to_string(page);
    }
    return pages;
  };
  EXPECT_EQ(forward(true, true), "0123");
  EXPECT_EQ(forward(true, false), "013");
  EXPECT_EQ(forward(false, true), "023");
  // Back retraces them.
  EXPECT_EQ(PreviousCleanupPage(3, true, true), 2);
  EXPECT_EQ(PreviousCleanupPage(3, true, false), 1);
  EXPECT_EQ(PreviousCleanupPage(2, false, true), 0);
  EXPECT_EQ(PreviousCleanupPage(1, true, true), 0);
  EXPECT_EQ(PreviousCleanupPage(0, true, true), 0);
}

TEST(CleanupPageSequenceTest, ButtonRules) {
  auto states = [](int kind, bool registry, bool inf) {
    WizardButtonStates s = CleanupButtonStates(kind, registry, inf);
    return std::string(s.back ? "B" : "-") + (s.next ? "N" : "-") + (s.cancel ? "C" : "-") +
           (s.nextReadsFinish ? "F" : "");
  };
  EXPECT_EQ(states(kWelcomeTaskPageKind, true, true), "-NC");
  EXPECT_EQ(states(kWelcomeTaskPageKind, false, true), "-NC");
  EXPECT_EQ(states(kWelcomeTaskPageKind, true, false), "-NC");
  EXPECT_EQ(states(kWelcomeTaskPageKind, false, false), "--C");
  EXPECT_EQ(states(kDeviceInstanceListPageKind, true, true), "BNC");
  EXPECT_EQ(states(kInfFileListPageKind, false, true), "BNC");
  EXPECT_EQ(states(kCleanupResultsPageKind, true, true), "-N-F");
}

TEST(CleanupTextsTest, WelcomeText) {
  const std::string base =
      "Welcome to the KORVA Cleanup Wizard. This wizard will help you to completely remove KORVA "
      "device instances and KORVA INF files from your system.\n";
  EXPECT_EQ(CleanupWelcomeText(false), base);
  EXPECT_EQ(CleanupWelcomeText(true),
            base +
                "\nMake sure you are logged on as an Administrator. Administrator privileges are "
                "required to uninstall device drivers and remove INF files.\n");
}

TEST(CleanupTextsTest, FormatThousandsFollowsTheLocale) {
  // The C locale has no thousands separator: "." stands in.
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(FormatThousands("1234"), "1.234");
  EXPECT_EQ(FormatThousands("1234567"), "1.234.567");
  EXPECT_EQ(FormatThousands("123"), "123");
  EXPECT_EQ(FormatThousands("123456"), "123.456");
  EXPECT_EQ(FormatThousands(""), "");
  EXPECT_EQ(FormatThousands("0"), "0");
  if (std::setlocale(LC_ALL, "en_US.UTF-8")) {
    EXPECT_EQ(FormatThousands("1234567"), "1,234,567");
  }
  std::setlocale(LC_ALL, "C");
}

TEST(CleanupTextsTest, DetailTexts) {
  EXPECT_EQ(DeviceDetailsText("Board", "USB\\VID_0547&PID_1002", "", ""),
            "Description:\tBoard\r\nHardware ID:\tUSB\\VID_0547&PID_1002\r\nManufacturer:\t\r\n"
            "Associated INF:\t\r\n");
  EXPECT_EQ(InfDetailsText("C:\\windows\\inf\\oem7.inf", "", "", "", ""),
            "Full path:\t\tC:\\windows\\inf\\oem7.inf\r\nSize:\t\t bytes\r\nCreated:\t\t\r\n"
            "Modified:\t\t\r\nAccessed:\t\r\n");
}

TEST(CleanupReportTest, EntriesHeadlinesAndCodes) {
  auto text = [](unsigned long code) {
    return code == 32 ? std::string("Sharing violation.") : std::string();
  };
  EXPECT_EQ(BuildCleanupReport({}, text).headline,
            "The wizard has not performed any operations.\n");
  EXPECT_EQ(BuildCleanupReport({}, text).report, "");

  RemovalOutcome device;
  device.isDevice = true;
  device.description = "Board";
  device.hardwareId = "USB\\VID_0547&PID_1002";
  RemovalOutcome inf;
  inf.path = "C:\\windows\\inf\\oem7.inf";
  RemovalOutcome pnf;
  pnf.path = "C:\\windows\\inf\\oem7.pnf";
  CleanupReport ok = BuildCleanupReport({device, inf, pnf}, text);
  EXPECT_EQ(ok.headline,
            "The wizard has successfully completed all operations.\nThe results are summarized "
            "below.");
  EXPECT_EQ(ok.report,
            "Device instance \"Board\"  \"USB\\VID_0547&PID_1002\"\r\n       successfully "
            "removed\r\nFile \"C:\\windows\\inf\\oem7.inf\"\r\n       successfully removed\r\n"
            "File \"C:\\windows\\inf\\oem7.pnf\"\r\n       successfully removed\r\n");

  device.error = 0xE000020B;  // a device set-up code: printed as a negative number
  inf.error = 32;
  CleanupReport failed = BuildCleanupReport({device, inf}, text);
  EXPECT_EQ(failed.headline,
            "The wizard has failed to perform some operations.\nThe results are summarized below.");
  EXPECT_EQ(failed.report,
            "Device instance \"Board\"  \"USB\\VID_0547&PID_1002\"\r\n       *** failed to "
            "remove, error = -536870389\r\n       *** \r\nFile \"C:\\windows\\inf\\oem7.inf\"\r\n"
            "       *** failed to remove, error = 32\r\n       *** Sharing violation.\r\n");

  // A removal that needs a restart says so, and so does the report's end; a file that the
  // driver store refused to remove says that it was the store. Failures carry no restart.
  device.error = 0;
  device.restartNeeded = true;
  inf.error = 0;
  RemovalOutcome failedRestart = device;
  failedRestart.error = 5;
  RemovalOutcome failedStore = inf;
  failedStore.error = 32;
  failedStore.storeError = 32;
  RemovalOutcome kept = inf;
  kept.error = 2404;
  kept.usedByDevice = true;
  // A driver store package without a published INF file is named by its folder.
  RemovalOutcome orphan;
  orphan.path = "C:\\windows\\System32\\DriverStore\\FileRepository\\k.inf_amd64_1\\k.inf";
  orphan.storePackage = "C:\\windows\\System32\\DriverStore\\FileRepository\\k.inf_amd64_1";
  orphan.restartNeeded = true;
  RemovalOutcome stuck = orphan;
  stuck.restartNeeded = false;
  stuck.error = 50;
  stuck.notRemovable = true;
  // A certificate that a package left on the system is signed with stays, and says why.
  RemovalOutcome signing;
  signing.isCertificate = true;
  signing.certificate = "KORVA driver package USB\\VID_0547&PID_1002 (certificate in Root)";
  signing.error = 170;
  signing.signsPackageLeft = true;
  CleanupReport restart = BuildCleanupReport(
      {device, failedRestart, inf, pnf, failedStore, kept, orphan, stuck, signing}, text);
  EXPECT_EQ(restart.headline,
            "The wizard has failed to perform some operations.\nThe results are summarized below.");
  EXPECT_EQ(restart.report,
            "Device instance \"Board\"  \"USB\\VID_0547&PID_1002\"\r\n       successfully "
            "removed\r\n       restart required to complete the removal\r\n"
            "Device instance \"Board\"  \"USB\\VID_0547&PID_1002\"\r\n       *** failed to "
            "remove, error = 5\r\n       *** \r\n"
            "File \"C:\\windows\\inf\\oem7.inf\"\r\n       successfully removed\r\n"
            "File \"C:\\windows\\inf\\oem7.pnf\"\r\n       successfully removed\r\n"
            "File \"C:\\windows\\inf\\oem7.inf\"\r\n       *** failed to remove from the "
            "driver store, error = 32\r\n"
            "       *** Sharing violation.\r\n"
            "File \"C:\\windows\\inf\\oem7.inf\"\r\n       *** not removed: a device left on "
            "the system still uses it\r\n"
            "Driver store package \"C:\\windows\\System32\\DriverStore\\FileRepository\\"
            "k.inf_amd64_1\"\r\n       successfully removed\r\n"
            "       restart required to complete the removal\r\n"
            "Driver store package \"C:\\windows\\System32\\DriverStore\\FileRepository\\"
            "k.inf_amd64_1\"\r\n       *** not removable on this system: it has no call that "
            "removes a driver store package\r\n"
            "Certificate \"KORVA driver package USB\\VID_0547&PID_1002 (certificate in Root)\"\r\n"
            "       *** not removed: a driver package left on the system is signed with it\r\n"
            "\r\nPlease restart your computer to complete the removal.\r\n");
  failedRestart.restartNeeded = true;
  EXPECT_EQ(BuildCleanupReport({failedRestart}, text).report.find("restart"), std::string::npos);

  // What a scan could not examine is an entry of its own in the style of a failure, and the
  // run did not complete all operations, even when it removed nothing.
  RemovalOutcome unread;
  unread.notExamined = NotExaminedEntryName("C:\\windows\\inf\\oem9.inf", false);
  unread.error = 32;
  RemovalOutcome unlisted;
  unlisted.notExamined = NotExaminedEntryName(
      "device instances of class {96E73B6E-7A5A-11D4-9F24-0080C82727F4}", true);
  unlisted.error = 0xE000020B;
  RemovalOutcome instance;
  instance.notExamined = NotExaminedEntryName("USB\\VID_0547&PID_1002\\5&1", true);
  instance.error = 5;
  RemovalOutcome store;
  store.notExamined = NotExaminedEntryName("certificate store Root", false);
  store.error = 5;
  CleanupReport unseen = BuildCleanupReport({unlisted, instance, unread, store}, text);
  EXPECT_EQ(unseen.headline,
            "The wizard has failed to perform some operations.\nThe results are summarized below.");
  EXPECT_EQ(unseen.report,
            "Device instances of class \"{96E73B6E-7A5A-11D4-9F24-0080C82727F4}\"\r\n"
            "       *** could not be examined, error = -536870389\r\n       *** \r\n"
            "Device instance \"USB\\VID_0547&PID_1002\\5&1\"\r\n"
            "       *** could not be examined, error = 5\r\n       *** \r\n"
            "File \"C:\\windows\\inf\\oem9.inf\"\r\n"
            "       *** could not be examined, error = 32\r\n       *** Sharing violation.\r\n"
            "Certificate store \"Root\"\r\n"
            "       *** could not be examined, error = 5\r\n       *** \r\n");
}

TEST(CleanupTextsTest, TrimSpace) {
  EXPECT_EQ(TrimSpace("  Access denied.\r\n"), "Access denied.");
  EXPECT_EQ(TrimSpace("\r\n"), "");
  EXPECT_EQ(TrimSpace("a b"), "a b");
}

// The report's last line after a removal run, in each way the new enumeration can go.
TEST(CleanupWizardTextsTest, TheRescanLine) {
  auto text = [](unsigned long code) {
    return code == 31 ? "A device attached is not working." : "";
  };
  struct Case {
    RescanResult rescan;
    std::string line;
  } cases[] = {
      {{false, 0, false}, ""},
      {{true, 0, false},
       "\r\nWindows was asked to look for the devices again, so that connected devices get "
       "their own drivers.\r\n"},
      {{true, 0, true},
       "\r\nWindows was asked to look for the devices again; their installations were still "
       "going on after 60 seconds.\r\n"},
      {{true, 31, false},
       "\r\nWindows could not be asked to look for the devices again; unplug and plug in the "
       "devices, or restart, to give them their own drivers. Error = 31: A device attached is "
       "not working.\r\n"},
      {{true, 127, false},
       "\r\nWindows could not be asked to look for the devices again; unplug and plug in the "
       "devices, or restart, to give them their own drivers. Error = 127.\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(RescanReportText(c.rescan, text), c.line);
}

}  // namespace
}  // namespace korva
