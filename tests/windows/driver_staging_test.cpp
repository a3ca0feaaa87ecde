// The install step on real kit folders: which binaries are staged from where, the fatal
// errors with their boxes and quit requests, and an installation at the end.
#include "install/engine/driver_staging.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <sddl.h>

#include "common/core/object_trust.h"
#include "common/object_security.h"
#include "common/run_log.h"
#include "common/ansi_text.h"
#include "install/engine/install_folder.h"
#include "install/engine/kit_check.h"
#include "install/engine/unattended_install.h"
#include "install/error_box.h"
#include "support/fault_injecting_device_setup.h"
#include "support/fault_injecting_signing.h"
#include "support/install_test_support.h"
#include "support/recording_message_box.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

const GUID kUsbClass = UsbClassGuid();

class DriverStagingTest : public ::testing::Test {
 protected:
  // A kit below C:\korvatest\<test>: the program folder Bin, the alternate folder korva beside
  // it, the install folder below Bin, the template in Bin; a fresh device chosen.
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::string root = ScratchFolder(name);
    paths = DeriveInstallPaths(root + "\\Bin\\KORVAwiz.exe");
    CreateDirectoryA(paths.programFolder.c_str(), nullptr);
    ASSERT_EQ(installFolder.Prepare(paths.installFolder, folderSecurity, trust).error, 0u);
    CreateDirectoryA(paths.alternateFolder.c_str(), nullptr);
    CopyKitFile("korvawiz.tpl", paths.programFolder);
    hardwareId = "USB\\VID_0547&PID_3" + std::to_string(++serial);
    instanceId = hardwareId + "\\STAGE";
    SeedDevice(instanceId, kUsbClass, {hardwareId}, "");
    ASSERT_TRUE(EnumerateAndSelect(list, instanceId));
    TakeQuitRequest();
  }

  void PutBinaries(const std::string& folder, const std::vector<std::string>& files) {
    for (const std::string& file : files) CopyKitFile(file, folder);
  }

  // The step's result; whether it was fatal goes to `fatal`.
  int Stage() {
    InstallStepOutcome outcome = StageAndInstall(
        paths, staged, list, signer, [this](const std::string& text) { boxes.push_back(text); },
        trust, installFolder);
    fatal = outcome.fatal;
    stage = outcome.stage;
    return outcome.result;
  }

  std::string Staged(const std::string& file) {
    return ReadFileBytes(paths.installFolder + "\\" + file);
  }
  std::string Inf() { return ReadFileBytes(paths.infPath); }

  static int serial;
  InstallFolderSecurity folderSecurity;
  KitTrust trust;
  InstallFolder installFolder;
  FaultInjectingDeviceSetup setup;
  UsbDeviceList list{setup};
  FaultInjectingTrustStores stores;
  PackageSigner signer{stores};
  InstallStage stage = InstallStage::kStaging;
  InstallPaths paths;
  StagedDriverFiles staged;
  std::vector<std::string> boxes;
  bool fatal = false;
  std::string instanceId;
  std::string hardwareId;
};
int DriverStagingTest::serial = 0;

TEST_F(DriverStagingTest, BinariesInTheProgramFolder) {
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  EXPECT_EQ(Stage(), 0);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(staged, (StagedDriverFiles{"korva.sys", "korva98.sys"}));
  EXPECT_EQ(Staged("korva.sys"), ReadFileBytes(KitFolder() + "\\korva.sys"));
  EXPECT_EQ(Staged("korva98.sys"), ReadFileBytes(KitFolder() + "\\korva98.sys"));
  EXPECT_NE(Inf().find("\r\nkorva.sys=1\r\n"), std::string::npos);
  EXPECT_NE(Inf().find("AddService=korva,"), std::string::npos);
  EXPECT_EQ(TakeQuitRequest(), -1);
  EXPECT_FALSE(fatal);
  EXPECT_TRUE(testbed::HasDriverKey(instanceId));
}

TEST_F(DriverStagingTest, BinariesInTheAlternateFolderOnly) {
  PutBinaries(paths.alternateFolder, {"korva.sys", "korva98.sys"});
  EXPECT_EQ(Stage(), 0);
  EXPECT_EQ(staged, (StagedDriverFiles{"korva.sys", "korva98.sys"}));
  EXPECT_EQ(Staged("korva98.sys"), ReadFileBytes(KitFolder() + "\\korva98.sys"));
  EXPECT_NE(Inf().find("\r\nkorva.sys=1\r\n"), std::string::npos);
}

