// The Cleanup Wizard's real dialogs under Wine and Xvfb, driven from inside their modal loops:
// the task choices and page sequences, the scan list pages, the removal run and its report.
// Screenshots of every page land in <build>\screenshots.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleanup/cleanup_wizard_app.h"
#include "cleanup/ui/cleanup_wizard_frame.h"
#include "common/core/kit_certificate.h"
#include "common/message_pump.h"
#include "common/system_folders.h"
#include "common/trust_stores.h"
#include "res/cleanup_resource.h"
#include "support/fault_injecting_device_setup.h"
#include "support/recording_message_box.h"
#include "support/ui_driver.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

bool Enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }

std::string ItemText(HWND list, int row) {
  char text[512] = {};
  LVITEMA item{};
  item.pszText = text;
  item.cchTextMax = sizeof(text);
  SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

int RowOf(HWND list, const std::string& text) {
  for (int row = 0; row < ListView_GetItemCount(list); ++row) {
    if (ItemText(list, row) == text) return row;
  }
  return -1;
}

der::Bytes AsBytes(const std::string& text) { return der::Bytes(text.begin(), text.end()); }

void Check(HWND list, int row, bool checked) { ListView_SetCheckState(list, row, checked); }
bool Checked(HWND list, int row) { return ListView_GetCheckState(list, row) != 0; }

void Select(HWND list, int row) {
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

// An INF file of the class below <Windows>\inf, with the ident; its path.
std::string PlaceKitInf(const std::string& name, const std::string& classGuid, size_t padding = 0) {
  std::string text =
      "[Version]\r\nClassGuid=" + classGuid +
      "\r\n[Models]\r\n%D%=Install, USB\\VID_0547&PID_1002\r\n[Install.HW.AddReg]\r\n"
      "HKR,,CleanupWizard_DeviceIdentString,,\"" +
      std::string(kKitIdent) + "\"\r\n";
  if (padding > text.size()) text += std::string(padding - text.size(), ';');
  return PlaceFile("inf", name, text);
}

class CleanupWizardUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemovePlacedInfFiles();
    classGuid = NewClassGuid();
    classText = testbed::GuidText(classGuid);
  }
  void TearDown() override { RemovePlacedInfFiles(); }

  std::string SeedKitDevice(const std::string& tag, const std::string& description) {
    std::string id = "USB\\VID_0547&PID_" + tag + "\\CW" + tag;
    SeedDevice(id, classGuid, {"USB\\VID_0547&PID_" + tag}, kKitIdent, description);
    return id;
  }

  int RunWizard(std::vector<UiStep> steps) {
    steps.push_back([this] {
      if (app.Frame()) {
        ADD_FAILURE() << "the script left the wizard open";
        EndDialog(app.Frame()->Window(), 99);
      }
    });
    ScheduleSteps(std::move(steps));
    int code = app.Run("-c " + classText + extraArguments);
    EXPECT_LE(StepsLeft(), 1u);
    ClearSteps();
    return code;
  }

  // Goes through both list pages to the results page, reads its headline and report (and saves
  // a screenshot of it as `shot` when given), and finishes.
  void RunToTheReport(std::string& headline, std::string& report, const char* shot = nullptr) {
    std::vector<UiStep> steps = {
        [this] { ClickNext(); },
        [this] { ClickNext(); },
        [&, this] {
          ClickNext();
          headline = Text(Frame().ResultsPage(), IDC_RESULTS_HEADLINE);
          report = Text(Frame().ResultsPage(), IDC_REPORT);
          if (shot) Shot(shot);
          ClickNext();
        },
    };
    RunWizard(std::move(steps));
  }

  CleanupWizardFrame& Frame() { return *app.Frame(); }
  HWND Button(int id) { return Frame().Item(id); }
  HWND DeviceList() { return Frame().DeviceInstancePage().List(); }
  HWND InfList() { return Frame().InfFilePage().List(); }
  std::string Text(const Dialog& page, int id) { return page.ItemText(id); }
  void Shot(const std::string& page) {
    SaveScreenshot(Frame().Window(), ScreenshotFolder() + "\\cleanup-" + page + ".png");
  }
  void ClickNext() { ASSERT_TRUE(Click(Button(IDC_NEXT))); }
  void ClickBack() { ASSERT_TRUE(Click(Button(IDC_BACK))); }
  void SetTask(int box, bool checked) {
    HWND check = Frame().WelcomeTask().Item(box);
    if ((IsDlgButtonChecked(Frame().WelcomeTask().Window(), box) == BST_CHECKED) != checked) {
      ASSERT_TRUE(Click(check));
    }
  }

  GUID classGuid{};
  std::string classText;
  std::string extraArguments;  // after -c and the class
  FaultInjectingDeviceSetup setup;
  CleanupSettings settings;
  DeviceInstanceList devices{setup, settings};
  InfFileList infFiles{setup, settings};
  TeeMessageBox boxes;
  CleanupWizardApp app{settings, devices, infFiles, boxes};
};

