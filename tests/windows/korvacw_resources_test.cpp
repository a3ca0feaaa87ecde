// The resources of the built KORVAcw.exe, read back from the file: every dialog template with
// its controls, the About string, the icon, the version record and the manifest.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "res/cleanup_resource.h"
#include "res/version.h"
#include "support/resource_expectations.h"
#include "support/wine_test_env.h"

namespace korva {
namespace {

using testing::Box;
using testing::BuiltProgram;
using testing::DialogRow;
using testing::kButton;
using testing::kDefaultButton;
using testing::kEtchedLine;
using testing::kIcon;
using testing::Kind;
using testing::kNoId;

const BuiltProgram& Program() {
  static const BuiltProgram program(testing::KorvaCwPath());
  return program;
}

// The texts are plain static texts that open a group; "&" would be a mnemonic mark.
const Kind kText = {"Static", SS_TYPEMASK, SS_LEFT, WS_GROUP, SS_NOPREFIX, 0};
const Kind kCentredText = {"Static", SS_TYPEMASK, SS_CENTER, WS_GROUP, SS_NOPREFIX, 0};
const Kind kCheckBox = {"Button", BS_TYPEMASK, BS_AUTOCHECKBOX, WS_TABSTOP, 0, 0};
// No sort style: list item i carries the engine's record i. The one column needs no header.
const Kind kListView = {"SysListView32",
                        LVS_TYPEMASK,
                        LVS_REPORT,
                        LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOLABELWRAP | LVS_NOCOLUMNHEADER |
                            WS_BORDER | WS_TABSTOP,
                        LVS_SORTASCENDING | LVS_SORTDESCENDING,
                        0};
const DWORD kReadOnlyBox = ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL |
                           WS_HSCROLL | WS_BORDER | WS_TABSTOP;
const Kind kDetailBox = {"Edit", ES_CENTER | ES_RIGHT, ES_LEFT, kReadOnlyBox, WS_VSCROLL, 0};
const Kind kReportBox = {"Edit", ES_CENTER | ES_RIGHT, ES_LEFT, kReadOnlyBox | WS_VSCROLL, 0, 0};

// DS_CONTROL: Tab and the mnemonics reach into the page from the frame. A page has no frame
// of its own and is shown only when it is current.
const DWORD kPageStyle = DS_CONTROL | WS_CHILD;
const DWORD kNotOnAPage =
    WS_VISIBLE | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_MODALFRAME;
const Box kPageBox = {0, 0, 314, 167};

void ExpectDialog(const DialogRow& row) { testing::ExpectDialog(Program(), row); }

// Nothing more than the templates in the tables below, so that none is left over unchecked.
TEST(KorvaCwResourcesTest, TemplateIds) {
  ASSERT_TRUE(Program().Resources().Loaded()) << Program().Path();
  EXPECT_EQ(testing::ResourceIds(Program(), RT_DIALOG),
            (std::vector<int>{IDD_ABOUTBOX, IDD_CLEANUP_FRAME, IDD_WELCOME_TASK, IDD_INF_FILE_LIST,
                              IDD_DEVICE_INSTANCE_LIST, IDD_CLEANUP_RESULTS, IDD_SCAN_PROGRESS}));
  EXPECT_EQ(testing::ResourceIds(Program(), RT_GROUP_ICON), (std::vector<int>{IDR_MAINFRAME}));
}

TEST(KorvaCwResourcesTest, AboutBox) {
  ExpectDialog({IDD_ABOUTBOX,
                WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER,
                WS_CHILD | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME,
                0,
                "About Cleanup Wizard",
                {0, 0, 235, 55},
                {
                    {kNoId, &kIcon, "#128", 10, 17, 20, 20},
                    {kNoId, &kText, "CleanUpWiz Version 1.0", 40, 15, 128, 8},
                    {kNoId, &kText, "Copyright (C) 2026 KORVA", 40, 29, 128, 8},
                    {IDOK, &kDefaultButton, "OK", 178, 17, 50, 14},
                }});
}

TEST(KorvaCwResourcesTest, Frame) {
  // No window-menu box and no minimise or maximise box; a taskbar button of its own; no
  // default button (kButton is a plain push button).
  ExpectDialog({IDD_CLEANUP_FRAME,
                WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER,
                WS_CHILD | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME,
                WS_EX_APPWINDOW,
                "",
                {0, 0, 316, 199},
                {
                    {IDC_CANCEL_BUTTON, &kButton, "Cancel", 259, 178, 50, 14},
                    {kNoId, &kEtchedLine, "", 7, 169, 302, 1},
                    {IDC_BACK, &kButton, "<< Back", 139, 178, 50, 14},
                    {IDC_NEXT, &kButton, "Next >>", 189, 178, 50, 14},
                    {kNoId, &kIcon, "#128", 7, 172, 21, 20},
                }});
}

TEST(KorvaCwResourcesTest, WelcomeTaskPage) {
  ExpectDialog({IDD_WELCOME_TASK,
                kPageStyle,
                kNotOnAPage,
                0,
                "",
                kPageBox,
                {
                    {IDC_WELCOME_TEXT, &kText, "xxx", 7, 7, 293, 44},
                    {IDC_CLEANUP_INF_FILES, &kCheckBox, "Cleanup INF Files", 13, 102, 74, 8},
                    {IDC_CLEANUP_REGISTRY, &kCheckBox, "Cleanup Registry", 13, 66, 72, 8},
                    {IDC_REGISTRY_TEXT, &kText, "xxx", 26, 77, 274, 12},
                    {IDC_INF_FILES_TEXT, &kText, "xxx", 26, 113, 274, 10},
                    {IDC_CLOSING_TEXT, &kText, "xxx\nxxx", 7, 139, 292, 21},
                }});
}

TEST(KorvaCwResourcesTest, InfFileListPage) {
  ExpectDialog({IDD_INF_FILE_LIST,
                kPageStyle,
                kNotOnAPage,
                0,
                "",
                kPageBox,
                {
                    {IDC_INF_HEADER, &kText, "Static\nStatic", 7, 7, 300, 16},
                    {IDC_INF_LIST, &kListView, "", 7, 26, 300, 58},
                    {IDC_INF_DETAIL_LABEL, &kText, "Static", 7, 88, 300, 8},
                    {IDC_INF_DETAILS, &kDetailBox, "", 7, 98, 300, 62},
                }});
}

TEST(KorvaCwResourcesTest, DeviceInstanceListPage) {
  ExpectDialog({IDD_DEVICE_INSTANCE_LIST,
                kPageStyle,
                kNotOnAPage,
                0,
                "",
                kPageBox,
                {
                    {IDC_DEVICE_HEADER, &kText, "Static\nStatic", 7, 7, 285, 17},
                    {IDC_DEVICE_LIST, &kListView, "", 7, 26, 300, 58},
                    {IDC_DEVICE_DETAIL_LABEL, &kText, "Static", 7, 88, 300, 8},
                    {IDC_DEVICE_DETAILS, &kDetailBox, "", 7, 98, 300, 62},
                }});
}

TEST(KorvaCwResourcesTest, ResultsPage) {
  ExpectDialog({IDD_CLEANUP_RESULTS,
                kPageStyle,
                kNotOnAPage,
                0,
                "",
                kPageBox,
                {
                    {IDC_RESULTS_HEADLINE, &kText, "Static\nStatic", 7, 7, 300, 17},
                    {IDC_REPORT, &kReportBox, "", 7, 27, 300, 133},
                }});
}

TEST(KorvaCwResourcesTest, ScanProgressBox) {
  // A child with a dialog frame and no title bar; hidden until it has been centred.
  ExpectDialog({IDD_SCAN_PROGRESS,
                WS_CHILD | DS_MODALFRAME,
                WS_VISIBLE | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_CONTROL,
                0,
                "",
                {0, 0, 141, 47},
                {
                    {IDC_PROGRESS_TEXT, &kCentredText, "Text\nText", 7, 15, 127, 18},
                }});
}

TEST(KorvaCwResourcesTest, AboutMenuString) {
  ASSERT_TRUE(Program().Resources().Loaded()) << Program().Path();
  EXPECT_EQ(Program().Resources().String(IDS_ABOUTBOX).value_or("(missing)"),
            "&About CleanupWiz...");
}

TEST(KorvaCwResourcesTest, Icon) { testing::ExpectIcon(Program(), IDR_MAINFRAME); }

TEST(KorvaCwResourcesTest, VersionRecord) {
  const WORD numbers[] = {KORVACW_VERSION_NUMBERS};
  testing::ExpectVersionRecord(Program(), {numbers[0], numbers[1], numbers[2], numbers[3]},
                               {
                                   {"OriginalFilename", "KORVAcw.exe"},
                                   {"InternalName", "KORVAcw"},
                                   {"FileDescription", "KORVA Cleanup Wizard"},
                                   {"FileVersion", KORVACW_VERSION_TEXT},
                                   {"ProductVersion", KORVACW_VERSION_TEXT},
                                   {"CompanyName", "KORVA"},
                                   {"ProductName", "KORVA USB Development Kit"},
                                   {"LegalCopyright", "Copyright (C) 2026 KORVA"},
                               });
}

// Whether the program's import table names `function` of `library`, read from the file.
bool ImportsFunction(const std::string& path, const char* library, const char* function) {
  std::string bytes;
  if (FILE* file = std::fopen(path.c_str(), "rb")) {
    char block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof(block), file)) > 0) bytes.append(block, got);
    std::fclose(file);
  }
  auto read = [&bytes](size_t offset, auto& value) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(value)) return false;
    std::memcpy(&value, bytes.data() + offset, sizeof(value));
    return true;
  };
  IMAGE_DOS_HEADER dos{};
  IMAGE_FILE_HEADER header{};
  WORD magic = 0;
  if (!read(0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return false;
  const size_t optional = static_cast<size_t>(dos.e_lfanew) + 4 + sizeof(IMAGE_FILE_HEADER);
  if (!read(optional - sizeof(header), header) || !read(optional, magic)) return false;
  const bool wide = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
  IMAGE_DATA_DIRECTORY imports{};
  size_t directories = optional + (wide ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                        : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
  if (!read(directories + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof(imports), imports)) return false;
  auto fileOffset = [&](DWORD rva) -> size_t {
    size_t sections = optional + header.SizeOfOptionalHeader;
    for (WORD i = 0; i < header.NumberOfSections; ++i) {
      IMAGE_SECTION_HEADER section{};
      if (!read(sections + i * sizeof(section), section)) break;
      DWORD size = std::max<DWORD>(section.Misc.VirtualSize, section.SizeOfRawData);
      if (rva >= section.VirtualAddress && rva - section.VirtualAddress < size) {
        return rva - section.VirtualAddress + section.PointerToRawData;
      }
    }
    return bytes.size();
  };
  auto text = [&](DWORD rva) {
    size_t at = fileOffset(rva);
    return at < bytes.size() ? std::string(bytes.c_str() + at) : std::string();
  };
  for (size_t at = fileOffset(imports.VirtualAddress);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR entry{};
    if (!read(at, entry) || entry.Name == 0) return false;
    if (_stricmp(text(entry.Name).c_str(), library) != 0) continue;
    DWORD thunks = entry.OriginalFirstThunk ? entry.OriginalFirstThunk : entry.FirstThunk;
    for (size_t thunk = fileOffset(thunks);; thunk += wide ? 8 : 4) {
      ULONGLONG value = 0;
      DWORD narrow = 0;
      if (wide ? !read(thunk, value) : !read(thunk, narrow)) break;
      if (!wide) value = narrow;
      if (value == 0) break;
      bool byOrdinal = wide ? (value & IMAGE_ORDINAL_FLAG64) != 0 : (value & IMAGE_ORDINAL_FLAG32);
      if (!byOrdinal && text(static_cast<DWORD>(value) + 2) == function) return true;
    }
  }
}

TEST(KorvaCwResourcesTest, Manifest) {
  testing::ExpectManifest(Program());
  // The common controls are set up by the program itself too, not only through the manifest.
  EXPECT_TRUE(ImportsFunction(Program().Path(), "comctl32.dll", "InitCommonControlsEx"));
}

}  // namespace
}  // namespace korva