// The INF file names the binary without "98" of a pair: its name comes from the first such
// binary staged, never from a "98" file whose partner is missing; that binary is always one of
// the two recorded for Save INF file.
TEST_F(DriverStagingTest, TheDriverNameFollowsTheFirstStagedBinaryTheInfFileCanName) {
  struct Case {
    std::vector<std::string> inProgramFolder, inAlternateFolder;
    StagedDriverFiles staged;
    std::string named;
  };
  const Case cases[] = {
      {{"korvav.sys"}, {"korvav98.sys"}, {"korvav.sys", "korvav98.sys"}, "korvav"},
      {{"korva98.sys", "korval.sys"}, {}, {"korva98.sys", "korval.sys"}, "korval"},
      // The named file is recorded for Save INF file even when two others came first.
      {{"korva98.sys", "korval98.sys", "korvav.sys"}, {}, {"korva98.sys", "korvav.sys"}, "korvav"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    PutBinaries(paths.programFolder, c.inProgramFolder);
    PutBinaries(paths.alternateFolder, c.inAlternateFolder);
    staged = {};
    EXPECT_EQ(Stage(), 0);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(staged, c.staged);
    EXPECT_NE(Inf().find("\r\n" + c.named + ".sys=1\r\n"), std::string::npos);
    EXPECT_NE(Inf().find("AddService=" + c.named + ","), std::string::npos);
    EXPECT_EQ(Inf().find("korva.sys"), std::string::npos);
    for (const std::string& file : c.inProgramFolder) RemoveFile(paths.programFolder + "\\" + file);
    for (const std::string& file : c.inAlternateFolder) {
      RemoveFile(paths.alternateFolder + "\\" + file);
    }
  }
}

// Only what administrators alone can change is read. A program folder, or a file of it, that
// others can change stops the step before anything is staged, signed or trusted; an alternate
// folder that others can change is passed over as if it were not there. (Under Wine, who may
// change a file comes from its Unix owner and mode.)
TEST_F(DriverStagingTest, OnlyAKitThatAdministratorsAloneCanChangeIsRead) {
  struct Case {
    const char* what;
    std::string path;  // what a user can change
    bool folder;
    bool otherOwner;  // another user's, rather than open to everyone
    std::vector<std::string> inProgramFolder, inAlternateFolder;
    bool refused;  // the whole step; else too few binaries are left
  };
  const std::vector<std::string> pair = {"korva.sys", "korva98.sys"};
  const Case cases[] = {
      {"the program folder", paths.programFolder, true, false, pair, {}, true},
      {"the template", paths.templatePath, false, false, pair, {}, true},
      {"a binary of another user",
       paths.programFolder + "\\korva98.sys",
       false,
       true,
       pair,
       {},
       true},
      {"the alternate folder", paths.alternateFolder, true, false, {}, pair, false},
      {"a binary of the alternate folder",
       paths.alternateFolder + "\\korva.sys",
       false,
       false,
       {},
       pair,
       false},
      // Whoever may change the folder holding it may swap the whole alternate folder.
      {"the folder holding the alternate folder",
       paths.alternateFolder.substr(0, paths.alternateFolder.rfind('\\')),
       true,
       false,
       {},
       pair,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutBinaries(paths.programFolder, c.inProgramFolder);
    PutBinaries(paths.alternateFolder, c.inAlternateFolder);
    ASSERT_TRUE(c.otherOwner ? ChangeUnixOwner(c.path) : ChangeUnixMode(c.path, "o+w"));
    boxes.clear();
    staged = {};
    int result = Stage();
    EXPECT_TRUE(fatal);
    ASSERT_EQ(boxes.size(), 1u);
    if (c.refused) {
      EXPECT_EQ(result, kKitNotTrustedCode);
      EXPECT_EQ(ShownCode(result), kExitKitNotTrusted);
      EXPECT_EQ(stage, InstallStage::kKitCheck);
      KitTrustProblem problem;
      problem.path = c.path;
      problem.folder = c.folder;
      problem.principal = c.otherOwner ? PrincipalName(sid::kAnonymousLogon) : "Everyone";
      problem.rights = c.otherOwner ? "its owner" : "write, delete";
      EXPECT_EQ(boxes[0], KitNotTrustedMessage(problem));
      EXPECT_NE(boxes[0].find("\n" + c.path + "\n"), std::string::npos);
    } else {
      EXPECT_EQ(result, kTooFewDriverBinaries);
      EXPECT_EQ(stage, InstallStage::kStaging);
    }
    EXPECT_EQ(staged, (StagedDriverFiles{"", ""}));
    EXPECT_FALSE(FileExists(paths.installFolder + "\\korva.sys"));
    EXPECT_FALSE(FileExists(paths.catalogPath));
    for (const char* store : kKitCertificateStores) {
      EXPECT_TRUE(KitCertificatesFor(hardwareId, store).empty()) << store;
    }
    EXPECT_FALSE(testbed::HasDriverKey(instanceId));
    EXPECT_EQ(TakeQuitRequest(), -1);  // the frame ends the wizard
    ASSERT_TRUE(c.otherOwner ? ChangeUnixOwner(c.path, 0) : ChangeUnixMode(c.path, "o-w"));
    for (const std::string& file : c.inProgramFolder) RemoveFile(paths.programFolder + "\\" + file);
    for (const std::string& file : c.inAlternateFolder) {
      RemoveFile(paths.alternateFolder + "\\" + file);
    }
  }
  // The same kit, once nobody else can change it, is used.
  PutBinaries(paths.alternateFolder, pair);
  EXPECT_EQ(Stage(), 0);
  EXPECT_EQ(staged, (StagedDriverFiles{"korva.sys", "korva98.sys"}));
}

// The install folder is held from its preparation on, and its path must lead to it before each
// part of the step: a folder put in its place (here from the Linux side, which Wine's sharing
// rules do not reach) stops the step where it is found, and nothing is installed from it.
TEST_F(DriverStagingTest, AFolderPutInPlaceOfTheInstallFolderStopsTheStep) {
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  // A new folder in its place, with a copy of what the step has written so far.
  auto swap = [this] {
    std::string folder = ShellQuoted(UnixPathOf(paths.installFolder));
    return RunUnixShell("mv " + folder + " " + folder + ".old && mkdir " + folder + " && cp -a " +
                        folder + ".old/. " + folder)
               .status == 0;
  };
  struct Case {
    const char* what;
    bool duringSigning;  // else before the step
    InstallStage stage;
  } cases[] = {
      {"before the step", false, InstallStage::kStaging},
      {"while the package is signed", true, InstallStage::kInstallation},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(installFolder.Prepare(paths.installFolder, folderSecurity, trust).error, 0u);
    EXPECT_EQ(installFolder.Confirm(), 0u);
    if (c.duringSigning) {
      signer.newCrypto = [&] {
        EXPECT_TRUE(swap());
        return std::make_unique<CryptoApiPackageCrypto>();
      };
    } else {
      ASSERT_TRUE(swap());
    }
    boxes.clear();
    setup.updateCalls = 0;
    EXPECT_EQ(Stage(), static_cast<int>(kInstallFolderChanged));
    EXPECT_EQ(stage, c.stage);
    EXPECT_TRUE(fatal);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], InstallFolderChangedMessage(paths.installFolder));
    EXPECT_EQ(setup.updateCalls, 0);
    EXPECT_FALSE(testbed::HasDriverKey(instanceId));
    EXPECT_EQ(TakeQuitRequest(), -1);
    RemoveFolderTree(paths.installFolder + ".old");
    signer.newCrypto = nullptr;
  }
}

