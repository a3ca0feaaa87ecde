#include "common/core/wow64_hand_over.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

TEST(Path64BitBuildTest, TheProgramOfTheSameNameInTheX64FolderBesideIt) {
  struct Case {
    const char* modulePath;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\Kit\\Bin\\KORVAcw.exe", "C:\\Kit\\Bin\\x64\\KORVAcw.exe"},
      {"C:\\Program Files\\KORVA\\KORVAwiz.exe", "C:\\Program Files\\KORVA\\x64\\KORVAwiz.exe"},
      {"C:\\KORVAcw.exe", "C:\\x64\\KORVAcw.exe"},
      {"C:KORVAcw.exe", "C:x64\\KORVAcw.exe"},
      {"C:/Kit/Bin/KORVAcw.exe", "C:/Kit/Bin/x64\\KORVAcw.exe"},
      {"\\\\server\\share\\kit.v2\\KORVAcw.exe", "\\\\server\\share\\kit.v2\\x64\\KORVAcw.exe"},
      {"KORVAcw.exe", "x64\\KORVAcw.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(Path64BitBuild(c.modulePath), c.expected) << c.modulePath;
}

// In a double-byte code page the second byte of a character may be 0x5C, a backslash: it does
// not end a folder name there.
TEST(Path64BitBuildTest, ATrailByteIsNoSeparator) {
  auto isLeadByte = [](unsigned char c) { return c >= 0x81 && c <= 0x9F; };
  EXPECT_EQ(Path64BitBuild("C:\\Kit\\\x95\\KORVAcw\x95\\.exe", isLeadByte),
            "C:\\Kit\\x64\\\x95\\KORVAcw\x95\\.exe");
  EXPECT_EQ(Path64BitBuild("C:\\Kit\\\x95\\KORVAcw\x95\\.exe"),
            "C:\\Kit\\\x95\\KORVAcw\x95\\x64\\.exe");
}

// The arguments go on unchanged, quotes and blanks and all: a program that split and joined
// them again would change what the 64-bit build reads.
TEST(CommandLineArgumentsTest, WhatFollowsTheProgramsName) {
  struct Case {
    const char* commandLine;
    const char* arguments;
  };
  const Case cases[] = {
      {"\"C:\\Program Files\\KORVA\\KORVAcw.exe\" -nogui", "-nogui"},
      {"C:\\Kit\\KORVAcw.exe -i \"My Ident\"  -c  {x}\t-nogui ",
       "-i \"My Ident\"  -c  {x}\t-nogui "},
      {"KORVAcw", ""},
      {"\"C:\\Kit\\KORVAcw.exe\"", ""},
      {"\"C:\\Kit\\KORVAcw.exe\"   ", ""},
      {"KORVAcw.exe \t \"\"", "\"\""},
      // A name runs on after its closing quote up to a blank, as the runtime reads it.
      {"\"C:\\Kit\\KORVAcw.exe\"-nogui -expert", "-expert"},
      {"C:\\\"Kit Folder\"\\KORVAcw.exe -h", "-h"},
      {"\"C:\\Kit\\KORVA cw.exe", ""},
      {"KORVAcw.exe\t-nogui", "-nogui"},
      {"KORVAcw.exe\r\n-nogui", "-nogui"},
      {"C:\\Kit\\Gr\xFC\xDF"
       "e\\KORVAcw.exe -nogui",
       "-nogui"},
      {"KORVAcw.exe -i \xE4\xF6", "-i \xE4\xF6"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CommandLineArguments(c.commandLine), c.arguments) << c.commandLine;
  }
}

TEST(CommandLineArgumentsTest, TheHandOverCommandLineGivesTheSameArguments) {
  const char* arguments[] = {"", "-nogui", "-i \"My Ident\"  -c  {x}\t-nogui ", "\"\"", "a\"b c\""};
  for (const char* given : arguments) {
    std::string line = HandOverCommandLine("C:\\Program Files\\KORVA\\x64\\KORVAcw.exe", given);
    EXPECT_EQ(line.rfind("\"C:\\Program Files\\KORVA\\x64\\KORVAcw.exe\"", 0), 0u) << line;
    EXPECT_EQ(CommandLineArguments(line), given) << line;
  }
  EXPECT_EQ(HandOverCommandLine("C:\\Kit\\x64\\KORVAcw.exe", ""), "\"C:\\Kit\\x64\\KORVAcw.exe\"");
  EXPECT_EQ(HandOverCommandLine("C:\\Kit\\x64\\KORVAcw.exe", "-nogui"),
            "\"C:\\Kit\\x64\\KORVAcw.exe\" -nogui");
}

TEST(No64BitBuildMessageTest, NamesTheFileAndTheCause) {
  EXPECT_EQ(
      No64BitBuildMessage("KORVA Cleanup Wizard", "remove devices", "C:\\Kit\\x64\\KORVAcw.exe", 0),
      "This is 64-bit Windows, where only the 64-bit KORVA Cleanup Wizard can remove "
      "devices. It was not found:\nC:\\Kit\\x64\\KORVAcw.exe\n"
      "Please reinstall the KORVA Development Kit.");
  EXPECT_EQ(No64BitBuildMessage("KORVA Installation Wizard", "install drivers",
                                "C:\\Kit\\x64\\KORVAwiz.exe", 740),
            "This is 64-bit Windows, where only the 64-bit KORVA Installation Wizard can install "
            "drivers. It could not be started (error 740):\nC:\\Kit\\x64\\KORVAwiz.exe");
  EXPECT_EQ(No64BitBuildMessage("KORVA Installation Wizard", "install drivers",
                                "C:\\Kit\\x64\\KORVAwiz.exe", 6, true),
            "This is 64-bit Windows, where only the 64-bit KORVA Installation Wizard can install "
            "drivers. Its end could not be awaited (error 6), and it was stopped:\n"
            "C:\\Kit\\x64\\KORVAwiz.exe");
}

}  // namespace
}  // namespace korva
