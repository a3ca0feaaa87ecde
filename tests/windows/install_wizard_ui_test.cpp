// The Installation Wizard's real dialogs under Wine and Xvfb, driven from inside their modal
// loops: page sequence, button rules, the device list, the details, the install step and the
// finish page. Message boxes and the Save As dialog go through seams the tests answer (one test
// sees a real box). Screenshots of every page land in <build>\screenshots.
#include <windows.h>
#include <commctrl.h>
#include <newdev.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "install/ui/install_wizard_frame.h"
#include "common/core/kit_identity.h"
#include "common/core/kit_refusals.h"
#include "common/run_log.h"
#include "install/core/install_wizard_texts.h"
#include "res/install_resource.h"
#include "support/fault_injecting_device_setup.h"
#include "support/fault_injecting_signing.h"
#include "support/install_test_support.h"
#include "support/recording_message_box.h"
#include "support/ui_driver.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

const GUID kUsbClass = UsbClassGuid();

class AnsweringSaveAs : public SaveAsSeam {
 public:
  bool Ask(HWND, const SaveAsRequest& request, std::string& path) override {
    ++calls;
    last = request;
    path = answer;
    return accept;
  }
  std::string answer;
  bool accept = true;
  int calls = 0;
  SaveAsRequest last;
};

// The driver group of the details page: shown only for a device with a driver.
const int kDriverControls[] = {
    IDC_DRIVER_GROUP,      IDC_DRIVER_PROVIDER_LABEL, IDC_DRIVER_DESCRIPTION_LABEL,
    IDC_DRIVER_DATE_LABEL, IDC_DRIVER_PROVIDER,       IDC_DRIVER_DESCRIPTION,
    IDC_DRIVER_DATE};

bool Enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }
bool Visible(HWND window) { return IsWindowVisible(window) != FALSE; }

std::string CellText(HWND list, int row, int column) {
  char text[512] = {};
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof(text);
  SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

int RowCount(HWND list) { return ListView_GetItemCount(list); }

// What a static control shows of its text: without SS_NOPREFIX, "&&" reads as "&" and a single
// "&" marks the next character as a mnemonic and is not shown.
std::string DisplayedText(HWND control) {
  std::string text = WindowText(control);
  if (GetWindowLongA(control, GWL_STYLE) & SS_NOPREFIX) return text;
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 >= text.size()) break;
      ++i;
    }
    shown += text[i];
  }
  return shown;
}

int ItemData(HWND list, int row) {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  ListView_GetItem(list, &item);
  return static_cast<int>(item.lParam);
}

// The row whose description is `description`, or -1.
int RowOf(HWND list, const std::string& description) {
  for (int row = 0; row < RowCount(list); ++row) {
    if (CellText(list, row, 1) == description) return row;
  }
  return -1;
}

void SelectRow(HWND list, int row) {
  ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void ClearSelection(HWND list) { ListView_SetItemState(list, -1, 0, LVIS_SELECTED); }

// The real services, with a look from inside the install step when it asks for newdev.
class WatchingDeviceSetup : public FaultInjectingDeviceSetup {
 public:
  std::function<void()> duringInstall;
  DriverUpdateService LoadDriverUpdateService() override {
    if (duringInstall) duringInstall();
    return FaultInjectingDeviceSetup::LoadDriverUpdateService();
  }
};

// A file system such as FAT, which Wine has not: no access lists to give the install folder.
class FileSystemWithoutAccessLists : public InstallFolderSecurity {
 public:
  bool VolumeKeepsAccessLists(const std::string&) override { return false; }
};

class InstallWizardUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    root = ScratchFolder(name);
    programFolder = root + "\\Bin";
    CreateDirectoryA(programFolder.c_str(), nullptr);
    for (const char* file : {"korvawiz.tpl", "korva.sys", "korva98.sys"}) {
      CopyKitFile(file, programFolder);
    }
  }

  // Seeds a USB device (of the USB class, without a driver) with a description of its own.
  std::string Seed(const std::string& tag, const std::string& description,
                   const std::string& manufacturer = "KORVA") {
    std::string hardwareId = "USB\\VID_0547&PID_" + tag;
    std::string instanceId = hardwareId + "\\UI" + tag;
    testbed::DeviceSeed seed;
    seed.instanceId = instanceId;
    seed.classGuid = kUsbClass;
    seed.hardwareIds = {hardwareId + "&REV_0001", hardwareId};
    seed.description = description;
    seed.manufacturer = manufacturer;
    EXPECT_EQ(testbed::AddDevice(seed), 0u);
    return instanceId;
  }

  // Runs the wizard with the steps; a last step ends it should the script not have.
  int RunWizard(std::vector<UiStep> steps) {
    steps.push_back([this] {
      if (app.Frame()) {
        ADD_FAILURE() << "the script left the wizard open";
        PostQuitMessage(99);
      }
    });
    ScheduleSteps(std::move(steps));
    int code = app.Run(programFolder + "\\KORVAwiz.exe");
    // Only the guard may be left: the script's own steps all ran.
    EXPECT_LE(StepsLeft(), 1u);
    ClearSteps();
    return code;
  }

  InstallWizardFrame& Frame() { return *app.Frame(); }
  HWND Button(int id) { return Frame().Item(id); }
  HWND List() { return Frame().Selection().Item(IDC_DEVICE_LIST); }
  std::string PageText(const Dialog& page, int id) { return page.ItemText(id); }
  std::string Shown(const Dialog& page, int id) { return DisplayedText(page.Item(id)); }
  void Shot(const std::string& page) {
    SaveScreenshot(Frame().Window(), ScreenshotFolder() + "\\install-" + page + ".png");
  }
  // Next from the welcome page, then the row of `description` selected.
  std::vector<UiStep> ToSelection(const std::string& description) {
    return {[this] { ASSERT_TRUE(Click(Button(IDC_NEXT))); },
            [this, description] {
              int row = RowOf(List(), description);
              ASSERT_GE(row, 0) << description;
              SelectRow(List(), row);
            }};
  }

  // Through the pages to the install step for the device of `description`.
  std::vector<UiStep> ToInstall(const std::string& description) {
    std::vector<UiStep> steps = ToSelection(description);
    steps.push_back([this] { ASSERT_TRUE(Click(Button(IDC_NEXT))); });
    steps.push_back([this] { ASSERT_TRUE(Click(Button(IDC_NEXT))); });
    return steps;
  }

  std::string name, root, programFolder;
  WatchingDeviceSetup setup;
  UsbDeviceList deviceList{setup};
  TeeMessageBox boxes;
  AnsweringSaveAs saveAs;
  InstallWizardApp app{deviceList, boxes, saveAs};
};