// Every file the step writes is made anew, so that a handle someone opened on an older one
// reaches nothing: one that can't be deleted (here held open, sharing nothing) stops the step.
TEST_F(DriverStagingTest, AStagedFileThatCannotBeReplacedStopsTheStep) {
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  const std::string held = paths.installFolder + "\\korva98.sys";
  WriteFileBytes(held, "an older binary");
  {
    FileHolder holder(held);
    ASSERT_TRUE(holder.Holding());
    EXPECT_EQ(Stage(), static_cast<int>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_TRUE(fatal);
  EXPECT_EQ(stage, InstallStage::kStaging);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], StaleFileMessage(held, ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ReadFileBytes(held), "an older binary");
  EXPECT_FALSE(FileExists(paths.infPath));
  EXPECT_FALSE(testbed::HasDriverKey(instanceId));
  EXPECT_EQ(TakeQuitRequest(), -1);
}

TEST_F(DriverStagingTest, AThirdBinaryIsStagedButNotRecorded) {
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys", "korval.sys"});
  EXPECT_EQ(Stage(), 0);
  EXPECT_EQ(staged, (StagedDriverFiles{"korva.sys", "korva98.sys"}));
  EXPECT_EQ(Staged("korval.sys"), ReadFileBytes(KitFolder() + "\\korval.sys"));
  EXPECT_NE(Inf().find("\r\nkorva.sys=1\r\n"), std::string::npos);
}

TEST_F(DriverStagingTest, AReadOnlyFileInTheInstallFolderIsReplaced) {
  const std::string old = paths.installFolder + "\\korva.sys";
  WriteFileBytes(old, "an older driver");
  ASSERT_TRUE(SetFileAttributesA(old.c_str(), FILE_ATTRIBUTE_READONLY));
  WriteFileBytes(paths.infPath, "an older INF file");
  ASSERT_TRUE(SetFileAttributesA(paths.infPath.c_str(), FILE_ATTRIBUTE_READONLY));
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  EXPECT_EQ(Stage(), 0);
  EXPECT_EQ(Staged("korva.sys"), ReadFileBytes(KitFolder() + "\\korva.sys"));
  EXPECT_EQ(Inf().compare(0, 3, ";\r\n"), 0);
}

// A single binary, or two that the INF file cannot name (whose installation would fail late,
// and whose saved set would be broken).
TEST_F(DriverStagingTest, TooFewBinariesAreFatal) {
  struct Case {
    std::vector<std::string> files;
    StagedDriverFiles staged;
  };
  const Case cases[] = {
      {{"korva.sys"}, {"korva.sys", ""}},
      {{"korva98.sys", "korval98.sys"}, {"korva98.sys", "korval98.sys"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files[0]);
    PutBinaries(paths.programFolder, c.files);
    staged = {};
    boxes.clear();
    int result = Stage();
    EXPECT_NE(result, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0],
              "Unable to copy driver executables (*.sys).\n"
              "Please reinstall the KORVA Development Kit.");
    EXPECT_TRUE(fatal);
    EXPECT_EQ(stage, InstallStage::kStaging);
    EXPECT_EQ(TakeQuitRequest(), -1);  // the frame ends the wizard
    EXPECT_FALSE(FileExists(paths.infPath));
    EXPECT_FALSE(testbed::HasDriverKey(instanceId));
    EXPECT_EQ(staged, c.staged);
    for (const std::string& file : c.files) RemoveFile(paths.programFolder + "\\" + file);
  }
}

// The last row copied fine, so the platform's last error may read 0: the result must still
// say that the step failed.
TEST_F(DriverStagingTest, ASingleBinaryInTheLastRowIsFatalToo) {
  PutBinaries(paths.programFolder, {"korvav98.sys"});
  // Wine's CopyFileA leaves the last error at 0 after that copy.
  EXPECT_EQ(Stage(), kTooFewDriverBinaries);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(fatal);
  EXPECT_EQ(TakeQuitRequest(), -1);  // the frame ends the wizard
}

TEST_F(DriverStagingTest, NoBinaryAtAllIsFatal) {
  EXPECT_NE(Stage(), 0);
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(fatal);
  EXPECT_EQ(TakeQuitRequest(), -1);  // the frame ends the wizard
  EXPECT_EQ(staged, (StagedDriverFiles{"", ""}));
}

// The box shows the generation's own results as 1 to 4; the log's text never takes a platform
// code of the hardware ID's read (2, say) for one of them.
TEST_F(DriverStagingTest, AnInfFileThatCannotBeMadeIsFatal) {
  struct Case {
    bool templateMissing;
    DWORD hardwareIdError;
    int result;
    const char* shown;
    std::string text;
  };
  const Case cases[] = {
      {true, 0, kTemplateNotOpened, "1", "The INF template could not be opened."},
      {false, ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND, "2",
       SystemErrorText(ERROR_FILE_NOT_FOUND)},
      {false, ERROR_INVALID_FUNCTION, ERROR_INVALID_FUNCTION, "1",
       SystemErrorText(ERROR_INVALID_FUNCTION)},
  };
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  std::string templateText = ReadFileBytes(paths.templatePath);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    if (c.templateMissing) RemoveFile(paths.templatePath);
    setup.hardwareIdError = c.hardwareIdError;
    boxes.clear();
    EXPECT_EQ(Stage(), c.result);
    EXPECT_EQ(stage, InstallStage::kInfGeneration);
    EXPECT_EQ(InstallStepErrorText(stage, c.result), c.text);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], std::string("Unable to create a customized INF file (error ") + c.shown +
                            ").\nPlease reinstall the KORVA Development Kit.");
    EXPECT_TRUE(fatal);
    EXPECT_EQ(TakeQuitRequest(), -1);  // the frame ends the wizard
    EXPECT_FALSE(testbed::HasDriverKey(instanceId));
    WriteFileBytes(paths.templatePath, templateText);
  }
  setup.hardwareIdError = 0;
}

