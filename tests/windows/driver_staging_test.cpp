// The install step on real kit folders: which binaries are staged from where, the fatal
// errors with their boxes and quit requests, and an installation at the end.
#include "install/engine/driver_staging.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/error_box.h"
#include "support/fault_injecting_device_setup.h"
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
    CreateDirectoryA(paths.installFolder.c_str(), nullptr);
    CreateDirectoryA(paths.alternateFolder.c_str(), nullptr);
    CopyKitFile("korvawiz.tpl", paths.programFolder);
    instanceId = "USB\\VID_0547&PID_3" + std::to_string(++serial) + "\\STAGE";
    SeedDevice(instanceId, kUsbClass, {"USB\\VID_0547&PID_3" + std::to_string(serial)}, "");
    ASSERT_TRUE(EnumerateAndSelect(list, instanceId));
    TakeQuitRequest();
  }

  void PutBinaries(const std::string& folder, const std::vector<std::string>& files) {
    for (const std::string& file : files) CopyKitFile(file, folder);
  }

  // The step's result; whether it was fatal goes to `fatal`.
  int Stage() {
    InstallStepOutcome outcome = StageAndInstall(
        paths, staged, list, [this](const std::string& text) { boxes.push_back(text); });
    fatal = outcome.fatal;
    return outcome.result;
  }

  std::string Staged(const std::string& file) {
    return ReadFileBytes(paths.installFolder + "\\" + file);
  }
  std::string Inf() { return ReadFileBytes(paths.infPath); }

  static int serial;
  FaultInjectingDeviceSetup setup;
  UsbDeviceList list{setup};
  InstallPaths paths;
  StagedDriverFiles staged;
  std::vector<std::string> boxes;
  bool fatal = false;
  std::string instanceId;
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

TEST_F(DriverStagingTest, TheDriverNameFollowsTheFirstStagedBinary) {
  PutBinaries(paths.programFolder, {"korvav.sys"});
  PutBinaries(paths.alternateFolder, {"korvav98.sys"});
  EXPECT_EQ(Stage(), 0);
  EXPECT_EQ(staged, (StagedDriverFiles{"korvav.sys", "korvav98.sys"}));
  EXPECT_NE(Inf().find("\r\nkorvav.sys=1\r\n"), std::string::npos);
  EXPECT_EQ(Inf().find("korva.sys"), std::string::npos);
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

TEST_F(DriverStagingTest, ASingleBinaryIsFatal) {
  PutBinaries(paths.programFolder, {"korva.sys"});
  int result = Stage();
  EXPECT_NE(result, 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Unable to copy driver executables (*.sys).\n"
            "Please reinstall the KORVA Development Kit.");
  EXPECT_TRUE(fatal);
  EXPECT_EQ(TakeQuitRequest(), -1);  // the frame ends the wizard
  EXPECT_FALSE(FileExists(paths.infPath));
  EXPECT_FALSE(testbed::HasDriverKey(instanceId));
  EXPECT_EQ(staged, (StagedDriverFiles{"korva.sys", ""}));
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

TEST_F(DriverStagingTest, AMissingTemplateIsFatal) {
  RemoveFile(paths.templatePath);
  PutBinaries(paths.programFolder, {"korva.sys", "korva98.sys"});
  EXPECT_EQ(Stage(), 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0],
            "Unable to create a customized INF file (error 1).\n"
            "Please reinstall the KORVA Development Kit.");
  EXPECT_TRUE(fatal);
  EXPECT_EQ(TakeQuitRequest(), -1);  // the frame ends the wizard
  EXPECT_FALSE(FileExists(paths.infPath));
  EXPECT_FALSE(testbed::HasDriverKey(instanceId));
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
