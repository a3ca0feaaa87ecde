// The resources of the built KORVAwiz.exe, read back from the file: every dialog template with
// its controls, the About string, the icons, the version record and the manifest.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "res/install_resource.h"
#include "support/dialog_template.h"
#include "support/resource_expectations.h"
#include "support/wine_test_env.h"

namespace korva {
namespace {

using testing::BuiltProgram;
using testing::DialogRow;
using testing::DialogTemplate;
using testing::kButton;
using testing::kDefaultButton;
using testing::kEtchedLine;
using testing::kIcon;
using testing::Kind;
using testing::kNoId;

const BuiltProgram& Program() {
  static const BuiltProgram program(testing::BuildFolder() + "\\install\\KORVAwiz.exe");
  return program;
}

// Texts keep "&" as a mnemonic mark unless the table says otherwise: the pages double the
// ampersands of hardware IDs on that account.
const Kind kGroupBox = {"Button", BS_TYPEMASK, BS_GROUPBOX, 0, WS_TABSTOP, 0};
const Kind kText = {"Static", SS_TYPEMASK, SS_LEFT, 0, SS_NOPREFIX, 0};
const Kind kCentredText = {"Static", SS_TYPEMASK, SS_CENTER, 0, SS_NOPREFIX, 0};
const Kind kCentredTextNoPrefix = {"Static", SS_TYPEMASK, SS_CENTER, SS_NOPREFIX, 0, 0};
const Kind kSunkenField = {"Static",       SS_TYPEMASK, SS_LEFT,
                           SS_CENTERIMAGE, SS_NOPREFIX, WS_EX_CLIENTEDGE};
// No sort style: rows stay in the order in which they are added.
const Kind kDeviceListView = {
    "SysListView32",
    LVS_TYPEMASK,
    LVS_REPORT,
    LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | WS_BORDER | WS_TABSTOP,
    LVS_SORTASCENDING | LVS_SORTDESCENDING,
    0};

// DS_CONTROL: Tab and the mnemonics reach into the page from the frame.
const DWORD kPageStyle = DS_CONTROL | WS_CHILD;
const DWORD kNotOnAPage = WS_VISIBLE | WS_POPUP | WS_CAPTION;

void ExpectDialog(const DialogRow& row) { testing::ExpectDialog(Program(), row); }

TEST(KorvaWizResourcesTest, AboutBox) {
  ExpectDialog(
      {IDD_ABOUTBOX,
       WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
       WS_CHILD | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME,
       0,
       "About KORVA Installation Wizard",
       {0, 0, 167, 87},
       {
           {kNoId, &kIcon, "#128", 10, 10, 20, 20},
           {kNoId, &kCentredTextNoPrefix, "KORVA Installation Wizard", 31, 17, 104, 8},
           {IDC_ABOUT_VERSION, &kCentredTextNoPrefix, "Version 2.20", 44, 32, 79, 8},
           {IDC_ABOUT_COPYRIGHT, &kCentredText, "Copyright (C) 2026 KORVA", 20, 47, 127, 8},
           {IDOK, &kDefaultButton, "OK", 68, 66, 32, 14},
       }});
}

TEST(KorvaWizResourcesTest, Frame) {
  // No window-menu box and no minimise or maximise box; a taskbar button of its own.
  ExpectDialog({IDD_INSTALL_FRAME,
                WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME,
                WS_CHILD | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME,
                WS_EX_APPWINDOW,
                "",
                {0, 0, 329, 210},
                {
                    {IDC_NEXT, &kDefaultButton, "&Next >>", 209, 191, 50, 14},
                    {IDC_CANCEL_BUTTON, &kButton, "&Cancel", 272, 191, 50, 14},
                    {IDC_BACK, &kButton, "<< &Back", 159, 191, 50, 14},
                    {kNoId, &kIcon, "#158", 7, 185, 20, 20},
                    {kNoId, &kEtchedLine, "", 7, 183, 315, 1},
                }});
}

TEST(KorvaWizResourcesTest, DeviceSelectionPage) {
  ExpectDialog({IDD_DEVICE_SELECTION,
                kPageStyle,
                kNotOnAPage,
                0,
                "",
                {0, 0, 330, 183},
                {
                    {IDC_SELECTION_HEADER, &kText, "1234567890", 8, 7, 314, 18},
                    {IDC_DEVICE_LIST, &kDeviceListView, "", 8, 28, 314, 111},
                    {kNoId, &kText, "Hardware ID :", 12, 147, 45, 8},
                    {IDC_HARDWARE_ID, &kSunkenField, "", 62, 145, 260, 13},
                    {IDC_REFRESH, &kButton, "&Refresh", 8, 163, 50, 14},
                }});
}

TEST(KorvaWizResourcesTest, DeviceDetailsPage) {
  ExpectDialog({IDD_DEVICE_DETAILS,
                kPageStyle,
                kNotOnAPage,
                0,
                "",
                {0, 0, 330, 183},
                {
                    {IDC_DETAILS_HEADER, &kText, "1234567890", 8, 7, 309, 10},
                    {kNoId, &kGroupBox, "", 8, 14, 314, 55},
                    {kNoId, &kText, "Manufacturer:", 15, 23, 58, 8},
                    {IDC_DETAIL_MANUFACTURER, &kText, "***", 77, 23, 239, 8},
                    {kNoId, &kText, "Description:", 15, 34, 58, 8},
                    {IDC_DETAIL_DESCRIPTION, &kText, "***", 77, 34, 239, 8},
                    {kNoId, &kText, "Hardware ID:", 15, 45, 58, 8},
                    {IDC_DETAIL_HARDWARE_ID, &kText, "***", 77, 45, 239, 8},
                    {kNoId, &kText, "Device Class:", 15, 56, 58, 8},
                    {IDC_DETAIL_CLASS, &kText, "***", 77, 56, 239, 8},
                    {IDC_DRIVER_HEADER, &kText, "1234567890", 8, 77, 309, 10},
                    {IDC_DRIVER_GROUP, &kGroupBox, "", 8, 84, 314, 43},
                    {IDC_DRIVER_PROVIDER_LABEL, &kText, "Driver Provider:", 15, 93, 58, 8},
                    {IDC_DRIVER_PROVIDER, &kText, "***", 77, 93, 239, 8},
                    {IDC_DRIVER_DESCRIPTION_LABEL, &kText, "Driver Description:", 15, 104, 58, 8},
                    {IDC_DRIVER_DESCRIPTION, &kText, "***", 77, 104, 239, 8},
                    {IDC_DRIVER_DATE_LABEL, &kText, "Driver Date:", 15, 115, 58, 8},
                    {IDC_DRIVER_DATE, &kText, "***", 77, 115, 239, 8},
                    {IDC_DETAILS_BOTTOM, &kText, "1234567890", 8, 133, 309, 41},
                }});
}

TEST(KorvaWizResourcesTest, ProgressPage) {
  ExpectDialog({IDD_PROGRESS,
                kPageStyle,
                kNotOnAPage,
                0,
                "",
                {0, 0, 330, 183},
                {
                    {IDC_PROGRESS_TEXT, &kText, "1234567890", 20, 30, 282, 108},
                }});
}

TEST(KorvaWizResourcesTest, WelcomePage) {
  ExpectDialog({IDD_WELCOME,
                kPageStyle,
                kNotOnAPage,
                0,
                "",
                {0, 0, 330, 183},
                {
                    {IDC_WELCOME_TEXT, &kText, "", 14, 10, 248, 166},
                }});
}

TEST(KorvaWizResourcesTest, FinishPage) {
  ExpectDialog(
      {IDD_FINISH,
       kPageStyle,
       kNotOnAPage,
       0,
       "",
       {0, 0, 330, 183},
       {
           {IDC_FINISH_RESULT, &kText, "", 14, 10, 303, 19},
           {kNoId, &kGroupBox, "Save INF file", 14, 35, 300, 52},
           {IDC_SAVE_TEXT, &kText, "", 20, 48, 186, 36},
           {IDC_SAVE_INF, &kButton, "&Save INF file", 218, 48, 89, 14},
           {kNoId, &kGroupBox, "Run KORVA Application", 14, 99, 300, 52},
           {IDC_RUN_TEXT, &kText, "", 20, 111, 186, 36},
           {IDC_RUN_DEMO, &kButton, "&Run KORVA Application", 218, 111, 89, 14},
           {kNoId, &kText, "Click Finish to quit the KORVA Installation Wizard.", 14, 163, 303, 11},
       }});
}

TEST(KorvaWizResourcesTest, AboutMenuString) {
  ASSERT_TRUE(Program().Resources().Loaded()) << Program().Path();
  EXPECT_EQ(Program().Resources().String(IDS_ABOUTBOX).value_or("(missing)"), "&About KORVAwiz...");
}

TEST(KorvaWizResourcesTest, Icons) {
  testing::ExpectIcon(Program(), IDR_MAINFRAME);
  testing::ExpectIcon(Program(), IDI_WIZARD_LOGO);
}

TEST(KorvaWizResourcesTest, VersionRecord) {
  testing::ExpectVersionRecord(Program(), {2, 20, 0, 0},
                               {
                                   {"OriginalFilename", "KORVAwiz.exe"},
                                   {"InternalName", "KORVAwiz"},
                                   {"FileDescription", "KORVA Installation Wizard"},
                                   {"FileVersion", "2.20"},
                                   {"ProductVersion", "2.20"},
                                   {"BuildType", "release"},
                                   {"CompanyName", "KORVA"},
                                   {"ProductName", "KORVA USB Development Kit"},
                                   {"LegalCopyright", "Copyright (C) 2026 KORVA"},
                               });
}

TEST(KorvaWizResourcesTest, Manifest) { testing::ExpectManifest(Program()); }

// The reader also understands the classic template, which KORVAwiz does not use: one built
// here by hand with a caption, a font and a static control without an id.
TEST(DialogTemplateReaderTest, ReadsAClassicTemplate) {
  std::vector<WORD> words;
  auto dword = [&words](DWORD value) {
    words.push_back(LOWORD(value));
    words.push_back(HIWORD(value));
  };
  auto text = [&words](const wchar_t* value) {
    for (; *value != L'\0'; ++value) words.push_back(static_cast<WORD>(*value));
    words.push_back(0);
  };
  dword(WS_POPUP | WS_CAPTION | DS_SETFONT);
  dword(WS_EX_TOOLWINDOW);
  words.insert(words.end(), {2, 5, 6, 100, 50});  // items, x, y, cx, cy
  words.insert(words.end(), {0, 0});              // no menu, the dialog class
  text(L"Title");
  words.push_back(9);
  text(L"Tahoma");
  if (words.size() % 2 != 0) words.push_back(0);  // items start on a DWORD boundary
  dword(WS_CHILD | WS_VISIBLE | SS_ICON);
  dword(0);
  words.insert(words.end(), {1, 2, 20, 20, 0xFFFF, 0xFFFF, 0x82, 0xFFFF, 7, 0});
  if (words.size() % 2 != 0) words.push_back(0);
  dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  dword(WS_EX_CLIENTEDGE);
  words.insert(words.end(), {3, 4, 40, 12, 42});
  text(L"Custom");
  text(L"&Go");
  words.push_back(0);

  std::optional<DialogTemplate> dialog =
      testing::ParseDialogTemplate(words.data(), words.size() * sizeof(WORD));
  ASSERT_TRUE(dialog.has_value());
  EXPECT_FALSE(dialog->extended);
  EXPECT_EQ(dialog->style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | DS_SETFONT));
  EXPECT_EQ(dialog->exStyle, static_cast<DWORD>(WS_EX_TOOLWINDOW));
  EXPECT_EQ(dialog->caption, "Title");
  EXPECT_EQ(dialog->fontName, "Tahoma");
  EXPECT_EQ(dialog->pointSize, 9);
  EXPECT_EQ(dialog->cx, 100);
  ASSERT_EQ(dialog->controls.size(), 2u);
  EXPECT_EQ(dialog->controls[0].id, -1);
  EXPECT_EQ(dialog->controls[0].className, "Static");
  EXPECT_EQ(dialog->controls[0].text, "#7");
  EXPECT_EQ(dialog->controls[0].cy, 20);
  EXPECT_EQ(dialog->controls[1].id, 42);
  EXPECT_EQ(dialog->controls[1].className, "Custom");
  EXPECT_EQ(dialog->controls[1].text, "&Go");
  EXPECT_EQ(dialog->controls[1].exStyle, static_cast<DWORD>(WS_EX_CLIENTEDGE));

  // A template cut short is refused rather than read past its end.
  EXPECT_FALSE(testing::ParseDialogTemplate(words.data(), 30).has_value());
}

}  // namespace
}  // namespace korva