TEST_F(DriverStagingTest, AFailedInstallationIsTheResultButNotFatal) {
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  setup.updateError = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Stage(), static_cast<int>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(boxes.empty());  // the frame reports it
  EXPECT_FALSE(fatal);
  EXPECT_EQ(TakeQuitRequest(), -1);
  EXPECT_NE(Inf().find("\r\nkorva.sys=1\r\n"), std::string::npos);
}

// Staged for a hardware ID with no device chosen: the platform's INF folder takes the package,
// and its certificate stays trusted; a package the platform refuses leaves it trusted nowhere.
TEST_F(DriverStagingTest, APackageForTheDriverStoreIsTrustedOnlyWhenTheStoreTakesIt) {
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  for (DWORD refusal : {static_cast<DWORD>(ERROR_ACCESS_DENIED), 0ul}) {
    SCOPED_TRACE(refusal);
    setup.copyOemInfError = refusal;
    list.SetSelectedIndex(-1);
    list.UseHardwareId(hardwareId);
    InstallStepOutcome outcome = StageAndInstall(
        paths, staged, list, signer, [this](const std::string& text) { boxes.push_back(text); },
        trust, installFolder, PackageTarget::kDriverStore);
    EXPECT_EQ(outcome.result, static_cast<int>(refusal));
    EXPECT_EQ(outcome.stage, InstallStage::kInstallation);
    EXPECT_EQ(outcome.publishedPath.empty(), refusal != 0);
    if (refusal == 0) {
      EXPECT_EQ(ReadFileBytes(outcome.publishedPath), Inf());
    }
    for (const char* store : kKitCertificateStores) {
      EXPECT_EQ(KitCertificatesFor(hardwareId, store).size(), refusal != 0 ? 0u : 1u) << store;
    }
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(DriverStagingTest, NothingChosenIsFatalAtTheInfFile) {
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  list.SetSelectedIndex(-1);
  EXPECT_EQ(Stage(), kNoDeviceSelected);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Unable to create a customized INF file (error 10).\n"
            "Please reinstall the KORVA Development Kit.");
  EXPECT_TRUE(fatal);
  EXPECT_EQ(TakeQuitRequest(), -1);  // the frame ends the wizard
  EXPECT_EQ(setup.updateCalls, 0);
}

// A hardware ID that would write INF text of its own gets no INF file: fatal like any other
// failure to generate it, and nothing is installed.
TEST_F(DriverStagingTest, AHardwareIdThatCannotStandInAnInfFileIsFatal) {
  ASSERT_EQ(testbed::SetHardwareIds(instanceId, {"USB\\VID_0547&PID_3999\r\n[KorvaInstall.HW]"}),
            0u);
  ASSERT_TRUE(EnumerateAndSelect(list, instanceId));
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  EXPECT_EQ(Stage(), static_cast<int>(ERROR_INVALID_DATA));
  EXPECT_TRUE(fatal);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Unable to create a customized INF file (error 13).\n"
            "Please reinstall the KORVA Development Kit.");
  EXPECT_EQ(setup.updateCalls, 0);
  EXPECT_FALSE(testbed::HasDriverKey(instanceId));
}