TEST_F(InstallWizardUiTest, PageSequenceAndButtonRules) {
  Seed("4001", "UI board one");
  Seed("4002", "UI board two");
  std::vector<UiStep> steps = {
      [this] {
        // Welcome page.
        EXPECT_EQ(WindowText(Frame().Window()), "KORVA Installation Wizard");
        EXPECT_EQ(Frame().CurrentPage(), 0);
        EXPECT_FALSE(Enabled(Button(IDC_BACK)));
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        EXPECT_TRUE(Enabled(Button(IDC_CANCEL_BUTTON)));
        EXPECT_TRUE(Visible(Frame().Welcome().Window()));
        EXPECT_EQ(PageText(Frame().Welcome(), IDC_WELCOME_TEXT), WelcomeText(true));
        Shot("1-welcome");
        ASSERT_TRUE(Click(Button(IDC_NEXT)));
      },
      [this] {
        // Selection page, nothing selected yet.
        EXPECT_EQ(Frame().CurrentPage(), 1);
        EXPECT_FALSE(Visible(Frame().Welcome().Window()));
        EXPECT_TRUE(Enabled(Button(IDC_BACK)));
        EXPECT_FALSE(Enabled(Button(IDC_NEXT)));
        EXPECT_EQ(PageText(Frame().Selection(), IDC_SELECTION_HEADER), kDevicesHeader);
        int row = RowOf(List(), "UI board two");
        ASSERT_GE(row, 0);
        SelectRow(List(), row);
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        EXPECT_EQ(PageText(Frame().Selection(), IDC_HARDWARE_ID),
                  " USB\\VID_0547&&PID_4002&&REV_0001");
        EXPECT_EQ(deviceList.SelectedIndex(), ItemData(List(), row));
        Shot("2-selection");
        // Clearing the selection empties the field and disables Next again.
        ClearSelection(List());
        EXPECT_FALSE(Enabled(Button(IDC_NEXT)));
        EXPECT_EQ(PageText(Frame().Selection(), IDC_HARDWARE_ID), "");
        SelectRow(List(), row);
        ASSERT_TRUE(Click(Button(IDC_NEXT)));
      },
      [this] {
        // Details page; Back keeps the list and its selection.
        EXPECT_EQ(Frame().CurrentPage(), 2);
        EXPECT_TRUE(Enabled(Button(IDC_BACK)));
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        ASSERT_TRUE(Click(Button(IDC_BACK)));
        EXPECT_EQ(Frame().CurrentPage(), 1);
        int row = RowOf(List(), "UI board two");
        EXPECT_EQ(ListView_GetNextItem(List(), -1, LVNI_SELECTED), row);
        EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
        // Refresh rebuilds the list without a selection.
        ASSERT_TRUE(Click(Frame().Selection().Item(IDC_REFRESH)));
        EXPECT_EQ(ListView_GetNextItem(List(), -1, LVNI_SELECTED), -1);
        EXPECT_FALSE(Enabled(Button(IDC_NEXT)));
        EXPECT_EQ(PageText(Frame().Selection(), IDC_HARDWARE_ID), "");
        // Back to the welcome page, and Next rebuilds the list again.
        SelectRow(List(), row);
        ASSERT_TRUE(Click(Button(IDC_BACK)));
        EXPECT_EQ(Frame().CurrentPage(), 0);
        EXPECT_FALSE(Enabled(Button(IDC_BACK)));
        ASSERT_TRUE(Click(Button(IDC_NEXT)));
        EXPECT_EQ(ListView_GetNextItem(List(), -1, LVNI_SELECTED), -1);
        EXPECT_FALSE(Enabled(Button(IDC_NEXT)));
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
  };
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitCancelled);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(app.StagedFiles(), (StagedDriverFiles{"", ""}));  // Cancel installs nothing
}

// The accept and dismiss commands do nothing: Enter outside a button, Escape anywhere and the
// close command leave the wizard where it is. (Enter on a focused button presses that button,
// as Space does.)
TEST_F(InstallWizardUiTest, EnterEscapeAndCloseDoNothing) {
  Seed("4050", "UI board for keys");
  auto keys = [this] {
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0);
    PostMessageA(Frame().Window(), WM_CLOSE, 0, 0);
  };
  std::vector<UiStep> steps = {
      [this, keys] {
        EXPECT_EQ(GetFocus(), Button(IDC_NEXT));
        keys();
        SendMessageA(Frame().Window(), WM_COMMAND, IDOK, 0);
        SendMessageA(Frame().Window(), WM_COMMAND, IDCANCEL, 0);
        SendMessageA(Frame().Welcome().Window(), WM_COMMAND, IDOK, 0);
        SendMessageA(Frame().Welcome().Window(), WM_COMMAND, IDCANCEL, 0);
      },
      [this] {
        EXPECT_EQ(Frame().CurrentPage(), 0);
        ASSERT_TRUE(Click(Button(IDC_NEXT)));
      },
      [this] {
        // The selection page puts the focus into the list; Enter there is the accept command.
        SelectRow(List(), RowOf(List(), "UI board for keys"));
        EXPECT_EQ(GetFocus(), List());
        PostMessageA(List(), WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(List(), WM_KEYUP, VK_RETURN, 0);
      },
      keys,
      [this] {
        ASSERT_NE(app.Frame(), nullptr);
        EXPECT_TRUE(Visible(Frame().Window()));
        EXPECT_EQ(Frame().CurrentPage(), 1);
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
  };
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitCancelled);
}

