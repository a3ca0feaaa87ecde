// The INF scan and deletion in the prefix's real INF folders, and the fast matcher against
// the C library's own text-mode reading.
#include "cleanup/engine/inf_file_list.h"
#include "cleanup/engine/kit_certificate_list.h"

#include <setupapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <utility>

#include <gtest/gtest.h>

#include "cleanup/core/inf_text_matcher.h"
#include "common/ansi_text.h"
#include "common/system_folders.h"
#include "common/unique_resource.h"
#include "reference/test_code_page.h"
#include "reference/text_mode_reference.h"
#include "support/fault_injecting_device_setup.h"
#include "support/fault_injecting_signing.h"
#include "support/wine_test_env.h"

namespace korva {
namespace {

using testing::FileExists;
using testing::PlaceFile;
using testing::Utf16File;
using testing::Widen;

const std::string kKitInf =
    "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=KORVA\r\n"
    "ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n\r\n[Devices]\r\n"
    "%Dev%=Install, USB\\VID_0547&PID_1002\r\n\r\n[Install.HW.AddReg]\r\n"
    "HKR,,CleanupWizard_DeviceIdentString,,\"{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\"\r\n";

class InfFileListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::RemovePlacedInfFiles();
    settings.classGuidText = "{96E73B6E-7A5A-11D4-9F24-0080C82727F4}";
    settings.deviceIdentString = "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}";
    settings.identValueName = "CLEANUPWIZARD_DEVICEIDENTSTRING";
  }
  void TearDown() override { testing::RemovePlacedInfFiles(); }

  std::vector<std::string> Names(const InfFileList& list) {
    std::vector<std::string> names;
    for (const auto& r : const_cast<InfFileList&>(list).Items()) names.push_back(r.name);
    return names;
  }

  CleanupSettings settings;
  testing::FaultInjectingDeviceSetup setup;
};

TEST_F(InfFileListTest, FindsTheKitsFilesInInfBeforeInfOther) {
  std::string other = PlaceFile("inf\\other", "korvatest_a.inf", kKitInf);
  std::string main = PlaceFile("inf", "korvatest_z.inf", kKitInf);
  PlaceFile("inf", "korvatest_plain.inf", "[Version]\r\nClass=Net\r\n");
  PlaceFile("inf", "korvatest_kit.txt", kKitInf);
  InfFileList list(setup, settings);
  ASSERT_EQ(list.Scan(), 2);
  EXPECT_EQ(list.Items()[0].name, "korvatest_z.inf");
  EXPECT_EQ(list.Items()[0].path, main);
  EXPECT_EQ(list.Items()[1].name, "korvatest_a.inf");
  EXPECT_EQ(list.Items()[1].path, other);
  EXPECT_TRUE(list.Items()[0].selected);
  EXPECT_EQ(list.Items()[0].error, 0u);
  // The search matches these by their short names; only the extension .inf counts, in any
  // letter case.
  for (const char* odd : {"korvatest_old.inf_old", "korvatest_tilde.inf~", "korvatest_f.inform"}) {
    PlaceFile("inf", odd, kKitInf);
  }
  PlaceFile("inf", "KORVATEST_UPPER.INF", kKitInf);
  ASSERT_EQ(list.Scan(), 3);
  std::vector<std::string> names = Names(list);
  std::sort(names.begin(), names.begin() + 2);  // the platform's order within a folder
  EXPECT_EQ(names, (std::vector<std::string>{"KORVATEST_UPPER.INF", "korvatest_z.inf",
                                             "korvatest_a.inf"}));
}

std::u16string Replaced(std::u16string text, const std::u16string& from, const std::u16string& to) {
  size_t at = text.find(from);
  return at == std::u16string::npos ? text : text.replace(at, from.size(), to);
}

TEST_F(InfFileListTest, ReadsUtf16FilesAsTheirAnsiText) {
  const std::u16string kit = Widen(kKitInf);
  // An editor's "Unicode": the byte-order mark, then UTF-16LE.
  PlaceFile("inf", "korvatest_unicode.inf", Utf16File(kit));
  PlaceFile("inf\\other", "korvatest_unicode_odd.inf", Utf16File(kit) + "x");
  // Without the mark the bytes are the text, as always: no mark is found there.
  PlaceFile("inf", "korvatest_nomark.inf", Utf16File(kit, false));
  PlaceFile("inf", "korvatest_markonly.inf", "\xFF\xFE");
  // What has no exact ANSI form is '?', never a look-alike: a fullwidth backslash makes no
  // USB hardware ID, a fullwidth semicolon starts no comment.
  PlaceFile("inf", "korvatest_fullwidth_backslash.inf",
            Utf16File(Replaced(kit, u"USB\\", u"USB\uFF3C")));
  PlaceFile("inf", "korvatest_fullwidth_semicolon.inf",
            Utf16File(Replaced(kit, u"ClassGuid", u"\uFF1BClassGuid")));
  // A NUL character cuts its line; U+001A ends the text.
  PlaceFile("inf", "korvatest_nul.inf",
            Utf16File(Replaced(kit, u"ClassGuid", std::u16string(1, u'\0') + u"ClassGuid")));
  PlaceFile("inf", "korvatest_ctrlz.inf", Utf16File(u"\x1A" + kit));
  InfFileList list(setup, settings);
  list.Scan();
  std::vector<std::string> names = Names(list);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names,
            (std::vector<std::string>{"korvatest_fullwidth_semicolon.inf", "korvatest_unicode.inf",
                                      "korvatest_unicode_odd.inf"}));
}