// The package as Windows 10 and 11 need it: a catalog signed with a certificate that this machine
// trusts, checked by verifiers we did not write.
TEST_F(DriverStagingTest, ThePackageIsSignedAndItsCertificateTrusted) {
  // A real PE image in place of the kit's placeholder, so that the image hash is taken.
  CopyFileA(PeImageOfTheBuild().c_str(), (paths.programFolder + "\\korva.sys").c_str(), FALSE);
  PutBinaries(paths.programFolder, {"korva98.sys"});
  ASSERT_EQ(Stage(), 0);
  EXPECT_NE(Inf().find("\r\nCatalogFile=korvawiz.cat\r\n"), std::string::npos);
  std::string certificate = ReadFileBytes(paths.certificatePath);
  ASSERT_FALSE(certificate.empty());
  for (const char* store : kKitCertificateStores) {
    std::vector<StoredCertificate> kit = KitCertificatesFor(hardwareId, store);
    ASSERT_EQ(kit.size(), 1u) << store;
    EXPECT_EQ(std::string(kit[0].encoded.begin(), kit[0].encoded.end()), certificate) << store;
  }
  PackageCheck check = CheckSignedPackage(paths.catalogPath, certificate, paths.infPath,
                                          paths.installFolder + "\\korva.sys", true);
  EXPECT_TRUE(check.catalogVerifies) << check.output;
  EXPECT_TRUE(check.infIsMember) << check.output;
  EXPECT_TRUE(check.driverIsMember) << check.output;

  // A file changed after signing is no member any more.
  WriteFileBytes(paths.infPath, Inf() + "; changed\r\n");
  std::string driver = ReadFileBytes(paths.installFolder + "\\korva.sys");
  driver[driver.size() / 2] ^= 0x5A;
  WriteFileBytes(paths.installFolder + "\\korva.sys", driver);
  check = CheckSignedPackage(paths.catalogPath, certificate, paths.infPath,
                             paths.installFolder + "\\korva.sys", true);
  EXPECT_TRUE(check.catalogVerifies) << check.output;
  EXPECT_FALSE(check.infIsMember) << check.output;
  EXPECT_FALSE(check.driverIsMember) << check.output;
}

TEST_F(DriverStagingTest, InstallingAgainLeavesOneCertificateForTheIdAndOthersAlone) {
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  ASSERT_EQ(Stage(), 0);
  std::string first = hardwareId;
  std::string firstCertificate = ReadFileBytes(paths.certificatePath);
  // Another device's package, then the first one's again.
  hardwareId = "USB\\VID_0547&PID_3" + std::to_string(++serial);
  SeedDevice(hardwareId + "\\STAGE", kUsbClass, {hardwareId}, "");
  ASSERT_TRUE(EnumerateAndSelect(list, hardwareId + "\\STAGE"));
  ASSERT_EQ(Stage(), 0);
  std::string secondCertificate = ReadFileBytes(paths.certificatePath);
  ASSERT_TRUE(EnumerateAndSelect(list, instanceId));
  ASSERT_EQ(Stage(), 0);
  std::string again = ReadFileBytes(paths.certificatePath);
  EXPECT_NE(again, firstCertificate);  // a new key, a new certificate
  for (const char* store : kKitCertificateStores) {
    std::vector<StoredCertificate> kit = KitCertificatesFor(first, store);
    ASSERT_EQ(kit.size(), 1u) << store;
    EXPECT_EQ(std::string(kit[0].encoded.begin(), kit[0].encoded.end()), again) << store;
    std::vector<StoredCertificate> other = KitCertificatesFor(hardwareId, store);
    ASSERT_EQ(other.size(), 1u) << store;
    EXPECT_EQ(std::string(other[0].encoded.begin(), other[0].encoded.end()), secondCertificate);
  }
}