TEST_F(CleanupWizardUiTest, BothTasksForwardAndBackAndEveryArrivalRescans) {
  SeedKitDevice("5001", "CW board");
  PlaceKitInf("korvatest_cw1.inf", classText);
  int infScans = 0;
  infFiles.beforeExamine = [&](const std::string& path) {
    if (path.find("korvatest_cw1") != std::string::npos) ++infScans;
  };
  std::vector<UiStep> steps = {
      [this] {
        EXPECT_EQ(WindowText(Frame().Window()), "KORVA Cleanup Wizard");
        EXPECT_FALSE(Enabled(Button(IDC_BACK)));
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        EXPECT_TRUE(Enabled(Button(IDC_CANCEL_BUTTON)));
        EXPECT_TRUE(Frame().WelcomeTask().CleanupRegistry());
        EXPECT_TRUE(Frame().WelcomeTask().CleanupInfFiles());
        Shot("1-welcome");
        // Both boxes off disable Next; either one enables it again.
        SetTask(IDC_CLEANUP_REGISTRY, false);
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        SetTask(IDC_CLEANUP_INF_FILES, false);
        EXPECT_FALSE(Enabled(Button(IDC_NEXT)));
        SetTask(IDC_CLEANUP_INF_FILES, true);
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        SetTask(IDC_CLEANUP_INF_FILES, false);
        SetTask(IDC_CLEANUP_REGISTRY, true);
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        SetTask(IDC_CLEANUP_INF_FILES, true);
        ClickNext();
      },
      [&, this] {
        EXPECT_EQ(Frame().CurrentPage(), 1);
        EXPECT_EQ(setup.classDevsCalls, 1);
        EXPECT_TRUE(Enabled(Button(IDC_BACK)));
        int row = RowOf(DeviceList(), "CW board");
        ASSERT_GE(row, 0);
        EXPECT_TRUE(Checked(DeviceList(), row));
        Check(DeviceList(), row, false);
        Shot("2-device-instances");
        ClickBack();
        EXPECT_EQ(Frame().CurrentPage(), 0);
        EXPECT_EQ(setup.classDevsCalls, 1);  // Back scans nothing
        ClickNext();
        EXPECT_EQ(setup.classDevsCalls, 2);  // every arrival by Next does
        EXPECT_TRUE(Checked(DeviceList(), RowOf(DeviceList(), "CW board")));
        ClickNext();
        EXPECT_EQ(Frame().CurrentPage(), 2);
        EXPECT_EQ(infScans, 1);
        ClickBack();
        EXPECT_EQ(Frame().CurrentPage(), 1);
        EXPECT_EQ(infScans, 1);
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
  };
  EXPECT_EQ(RunWizard(std::move(steps)), 0);
  // Cancel removed nothing.
  EXPECT_TRUE(devices.Results().empty());
  EXPECT_TRUE(infFiles.Results().empty());
  EXPECT_TRUE(testbed::DeviceExists("USB\\VID_0547&PID_5001\\CW5001"));
  EXPECT_TRUE(FileExists(WindowsFolder() + "\\inf\\korvatest_cw1.inf"));
}

// A click queued before the first is handled reaches the frame while the scan pumps messages:
// it is ignored, so the page scanned stays the one shown, with the keyboard on its list.
TEST_F(CleanupWizardUiTest, NextAndBackClickedDuringAScanAreIgnored) {
  SeedKitDevice("5801", "CW board clicked twice");
  PlaceKitInf("korvatest_twice.inf", classText);
  int infScans = 0;
  infFiles.beforeExamine = [&](const std::string& path) {
    if (path.find("korvatest_twice") != std::string::npos) ++infScans;
  };
  auto clickTwice = [this](int first, int second) {
    PostMessageA(Button(first), BM_CLICK, 0, 0);
    PostMessageA(Button(second), BM_CLICK, 0, 0);
    PumpPendingMessages();  // both, as the dialog's loop takes them
  };
  std::vector<UiStep> steps = {
      [&, this] {
        clickTwice(IDC_NEXT, IDC_NEXT);
        EXPECT_EQ(Frame().CurrentPage(), 1);
        EXPECT_EQ(infScans, 0);
        EXPECT_EQ(GetFocus(), DeviceList());
        EXPECT_TRUE(IsWindowVisible(DeviceList()));
        clickTwice(IDC_NEXT, IDC_BACK);
        EXPECT_EQ(Frame().CurrentPage(), 2);
        EXPECT_EQ(infScans, 1);
        EXPECT_EQ(GetFocus(), InfList());
        EXPECT_TRUE(IsWindowVisible(InfList()));
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
  };
  EXPECT_EQ(RunWizard(std::move(steps)), 0);
  EXPECT_TRUE(devices.Results().empty());
}

TEST_F(CleanupWizardUiTest, OnlyOneTaskSkipsTheOtherListBothWays) {
  std::vector<UiStep> steps = {
      [this] {
        SetTask(IDC_CLEANUP_REGISTRY, false);
        ClickNext();
        EXPECT_EQ(Frame().CurrentPage(), 2);  // straight to the INF files
        EXPECT_EQ(setup.classDevsCalls, 0);
        ClickBack();
        EXPECT_EQ(Frame().CurrentPage(), 0);
        SetTask(IDC_CLEANUP_REGISTRY, true);
        SetTask(IDC_CLEANUP_INF_FILES, false);
        ClickNext();
        EXPECT_EQ(Frame().CurrentPage(), 1);
        ClickNext();
        // Straight to the results: the removal run has run.
        EXPECT_EQ(Frame().CurrentPage(), 3);
        EXPECT_EQ(WindowText(Button(IDC_NEXT)), "Finish");
        EXPECT_FALSE(Enabled(Button(IDC_BACK)));
        EXPECT_FALSE(Enabled(Button(IDC_CANCEL_BUTTON)));
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        ClickNext();  // Finish
      },
  };
  EXPECT_EQ(RunWizard(std::move(steps)), 0);
}

TEST_F(CleanupWizardUiTest, EnterEscapeAndCloseDoNothing) {
  SeedKitDevice("5101", "CW board for keys");
  std::vector<UiStep> steps = {
      [this] {
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(Frame().Window(), WM_CLOSE, 0, 0);
        SendMessageA(Frame().Window(), WM_COMMAND, IDOK, 0);
        SendMessageA(Frame().Window(), WM_COMMAND, IDCANCEL, 0);
        SendMessageA(Frame().WelcomeTask().Window(), WM_COMMAND, IDCANCEL, 0);
        ClickNext();
      },
      [this] {
        EXPECT_EQ(GetFocus(), DeviceList());
        PostMessageA(DeviceList(), WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(DeviceList(), WM_KEYDOWN, VK_ESCAPE, 0);
      },
      [this] {
        ASSERT_NE(app.Frame(), nullptr);
        EXPECT_EQ(Frame().CurrentPage(), 1);
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
  };
  RunWizard(std::move(steps));
  EXPECT_TRUE(devices.Results().empty());
}

TEST_F(CleanupWizardUiTest, ListPagesWithAndWithoutRecords) {
  std::string id = SeedKitDevice("5201", "CW board with details");
  for (int i = 0; i < 8; ++i)
    SeedKitDevice("52" + std::to_string(10 + i), "CW filler " + std::to_string(i));
  testbed::DeviceSeed nobody;
  nobody.instanceId = "USB\\VID_0547&PID_5299\\CW5299";
  nobody.classGuid = classGuid;
  nobody.hardwareIds = {"USB\\VID_0547&PID_5299"};
  nobody.description = "CW board of nobody";
  ASSERT_EQ(testbed::AddDevice(nobody), 0u);
  ASSERT_EQ(testbed::SetHardwareValue(nobody.instanceId, "CleanupWizard_DeviceIdentString", REG_SZ,
                                      testbed::StringData(kKitIdent)),
            0u);
  // A 1234567-byte INF file, and one that goes away after the scan.
  std::string big = PlaceKitInf("korvatest_big.inf", classText, 1234567);
  std::string gone = PlaceKitInf("korvatest_gone.inf", classText);
  // A package of the kit in the driver store that no INF file publishes any more.
  const std::string packageName = "korvatest_store.inf_amd64_0123456789abcdef";
  std::string package = testing::PlaceStorePackage(packageName, "korvatest_store.inf",
                                                   testing::ReadFileBytes(big).substr(0, 300));
  setup.driverStore = true;
  std::vector<UiStep> steps = {
      [this] { ClickNext(); },
      [this, id] {
        const ScanListPage& page = Frame().DeviceInstancePage();
        EXPECT_EQ(Text(page, IDC_DEVICE_HEADER),
                  "The following KORVA device instances are present in the registry.\nThe checked "
                  "items will be removed.");
        EXPECT_TRUE(Enabled(page.Item(IDC_DEVICE_DETAIL_LABEL)));
        EXPECT_EQ(Text(page, IDC_DEVICE_DETAIL_LABEL),
                  "Detailed information on the highlighted item:");
        // Item 0 selected, focused and visible, the list focused, its details shown.
        EXPECT_EQ(ListView_GetNextItem(DeviceList(), -1, LVNI_SELECTED), 0);
        EXPECT_EQ(ListView_GetNextItem(DeviceList(), -1, LVNI_FOCUSED), 0);
        EXPECT_EQ(ListView_GetTopIndex(DeviceList()), 0);
        EXPECT_EQ(GetFocus(), DeviceList());
        const DeviceInstanceRecord& first = devices.Items()[0];
        EXPECT_EQ(Text(page, IDC_DEVICE_DETAILS),
                  "Description:\t" + first.description + "\r\nHardware ID:\t" + first.hardwareId +
                      "\r\nManufacturer:\t" + first.manufacturer + "\r\nAssociated INF:\t" +
                      first.infPath + "\r\n");
        for (int row = 0; row < ListView_GetItemCount(DeviceList()); ++row) {
          EXPECT_TRUE(Checked(DeviceList(), row));
        }
        Select(DeviceList(), RowOf(DeviceList(), "CW board with details"));
        // Seeded with a manufacturer; no driver, so no INF line content.
        EXPECT_EQ(Text(page, IDC_DEVICE_DETAILS),
                  "Description:\tCW board with details\r\nHardware ID:\tUSB\\VID_0547&PID_5201\r\n"
                  "Manufacturer:\tKORVA\r\nAssociated INF:\t\r\n");
        // No manufacturer and no driver: both lines end right after their tab.
        Select(DeviceList(), RowOf(DeviceList(), "CW board of nobody"));
        EXPECT_EQ(Text(page, IDC_DEVICE_DETAILS),
                  "Description:\tCW board of nobody\r\nHardware ID:\tUSB\\VID_0547&PID_5299\r\n"
                  "Manufacturer:\t\r\nAssociated INF:\t\r\n");
        ClickNext();
      },
      [this, big, gone, packageName, package] {
        const ScanListPage& page = Frame().InfFilePage();
        Select(InfList(), RowOf(InfList(), packageName));
        EXPECT_EQ(Text(page, IDC_INF_DETAILS),
                  "Driver store package without a published INF file.\r\nFolder:\t\t" +
                      testing::DriverStoreRepository() + "\\" + packageName + "\r\nINF file:\t" +
                      package + "\r\n");
        EXPECT_EQ(Text(page, IDC_INF_HEADER),
                  "The following INF files related to KORVA are in existence.\nThe checked items "
                  "will be removed as soon as you click Next.");
        int row = RowOf(InfList(), "korvatest_big.inf");
        ASSERT_GE(row, 0);
        Select(InfList(), row);
        std::string details = Text(page, IDC_INF_DETAILS);
        EXPECT_EQ(details.rfind(
                      "Full path:\t\t" + big + "\r\nSize:\t\t1,234,567 bytes\r\nCreated:\t\t", 0),
                  0u)
            << details;
        // "%#x, %X" in the prefix's English locale: "Monday, December 7, 2026, 3:04:05 PM".
        EXPECT_NE(details.find(", 20"), std::string::npos) << details;
        EXPECT_NE(details.find("\r\nModified:\t\t"), std::string::npos);
        EXPECT_NE(details.find("M\r\nAccessed:\t"), std::string::npos) << details;
        Shot("3-inf-files");
        RemoveFile(gone);
        Select(InfList(), RowOf(InfList(), "korvatest_gone.inf"));
        EXPECT_EQ(Text(page, IDC_INF_DETAILS),
                  "Full path:\t\t" + gone +
                      "\r\nSize:\t\t bytes\r\nCreated:\t\t\r\nModified:\t\t\r\nAccessed:\t\r\n");
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
  };
  RunWizard(std::move(steps));
}

TEST_F(CleanupWizardUiTest, NothingFoundAndNothingDone) {
  std::vector<UiStep> steps = {
      [this] { ClickNext(); },
      [this] {
        const ScanListPage& page = Frame().DeviceInstancePage();
        EXPECT_EQ(Text(page, IDC_DEVICE_HEADER),
                  "There are no KORVA device instances in the registry.");
        EXPECT_FALSE(Enabled(page.Item(IDC_DEVICE_DETAIL_LABEL)));
        EXPECT_EQ(Text(page, IDC_DEVICE_DETAILS), "");
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        Shot("2-device-instances-none");
        ClickNext();
        EXPECT_EQ(Text(Frame().InfFilePage(), IDC_INF_HEADER),
                  "There are no INF files related to KORVA in existence.");
        ClickNext();
        EXPECT_EQ(Text(Frame().ResultsPage(), IDC_RESULTS_HEADLINE),
                  "The wizard has not performed any operations.\n");
        EXPECT_EQ(Text(Frame().ResultsPage(), IDC_REPORT), "");
        ClickNext();
      },
  };
  EXPECT_EQ(RunWizard(std::move(steps)), 0);
}

TEST_F(CleanupWizardUiTest, CheckedItemsGoUncheckedStayAndTheReportSaysSo) {
  std::string goes = SeedKitDevice("5301", "CW board that goes");
  std::string stays = SeedKitDevice("5302", "CW board that stays");
  std::string inf = PlaceKitInf("korvatest_go.inf", classText);
  std::string pnf = PlaceFile("inf", "korvatest_go.pnf", "compiled");
  std::string kept = PlaceKitInf("korvatest_keep.inf", classText);
  // Checked, but the device the user keeps is installed from it: it stays, and says why.
  std::string used = PlaceKitInf("korvatest_used.inf", classText);
  ASSERT_EQ(testbed::SetDriverInfPath(stays, "korvatest_used.inf"), 0u);
  // A package certificate of the kit in both trust stores, listed after the INF files; the user
  // keeps the TrustedPublisher one. Another product's certificate of the same name is no item.
  // OpenSSL reads a backslash in a name as an escape: doubled here.
  const std::string name = "KORVA driver package USB\\\\VID_0547&PID_5303";
  const der::Bytes kits = AsBytes(
      OpenSslCertificate("/CN=" + name + "/O=" + kKitCertificateOrganization + "/OU=" + kKitIdent));
  const der::Bytes others =
      AsBytes(OpenSslCertificate("/CN=" + name + "/O=Another Vendor/OU=" + kKitIdent));
  StoredCertificate described;
  ASSERT_TRUE(DescribeCertificate(kits, described));
  // The certificate of the package the user keeps stays, checked or not.
  std::string catalog;
  const der::Bytes keeps =
      AsBytes(OpenSslCertificate("/CN=KORVA driver package USB\\\\VID_0547&PID_5304/O=" +
                                     std::string(kKitCertificateOrganization) + "/OU=" + kKitIdent,
                                 &catalog));
  const std::string database = SystemFolder() + "\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
  CreateDirectoryA((SystemFolder() + "\\catroot").c_str(), nullptr);
  CreateDirectoryA(database.c_str(), nullptr);
  WriteFileBytes(database + "\\korvatest_keep.cat", catalog);
  SystemTrustStores stores;
  for (const char* store : kKitCertificateStores) {
    ASSERT_EQ(stores.Add(store, kits), 0u);
    ASSERT_EQ(stores.Add(store, others), 0u);
    ASSERT_EQ(stores.Add(store, keeps), 0u);
  }
  const std::string root = "KORVA driver package USB\\VID_0547&PID_5303 (certificate in Root)";
  const std::string publisher =
      "KORVA driver package USB\\VID_0547&PID_5303 (certificate in TrustedPublisher)";
  std::vector<UiStep> steps = {
      [this] { ClickNext(); },
      [this] {
        Check(DeviceList(), RowOf(DeviceList(), "CW board that stays"), false);
        ClickNext();
      },
      [&, this] {
        Check(InfList(), RowOf(InfList(), "korvatest_keep.inf"), false);
        EXPECT_EQ(ListView_GetItemCount(InfList()), 7);
        ASSERT_GT(RowOf(InfList(), root), RowOf(InfList(), "korvatest_keep.inf"));
        ASSERT_GE(RowOf(InfList(), publisher), 0);
        EXPECT_TRUE(Checked(InfList(), RowOf(InfList(), root)));
        Check(InfList(), RowOf(InfList(), publisher), false);
        Select(InfList(), RowOf(InfList(), root));
        std::string details = Text(Frame().InfFilePage(), IDC_INF_DETAILS);
        EXPECT_EQ(details.rfind("Certificate store:\tRoot (local machine)\r\nSubject:\t\t" +
                                    described.subjectText + "\r\nThumbprint:\t" +
                                    described.thumbprint + "\r\nExpires:\t\t",
                                0),
                  0u)
            << details;
        EXPECT_NE(described.subjectText.find("O=KORVA Development Kit"), std::string::npos);
        EXPECT_EQ(described.thumbprint.size(), 40u);
        EXPECT_GT(details.size(), details.find("Expires:\t\t") + 12) << details;
        Shot("3-inf-files-certificates");
        // Nothing has reached the engines yet.
        for (const DeviceInstanceRecord& r : devices.Items()) EXPECT_TRUE(r.selected);
        for (const InfFileRecord& r : infFiles.Items()) EXPECT_TRUE(r.selected);
        ClickNext();
      },
      [&, this] {
        Shot("4-results");
        std::string report = Text(Frame().ResultsPage(), IDC_REPORT);
        EXPECT_NE(
            report.find("File \"" + pnf + "\"\r\n       successfully removed\r\nFile \"" + used +
                        "\"\r\n       *** not removed: a device left on the system still "
                        "uses it\r\n"),
            std::string::npos)
            << report;
        EXPECT_NE(report.find("Certificate \"" + root + "\"\r\n       successfully removed\r\n"),
                  std::string::npos)
            << report;
        for (const char* store : kKitCertificateStores) {
          EXPECT_NE(report.find("Certificate \"KORVA driver package USB\\VID_0547&PID_5304 "
                                "(certificate in " +
                                std::string(store) +
                                ")\"\r\n       *** not removed: a driver package left on the "
                                "system is signed with it\r\n"),
                    std::string::npos)
              << report;
        }
        EXPECT_EQ(report.find(publisher), std::string::npos) << report;
        ClickNext();
      },
  };
  EXPECT_EQ(RunWizard(std::move(steps)), 0);
  EXPECT_FALSE(testbed::DeviceExists(goes));
  EXPECT_TRUE(testbed::DeviceExists(stays));
  EXPECT_FALSE(FileExists(inf));
  EXPECT_FALSE(FileExists(pnf));
  EXPECT_TRUE(FileExists(kept));
  EXPECT_TRUE(FileExists(used));
  for (const char* store : kKitCertificateStores) {
    std::vector<StoredCertificate> held;
    ASSERT_EQ(stores.List(store, held), 0u);
    auto holds = [&held](const der::Bytes& certificate) {
      for (const StoredCertificate& c : held) {
        if (c.encoded == certificate) return true;
      }
      return false;
    };
    EXPECT_EQ(holds(kits), std::string(store) == "TrustedPublisher") << store;
    EXPECT_TRUE(holds(others)) << store;
    EXPECT_TRUE(holds(keeps)) << store;
    stores.Remove(store, kits);
    stores.Remove(store, others);
    stores.Remove(store, keeps);
  }
  DeleteFileA((database + "\\korvatest_keep.cat").c_str());
}

TEST_F(CleanupWizardUiTest, TheReportOfSuccessesAndFailures) {
  SeedKitDevice("5401", "CW board ok");
  std::string inf = PlaceKitInf("korvatest_ok.inf", classText);
  PlaceFile("inf", "korvatest_ok.pnf", "compiled");
  std::string log = WindowsFolder() + "\\temp\\korvatest_wizard.log";
  RemoveFile(log);
  extraArguments = " -log " + log;
  std::string report, headline;
  RunToTheReport(headline, report);
  EXPECT_EQ(headline,
            "The wizard has successfully completed all operations.\nThe results are summarized "
            "below.");
  std::string pnf = inf.substr(0, inf.size() - 3) + "pnf";
  // Last, Windows is asked to look for the devices again; Wine's calls for it fail, which is
  // said without making the run a failure.
  const std::string genFailure = GetSystemMessageText(ERROR_GEN_FAILURE);
  EXPECT_EQ(report,
            "Device instance \"CW board ok\"  \"USB\\VID_0547&PID_5401\"\r\n       "
            "successfully removed\r\nFile \"" +
                inf + "\"\r\n       successfully removed\r\nFile \"" + pnf +
                "\"\r\n       successfully removed\r\n"
                "\r\nWindows could not be asked to look for the devices again; unplug and plug in "
                "the devices, or restart, to give them their own drivers. Error = 31: " +
                genFailure + "\r\n");
  // The log of a wizard run: what it found, what it removed, and the outcome.
  std::string lines = ReadFileBytes(log);
  std::string start = lines.substr(0, lines.find("\r\n"));
  EXPECT_NE(start.find("\tKORVAcw 1.0\tclass=" + classText + "\tident="), std::string::npos)
      << start;
  EXPECT_NE(start.find("\texpert=no\tnogui=no\tlist=no"), std::string::npos) << start;
  EXPECT_EQ(lines.substr(start.size()),
            "\r\ndevice\tUSB\\VID_0547&PID_5401\\CW5401\tCW board ok\tUSB\\VID_0547&PID_5401\r\n"
            "inf\t" +
                inf +
                "\r\nremoved\tdevice\tUSB\\VID_0547&PID_5401\\CW5401\r\n"
                "removed\tinf\t" +
                inf + "\r\nremoved\tinf\t" + pnf + "\r\nrescan\tfailed\t31\t" + genFailure +
                "\r\n"
                "end\tdevices=1\tinf=1\tcertificates=0\tservices=0\tremoved=3\tfailed=0\tnot "
                "examined=0\tstatus=0\r\n");
  RemoveFile(log);
}

TEST_F(CleanupWizardUiTest, FailuresWithTheirCodesAndTexts) {
  SeedKitDevice("5501", "CW board that will not go");
  std::string held = PlaceKitInf("korvatest_held.inf", classText);
  FileHolder holder(held, true);
  ASSERT_TRUE(holder.Holding());
  setup.removeError = 0xE0000219;  // a device set-up code: no platform text under Wine
  std::string report, headline;
  RunToTheReport(headline, report, "4-results-failed");
  EXPECT_EQ(headline,
            "The wizard has failed to perform some operations.\nThe results are summarized below.");
  EXPECT_EQ(report,
            "Device instance \"CW board that will not go\"  \"USB\\VID_0547&PID_5501\"\r\n"
            "       *** failed to remove, error = -536870375\r\n       *** \r\n"
            "File \"" +
                held +
                "\"\r\n       *** failed to remove, error = 32\r\n"
                "       *** " +
                GetSystemMessageText(32) + "\r\n");
  EXPECT_FALSE(GetSystemMessageText(32).empty());
  EXPECT_EQ(GetSystemMessageText(32).find('\n'), std::string::npos);
}

// A run that could not look everywhere has not completed all operations, even when it found
// nothing to remove: what the scans could not examine is in the report.
TEST_F(CleanupWizardUiTest, WhatCouldNotBeExaminedIsAFailureInTheReport) {
  std::string locked = PlaceKitInf("korvatest_locked.inf", classText);
  FileHolder holder(locked);
  ASSERT_TRUE(holder.Holding());
  setup.classListFails = true;
  std::string report, headline;
  RunToTheReport(headline, report);
  setup.classListFails = false;
  EXPECT_EQ(headline,
            "The wizard has failed to perform some operations.\nThe results are summarized below.");
  EXPECT_EQ(report, "Device instances of class \"" + classText +
                        "\"\r\n       *** could not be examined, error = " +
                        std::to_string(setup.classListError) + "\r\n       *** " +
                        GetSystemMessageText(setup.classListError) + "\r\nFile \"" + locked +
                        "\"\r\n       *** could not be examined, error = 32\r\n       *** " +
                        GetSystemMessageText(32) + "\r\n");
}

// A removal that Windows completes at the next restart (through the fake: Wine never asks for
// one), and a driver store file whose store removal failed (through the fake: Wine has no
// store): it stays with its .pnf, since deleting it would orphan its package.
TEST_F(CleanupWizardUiTest, TheReportTellsARestartAndAPackageTheStoreRefused) {
  SeedKitDevice("5451", "CW board in use");
  std::string inf = PlaceKitInf("oemkorvatest_cw.inf", classText);
  std::string pnf = PlaceFile("inf", "oemkorvatest_cw.pnf", "compiled");
  setup.restartFlags = {DI_NEEDREBOOT};
  setup.storeError = ERROR_ACCESS_DENIED;
  setup.fakeRescan = true;  // as on Windows
  std::string report, headline;
  RunToTheReport(headline, report, "4-results-restart");
  setup.storeError = 0;
  setup.fakeRescan = false;
  EXPECT_EQ(headline,
            "The wizard has failed to perform some operations.\nThe results are summarized below.");
  EXPECT_EQ(report,
            "Device instance \"CW board in use\"  \"USB\\VID_0547&PID_5451\"\r\n"
            "       successfully removed\r\n"
            "       restart required to complete the removal\r\n"
            "File \"" +
                inf +
                "\"\r\n       *** failed to remove from the driver store, error = 5\r\n"
                "       *** " +
                GetSystemMessageText(ERROR_ACCESS_DENIED) +
                "\r\n"
                "\r\nPlease restart your computer to complete the removal.\r\n"
                "\r\nWindows was asked to look for the devices again, so that connected devices "
                "get their own drivers.\r\n");
  EXPECT_FALSE(GetSystemMessageText(ERROR_ACCESS_DENIED).empty());
  EXPECT_EQ(setup.rescanCalls, (std::vector<std::string>{"reenumerate", "wait 60000"}));
  EXPECT_TRUE(FileExists(inf));
  EXPECT_TRUE(FileExists(pnf));
}

// A list that the user showed, then left out by unchecking its task, stays out of the run.
TEST_F(CleanupWizardUiTest, AListWhoseTaskWasUncheckedAfterItsScanIsNotRemoved) {
  std::string id = SeedKitDevice("5601", "CW board seen then left out");
  std::vector<UiStep> steps = {
      [this] { ClickNext(); },
      [this] {
        ASSERT_GE(RowOf(DeviceList(), "CW board seen then left out"), 0);
        ClickBack();
        SetTask(IDC_CLEANUP_REGISTRY, false);
        ClickNext();  // the INF files
        ClickNext();  // the results
        EXPECT_EQ(Frame().CurrentPage(), 3);
        ClickNext();
      },
  };
  RunWizard(std::move(steps));
  EXPECT_TRUE(testbed::DeviceExists(id));
  EXPECT_TRUE(devices.Results().empty());
}

// A record the list could not show is not removed: the user never saw it.
WNDPROC listProcedure = nullptr;
int insertsToRefuse = 0;
LRESULT CALLBACK RefusingList(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == LVM_INSERTITEMA && insertsToRefuse > 0) {
    --insertsToRefuse;
    return -1;
  }
  return CallWindowProcA(listProcedure, window, message, wParam, lParam);
}

TEST_F(CleanupWizardUiTest, ARecordWithoutAListItemIsNotRemoved) {
  std::string unseen = SeedKitDevice("5701", "CW board never shown");
  std::string seen = SeedKitDevice("5702", "CW board shown");
  std::vector<UiStep> steps = {
      [this] {
        listProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
            DeviceList(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RefusingList)));
        insertsToRefuse = 1;  // the first record's item
        ClickNext();
      },
      [this] {
        EXPECT_EQ(ListView_GetItemCount(DeviceList()), 1);
        ClickNext();  // the INF files
        ClickNext();  // the results
        ClickNext();  // Finish
      },
  };
  RunWizard(std::move(steps));
  ASSERT_EQ(devices.Items().size(), 2u);
  EXPECT_EQ(devices.Results().size(), 1u);
  // The first record had no item: it stays, whichever of the two it was.
  int remaining = testbed::DeviceExists(unseen) + testbed::DeviceExists(seen);
  EXPECT_EQ(remaining, 1);
  EXPECT_TRUE(
      testbed::DeviceExists(devices.Items()[0].description == "CW board shown" ? seen : unseen));
}

TEST_F(CleanupWizardUiTest, TheProgressBoxShowsCentredInRedWhileTheScanRuns) {
  PlaceKitInf("korvatest_progress.inf", classText);
  bool seen = false;
  infFiles.beforeExamine = [&](const std::string& path) {
    if (seen || path.find("korvatest_progress") == std::string::npos) return;
    seen = true;
    HWND frame = Frame().Window();
    HWND box = nullptr;
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (GetDlgItem(child, IDC_PROGRESS_TEXT) && IsWindowVisible(child)) box = child;
    }
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WindowText(GetDlgItem(box, IDC_PROGRESS_TEXT)),
              "Scanning .inf files ...\nThis may take a few seconds.");
    RECT boxRect, frameRect;
    GetWindowRect(box, &boxRect);
    GetClientRect(frame, &frameRect);
    MapWindowPoints(frame, nullptr, reinterpret_cast<POINT*>(&frameRect), 2);
    EXPECT_NEAR((boxRect.left + boxRect.right) / 2, (frameRect.left + frameRect.right) / 2, 12);
    EXPECT_NEAR((boxRect.top + boxRect.bottom) / 2, (frameRect.top + frameRect.bottom) / 2, 24);
    HDC dc = GetDC(box);
    SendMessageA(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, IDC_PROGRESS_TEXT)));
    EXPECT_EQ(GetTextColor(dc), RGB(200, 10, 0));
    ReleaseDC(box, dc);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    Shot("3-scanning");
  };
  std::vector<UiStep> steps = {
      [this] {
        SetTask(IDC_CLEANUP_REGISTRY, false);
        ClickNext();
      },
      [this] {
        // The box is gone once the list is filled.
        for (HWND child = GetWindow(Frame().Window(), GW_CHILD); child;
             child = GetWindow(child, GW_HWNDNEXT)) {
          EXPECT_EQ(GetDlgItem(child, IDC_PROGRESS_TEXT), nullptr);
        }
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
  };
  RunWizard(std::move(steps));
  EXPECT_TRUE(seen);
}

TEST_F(CleanupWizardUiTest, TheAboutBox) {
  std::string line;
  std::vector<UiStep> steps = {
      [this] {
        SendMessageA(Frame().Window(), WM_SYSCOMMAND, 0x0010, 0);
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
      WhenShown("About Cleanup Wizard",
                [&](HWND about) {
                  for (HWND c = GetWindow(about, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                    if (WindowText(c).find("Version") != std::string::npos) line = WindowText(c);
                  }
                  SaveScreenshot(about, ScreenshotFolder() + "\\cleanup-about.png");
                  ASSERT_TRUE(Click(GetDlgItem(about, IDOK)));
                }),
  };
  RunWizard(std::move(steps));
  EXPECT_EQ(line, "CleanUpWiz Version 1.0");
}

}  // namespace
}  // namespace korva::testing