TEST_F(InfFileListTest, ExpertModeNeedsClassAndUsbButNoIdent) {
  std::string noIdent = kKitInf.substr(0, kKitInf.find("[Install.HW.AddReg]"));
  PlaceFile("inf", "korvatest_noident.inf", noIdent);
  PlaceFile("inf", "korvatest_nousb.inf",
            "ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n"
            "; USB\\VID_0547\r\n");
  InfFileList list(setup, settings);
  EXPECT_EQ(list.Scan(), 0);
  settings.expertMode = true;
  ASSERT_EQ(list.Scan(), 1);
  EXPECT_EQ(list.Items()[0].name, "korvatest_noident.inf");
}

// A name that the ANSI code page cannot spell (an Omega under code page 1252) is found, read
// and removed by its own name, and shown in its ANSI form.
TEST_F(InfFileListTest, DeletesReadOnlyFilesAndTheirCompanions) {
  std::string inf = PlaceFile("inf", "korvatest_oem12.inf", kKitInf);
  std::string pnf = PlaceFile("inf", "korvatest_oem12.pnf", "binary");
  std::string alone = PlaceFile("inf\\other", "korvatest_alone.inf", kKitInf);
  std::string other = alone.substr(0, alone.rfind('\\') + 1);
  std::wstring omega = WideFromAnsi(other) + L"korvatest_\u03A9";
  for (const wchar_t* extension : {L".inf", L".pnf"}) {
    UniqueFile file(_wfopen((omega + extension).c_str(), L"wb"));
    ASSERT_TRUE(file.Valid());
    std::fwrite(kKitInf.data(), 1, kKitInf.size(), file.Get());
  }
  SetFileAttributesA(inf.c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(pnf.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  InfFileList list(setup, settings);
  ASSERT_EQ(list.Scan(), 3);
  EXPECT_TRUE(list.NotExamined().empty());
  std::vector<std::string> names = Names(list);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"korvatest_?.inf", "korvatest_alone.inf",
                                             "korvatest_oem12.inf"}));
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 5u);
  EXPECT_EQ(list.Results()[0].path, inf);
  EXPECT_EQ(list.Results()[1].path, pnf);
  std::vector<std::string> inOther = {list.Results()[2].path, list.Results()[3].path,
                                      list.Results()[4].path};
  std::sort(inOther.begin(), inOther.end());
  EXPECT_EQ(inOther, (std::vector<std::string>{other + "korvatest_?.inf", other + "korvatest_?.pnf",
                                               alone}));
  EXPECT_EQ(GetFileAttributesW((omega + L".inf").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW((omega + L".pnf").c_str()), INVALID_FILE_ATTRIBUTES);
  for (const auto& r : list.Results()) {
    EXPECT_EQ(r.error, 0u) << r.path;
    EXPECT_EQ(r.name, "");
    EXPECT_FALSE(r.selected);
  }
  EXPECT_FALSE(FileExists(inf));
  EXPECT_FALSE(FileExists(pnf));
  EXPECT_FALSE(FileExists(alone));
  // The items are kept, also for files that are gone.
  EXPECT_EQ(list.Items().size(), 3u);
}