// A package that can't be signed is not installed: the step stops before the platform's call,
// says so in its own box, and leaves no certificate of the package in either store.
TEST_F(DriverStagingTest, APackageThatCannotBeSignedIsNotInstalledAndLeavesNoCertificate) {
  const DWORD kBadKeySet = static_cast<DWORD>(NTE_BAD_KEYSET);
  struct Case {
    const char* what;
    CryptoFault fault;
    const char* refusingStore;
    bool truncatedImage;  // korva.sys: a PE header that ends inside its COFF header
    DWORD expected;
  } cases[] = {
      {"TrustedPublisher refuses after Root took it", CryptoFault::kNone, "TrustedPublisher", false,
       ERROR_ACCESS_DENIED},
      {"Root refuses", CryptoFault::kNone, "Root", false, ERROR_ACCESS_DENIED},
      {"no key pair", CryptoFault::kNewKey, nullptr, false, kBadKeySet},
      {"signing fails", CryptoFault::kSign, nullptr, false, kBadKeySet},
      {"hashing fails", CryptoFault::kHash, nullptr, false, kBadKeySet},
      {"no random bytes", CryptoFault::kRandom, nullptr, false, kBadKeySet},
      {"a driver binary that begins as a PE image but is cut short", CryptoFault::kNone, nullptr,
       true, ERROR_BAD_EXE_FORMAT},
  };
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    boxes.clear();
    stores.refusesAddTo = c.refusingStore ? c.refusingStore : "";
    signer.newCrypto = [&c] {
      return std::make_unique<FaultInjectingPackageCrypto>(c.fault,
                                                           static_cast<DWORD>(NTE_BAD_KEYSET));
    };
    if (c.truncatedImage) {
      std::string image(64, '\0');
      image[0] = 'M';
      image[1] = 'Z';
      image[0x3C] = 0x40;
      WriteFileBytes(paths.programFolder + "\\korva.sys",
                     image + std::string("PE\0\0", 4) + std::string(10, '\0'));
    }
    setup.updateCalls = 0;
    EXPECT_EQ(Stage(), static_cast<int>(c.expected));
    EXPECT_EQ(stage, InstallStage::kSigning);
    EXPECT_FALSE(fatal);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Unable to sign the driver package (error " +
                            std::to_string(static_cast<int>(c.expected)) + ").\n");
    EXPECT_EQ(setup.updateCalls, 0);
    EXPECT_FALSE(testbed::HasDriverKey(instanceId));
    for (const char* store : kKitCertificateStores) {
      EXPECT_TRUE(KitCertificatesFor(hardwareId, store).empty()) << store;
    }
    EXPECT_FALSE(FileExists(paths.catalogPath));
    EXPECT_FALSE(FileExists(paths.certificatePath));
    EXPECT_EQ(TakeQuitRequest(), -1);
  }
}

// The access lists as Windows gives them, for folders made here: Wine makes every file's from
// its Unix mode, so the reading is fed Windows' own descriptors through the seam.
class WindowsAccessLists : public SecurityReader {
 public:
  std::vector<std::pair<std::string, std::string>> descriptors;  // path, SDDL
  DWORD ReadFileSecurity(const std::wstring& path, HANDLE, ObjectSecurity& security) override {
    for (const auto& [at, sddl] : descriptors) {
      if (WideFromAnsi(at) != path) continue;
      PSECURITY_DESCRIPTOR descriptor = nullptr;
      if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                                &descriptor, nullptr)) {
        return GetLastError();
      }
      DWORD error = ObjectSecurityFromDescriptor(descriptor, security);
      LocalFree(descriptor);
      return error;
    }
    return ERROR_ACCESS_DENIED;  // every path a case reads has its descriptor
  }
};

// Which kit folders the wizard reads, for the places a kit is put on a default Windows 10/11:
// the principals the descriptors name are read from them by the platform's own calls, and the
// box names who may change what.
TEST(KitTrustTest, TheKitIsJudgedByTheAccessListsWindowsGivesItsFolders) {
  const std::string alice = "S-1-5-21-1004336348-1177238915-682003330-1001";
  const std::string domain = "S-1-5-21-3623811015-3361044348-30300820";
  const std::string trustedInstaller =
      "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  // Below C:\ a folder inherits "Authenticated Users: Modify".
  const std::string belowDrive = "O:" + alice +
                                 "D:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)"
                                 "(A;OICIID;0x1200a9;;;BU)(A;ID;0x1301bf;;;AU)"
                                 "(A;OICIIOID;SDGXGWGR;;;AU)";
  const std::string programFiles = "O:BAD:AI(A;ID;FA;;;" + trustedInstaller + ")(A;CIIOID;GA;;;" +
                                   trustedInstaller +
                                   ")(A;ID;FA;;;SY)(A;OICIIOID;GA;;;SY)(A;ID;FA;;;BA)"
                                   "(A;OICIIOID;GA;;;BA)(A;ID;0x1200a9;;;BU)(A;OICIIOID;GXGR;;;BU)"
                                   "(A;OICIIOID;GA;;;CO)(A;ID;0x1200a9;;;AC)(A;OICIIOID;GXGR;;;AC)";
  const std::string profile =
      "O:" + alice + "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + alice + ")";
  const std::string share = "O:" + domain + "-512D:AI(A;OICIID;FA;;;" + domain +
                            "-512)(A;OICIID;FA;;;SY)(A;OICIID;0x1301bf;;;" + domain + "-513)";
  const std::string shareForAdmins =
      "O:" + domain + "-512D:AI(A;OICIID;FA;;;" + domain + "-512)(A;OICIID;0x1200a9;;;WD)";

  std::string root = ScratchFolder("windowsaccesslists");
  struct Case {
    const char* what;
    std::string folderSddl, fileSddl;
    std::string runningUser;
    bool trusted;
    std::string principal;  // as the box names it
  };
  const Case cases[] = {
      {"C:\\Kit\\Bin", belowDrive, belowDrive, alice, false, "NT AUTHORITY\\Authenticated Users"},
      {"C:\\Program Files\\KORVA", programFiles, programFiles, alice, true, ""},
      {"the running user's profile", profile, profile, alice, true, ""},
      {"another user's profile", profile, profile, "S-1-5-21-1-2-3-1002", false, alice},
      {"a share that domain users may change", share, share, alice, false, domain + "-513"},
      {"a share that the domain's admins alone may change", shareForAdmins, shareForAdmins, alice,
       true, ""},
      {"a template changed to Everyone: Full control in Program Files", programFiles,
       programFiles + "(A;;FA;;;WD)", alice, false, "Everyone"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InstallPaths paths =
        DeriveInstallPaths(root + "\\" + std::to_string(++n) + "\\Bin\\KORVAwiz.exe");
    CreateDirectoryA((root + "\\" + std::to_string(n)).c_str(), nullptr);
    CreateDirectoryA(paths.programFolder.c_str(), nullptr);
    CopyKitFile("korvawiz.tpl", paths.programFolder);
    CopyKitFile("korva.sys", paths.programFolder);
    WindowsAccessLists lists;
    lists.descriptors = {{paths.programFolder, c.folderSddl},
                         {paths.programFolder + "\\korva.sys", c.folderSddl},
                         {paths.templatePath, c.fileSddl}};
    KitTrust trust(lists, TrustedPrincipals{{c.runningUser, domain + "-512"}});
    InstallKitCheck check = CheckInstallKit(paths, std::string(), trust);
    EXPECT_EQ(check.trusted, c.trusted);
    EXPECT_EQ(check.problem.principal, c.principal);
    EXPECT_EQ(check.problem.error, 0u);
    EXPECT_FALSE(check.alternatePresent);
    EXPECT_FALSE(check.alternateUsable);
  }
}

