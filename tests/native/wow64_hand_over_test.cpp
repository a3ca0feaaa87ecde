#include "common/core/wow64_hand_over.h"

#include "common/core/console_companion.h"

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

// The console companion starts the program of its own folder, whatever the folder is called.
TEST(CompanionTest, StartsTheProgramBesideItAndSaysWhyItCouldNot) {
  auto isLeadByte = [](unsigned char c) { return c >= 0x81 && c <= 0x9F; };
  EXPECT_EQ(CompanionProgramPath("C:\\Program Files\\KORVA\\KORVAcw.com", "KORVAcw.exe"),
            "C:\\Program Files\\KORVA\\KORVAcw.exe");
  EXPECT_EQ(CompanionProgramPath("C:KORVAwiz.com", "KORVAwiz.exe"), "C:KORVAwiz.exe");
  EXPECT_EQ(CompanionProgramPath("C:\\Kit\\\x95\\KORVAcw.com", "KORVAcw.exe", isLeadByte),
            "C:\\Kit\\KORVAcw.exe");  // "\x95\\" is one character of the name

  const std::string path = "C:\\Kit\\KORVAcw.exe";
  EXPECT_EQ(CompanionFailureLine("KORVAcw.com", path, 0),
            "KORVAcw.com: C:\\Kit\\KORVAcw.exe was not found. "
            "Please reinstall the KORVA Development Kit.\r\n");
  EXPECT_EQ(CompanionFailureLine("KORVAcw.com", path, 193),
            "KORVAcw.com: C:\\Kit\\KORVAcw.exe could not be started (error 193).\r\n");
  // From a prompt that is not an administrator's: what to do instead.
  EXPECT_EQ(CompanionFailureLine("KORVAwiz.com", path, 740),
            "KORVAwiz.com: C:\\Kit\\KORVAcw.exe could not be started (error 740): it runs only "
            "as an administrator. Run the command again from a command prompt started as an "
            "administrator.\r\n");
  EXPECT_EQ(CompanionFailureLine("KORVAcw.com", path, 6, true),
            "KORVAcw.com: the end of C:\\Kit\\KORVAcw.exe could not be awaited (error 6), and it "
            "was stopped.\r\n");
}

// A pipe hands over chunks that may end inside a double-byte character: its lead byte waits
// for the next chunk, so that the conversion for the console never splits it.
TEST(CompanionTest, AChunkEndsAfterItsLastWholeCharacter) {
  auto isLeadByte = [](unsigned char c) { return c >= 0x81 && c <= 0x9F; };
  struct Case {
    const char* bytes;
    size_t whole;
  };
  const Case cases[] = {
      {"", 0},
      {"abc\r\n", 5},
      {"ab\x95", 2},        // a lead byte alone at the end
      {"ab\x95\\", 4},      // lead and trail (a backslash) both there
      {"\x95\x95\x95", 2},  // the second byte is a trail byte, the third a lead byte
      {"\x95\x95\x95\x95", 4},
      {"G\xE4rt", 4},  // single-byte accents are whole characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WholeCharactersLength(c.bytes, isLeadByte), c.whole) << c.bytes;
  }
  EXPECT_EQ(WholeCharactersLength("ab\x95", nullptr), 3u);
}

}  // namespace
}  // namespace korva