// Windows keeps an installed package as oemNN.inf in "inf" and in its driver store; only the
// store's own removal takes both, so that Windows can't install the package again. Where that
// call fails, the file stays and its entry is a failure with the store's code; where the call
// is missing or leaves the file, the file is deleted as any other.
TEST_F(InfFileListTest, DriverStoreFilesGoThroughTheStoreFirst) {
  enum Store { kWine, kLeavesFiles, kRemovesFiles, kMissing, kRefuses };
  struct Case {
    const char* folder;
    const char* name;
    Store store;
    bool readOnly;
    bool held;
    bool storeCalled;
    DWORD error;           // the INF file's entry
    DWORD storeError;      // and the store's code in it
    bool pnfEntry;         // the .pnf has an entry of its own (always a removal)
    bool catalog = false;  // the catalog database holds oemNN.cat (it goes with the file)
    // The store gives the removed package's number to another one meanwhile: the catalog of
    // that name is another file then, and stays.
    bool catalogReused = false;
  };
  const Case cases[] = {
      // Wine's own call deletes the INF file only (there is no store); the .pnf goes here.
      {"inf", "oemkorvatest1.inf", kWine, false, false, true, 0, 0, true, true},
      // A read-only file is made writable first, as before every deletion: the store takes it.
      {"inf", "OEMKORVATEST2.INF", kWine, true, false, true, 0, 0, true},
      // A store that refuses (access denied, a package in use) leaves the file and its .pnf:
      // deleting the published name would orphan the package. The entry is a failure.
      {"inf", "oemkorvatest10.inf", kRefuses, false, false, true, ERROR_ACCESS_DENIED,
       ERROR_ACCESS_DENIED, false, true},
      // A file in use: the store fails, the entry has its code, the .pnf stays.
      {"inf", "oemkorvatest3.inf", kWine, false, true, true, ERROR_SHARING_VIOLATION,
       ERROR_SHARING_VIOLATION, false},
      // A call that succeeds but leaves the file (as Wine's does without the force flag).
      {"inf", "oemkorvatest4.inf", kLeavesFiles, false, false, true, 0, 0, true},
      // Windows: the INF file and its .pnf go with the package; neither is deleted twice.
      {"inf", "oemkorvatest5.inf", kRemovesFiles, false, false, true, 0, 0, true},
      {"inf", "oemkorvatest11.inf", kRemovesFiles, false, false, true, 0, 0, true, true, true},
      // Systems without the call have no store either: no line about one.
      {"inf", "oemkorvatest9.inf", kMissing, false, false, true, 0, 0, true},
      // Nothing else comes from the store.
      {"inf\\other", "oemkorvatest6.inf", kWine, false, false, false, 0, 0, true},
      {"inf", "korvatest_oem7.inf", kWine, false, false, false, 0, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::RemovePlacedInfFiles();
    std::string inf = PlaceFile(c.folder, c.name, kKitInf);
    std::string pnf = inf.substr(0, inf.size() - 4) + ".pnf";
    PlaceFile(c.folder, pnf.substr(pnf.rfind('\\') + 1), "compiled");
    if (c.readOnly) SetFileAttributesA(inf.c_str(), FILE_ATTRIBUTE_READONLY);
    // Wine's installation adds no catalog there: placed as Windows names it.
    const std::string database = "System32\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
    std::string name = c.name;
    std::string catalog =
        c.catalog ? PlaceFile(database, name.substr(0, name.size() - 4) + ".cat", "catalog") : "";
    setup.storeCalls.clear();
    setup.storeRemakesFile = c.catalogReused ? catalog : "";
    setup.storeLeavesFiles = c.store == kLeavesFiles;
    setup.storeRemovesFiles = c.store == kRemovesFiles;
    setup.storeError = c.store == kMissing   ? ERROR_PROC_NOT_FOUND
                       : c.store == kRefuses ? ERROR_ACCESS_DENIED
                                             : 0;
    InfFileList list(setup, settings);
    ASSERT_EQ(list.Scan(), 1);
    {
      std::unique_ptr<testing::FileHolder> holder;
      if (c.held) holder = std::make_unique<testing::FileHolder>(inf, true);
      list.RemoveSelected();
    }
    if (c.storeCalled) {
      EXPECT_EQ(setup.storeCalls,
                (std::vector<std::pair<std::string, DWORD>>{{c.name, SUOI_FORCEDELETE}}));
    } else {
      EXPECT_TRUE(setup.storeCalls.empty());
    }
    const bool catalogEntry = c.catalog && c.error == 0 && !c.catalogReused;
    ASSERT_EQ(list.Results().size(), (c.pnfEntry ? 2u : 1u) + (catalogEntry ? 1u : 0u));
    if (c.catalog) {
      EXPECT_EQ(FileExists(catalog), !catalogEntry);
      if (c.catalogReused) {
        EXPECT_EQ(testing::ReadFileBytes(catalog), "another package");
      }
      if (catalogEntry) {
        EXPECT_EQ(lstrcmpiA(list.Results().back().path.c_str(), catalog.c_str()), 0)
            << list.Results().back().path;
        EXPECT_EQ(list.Results().back().error, 0u);
      }
      testing::RemoveFile(catalog);
    }
    EXPECT_EQ(list.Results()[0].path, inf);
    EXPECT_EQ(list.Results()[0].error, c.error);
    EXPECT_EQ(list.Results()[0].storeError, c.storeError);
    if (c.pnfEntry) {
      EXPECT_EQ(list.Results()[1].path, pnf);
      EXPECT_EQ(list.Results()[1].error, 0u);
      EXPECT_EQ(list.Results()[1].storeError, 0u);
    }
    EXPECT_EQ(FileExists(inf), c.error != 0);
    EXPECT_EQ(FileExists(pnf), !c.pnfEntry);
  }
}

// The driver store's packages that no INF file of "inf" publishes any more: a store seeded in
// the prefix (Wine has none, nor the calls), the published-name lookup and the store's removal
// from the fake.
TEST_F(InfFileListTest, OrphanedDriverStorePackagesAreFoundAndRemovedByTheStore) {
  const std::string kPublished = "korvatest.inf_amd64_0123456789abcdef";
  const std::string kOrphan = "korvatest_old.inf_amd64_fedcba9876543210";
  enum Removal { kRemoved, kNeedsRestart, kRefused, kNoCall };
  struct Case {
    bool driverStore;
    Removal removal;
    DWORD error;
    bool folderStays;
  };
  const Case cases[] = {
      {true, kRemoved, 0, false},
      {true, kNeedsRestart, 0, false},
      {true, kRefused, ERROR_ACCESS_DENIED, true},
      // Wine's newdev.dll has no DiUninstallDriverA: never deleted by hand.
      {true, kNoCall, ERROR_NOT_SUPPORTED, true},
      // A system without a driver store is not searched for one (Wine's real answer).
      {false, kRemoved, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.driverStore << " " << c.removal);
    testing::RemovePlacedInfFiles();
    std::string published = testing::PlaceStorePackage(kPublished, "korvatest.inf", kKitInf);
    std::string orphan = testing::PlaceStorePackage(kOrphan, "korvatest_old.inf", kKitInf);
    // Another product's orphaned package, and an INF file that is not directly in its folder.
    testing::PlaceStorePackage("korvatest_net.inf_amd64_1111111111111111", "korvatest_net.inf",
                               "[Version]\r\nClass=Net\r\n");
    testing::PlaceStorePackage("korvatest_deep.inf_amd64_2222222222222222\\sub", "deep.inf",
                               kKitInf);
    setup.driverStore = c.driverStore;
    // Its published INF file is there (another product's text, so that the scan of "inf" does
    // not take it: only the store's packages are looked at here).
    setup.publishedNames = {
        {published, PlaceFile("inf", "oemkorvatest12.inf", "[Version]\r\nClass=Net\r\n")}};
    setup.fakePackageRemoval = c.removal != kNoCall;
    setup.packageRemovalError = c.removal == kRefused ? ERROR_ACCESS_DENIED : 0;
    setup.packageRemovalNeedsRestart = c.removal == kNeedsRestart;
    setup.packageRemovals.clear();
    InfFileList list(setup, settings);
    const std::string orphanFolder = testing::DriverStoreRepository() + "\\" + kOrphan;
    if (!c.driverStore) {
      EXPECT_EQ(list.Scan(), 0);
      continue;
    }
    ASSERT_EQ(list.Scan(), 1);
    EXPECT_EQ(list.Items()[0].name, kOrphan);
    EXPECT_EQ(list.Items()[0].path, orphan);
    EXPECT_EQ(list.Items()[0].storeFolder, orphanFolder);
    EXPECT_TRUE(list.NotExamined().empty());
    list.RemoveSelected();
    EXPECT_EQ(setup.packageRemovals,
              c.removal == kNoCall ? std::vector<std::string>{} : std::vector<std::string>{orphan});
    ASSERT_EQ(list.Results().size(), 1u);
    const InfFileRecord& result = list.Results()[0];
    EXPECT_EQ(result.path, orphan);
    EXPECT_EQ(result.storeFolder, orphanFolder);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(result.notRemovable, c.removal == kNoCall);
    EXPECT_EQ(result.restartNeeded, c.removal == kNeedsRestart);
    EXPECT_EQ(testing::FolderExists(orphanFolder), c.folderStays);
    EXPECT_TRUE(FileExists(published));
    EXPECT_TRUE(setup.storeCalls.empty());
  }
  setup.driverStore = false;
}

// The case the manual names: oemNN.inf deleted by hand. The store still maps the package to
// that name, but no file stands for it: the package is orphaned, found and removed by the store.
// Once a file of that name is there again, the package is its file's.
TEST_F(InfFileListTest, AStorePackageWhosePublishedFileWasDeletedIsOrphaned) {
  testing::RemovePlacedInfFiles();
  const std::string kFolder = "korvatest_gone.inf_amd64_3333333333333333";
  std::string storeInf = testing::PlaceStorePackage(kFolder, "korvatest_gone.inf", kKitInf);
  const std::string publishedName = testing::WindowsFolder() + "\\inf\\oemkorvatest13.inf";
  setup.driverStore = true;
  setup.publishedNames = {{storeInf, publishedName}};
  setup.fakePackageRemoval = true;
  setup.packageRemovals.clear();
  InfFileList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  EXPECT_EQ(list.Items()[0].path, storeInf);
  EXPECT_EQ(list.Items()[0].storeFolder, testing::DriverStoreRepository() + "\\" + kFolder);
  // A device installed from it (by the name that is gone) keeps it.
  list.RemoveSelected({"OEMKORVATEST13.INF"});
  EXPECT_TRUE(setup.packageRemovals.empty());
  ASSERT_EQ(list.Results().size(), 1u);
  EXPECT_TRUE(list.Results()[0].usedByDevice);
  // Its catalog keeps the certificate it is signed with.
  const std::string catalog = list.Items()[0].storeFolder + "\\korvawiz.cat";
  testing::WriteFileBytes(catalog, "signed");
  EXPECT_EQ(list.CatalogsOfPackagesLeft(), std::vector<std::wstring>{WideFromAnsi(catalog)});
  ASSERT_EQ(list.Scan(), 1);
  list.RemoveSelected();
  EXPECT_EQ(setup.packageRemovals, std::vector<std::string>{storeInf});
  ASSERT_EQ(list.Results().size(), 2u);
  EXPECT_EQ(list.Results().back().error, 0u);
  EXPECT_TRUE(list.CatalogsOfPackagesLeft().empty());

  storeInf = testing::PlaceStorePackage(kFolder, "korvatest_gone.inf", kKitInf);
  setup.publishedNames = {{storeInf, PlaceFile("inf", "oemkorvatest13.inf", kKitInf)}};
  ASSERT_EQ(list.Scan(), 1);
  EXPECT_EQ(list.Items()[0].path, publishedName);
  EXPECT_TRUE(list.Items()[0].storeFolder.empty());
  setup.driverStore = false;
  testing::RemovePlacedInfFiles();
}

// What Wine's SetupUninstallOEMInfA does with a file of "inf": with SUOI_FORCEDELETE it deletes
// the INF file alone, as a plain deletion that a read-only file refuses; without that flag it
// deletes nothing and succeeds. It has no driver store.
TEST_F(InfFileListTest, WinesStoreCallDeletesTheInfFileAlone) {
  SetupApiDeviceSetup platform;
  std::string inf = PlaceFile("inf", "oemkorvatest8.inf", kKitInf);
  std::string pnf = PlaceFile("inf", "oemkorvatest8.pnf", "compiled");
  EXPECT_EQ(platform.UninstallOemInf("oemkorvatest8.inf", 0), 0u);
  EXPECT_TRUE(FileExists(inf));
  SetFileAttributesA(inf.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(platform.UninstallOemInf("oemkorvatest8.inf", SUOI_FORCEDELETE),
            static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(FileExists(inf));
  SetFileAttributesA(inf.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(platform.UninstallOemInf("oemkorvatest8.inf", SUOI_FORCEDELETE), 0u);
  EXPECT_FALSE(FileExists(inf));
  EXPECT_TRUE(FileExists(pnf));
}

TEST_F(InfFileListTest, UncheckedFilesStay) {
  std::string keep = PlaceFile("inf", "korvatest_keep.inf", kKitInf);
  std::string go = PlaceFile("inf", "korvatest_lose.inf", kKitInf);
  InfFileList list(setup, settings);
  ASSERT_EQ(list.Scan(), 2);
  for (auto& item : list.Items()) item.selected = item.path != keep;
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 1u);
  EXPECT_TRUE(FileExists(keep));
  EXPECT_FALSE(FileExists(go));
  // The package kept is the one whose catalog keeps its certificate.
  EXPECT_EQ(list.CatalogsOfPackagesLeft(),
            std::vector<std::wstring>{WideFromAnsi(
                SystemFolder() +
                "\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\korvatest_keep.cat")});
}

TEST_F(InfFileListTest, AFailedDeletionKeepsTheCompanion) {
  std::string inf = PlaceFile("inf", "korvatest_held.inf", kKitInf);
  std::string pnf = PlaceFile("inf", "korvatest_held.pnf", "binary");
  InfFileList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  {
    testing::FileHolder holder(inf);
    ASSERT_TRUE(holder.Holding());
    list.RemoveSelected();
  }
  ASSERT_EQ(list.Results().size(), 1u);
  EXPECT_EQ(list.Results()[0].error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(FileExists(inf));
  EXPECT_TRUE(FileExists(pnf));

  // A companion that is there but whose attributes can't be set (here a link that leads to
  // itself, which the platform cannot open) is still a file of this package: its deletion gets
  // a record, never a silent pass.
  testing::RemoveFile(pnf);
  testing::UnixRun link = testing::RunUnixShell("ln -s korvatest_held.pnf " +
                                                testing::ShellQuoted(testing::UnixPathOf(pnf)));
  ASSERT_EQ(link.status, 0) << link.output;
  ASSERT_FALSE(SetFileAttributesA(pnf.c_str(), FILE_ATTRIBUTE_NORMAL));
  DWORD attributesError = GetLastError();
  EXPECT_NE(attributesError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  InfFileList again(setup, settings);
  ASSERT_EQ(again.Scan(), 1);
  again.RemoveSelected();
  ASSERT_EQ(again.Results().size(), 2u) << attributesError;
  EXPECT_EQ(again.Results()[0].error, 0u);
  EXPECT_EQ(again.Results()[1].path, pnf);
  testing::RunUnixShell("rm -f " + testing::ShellQuoted(testing::UnixPathOf(pnf)));
}

TEST_F(InfFileListTest, FilesThatCannotBeReadAreSkipped) {
  std::string held = PlaceFile("inf", "korvatest_locked.inf", kKitInf);
  std::string vanishing = PlaceFile("inf", "korvatest_vanishing.inf", kKitInf);
  PlaceFile("inf", "korvatest_fine.inf", kKitInf);
  // A folder whose name ends in .inf is no INF file, and no reason to doubt every run.
  const std::string folder = testing::WindowsFolder() + "\\inf\\korvatest_folder.inf";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  testing::FileHolder holder(held);
  ASSERT_TRUE(holder.Holding());
  InfFileList list(setup, settings);
  list.beforeExamine = [&](const std::string& path) {
    if (path == vanishing) testing::RemoveFile(path);
  };
  ASSERT_EQ(list.Scan(), 1);
  RemoveDirectoryA(folder.c_str());
  EXPECT_EQ(list.Items()[0].name, "korvatest_fine.inf");
  // The held file may be the kit's: it is recorded as not examined. The one that vanished
  // holds nothing.
  ASSERT_EQ(list.NotExamined().size(), 1u);
  EXPECT_EQ(list.NotExamined()[0].path, held);
  EXPECT_EQ(list.NotExamined()[0].error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

TEST_F(InfFileListTest, BadContentNeverCrashesOrMatches) {
  std::mt19937 rng(7);
  std::string binary(64 * 1024, '\0');
  for (char& c : binary) c = static_cast<char>(rng());
  PlaceFile("inf", "korvatest_binary.inf", binary);
  PlaceFile("inf", "korvatest_empty.inf", "");
  // Every term, but each line behind a NUL, then the whole file again behind a Ctrl+Z.
  std::string nulLines;
  for (size_t start = 0; start < kKitInf.size();) {
    size_t end = kKitInf.find('\n', start) + 1;
    nulLines += std::string(1, '\0') + kKitInf.substr(start, end - start);
    start = end;
  }
  PlaceFile("inf", "korvatest_nul.inf", nulLines + "\x1A" + kKitInf);
  std::string big;
  while (big.size() < 50u * 1024 * 1024)
    big += "HKR,,SomeValue,,\"{00000000-0000-0000-0000-000000000000}\"\r\n";
  PlaceFile("inf", "korvatest_big.inf", big + kKitInf);
  PlaceFile("inf", "korvatest_oneline.inf",
            std::string(10u * 1024 * 1024, 'A') + "USB\\" +
                "ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}");
  InfFileList list(setup, settings);
  ASSERT_EQ(list.Scan(), 1);
  EXPECT_EQ(list.Items()[0].name, "korvatest_big.inf");
}

TEST_F(InfFileListTest, ScanAgreesWithTextModeFgets) {
  // Random files made of INF fragments, line ends of every kind, NULs and Ctrl+Z, long lines
  // and the C library's buffer sizes: the fast matcher must see what fopen "rt" and fgets see.
  std::mt19937 rng(2026);
  const std::vector<std::string> fragments = {
      "ClassGuid=",
      "{96e73b6e-7a5a-11d4-9f24-0080c82727f4}",
      "CleanupWizard_DeviceIdentString",
      "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}",
      "USB\\",
      "usb\\",
      ";",
      std::string(1, '\0'),
      "classguid={96E73B6E-7A5A-11d4-9f24-0080c82727f4}",
      "HKR,,CleanupWizard_DeviceIdentString,,{dab6a146-d93e-48ab-b3e5-374ab8fff277}",
      "\x1A",
      "\r",
      "\n",
      "\r\n",
      "\r\r\n",
      " ",
      "\xE4",
      "_",
      "-",
      "V2",
      "\"",
      ","};
  InfSearchTerms terms{settings.classGuidText, settings.identValueName, settings.deviceIdentString,
                       false};
  InfTextMatcher matcher(terms, PlatformUtf16ToAnsi());
  int kit = 0;
  for (int round = 0; round < 300; ++round) {
    std::string text;
    int parts = std::uniform_int_distribution<int>(1, 40)(rng);
    for (int i = 0; i < parts; ++i) {
      int kind = std::uniform_int_distribution<int>(0, 19)(rng);
      if (kind == 0) {
        text.append(std::uniform_int_distribution<size_t>(1990, 2010)(rng), 'a');
      } else if (kind == 1) {
        text.append(std::uniform_int_distribution<size_t>(4090, 4100)(rng), 'b');
      } else {
        text += fragments[std::uniform_int_distribution<size_t>(0, fragments.size() - 1)(rng)];
      }
    }
    std::string path = PlaceFile("inf", "korvatest_fuzz.inf", text);
    InfMarks expected = testing::TextModeFileMarks(path, terms);
    InfMarks marks = ReadInfFileMarks(path, matcher);
    ASSERT_EQ(marks.classFound, expected.classFound) << "round " << round;
    ASSERT_EQ(marks.identFound, expected.identFound) << "round " << round;
    ASSERT_EQ(marks.usbFound, expected.usbFound) << "round " << round;
    bool expectedKit = matcher.IsKitInf(expected);
    kit += expectedKit;
    ASSERT_EQ(IsKitInfFile(path, matcher), expectedKit) << "round " << round;
  }
  EXPECT_GT(kit, 10);

  // UTF-16 files against the platform's conversion of the whole file and fgets on the result,
  // in the prefix's code page, a double-byte one (whose trail bytes may be '\\' or letters) and
  // UTF-8: the fragments above as code units, characters with and without an ANSI form,
  // surrogates alone and in pairs, now and then an odd last byte.
  const std::vector<std::u16string> characters = {u"\u00E4",
                                                  u"\u0100",
                                                  u"\u30BD",
                                                  u"\u8868",
                                                  u"\u30B6SB\\",
                                                  u"\uFF3C",
                                                  u"\uFF1B",
                                                  u"\uFEFF",
                                                  u"\U0001F600",
                                                  std::u16string(1, char16_t{0xD800}),
                                                  std::u16string(1, char16_t{0xDC00}),
                                                  u"\u001A",
                                                  u"\r\n"};
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(temp), temp);
  const std::string scratch = std::string(temp) + "korvatest_converted.txt";
  int utf16Kit = 0;
  for (UINT codePage : {static_cast<UINT>(CP_ACP), 932u, static_cast<UINT>(CP_UTF8)}) {
    InfTextMatcher pageMatcher(terms, PlatformUtf16ToAnsi(codePage));
    for (int round = 0; round < 100; ++round) {
      std::u16string text;
      int parts = std::uniform_int_distribution<int>(1, 40)(rng);
      for (int i = 0; i < parts; ++i) {
        int kind = std::uniform_int_distribution<int>(0, 19)(rng);
        if (kind == 0) {
          text.append(std::uniform_int_distribution<size_t>(1990, 2010)(rng), u'a');
        } else if (kind < 5) {
          text += characters[std::uniform_int_distribution<size_t>(0, characters.size() - 1)(rng)];
        } else {
          text +=
              Widen(fragments[std::uniform_int_distribution<size_t>(0, fragments.size() - 1)(rng)]);
        }
      }
      std::string file = Utf16File(text);
      if (round % 10 == 9) file += 'x';
      std::string path = PlaceFile("inf", "korvatest_fuzz16.inf", file);
      InfMarks expected = testing::ConvertedFileMarks(path, terms, codePage, scratch);
      InfMarks marks = ReadInfFileMarks(path, pageMatcher);
      ASSERT_EQ(marks.classFound, expected.classFound) << codePage << " round " << round;
      ASSERT_EQ(marks.identFound, expected.identFound) << codePage << " round " << round;
      ASSERT_EQ(marks.usbFound, expected.usbFound) << codePage << " round " << round;
      bool expectedKit = pageMatcher.IsKitInf(expected);
      utf16Kit += expectedKit;
      ASSERT_EQ(IsKitInfFile(path, pageMatcher), expectedKit) << codePage << " round " << round;
    }
  }
  testing::RemoveFile(scratch);
  EXPECT_GT(utf16Kit, 10);
}

}  // namespace
}  // namespace korva

namespace korva {
namespace {

der::Bytes Bytes(const std::string& text) { return der::Bytes(text.begin(), text.end()); }

// The kit's certificates in the trust stores, found by the whole organisation and ident, never
// by a look-alike; removed as asked; a store that can't be read is said, not passed over.
TEST(KitCertificateListTest, OnlyTheKitsCertificatesForTheIdentAreFoundAndRemoved) {
  const std::string ident = kKitIdent;
  const std::string org = kKitCertificateOrganization;
  struct Made {
    const char* what;
    std::string subject;
    bool kits;
  } made[] = {
      {"the kit's", "/CN=KORVA driver package USB\\\\VID_0547&PID_7001/O=" + org + "/OU=" + ident,
       true},
      {"the kit's, ident in other letter case",
       "/CN=KORVA driver package USB\\\\VID_0547&PID_7002/O=" + org +
           "/OU={dab6a146-d93e-48ab-b3e5-374ab8fff277}",
       true},
      {"same common name, another organisation",
       "/CN=KORVA driver package USB\\\\VID_0547&PID_7001/O=Another Vendor/OU=" + ident, false},
      {"the kit's organisation, another ident",
       "/CN=KORVA driver package USB\\\\VID_0547&PID_7001/O=" + org +
           "/OU={00000000-1111-2222-3333-444444444444}",
       false},
      {"the ident inside a longer unit",
       "/CN=KORVA driver package USB\\\\VID_0547&PID_7001/O=" + org + "/OU=Lab " + ident, false},
  };
  testing::FaultInjectingTrustStores stores;
  std::vector<std::string> certificates;
  for (const Made& m : made) {
    certificates.push_back(testing::OpenSslCertificate(m.subject));
    ASSERT_FALSE(certificates.back().empty()) << m.what;
    for (const char* store : kKitCertificateStores) {
      ASSERT_EQ(stores.Add(store, Bytes(certificates.back())), 0u) << m.what;
    }
  }
  CleanupSettings settings;
  settings.deviceIdentString = "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}";
  KitCertificateList list(stores, settings);
  std::vector<std::string> found;
  list.onFound = [&](const CertificateRecord& r) { found.push_back(r.store + " " + r.commonName); };
  ASSERT_EQ(list.Scan(), 4);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{
                       "Root KORVA driver package USB\\VID_0547&PID_7001",
                       "Root KORVA driver package USB\\VID_0547&PID_7002",
                       "TrustedPublisher KORVA driver package USB\\VID_0547&PID_7001",
                       "TrustedPublisher KORVA driver package USB\\VID_0547&PID_7002"}));
  for (const CertificateRecord& r : list.Items()) {
    EXPECT_TRUE(r.selected);
    EXPECT_EQ(r.thumbprint.size(), 40u);
    EXPECT_NE(r.subjectText.find("O=KORVA Development Kit"), std::string::npos) << r.subjectText;
  }
  EXPECT_TRUE(list.NotExamined().empty());

  // The user keeps one (PID_7002 in Root); TrustedPublisher refuses to let the others go.
  for (CertificateRecord& r : list.Items()) {
    r.selected = !(r.store == "Root" && r.commonName.find("7002") != std::string::npos);
  }
  stores.refusesRemoveFrom = "TrustedPublisher";
  list.RemoveSelected();
  ASSERT_EQ(list.Results().size(), 3u);
  for (const CertificateRecord& r : list.Results()) {
    EXPECT_EQ(r.error, r.store == "Root" ? 0u : static_cast<DWORD>(ERROR_ACCESS_DENIED)) << r.store;
  }
  stores.refusesRemoveFrom.clear();
  KitCertificateList again(stores, settings);
  ASSERT_EQ(again.Scan(), 3);
  EXPECT_EQ(again.Items()[0].commonName, "KORVA driver package USB\\VID_0547&PID_7002");
  EXPECT_EQ(again.Items()[0].store, "Root");
  // Others' certificates stayed where they were.
  for (size_t i = 2; i < certificates.size(); ++i) {
    for (const char* store : kKitCertificateStores) {
      std::vector<StoredCertificate> all;
      stores.List(store, all);
      EXPECT_NE(std::find_if(all.begin(), all.end(),
                             [&](const StoredCertificate& c) {
                               return c.encoded == Bytes(certificates[i]);
                             }),
                all.end())
          << made[i].what << " in " << store;
    }
  }

  // A store that can't be listed: not examined, the other store still is.
  stores.refusesListing = "Root";
  KitCertificateList blind(stores, settings);
  EXPECT_EQ(blind.Scan(), 2);
  ASSERT_EQ(blind.NotExamined().size(), 1u);
  EXPECT_EQ(blind.NotExamined()[0].path, "certificate store Root");
  EXPECT_EQ(blind.NotExamined()[0].error, static_cast<DWORD>(ERROR_ACCESS_DENIED));

  stores.refusesListing.clear();
  for (const std::string& certificate : certificates) {
    for (const char* store : kKitCertificateStores) stores.Remove(store, Bytes(certificate));
  }
}

}  // namespace
}  // namespace korva