// A program at a drive's root has the program folder "C:", which the platform reads as that
// drive's current folder: the root itself is what is checked.
TEST(KitTrustTest, AKitAtADrivesRootIsJudgedByTheRoot) {
  char kept[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, kept);
  ASSERT_TRUE(SetCurrentDirectoryA(WindowsFolder().c_str()));
  ASSERT_TRUE(ChangeUnixMode("C:\\", "o+w"));
  KitTrust trust;
  InstallKitCheck check = CheckInstallKit(DeriveInstallPaths("C:\\KORVAwiz.exe"), "", trust);
  EXPECT_TRUE(ChangeUnixMode("C:\\", "o-w"));
  SetCurrentDirectoryA(kept);
  EXPECT_FALSE(check.trusted);
  EXPECT_EQ(check.problem.path, "C:\\");
  EXPECT_EQ(check.problem.principal, "Everyone");
}

// The platform's folder security with what Wine cannot show: a file system without access
// lists, a folder that can't be taken over. Records what it was asked.
class RecordingFolderSecurity : public InstallFolderSecurity {
 public:
  bool keepsAccessLists = true;
  DWORD protectError = 0;
  std::vector<std::string> calls;
  bool VolumeKeepsAccessLists(const std::string&) override { return keepsAccessLists; }
  DWORD CreateFolder(const std::string& folder, bool protect) override {
    calls.push_back(protect ? "create protected" : "create plain");
    return InstallFolderSecurity::CreateFolder(folder, protect);
  }
  DWORD Protect(HANDLE folder) override {
    calls.push_back("protect");
    return protectError != 0 ? protectError : InstallFolderSecurity::Protect(folder);
  }
  DWORD MoveAside(const std::string& folder, const std::string& to) override {
    calls.push_back("move aside");
    return InstallFolderSecurity::MoveAside(folder, to);
  }
};

