#include "install/core/install_paths.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

TEST(InstallPathsTest, ProgramInAFolder) {
  InstallPaths paths = DeriveInstallPaths("C:\\Kit\\Bin\\KORVAwiz.exe");
  EXPECT_EQ(paths.programFolder, "C:\\Kit\\Bin");
  EXPECT_EQ(paths.installFolder, "C:\\Kit\\Bin\\install");
  EXPECT_EQ(paths.templatePath, "C:\\Kit\\Bin\\korvawiz.tpl");
  EXPECT_EQ(paths.infPath, "C:\\Kit\\Bin\\install\\korvawiz.inf");
  EXPECT_EQ(paths.catalogPath, "C:\\Kit\\Bin\\install\\korvawiz.cat");
  EXPECT_EQ(paths.certificatePath, "C:\\Kit\\Bin\\install\\korvawiz.cer");
  EXPECT_EQ(paths.alternateFolder, "C:\\Kit\\korva");
}

TEST(InstallPathsTest, ProgramAtADrivesRoot) {
  InstallPaths paths = DeriveInstallPaths("C:\\KORVAwiz.exe");
  EXPECT_EQ(paths.programFolder, "C:");
  EXPECT_EQ(paths.installFolder, "C:\\install");
  EXPECT_EQ(paths.templatePath, "C:\\korvawiz.tpl");
  EXPECT_EQ(paths.infPath, "C:\\install\\korvawiz.inf");
  EXPECT_EQ(paths.alternateFolder, "C:\\korva");
}

TEST(InstallPathsTest, ProgramOneLevelDownHasTheKitFolderAtTheRoot) {
  EXPECT_EQ(DeriveInstallPaths("D:\\Kit\\KORVAwiz.exe").alternateFolder, "D:\\korva");
}

TEST(InstallPathsTest, ForwardSlashesGiveTheSameFolders) {
  InstallPaths slashes = DeriveInstallPaths("C:/Kit/Bin/KORVAwiz.exe");
  InstallPaths backslashes = DeriveInstallPaths("C:\\Kit\\Bin\\KORVAwiz.exe");
  EXPECT_EQ(slashes.programFolder, backslashes.programFolder);
  EXPECT_EQ(slashes.installFolder, backslashes.installFolder);
  EXPECT_EQ(slashes.templatePath, backslashes.templatePath);
  EXPECT_EQ(slashes.infPath, backslashes.infPath);
  EXPECT_EQ(slashes.alternateFolder, backslashes.alternateFolder);
  EXPECT_EQ(DeriveInstallPaths("C:/Kit\\Bin/KORVAwiz.exe").programFolder, "C:\\Kit\\Bin");
}

TEST(InstallPathsTest, NetworkPathsAndDotsInNames) {
  InstallPaths paths = DeriveInstallPaths("\\\\server\\share\\kit.v2\\KORVAwiz.exe");
  EXPECT_EQ(paths.programFolder, "\\\\server\\share\\kit.v2");
  EXPECT_EQ(paths.alternateFolder, "\\\\server\\share\\korva");
}

TEST(InstallPathsTest, OnlyOneTrailingBackslashIsRemoved) {
  EXPECT_EQ(DeriveInstallPaths("C:\\Kit\\\\KORVAwiz.exe").programFolder, "C:\\Kit\\");
}

// In a double-byte code page a trail byte may be 0x5C, the backslash: it belongs to its
// character and separates nothing.
TEST(InstallPathsTest, TrailBytesThatLookLikeBackslashesStayInTheirCharacter) {
  auto isLead = [](unsigned char c) { return c >= 0x81 && c <= 0x9F; };
  const std::string folder = "C:\\\x95\\";  // a character whose trail byte is '\'
  InstallPaths paths = DeriveInstallPaths(folder + "\\KORVAwiz.exe", isLead);
  EXPECT_EQ(paths.programFolder, folder);
  EXPECT_EQ(paths.alternateFolder, "C:\\korva");
  // A folder ending in such a character keeps it whole.
  EXPECT_EQ(DeriveInstallPaths("C:\\Kit\\\x95\\\\KORVAwiz.exe", isLead).alternateFolder,
            "C:\\Kit\\korva");
}

}  // namespace
}  // namespace korva