TEST_F(InstallWizardUiTest, DeviceRowsUnknownManufacturerAndRefresh) {
  testbed::DeviceSeed seed;
  seed.instanceId = "USB\\VID_0547&PID_4101\\NOMFG";
  seed.classGuid = kUsbClass;
  seed.hardwareIds = {"USB\\VID_0547&PID_4101"};
  seed.description = "UI board without maker";
  ASSERT_EQ(testbed::AddDevice(seed), 0u);
  std::vector<UiStep> steps = {
      [this] { ASSERT_TRUE(Click(Button(IDC_NEXT))); },
      [this] {
        int row = RowOf(List(), "UI board without maker");
        ASSERT_GE(row, 0);
        EXPECT_EQ(CellText(List(), row, 0), ">>Unknown<<");
        // Rows come in the list's enumeration order.
        ASSERT_EQ(RowCount(List()), static_cast<int>(deviceList.Items().size()));
        for (int i = 0; i < RowCount(List()); ++i) EXPECT_EQ(ItemData(List(), i), i);
        // A device plugged in meanwhile shows after Refresh.
        EXPECT_EQ(RowOf(List(), "UI board plugged in later"), -1);
        Seed("4102", "UI board plugged in later");
        ASSERT_TRUE(Click(Frame().Selection().Item(IDC_REFRESH)));
        int plugged = RowOf(List(), "UI board plugged in later");
        ASSERT_GE(plugged, 0);
        EXPECT_EQ(CellText(List(), plugged, 0), "KORVA");
        // Columns: Manufacturer 180 pixels, Description the rest of the client width.
        EXPECT_EQ(ListView_GetColumnWidth(List(), 0), 180);
        RECT client;
        GetClientRect(List(), &client);
        EXPECT_EQ(ListView_GetColumnWidth(List(), 1), client.right - 180);
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
  };
  RunWizard(std::move(steps));
}

TEST_F(InstallWizardUiTest, AnEmptyListSaysNoDevicesArePresent) {
  Seed("4103", "UI board unplugged later");
  std::vector<UiStep> steps = ToSelection("UI board unplugged later");
  steps.push_back([this] {
    EXPECT_NE(PageText(Frame().Selection(), IDC_HARDWARE_ID), "");
    // Refresh finds nothing now: nothing of the chosen device stays on the page.
    setup.classListFails = true;
    ASSERT_TRUE(Click(Frame().Selection().Item(IDC_REFRESH)));
    EXPECT_EQ(PageText(Frame().Selection(), IDC_SELECTION_HEADER), kNoDevicesHeader);
    EXPECT_EQ(RowCount(List()), 0);
    EXPECT_EQ(PageText(Frame().Selection(), IDC_HARDWARE_ID), "");
    EXPECT_FALSE(Enabled(Button(IDC_NEXT)));
    // Leaving the welcome page finds nothing either.
    ASSERT_TRUE(Click(Button(IDC_BACK)));
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  steps.push_back([this] {
    EXPECT_EQ(PageText(Frame().Selection(), IDC_SELECTION_HEADER), kNoDevicesHeader);
    EXPECT_EQ(RowCount(List()), 0);
    EXPECT_FALSE(Enabled(Button(IDC_NEXT)));
    Shot("2-selection-empty");
    ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
  });
  RunWizard(std::move(steps));
}

TEST_F(InstallWizardUiTest, DetailsWithAndWithoutADriver) {
  std::string withDriver = Seed("4201", "UI board with driver", "Maker & Co");
  ASSERT_EQ(testbed::SetDriverValue(withDriver, "ProviderName", REG_SZ,
                                    testbed::StringData("Old Provider")),
            0u);
  ASSERT_EQ(
      testbed::SetDriverValue(withDriver, "DriverDesc", REG_SZ, testbed::StringData("Old driver")),
      0u);
  Seed("4202", "UI board without driver");
  std::string dated = Seed("4203", "UI board with dated driver");
  ASSERT_EQ(testbed::SetDriverValue(dated, "DriverDate", REG_SZ, testbed::StringData("  1-2-2026")),
            0u);
  // Every text the device and its driver supply shows as it is, ampersands and all.
  std::string ampersands = Seed("4204", "UI board & more", "Acme & Co");
  for (const char* value : {"ProviderName", "DriverDesc", "DriverDate"}) {
    ASSERT_EQ(testbed::SetDriverValue(ampersands, value, REG_SZ,
                                      testbed::StringData(std::string(value) + " A&B &&C")),
              0u);
  }
  std::vector<UiStep> steps = ToSelection("UI board with driver");
  steps.push_back([this] { ASSERT_TRUE(Click(Button(IDC_NEXT))); });
  steps.push_back([this] {
    const DeviceDetailsPage& details = Frame().Details();
    EXPECT_EQ(PageText(details, IDC_DETAILS_HEADER), kDetailsHeader);
    EXPECT_EQ(Shown(details, IDC_DETAIL_MANUFACTURER), "Maker & Co");
    EXPECT_EQ(PageText(details, IDC_DETAIL_DESCRIPTION), "UI board with driver");
    EXPECT_EQ(PageText(details, IDC_DETAIL_HARDWARE_ID), "USB\\VID_0547&&PID_4201&&REV_0001");
    EXPECT_EQ(PageText(details, IDC_DRIVER_HEADER), kDriverHeader);
    EXPECT_EQ(PageText(details, IDC_DRIVER_PROVIDER), "Old Provider");
    EXPECT_EQ(PageText(details, IDC_DRIVER_DESCRIPTION), "Old driver");
    EXPECT_EQ(PageText(details, IDC_DRIVER_DATE), "not available");
    for (int id : kDriverControls) {
      EXPECT_TRUE(Visible(details.Item(id))) << id;
    }
    EXPECT_EQ(PageText(details, IDC_DETAILS_BOTTOM), DetailsBottomText(true));
    EXPECT_EQ(PageText(details, IDC_DETAILS_BOTTOM).rfind("WARNING:", 0), 0u);
    Shot("3-details-driver");
    ASSERT_TRUE(Click(Button(IDC_BACK)));
    SelectRow(List(), RowOf(List(), "UI board without driver"));
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  steps.push_back([this] {
    const DeviceDetailsPage& details = Frame().Details();
    EXPECT_EQ(PageText(details, IDC_DETAIL_DESCRIPTION), "UI board without driver");
    EXPECT_EQ(PageText(details, IDC_DETAIL_MANUFACTURER), "KORVA");
    EXPECT_EQ(PageText(details, IDC_DRIVER_HEADER), kNoDriverHeader);
    EXPECT_TRUE(Visible(details.Item(IDC_DRIVER_HEADER)));
    for (int id : kDriverControls) {
      EXPECT_FALSE(Visible(details.Item(id))) << id;
    }
    // Nothing of the previous device is left.
    EXPECT_EQ(PageText(details, IDC_DRIVER_PROVIDER), "");
    EXPECT_EQ(PageText(details, IDC_DRIVER_DESCRIPTION), "");
    EXPECT_EQ(PageText(details, IDC_DRIVER_DATE), "");
    EXPECT_EQ(PageText(details, IDC_DETAILS_BOTTOM), DetailsBottomText(false));
    EXPECT_EQ(PageText(details, IDC_DETAILS_BOTTOM).find("WARNING"), std::string::npos);
    Shot("3-details");
    ASSERT_TRUE(Click(Button(IDC_BACK)));
    SelectRow(List(), RowOf(List(), "UI board with dated driver"));
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  steps.push_back([this] {
    const DeviceDetailsPage& details = Frame().Details();
    EXPECT_EQ(PageText(details, IDC_DRIVER_DATE), "1-2-2026");  // leading blanks go
    EXPECT_EQ(PageText(details, IDC_DRIVER_PROVIDER), "");
    ASSERT_TRUE(Click(Button(IDC_BACK)));
    SelectRow(List(), RowOf(List(), "UI board & more"));
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  steps.push_back([this] {
    const DeviceDetailsPage& details = Frame().Details();
    EXPECT_EQ(Shown(details, IDC_DETAIL_MANUFACTURER), "Acme & Co");
    EXPECT_EQ(Shown(details, IDC_DETAIL_DESCRIPTION), "UI board & more");
    EXPECT_EQ(Shown(details, IDC_DETAIL_HARDWARE_ID), "USB\\VID_0547&PID_4204&REV_0001");
    EXPECT_EQ(Shown(details, IDC_DRIVER_PROVIDER), "ProviderName A&B &&C");
    EXPECT_EQ(Shown(details, IDC_DRIVER_DESCRIPTION), "DriverDesc A&B &&C");
    EXPECT_EQ(Shown(details, IDC_DRIVER_DATE), "DriverDate A&B &&C");
    ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
  });
  RunWizard(std::move(steps));
}

TEST_F(InstallWizardUiTest, TheInstallStepShowsTheProgressPageFirstAndEndsOnTheFinishPage) {
  std::string id = Seed("4301", "UI board to install");
  bool seen = false;
  setup.duringInstall = [&] {
    seen = true;
    EXPECT_EQ(Frame().CurrentPage(), 3);
    EXPECT_TRUE(Visible(Frame().Progress().Window()));
    EXPECT_FALSE(Visible(Frame().Details().Window()));
    EXPECT_EQ(PageText(Frame().Progress(), IDC_PROGRESS_TEXT), kProgressText);
    // Painted already: nothing of the page waits for WM_PAINT.
    EXPECT_FALSE(GetUpdateRect(Frame().Progress().Window(), nullptr, FALSE));
    EXPECT_FALSE(GetUpdateRect(Frame().Progress().Item(IDC_PROGRESS_TEXT), nullptr, FALSE));
    EXPECT_FALSE(Enabled(Button(IDC_BACK)));
    EXPECT_FALSE(Enabled(Button(IDC_NEXT)));
    EXPECT_FALSE(Enabled(Button(IDC_CANCEL_BUTTON)));
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
    Shot("4-progress");
  };
  std::vector<UiStep> steps = ToInstall("UI board to install");
  steps.push_back([this] {
    EXPECT_EQ(Frame().CurrentPage(), 4);
    EXPECT_EQ(Frame().Finishing().InstallResult(), 0);
    EXPECT_EQ(PageText(Frame().Finishing(), IDC_FINISH_RESULT),
              "Installation of the KORVA device driver has been successfully completed.\n");
    EXPECT_TRUE(Enabled(Frame().Finishing().Item(IDC_SAVE_INF)));
    EXPECT_TRUE(Enabled(Frame().Finishing().Item(IDC_RUN_DEMO)));
    EXPECT_FALSE(Enabled(Button(IDC_BACK)));
    EXPECT_FALSE(Enabled(Button(IDC_CANCEL_BUTTON)));
    EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
    EXPECT_EQ(WindowText(Button(IDC_NEXT)), "Finish");
    Shot("5-finish");
    // Finish has the focus, so Enter presses it.
    EXPECT_EQ(GetFocus(), Button(IDC_NEXT));
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(GetFocus(), WM_KEYUP, VK_RETURN, 0);
  });
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitFinished);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_TRUE(testbed::HasDriverKey(id));
  EXPECT_EQ(app.StagedFiles(), (StagedDriverFiles{"korva.sys", "korva98.sys"}));
}

// Through the fake: Wine's driver update service never asks for a restart.
TEST_F(InstallWizardUiTest, ARestartWindowsNeedsIsSaidOnTheFinishPage) {
  std::string id = Seed("4302", "UI board that needs a restart");
  setup.updateNeedsRestart = true;
  std::vector<UiStep> steps = ToInstall("UI board that needs a restart");
  steps.push_back([this] {
    EXPECT_EQ(Frame().CurrentPage(), 4);
    EXPECT_EQ(Frame().Finishing().InstallResult(), 0);
    EXPECT_EQ(PageText(Frame().Finishing(), IDC_FINISH_RESULT),
              "Installation of the KORVA device driver has been successfully completed.\n"
              "Please restart your computer to complete the installation.\n");
    EXPECT_TRUE(Enabled(Frame().Finishing().Item(IDC_SAVE_INF)));
    EXPECT_TRUE(Enabled(Frame().Finishing().Item(IDC_RUN_DEMO)));
    Shot("5-finish-restart");
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitFinished);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_TRUE(testbed::HasDriverKey(id));
  // With a person there, the platform may ask its questions as before.
  EXPECT_FALSE(setup.madeNonInteractive);
  EXPECT_EQ(setup.lastUpdateFlags, static_cast<DWORD>(INSTALLFLAG_FORCE));
}

TEST_F(InstallWizardUiTest, AFailedInstallationIsReportedAndShownOnTheFinishPage) {
  Seed("4401", "UI board that fails");
  setup.updateError = ERROR_ACCESS_DENIED;
  std::vector<UiStep> steps = ToInstall("UI board that fails");
  steps.push_back([this] {
    EXPECT_EQ(Frame().CurrentPage(), 4);
    EXPECT_EQ(PageText(Frame().Finishing(), IDC_FINISH_RESULT),
              "KORVA device driver installation failed!\nAn error occured during installation, "
              "error code 5 (0x00000005).\n");
    EXPECT_FALSE(Enabled(Frame().Finishing().Item(IDC_SAVE_INF)));
    EXPECT_FALSE(Enabled(Frame().Finishing().Item(IDC_RUN_DEMO)));
    EXPECT_TRUE(Enabled(Button(IDC_NEXT)));
    Shot("5-finish-failed");
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitFinished);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Installation of KORVA failed (error 5).\n");
  EXPECT_EQ(boxes.boxes[0].caption, "KORVA Installation Wizard: ERROR");
  EXPECT_NE(boxes.boxes[0].owner, nullptr);
  EXPECT_EQ(boxes.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}

TEST_F(InstallWizardUiTest, ANegativeCodeShowsWithItsSignAndAsTwosComplement) {
  Seed("4402", "UI board with empty ID");
  std::vector<UiStep> steps = ToSelection("UI board with empty ID");
  steps.push_back([this] { ASSERT_TRUE(Click(Button(IDC_NEXT))); });
  steps.push_back([this] {
    setup.hardwareId = "";  // read from now on as an empty first hardware ID
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  steps.push_back([this] {
    EXPECT_EQ(Frame().Finishing().InstallResult(), -3);
    EXPECT_EQ(PageText(Frame().Finishing(), IDC_FINISH_RESULT),
              "KORVA device driver installation failed!\nAn error occured during installation, "
              "error code -3 (0xFFFFFFFD).\n");
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  RunWizard(std::move(steps));
  ASSERT_FALSE(boxes.boxes.empty());
  EXPECT_EQ(boxes.boxes.back().text, "Installation of KORVA failed (error -3).\n");
}

// Both boxes are real and stay until read: the wizard ends only after the second.
TEST_F(InstallWizardUiTest, AFatalStagingErrorEndsTheWizardWithExitCode1AfterTwoBoxes) {
  RemoveFile(programFolder + "\\korva98.sys");
  Seed("4403", "UI board without binaries");
  std::vector<UiStep> steps = ToSelection("UI board without binaries");
  steps.push_back([this] { ASSERT_TRUE(Click(Button(IDC_NEXT))); });
  steps.push_back([this] {
    boxes.real = true;
    // Blocks in the first box; the next steps run inside the boxes' own loops.
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  std::vector<std::string> read;
  for (int box = 0; box < 2; ++box) {
    steps.push_back(WhenShown("KORVA Installation Wizard: ERROR", [this, &read](HWND shown) {
      read.push_back(MessageBoxText(shown));
      // The wizard is still there behind the box.
      EXPECT_NE(app.Frame(), nullptr);
      ASSERT_TRUE(Click(GetDlgItem(shown, IDOK)));
    }));
  }
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitFailed);
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[0].text,
            "Unable to copy driver executables (*.sys).\n"
            "Please reinstall the KORVA Development Kit.");
  EXPECT_EQ(boxes.boxes[1].text.rfind("Installation of KORVA failed (error ", 0), 0u);
  EXPECT_NE(boxes.boxes[1].text, "Installation of KORVA failed (error 0).\n");
  for (const ShownBox& box : boxes.boxes) {
    EXPECT_EQ(box.caption, "KORVA Installation Wizard: ERROR");
  }
  // Each box was on the screen and read, the second as well.
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0], boxes.boxes[0].text);
  EXPECT_EQ(read[1], boxes.boxes[1].text);
}

TEST_F(InstallWizardUiTest, SaveInfFileWritesTheInfAndTheBinariesBesideIt) {
  Seed("4501", "UI board to save");
  const std::string saved = root + "\\saved";
  CreateDirectoryA(saved.c_str(), nullptr);
  WriteFileBytes(saved + "\\korva.sys", "an older driver");
  ASSERT_TRUE(SetFileAttributesA((saved + "\\korva.sys").c_str(), FILE_ATTRIBUTE_READONLY));
  std::vector<UiStep> steps = ToInstall("UI board to save");
  steps.push_back([this, saved] {
    ASSERT_EQ(Frame().Finishing().InstallResult(), 0);
    // Cancelled: nothing is written.
    saveAs.accept = false;
    ASSERT_TRUE(Click(Frame().Finishing().Item(IDC_SAVE_INF)));
    EXPECT_FALSE(FileExists(saved + "\\mydev.inf"));
    // Under another name, written with forward slashes.
    saveAs.accept = true;
    saveAs.answer = saved + "/mydev.inf";
    ASSERT_TRUE(Click(Frame().Finishing().Item(IDC_SAVE_INF)));
    // Into a folder that is not there: the box, and nothing else.
    saveAs.answer = root + "\\missing\\other.inf";
    ASSERT_TRUE(Click(Frame().Finishing().Item(IDC_SAVE_INF)));
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitFinished);
  EXPECT_EQ(saveAs.calls, 3);
  EXPECT_EQ(saveAs.last.defaultExtension, "inf");
  EXPECT_EQ(saveAs.last.fileName, "korvawiz.inf");
  EXPECT_EQ(saveAs.last.filter, "INF Files (*.inf)|*.inf|All Files (*.*)|*.*||");
  EXPECT_EQ(saveAs.last.flags, static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
  EXPECT_EQ(ReadFileBytes(saved + "\\mydev.inf"), ReadFileBytes(app.Paths().infPath));
  EXPECT_EQ(ReadFileBytes(saved + "\\korva.sys"), ReadFileBytes(KitFolder() + "\\korva.sys"));
  EXPECT_EQ(ReadFileBytes(saved + "\\korva98.sys"), ReadFileBytes(KitFolder() + "\\korva98.sys"));
  EXPECT_FALSE(FileExists(saved + "\\korvawiz.inf"));
  // The signed catalog the INF file names, and the certificate to trust it elsewhere.
  EXPECT_EQ(ReadFileBytes(saved + "\\korvawiz.cat"), ReadFileBytes(app.Paths().catalogPath));
  EXPECT_EQ(ReadFileBytes(saved + "\\korvawiz.cer"), ReadFileBytes(app.Paths().certificatePath));
  // What the wizard installed verifies, by readers we did not write, against the certificate as
  // this machine's Root store holds it.
  std::vector<StoredCertificate> trusted =
      KitCertificatesFor("USB\\VID_0547&PID_4501&REV_0001", "Root");
  ASSERT_EQ(trusted.size(), 1u);
  PackageCheck check = CheckSignedPackage(
      saved + "\\korvawiz.cat", std::string(trusted[0].encoded.begin(), trusted[0].encoded.end()),
      saved + "\\mydev.inf", saved + "\\korva.sys", false);
  EXPECT_TRUE(check.catalogVerifies) << check.output;
  EXPECT_TRUE(check.infIsMember) << check.output;
  EXPECT_TRUE(check.driverIsMember) << check.output;
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Unable to create " + root + "\\missing\\other.inf.");
}

// Waits for the demo program's window, closes it and waits for its process to end: until then
// the program file is held and can't be removed.
bool DemoStartedAndClosed() {
  HWND demo = nullptr;
  for (int i = 0; i < 200 && !demo; ++i) {
    demo = FindWindowA(nullptr, "KORVA Demo Application");
    if (!demo) Sleep(50);
  }
  if (!demo) return false;
  DWORD processId = 0;
  GetWindowThreadProcessId(demo, &processId);
  UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
  PostMessageA(demo, WM_CLOSE, 0, 0);
  for (int i = 0; i < 200 && IsWindow(demo); ++i) Sleep(50);
  if (IsWindow(demo)) return false;
  return !process.Valid() || WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0;
}

TEST_F(InstallWizardUiTest, RunDemoFromTheProgramFolderThenTheKitFolderThenARealErrorBox) {
  Seed("4601", "UI board to try");
  CopyKitFile("korvaapp.exe", programFolder);
  const std::string alternate = root + "\\korva";
  CreateDirectoryA(alternate.c_str(), nullptr);
  std::vector<UiStep> steps = ToInstall("UI board to try");
  steps.push_back([this, alternate] {
    ASSERT_EQ(Frame().Finishing().InstallResult(), 0);
    // It runs with the wizard's rights: a demo program that others can change is not started,
    // and the box says who may change it.
    const std::string demo = programFolder + "\\korvaapp.exe";
    ASSERT_TRUE(ChangeUnixMode(demo, "o+w"));
    ASSERT_TRUE(Click(Frame().Finishing().Item(IDC_RUN_DEMO)));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    KitTrustProblem problem;
    problem.path = demo;
    problem.principal = "Everyone";
    problem.rights = "write, delete";
    EXPECT_EQ(boxes.boxes[0].text, KitNotTrustedMessage(problem));
    EXPECT_EQ(FindWindowA(nullptr, "KORVA Demo Application"), nullptr);
    boxes.boxes.clear();
    ASSERT_TRUE(ChangeUnixMode(demo, "o-w"));
    ASSERT_TRUE(Click(Frame().Finishing().Item(IDC_RUN_DEMO)));
    EXPECT_TRUE(DemoStartedAndClosed()) << "from the program folder";
    RemoveFile(programFolder + "\\korvaapp.exe");
    ASSERT_FALSE(FileExists(programFolder + "\\korvaapp.exe"));
    CopyKitFile("korvaapp.exe", alternate);
    ASSERT_TRUE(Click(Frame().Finishing().Item(IDC_RUN_DEMO)));
    EXPECT_TRUE(DemoStartedAndClosed()) << "from the kit folder beside it";
    RemoveFile(alternate + "\\korvaapp.exe");
    ASSERT_FALSE(FileExists(alternate + "\\korvaapp.exe"));
    boxes.real = true;
    // Blocks in the real box; the next step runs inside the box's own loop.
    ASSERT_TRUE(Click(Frame().Finishing().Item(IDC_RUN_DEMO)));
    boxes.real = false;
    ASSERT_TRUE(Click(Button(IDC_NEXT)));
  });
  std::string seenText;
  steps.push_back(WhenShown("KORVA Installation Wizard: ERROR", [&seenText](HWND box) {
    seenText = MessageBoxText(box);
    SaveScreenshot(box, ScreenshotFolder() + "\\install-error-box.png");
    ASSERT_TRUE(Click(GetDlgItem(box, IDOK)));
  }));
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitFinished);
  EXPECT_EQ(seenText, "Unable to execute " + alternate +
                          "\\korvaapp.exe.\nPlease reinstall the KORVA Development Kit.");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, seenText);
}

// A kit that users who are not administrators can change is not used: before the wizard
// opens, a box says which folder or file, who may change it and what to do, and the program ends
// with 11 without making its install folder. The program's own file counts too.
TEST_F(InstallWizardUiTest, AKitThatOthersCanChangeIsRefusedBeforeTheWizardOpens) {
  struct Case {
    std::string path;
    bool folder;
  };
  WriteFileBytes(programFolder + "\\KORVAwiz.exe", "stands for the program");
  const Case cases[] = {{programFolder, true},
                        {programFolder + "\\korvawiz.tpl", false},
                        {programFolder + "\\KORVAwiz.exe", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_TRUE(ChangeUnixMode(c.path, "o+w"));
    boxes.boxes.clear();
    EXPECT_EQ(RunWizard({}), kExitKitNotTrusted);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    KitTrustProblem problem;
    problem.path = c.path;
    problem.folder = c.folder;
    problem.principal = "Everyone";
    problem.rights = "write, delete";
    EXPECT_EQ(boxes.boxes[0].text, KitNotTrustedMessage(problem));
    EXPECT_EQ(boxes.boxes[0].caption, "KORVAwiz");
    EXPECT_FALSE(FileExists(programFolder + "\\install"));
    ASSERT_TRUE(ChangeUnixMode(c.path, "o-w"));
  }
}

// A program path that the ANSI code page cannot spell: the box names the folder, before the
// wizard opens and before any folder is made.
TEST_F(InstallWizardUiTest, AProgramFolderTheAnsiCodePageCannotSpellIsRefusedFirst) {
  ProgramPath program(programFolder + "\\KORVAwiz.exe");
  program.exact = false;
  EXPECT_EQ(app.Run(program), kExitProgramPathNotAnsi);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text,
            ProgramPathNotAnsiMessage("The KORVA Installation Wizard", programFolder));
  EXPECT_EQ(boxes.boxes[0].caption, "KORVAwiz");
  EXPECT_FALSE(FileExists(programFolder + "\\install"));
}

TEST_F(InstallWizardUiTest, TheAboutBox) {
  std::string version, copyright;
  std::vector<UiStep> steps = {
      [this] {
        // Opens the box modally: the next step runs inside it.
        SendMessageA(Frame().Window(), WM_SYSCOMMAND, 0x0010, 0);
        ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
      },
      WhenShown("About KORVA Installation Wizard",
                [&](HWND about) {
                  version = WindowText(GetDlgItem(about, IDC_ABOUT_VERSION));
                  copyright = WindowText(GetDlgItem(about, IDC_ABOUT_COPYRIGHT));
                  SaveScreenshot(about, ScreenshotFolder() + "\\install-about.png");
                  ASSERT_TRUE(Click(GetDlgItem(about, IDOK)));
                }),
  };
  EXPECT_EQ(RunWizard(std::move(steps)), kInstallExitCancelled);
  EXPECT_EQ(version, "Version 2.20");
  EXPECT_EQ(copyright, "Copyright (C) 2026 KORVA");
}

// Unattended, through the fake where Wine can't: a refused installation and a restart Windows
// needs; the fatal install steps and the class installer's road as they are. Each is an exit
// status and a last line before the end, in the log file and on standard output alike, and
// never a box.
TEST_F(InstallWizardUiTest, UnattendedOutcomesAreExitStatusesAndLinesWithoutABox) {
  struct Case {
    std::string tag;
    DWORD updateError;
    bool updateNeedsRestart;
    bool noUpdateService;
    const char* missingKitFile;
    int status;
    std::vector<std::string> line;        // the line before the end, after its kind and what failed
    const char* refusingStore = nullptr;  // this certificate store refuses the package's
    bool noAccessLists = false;           // the install folder's file system keeps none (FAT)
  };
  const std::string staging = "staging";
  const std::vector<Case> cases = {
      {"4701",
       ERROR_ACCESS_DENIED,
       false,
       false,
       nullptr,
       kInstallExitInstallationFailed,
       {"failed", "installation", "@", "5", SystemErrorText(ERROR_ACCESS_DENIED)}},
      {"4702",
       0,
       true,
       false,
       nullptr,
       kInstallExitRestartNeeded,
       {"installed", "@", "update service", "restart needed"}},
      {"4703",
       0,
       false,
       true,
       nullptr,
       kInstallExitFinished,
       {"installed", "@", "class installer"}},
      {"4704",
       0,
       false,
       false,
       "korva98.sys",
       kInstallExitFailed,
       // No alternate folder is there, so none is tried: the program folder's copy says why.
       {"failed", "staging", programFolder, "2", SystemErrorText(ERROR_FILE_NOT_FOUND)}},
      {"4705",
       0,
       false,
       false,
       "korvawiz.tpl",
       kInstallExitFailed,
       {"failed", "inf generation", programFolder + "\\install\\korvawiz.inf", "1",
        "The INF template could not be opened."}},
      {"4706",
       0,
       false,
       false,
       nullptr,
       kInstallExitSigningFailed,
       {"failed", "signing", "TrustedPublisher", "5", SystemErrorText(ERROR_ACCESS_DENIED)},
       "TrustedPublisher"},
      {"4707",
       0,
       false,
       false,
       nullptr,
       kInstallExitFinished,
       {"installed", "@", "update service"},
       nullptr,
       true},
  };
  FaultInjectingTrustStores stores;
  app.UseTrustStores(stores);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tag);
    std::string id = Seed(c.tag, "UI board unattended " + c.tag);
    setup.updateError = c.updateError;
    setup.updateNeedsRestart = c.updateNeedsRestart;
    setup.noDriverUpdateService = c.noUpdateService;
    if (c.missingKitFile) RemoveFile(programFolder + "\\" + c.missingKitFile);
    stores.refusesAddTo = c.refusingStore ? c.refusingStore : "";
    InstallFolderSecurity system;
    FileSystemWithoutAccessLists fat;
    app.UseInstallFolderSecurity(c.noAccessLists ? static_cast<InstallFolderSecurity&>(fat)
                                                 : system);
    const std::string log = root + "\\" + c.tag + ".log";
    const std::string output = root + "\\" + c.tag + ".out";
    // This test's own standard output is the program's, a file as under management tools.
    HANDLE file = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE kept = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    int status = app.Run(programFolder + "\\KORVAwiz.exe",
                         "-nogui -hwid USB\\VID_0547&PID_" + c.tag + "&REV_0001 -log " + log);
    SetStdHandle(STD_OUTPUT_HANDLE, kept);
    CloseHandle(file);
    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(app.Frame(), nullptr);
    // Nor may the platform show one: its set-up calls and the update service fail instead.
    EXPECT_TRUE(setup.madeNonInteractive);
    if (!c.noUpdateService && !c.missingKitFile) {
      EXPECT_EQ(setup.lastUpdateFlags,
                static_cast<DWORD>(INSTALLFLAG_FORCE | INSTALLFLAG_NONINTERACTIVE));
    }

    std::string text = ReadFileBytes(log);
    EXPECT_EQ(ReadFileBytes(output), text);
    std::vector<std::string> expected = c.line;
    for (std::string& field : expected) {
      if (field == "@") field = id;
    }
    std::string last;
    for (const std::string& field : expected) last += (last.empty() ? "" : "\t") + field;
    bool installed = c.status == kInstallExitFinished || c.status == kInstallExitRestartNeeded;
    std::string end = std::string("end\t") + (installed ? "installed=1" : "installed=0") +
                      "\tstatus=" + std::to_string(c.status) + "\r\n";
    EXPECT_NE(text.find("\r\ndevice\t" + id + "\t"), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.find("\r\n" + expected[0] + "\t") + 2), last + "\r\n" + end) << text;
    EXPECT_EQ(testbed::HasDriverKey(id), installed);
    EXPECT_EQ(text.find("\r\nwarning\tinstall folder\t" + programFolder + "\\install\t" +
                        kNoAccessListsWarning + "\r\n") != std::string::npos,
              c.noAccessLists)
        << text;
    // A signed package's certificate is trusted, also when the platform then refused it; one
    // that could not be signed, or never came that far, leaves none.
    bool signedPackage = c.status != kInstallExitFailed && c.status != kInstallExitSigningFailed;
    for (const char* store : kKitCertificateStores) {
      EXPECT_EQ(KitCertificatesFor("USB\\VID_0547&PID_" + c.tag + "&REV_0001", store).size(),
                signedPackage ? 1u : 0u)
          << store;
    }
    if (c.missingKitFile) CopyKitFile(c.missingKitFile, programFolder);
  }

  // A device list that ended early is said as such, with its code: the device may be there.
  InstallFolderSecurity system;
  app.UseInstallFolderSecurity(system);
  setup.enumerationFailsAt = 0;
  setup.enumerationError = ERROR_INVALID_HANDLE;
  const std::string log = root + "\\4799.log";
  EXPECT_EQ(
      app.Run(programFolder + "\\KORVAwiz.exe", "-nogui -hwid USB\\VID_0547&PID_4799 -log " + log),
      kInstallExitNoSuchDevice);
  setup.enumerationFailsAt = FaultInjectingDeviceSetup::kNever;
  std::vector<std::string> lines = RecordLines(ReadFileBytes(log));
  ASSERT_EQ(lines.size(), 3u) << ReadFileBytes(log);
  EXPECT_EQ(lines[1], "error\tThe connected USB devices could not all be listed (error 6: " +
                          SystemErrorText(ERROR_INVALID_HANDLE) + ").");
  EXPECT_TRUE(boxes.boxes.empty());
}

// Without the driver update service (the class installer's road, which installs for one
// device at a time), -hwid still installs for every connected device that has the ID. The
// update service answers for all of them at once: a device it left without the kit's driver is
// a failure of its own, never said installed.
TEST_F(InstallWizardUiTest, UnattendedTheClassInstallerRoadInstallsForEveryDeviceWithTheId) {
  const std::string first = Seed("4801", "UI twin");
  testbed::DeviceSeed twin;
  twin.instanceId = first + "B";
  twin.classGuid = kUsbClass;
  twin.hardwareIds = {"USB\\VID_0547&PID_4801&REV_0002", "USB\\VID_0547&PID_4801"};
  twin.description = "UI twin";
  twin.manufacturer = "KORVA";
  ASSERT_EQ(testbed::AddDevice(twin), 0u);
  setup.noDriverUpdateService = true;
  const std::string log = root + "\\twins.log";
  EXPECT_EQ(
      app.Run(programFolder + "\\KORVAwiz.exe", "-nogui -hwid USB\\VID_0547&PID_4801 -log " + log),
      kInstallExitFinished);
  setup.noDriverUpdateService = false;
  std::string text = ReadFileBytes(log);
  for (const std::string& id : {first, twin.instanceId}) {
    EXPECT_NE(text.find("\r\ninstalled\t" + id + "\tclass installer\r\n"), std::string::npos)
        << text;
    EXPECT_TRUE(testbed::HasDriverKey(id)) << id;
  }
  EXPECT_TRUE(boxes.boxes.empty());

  // Another product's driver, ranked better for the twin, say.
  setup.afterUpdate = [&twin] {
    testbed::SetHardwareValue(twin.instanceId, kKitIdentValueName, REG_SZ,
                              testbed::StringData("another product's"));
  };
  DeleteFileA(log.c_str());
  EXPECT_EQ(
      app.Run(programFolder + "\\KORVAwiz.exe", "-nogui -hwid USB\\VID_0547&PID_4801 -log " + log),
      kInstallExitInstallationFailed);
  setup.afterUpdate = nullptr;
  text = ReadFileBytes(log);
  EXPECT_NE(text.find("\r\ninstalled\t" + first + "\tupdate service\r\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\nfailed\tinstallation\t" + twin.instanceId +
                      "\t-4\tThe driver update service left this device without the kit's "
                      "driver.\r\n"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("installed\t" + twin.instanceId), std::string::npos) << text;
  EXPECT_NE(text.find("\tstatus=8\r\n"), std::string::npos) << text;
}

struct MutexOwnerEvents {
  UniqueHandle ready{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

// An unattended run in another session, which has no window here: a thread that holds the
// lock as such a run takes it, until told to stop.
DWORD WINAPI OwnTheInstallMutex(void* p) {
  auto* events = static_cast<MutexOwnerEvents*>(p);
  InstanceLock lock;
  lock.Take(kInstallPrivateLockName, {kInstallMutexName});
  SetEvent(events->ready.Get());
  WaitForSingleObject(events->done.Get(), INFINITE);
  return 0;
}

// Whether a thread other than the wizard's could take the mutex now.
DWORD WINAPI TryTheInstallMutex(void*) {
  UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kInstallMutexName));
  DWORD wait = WaitForSingleObject(mutex.Get(), 0);
  if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
    ReleaseMutex(mutex.Get());
    return 1;
  }
  return 0;
}

bool InstallMutexIsFree() {
  UniqueHandle thread(CreateThread(nullptr, 0, TryTheInstallMutex, nullptr, 0, nullptr));
  DWORD free = 0;
  if (WaitForSingleObject(thread.Get(), 10000) != WAIT_OBJECT_0 ||
      !GetExitCodeThread(thread.Get(), &free)) {
    ADD_FAILURE() << "the mutex could not be tried";
  }
  return free == 1;
}

// Start-up, before any page: a window with the wizard's title means one runs already; an
// unattended run, which has none (or whose session's windows are not seen), is told in a box.
TEST_F(InstallWizardUiTest, AnotherRunningKorvaWizIsFoundBeforeAnyPage) {
  HWND other = CreateWindowA("STATIC", "KORVA Installation Wizard", WS_POPUP, 0, 0, 10, 10, nullptr,
                             nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(app.Run(programFolder + "\\KORVAwiz.exe"), kInstallExitFinished);
  DestroyWindow(other);
  EXPECT_FALSE(FileExists(programFolder + "\\install"));
  EXPECT_TRUE(boxes.boxes.empty());

  MutexOwnerEvents events;
  UniqueHandle owner(CreateThread(nullptr, 0, OwnTheInstallMutex, &events, 0, nullptr));
  ASSERT_EQ(WaitForSingleObject(events.ready.Get(), 10000), WAIT_OBJECT_0);
  // No steps: should the wizard open after all, the guard ends it.
  EXPECT_EQ(RunWizard({}), kInstallExitAlreadyRunning);
  SetEvent(events.done.Get());
  WaitForSingleObject(owner.Get(), 10000);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text,
            "An unattended installation of the KORVA driver is running.\n"
            "Try again when it has ended.");
  EXPECT_EQ(boxes.boxes[0].caption, "KORVAwiz");
  EXPECT_EQ(boxes.boxes[0].owner, nullptr);
  EXPECT_EQ(boxes.boxes[0].style & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
  EXPECT_FALSE(FileExists(programFolder + "\\install"));

  // Once that run has ended the wizard opens, and an unattended run started meanwhile finds the
  // mutex taken.
  bool heldMeanwhile = false;
  EXPECT_EQ(RunWizard({[&] {
              heldMeanwhile = !InstallMutexIsFree();
              ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
            }}),
            kInstallExitCancelled);
  EXPECT_TRUE(heldMeanwhile);
  EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(InstallWizardUiTest, TheInstallFolderIsMadeOrReused) {
  const std::string install = programFolder + "\\install";
  std::vector<UiStep> steps = {[this] {
    EXPECT_EQ(app.Paths().installFolder, programFolder + "\\install");
    EXPECT_EQ(app.Paths().alternateFolder, root + "\\korva");
    EXPECT_EQ(app.Paths().templatePath, programFolder + "\\korvawiz.tpl");
    EXPECT_EQ(app.Paths().infPath, programFolder + "\\install\\korvawiz.inf");
    ASSERT_TRUE(Click(Button(IDC_CANCEL_BUTTON)));
  }};
  RunWizard(steps);
  EXPECT_TRUE(FolderExists(install));
  WriteFileBytes(install + "\\old.txt", "kept");
  RunWizard(steps);
  EXPECT_EQ(ReadFileBytes(install + "\\old.txt"), "kept");
  EXPECT_TRUE(boxes.boxes.empty());
}

// A missing parent folder, or a file named install in its place (which could hold no staged
// files): the box at start, and the wizard does not open.
TEST_F(InstallWizardUiTest, AnInstallFolderThatCannotBeMadeEndsTheProgram) {
  const std::string blocked = root + "\\Blocked";
  CreateDirectoryA(blocked.c_str(), nullptr);
  WriteFileBytes(blocked + "\\install", "a file, not a folder");
  for (const std::string& folder : {root + "\\no\\such\\Bin", blocked}) {
    SCOPED_TRACE(folder);
    boxes.boxes.clear();
    programFolder = folder;
    // No steps: should the wizard open after all, the guard ends it.
    EXPECT_EQ(RunWizard({}), kInstallExitFailed);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Unable to create directory " + folder + "\\install.\n");
    EXPECT_EQ(boxes.boxes[0].caption, "KORVAwiz");
    EXPECT_EQ(boxes.boxes[0].owner, nullptr);
  }
  EXPECT_EQ(ReadFileBytes(blocked + "\\install"), "a file, not a folder");
}

}  // namespace
}  // namespace korva::testing
