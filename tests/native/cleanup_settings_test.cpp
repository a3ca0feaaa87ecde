#include "cleanup/core/cleanup_settings.h"

#include <cctype>

#include <gtest/gtest.h>

namespace korva {
namespace {

// Accepts the braced registry form only, as the platform's parser does for these tests.
bool ParseBraced(const std::string& text, GuidBytes& guid) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
    if (hyphen ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  guid.fill(0);
  guid[0] = 1;
  return true;
}

StartAction Read(const std::string& commandLine, CleanupSettings& settings) {
  return ReadCleanupOptions(commandLine, ParseBraced, settings);
}

TEST(ReadCleanupOptions, EmptyCommandLineRunsTheWizardWithDefaults) {
  CleanupSettings s;
  ASSERT_EQ(Read("", s), StartAction::kRun);
  EXPECT_EQ(s.classGuidText, "{96E73B6E-7A5A-11D4-9F24-0080C82727F4}");
  EXPECT_EQ(s.deviceIdentString, "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}");
  EXPECT_EQ(s.identValueName, "CLEANUPWIZARD_DEVICEIDENTSTRING");
  EXPECT_EQ(s.classGuid[0], 1);
  EXPECT_TRUE(s.interactive);
  EXPECT_FALSE(s.expertMode);
  EXPECT_FALSE(s.listOnly);
  EXPECT_EQ(s.logPath, "");
}

TEST(ReadCleanupOptions, TakesValuesAndFlagsInAnyOrderAndCase) {
  CleanupSettings s;
  ASSERT_EQ(Read("-EXPERT -i myIdent -NoGui -C {36fc9e60-c465-11cf-8056-444553540000}", s),
            StartAction::kRun);
  EXPECT_EQ(s.classGuidText, "{36FC9E60-C465-11CF-8056-444553540000}");
  EXPECT_EQ(s.deviceIdentString, "MYIDENT");
  EXPECT_FALSE(s.interactive);
  EXPECT_TRUE(s.expertMode);
  CleanupSettings l;
  ASSERT_EQ(Read("-LIST -Log C:\\Logs\\korva.log -nogui", l), StartAction::kRun);
  EXPECT_TRUE(l.listOnly);
  EXPECT_EQ(l.logPath, "C:\\Logs\\korva.log");
  CleanupSettings w;
  ASSERT_EQ(Read("-log korva.log", w), StartAction::kRun);
  EXPECT_TRUE(w.interactive);
  EXPECT_EQ(w.logPath, "korva.log");
  // The value of -log alone may be quoted, to hold blanks; an option inside it is no option.
  CleanupSettings q;
  ASSERT_EQ(Read("-nogui -LOG \"C:\\Program Data\\-list korva.log\" -expert", q),
            StartAction::kRun);
  EXPECT_EQ(q.logPath, "C:\\Program Data\\-list korva.log");
  EXPECT_FALSE(q.listOnly);
  EXPECT_TRUE(q.expertMode);
  // Other values keep their quotes, which the ident may not hold.
  CleanupSettings i;
  EXPECT_EQ(Read("-nogui -i \"My Ident\"", i), StartAction::kInvalidArgument);
}

TEST(ReadCleanupOptions, SlashFormsExistOnlyForHelp) {
  CleanupSettings s;
  ASSERT_EQ(Read("/nogui /expert /c {x} /i y stray", s), StartAction::kRun);
  EXPECT_TRUE(s.interactive);
  EXPECT_FALSE(s.expertMode);
  for (const char* help : {"/h", "-?", "/?", "-H"}) {
    CleanupSettings h;
    EXPECT_EQ(Read(help, h), StartAction::kShowUsage) << help;
  }
}

TEST(ReadCleanupOptions, MissingValueIsAnInvalidArgumentEvenAfterHelp) {
  CleanupSettings s;
  EXPECT_EQ(Read("-h -c", s), StartAction::kInvalidArgument);
  EXPECT_EQ(Read("-i", s), StartAction::kInvalidArgument);
  EXPECT_EQ(Read("-nogui -c {96e73b6e-7a5a-11d4-9f24-0080c82727f4} -i", s),
            StartAction::kInvalidArgument);
  // An ident with a double quote, as a batch file's "My Ident" splits: rejected alike.
  EXPECT_EQ(Read("-i \"My Ident\"", s), StartAction::kInvalidArgument);
  EXPECT_EQ(Read("-i My\"Ident -h", s), StartAction::kInvalidArgument);
  // A log without its path (an option in its place counts as none), a path whose quote is not
  // closed, and -list where the wizard would run, which asks before it removes anything.
  for (const char* line :
       {"-nogui -log", "-log -nogui", "-nogui -log -LIST", "-nogui -log \"C:\\My Logs\\korva.log",
        "-nogui -log \"\"", "-log /? -nogui", "-list", "-list -expert"}) {
    EXPECT_EQ(Read(line, s), StartAction::kInvalidArgument) << line;
  }
  // With -nogui, a token that is neither an option nor an option's value, also before help.
  for (const char* line : {"-nogui -expert -c={36fc9e60-c465-11cf-8056-444553540000}",
                           "-nogui -expret", "-nogui --c {36fc9e60-c465-11cf-8056-444553540000}",
                           "-nogui /c {36fc9e60-c465-11cf-8056-444553540000}", "stray -NOGUI",
                           "-nogui -h stray", "-nogui -i a b", "-nogui -log a b",
                           // an option as the ident: the ident was left out
                           "-nogui -i -log C:\\x.log", "-nogui -i -EXPERT", "-i /? -nogui",
                           "-nogui -i -list", "-nogui -i -i"}) {
    EXPECT_EQ(Read(line, s), StartAction::kInvalidArgument) << line;
  }
  // Values, whatever they look like, and every option are no stray tokens.
  EXPECT_EQ(Read("-nogui -i -x -expert -C {36fc9e60-c465-11cf-8056-444553540000}", s),
            StartAction::kRun);
  EXPECT_EQ(Read("-nogui -c -c -i -x -h", s), StartAction::kShowUsage);
  // The wizard keeps taking the next token as the ident, as ever.
  EXPECT_EQ(Read("-i -expert", s), StartAction::kRun);
}

TEST(ReadCleanupOptions, HelpComesBeforeTheGuidIsParsed) {
  CleanupSettings s;
  ASSERT_EQ(Read("-c -h", s), StartAction::kShowUsage);
  EXPECT_EQ(s.classGuidText, "-h");
  CleanupSettings e;
  ASSERT_EQ(Read("-expert -h", e), StartAction::kShowUsage);
  EXPECT_TRUE(e.expertMode);
}

TEST(ReadCleanupOptions, RejectsGuidsThePlatformDoesNotParse) {
  CleanupSettings s;
  EXPECT_EQ(Read("-c \"{96e73b6e-7a5a-11d4-9f24-0080c82727f4}\"", s),
            StartAction::kInvalidClassGuid);
  EXPECT_EQ(Read("-nogui -c 96e73b6e-7a5a-11d4-9f24-0080c82727f4", s),
            StartAction::kInvalidClassGuid);
  // Only the braced form, whatever else the platform's parser takes (program identifiers).
  GuidParser anything = [](const std::string&, GuidBytes&) { return true; };
  for (const char* value :
       {"htmlfile", "{htmlfile}", "96e73b6e-7a5a-11d4-9f24-0080c82727f4",
        "{96e73b6e7a5a11d49f240080c82727f4}", "{96e73b6e-7a5a-11d4-9f24-0080c82727fg}",
        "{96e73b6e-7a5a-11d4-9f24-0080c82727f4"}) {
    CleanupSettings g;
    EXPECT_EQ(ReadCleanupOptions(std::string("-c ") + value, anything, g),
              StartAction::kInvalidClassGuid)
        << value;
  }
  CleanupSettings lower;
  EXPECT_EQ(ReadCleanupOptions("-c {96e73b6e-7a5a-11d4-9f24-0080c82727f4}", anything, lower),
            StartAction::kRun);
  // "-c" followed by "-nogui": the GUID text is "-nogui" and non-interactive mode is set.
  CleanupSettings t;
  EXPECT_EQ(Read("-c -nogui", t), StartAction::kInvalidClassGuid);
  EXPECT_EQ(t.classGuidText, "-nogui");
  EXPECT_FALSE(t.interactive);
}

TEST(BuildUsageText, IsVerbatimWithAndWithoutTheExpertParagraph) {
  const std::string head =
      "KORVACW [option] [option] [...]\n\nsupported options:\n-h\t\tShows this help message.\n\n"
      "-c ClassGuid\tSpecifies the device setup class to be scanned.\n\n-i DevIdentStr\tSpecifies "
      "the device ident string to be checked. The string is provided by the\n\t\tCleanupWizard_"
      "DeviceIdentString value contained in a device instance registry key.\n\n-nogui\t\tRun in "
      "non-interactive mode. The wizard does not require any user input.\n\t\tWARNING: Device "
      "instances and INF files will be removed without confirmation.\n";
  const std::string expert =
      "\n-expert\t\tEnable expert mode. The device ident string will not be checked.\n\t\tNOTE: "
      "This makes it possible to remove all device instances\n\t\tthat belong to a device setup "
      "class.\n";
  const std::string tail =
      "\nExample:\nKORVACW -c {96e73b6e-7a5a-11d4-9f24-0080c82727f4} -i "
      "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\n";
  // The options added later follow the text above, which stays as it was.
  const std::string added =
      "\n-log LogFile\tAppends a record of the run to the file (created if missing).\n"
      "\t\tWith -nogui the box of a rejected command line is not shown either.\n"
      "\n-list\t\tWith -nogui: lists the device instances and INF files found.\n"
      "\t\tNothing is removed.\n";
  EXPECT_EQ(BuildUsageText(false), head + tail + added);
  EXPECT_EQ(BuildUsageText(true), head + expert + tail + added);
}

// Read before the other options are checked: a rejected command line is recorded too.
TEST(ReadLogRequest, UnattendedOnlyWithNoGuiAndLogTogether) {
  struct Case {
    const char* line;
    bool unattended;
    bool noGui;
    const char* path;
  } cases[] = {
      {"", false, false, ""},
      {"-nogui", false, true, ""},
      {"-log C:\\k.log", false, false, "C:\\k.log"},
      {"-NOGUI -c -LOG C:\\k.log", true, true, "C:\\k.log"},
      {"-nogui -log", true, true, ""},
      {"-log -nogui", true, true, ""},
      {"-nogui -log \"C:\\k.log\"", true, true, "C:\\k.log"},
      {"-nogui -log \"C:\\My Logs\\k.log\" -h", true, true, "C:\\My Logs\\k.log"},
      {"-nogui -log \"C:\\My Logs\\k.log", true, true, ""},
  };
  for (const Case& c : cases) {
    LogRequest request = ReadLogRequest(c.line);
    EXPECT_EQ(request.unattended, c.unattended) << c.line;
    EXPECT_EQ(request.noGui, c.noGui) << c.line;
    EXPECT_EQ(request.path, c.path) << c.line;
  }
}

}  // namespace
}  // namespace korva