// A folder that others could change is not taken over: whoever could may hold it open with
// those rights still. It moves aside, its contents kept, and a new one takes its place.
TEST(InstallFolderTest, OnlyAPlainFolderBecomesTheInstallFolderAndIsMadeTheAdministrators) {
  std::string root = ScratchFolder("installfolder");
  std::string target = root + "\\elsewhere";
  CreateDirectoryA(target.c_str(), nullptr);
  auto madeBy = [](bool otherUser) {
    return [otherUser](const std::string& f) {
      CreateDirectoryA(f.c_str(), nullptr);
      WriteFileBytes(f + "\\korvawiz.inf", "theirs");
      EXPECT_TRUE(otherUser ? ChangeUnixOwner(f) : ChangeUnixMode(f, "o+w"));
    };
  };
  struct Case {
    const char* what;
    std::function<void(const std::string& folder)> prepare;
    bool keepsAccessLists;
    DWORD protectError;
    DWORD expected;
    std::vector<std::string> calls;
    const char* replacedTo = "";  // the name the old folder moved to, after the folder's own
  } cases[] = {
      {"there, and every user may write it",
       madeBy(false),
       true,
       0,
       0,
       {"create protected", "move aside", "create protected"},
       ".replaced"},
      {"there, and another user's",
       madeBy(true),
       true,
       0,
       0,
       {"create protected", "move aside", "create protected"},
       ".replaced"},
      {"there, another user's, and the first name for it taken",
       [&](const std::string& f) {
         madeBy(true)(f);
         CreateDirectoryA((f + ".replaced").c_str(), nullptr);
       },
       true,
       0,
       0,
       {"create protected", "move aside", "move aside", "create protected"},
       ".replaced2"},
      {"new", [](const std::string&) {}, true, 0, 0, {"create protected"}},
      {"there already",
       [](const std::string& f) { CreateDirectoryA(f.c_str(), nullptr); },
       true,
       0,
       0,
       {"create protected", "protect"}},
      {"there, and can't be taken over",
       [](const std::string& f) { CreateDirectoryA(f.c_str(), nullptr); },
       true,
       ERROR_ACCESS_DENIED,
       ERROR_ACCESS_DENIED,
       {"create protected", "protect"}},
      {"a file",
       [](const std::string& f) { WriteFileBytes(f, "x"); },
       true,
       0,
       ERROR_ALREADY_EXISTS,
       {"create protected"}},
      {"a symbolic link to another folder",
       [&](const std::string& f) {
         RunUnixShell("ln -s " + ShellQuoted(UnixPathOf(target)) + " " +
                      ShellQuoted(UnixPathOf(f)));
       },
       true,
       0,
       kInstallFolderIsALink,
       {"create protected"}},
      {"a link on a file system without access lists",
       [&](const std::string& f) {
         RunUnixShell("ln -s " + ShellQuoted(UnixPathOf(target)) + " " +
                      ShellQuoted(UnixPathOf(f)));
       },
       false,
       0,
       kInstallFolderIsALink,
       {"create plain"}},
      {"new, on a file system without access lists",
       [](const std::string&) {},
       false,
       0,
       0,
       {"create plain"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string folder = root + "\\install" + std::to_string(++n);
    c.prepare(folder);
    RecordingFolderSecurity security;
    security.keepsAccessLists = c.keepsAccessLists;
    security.protectError = c.protectError;
    KitTrust trust;
    InstallFolder held;
    InstallFolderOutcome outcome = held.Prepare(folder, security, trust);
    EXPECT_EQ(outcome.error, c.expected);
    EXPECT_EQ(outcome.accessListsKept, c.keepsAccessLists);
    EXPECT_EQ(security.calls, c.calls);
    EXPECT_EQ(outcome.replacedTo, *c.replacedTo ? folder + c.replacedTo : "");
    if (c.expected == 0) {
      EXPECT_TRUE(FolderExists(folder));
      EXPECT_EQ(held.Confirm(), 0u);
      KitTrustProblem problem;
      EXPECT_TRUE(!c.keepsAccessLists || trust.Check(folder, true, problem)) << problem.principal;
    } else {
      EXPECT_EQ(held.Confirm(), kInstallFolderChanged);
    }
    if (*c.replacedTo) {
      EXPECT_EQ(ReadFileBytes(outcome.replacedTo + "\\korvawiz.inf"), "theirs");
      EXPECT_FALSE(FileExists(folder + "\\korvawiz.inf"));
      EXPECT_EQ(outcome.replacedBecause.path, folder);
      EXPECT_FALSE(outcome.replacedBecause.principal.empty());
    }
  }
  // Nothing was made in the folder a link pointed at.
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA((target + "\\*.*").c_str(), &found));
  int entries = 0;
  if (search.Valid()) {
    do {
      ++entries;
    } while (FindNextFileA(search.Get(), &found));
  }
  EXPECT_EQ(entries, 2);  // . and ..
}

// The descriptor as the platform's own reader takes it: owned by the Administrators, two
// entries only (Administrators and SYSTEM, full control, inherited by files and folders made
// inside), and protected from what the kit folder above would pass down.
TEST(InstallFolderTest, TheDescriptorGivesTheFolderToAdministratorsAndSystemAlone) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      kInstallFolderSecurity, SDDL_REVISION_1, &descriptor, nullptr));
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
  EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  PACL dacl = nullptr;
  BOOL present = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  ASSERT_EQ(dacl->AceCount, 2);
  WELL_KNOWN_SID_TYPE expected[] = {WinBuiltinAdministratorsSid, WinLocalSystemSid};
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE),
              OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS));
    EXPECT_TRUE(IsWellKnownSid(&ace->SidStart, expected[i]));
  }
  LocalFree(descriptor);
}

TEST(InstallErrorBoxTest, OwnedByTheFrameOnceItExistsCaptionedWithTheProgramBefore) {
  RecordingMessageBox boxes;
  HWND frame = GetDesktopWindow();  // any window serves as the owner here
  ShowErrorBox(boxes, frame, "KORVAwiz", "Installation of KORVA failed (error 5).\n");
  ShowErrorBox(boxes, nullptr, "KORVAwiz", "Unable to create directory C:\\x\\install.\n");
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[0].owner, frame);
  EXPECT_EQ(boxes.boxes[0].caption, "KORVA Installation Wizard: ERROR");
  EXPECT_EQ(boxes.boxes[0].text, "Installation of KORVA failed (error 5).\n");
  EXPECT_EQ(boxes.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_EQ(boxes.boxes[1].owner, nullptr);
  EXPECT_EQ(boxes.boxes[1].caption, "KORVAwiz");
  EXPECT_EQ(boxes.boxes[1].style, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
}

}  // namespace
}  // namespace korva::testing
