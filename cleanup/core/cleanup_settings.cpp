#include "cleanup/core/cleanup_settings.h"

#include <vector>

#include "cleanup/core/command_line.h"
#include "common/core/text.h"

namespace korva {

namespace {

const std::vector<std::string> kOptions = {"-c",    "-i", "-nogui", "-expert", "-log",
                                           "-list", "-h", "/h",     "-?",      "/?"};
const std::vector<std::string> kValueOptions = {"-c", "-i", "-log"};

bool IsOption(const std::string& token) {
  for (const std::string& option : kOptions) {
    if (EqualsIgnoreCaseMultibyte(token, option)) return true;
  }
  return false;
}

// A log path holds no quote (a quote left in one was never closed, and no file name holds
// one); an option in its place means that the path was left out (`-log -nogui`).
bool IsUsableLogPath(const std::string& value) {
  return !value.empty() && value.find('"') == std::string::npos && !IsOption(value);
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool IsBracedGuidText(const std::string& text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    bool hyphen = i == 9 || i == 14 || i == 19 || i == 24;
    if (hyphen ? text[i] != '-' : !IsHexDigit(text[i])) return false;
  }
  return true;
}

StartAction ReadCleanupOptions(const std::string& commandLine, const GuidParser& parseGuid,
                               CleanupSettings& settings) {
  settings.classGuidText = kKitClassGuidText;
  settings.deviceIdentString = kKitIdent;
  const bool noGui = FindCommandLineOption(commandLine, "-nogui", nullptr, true);

  std::string value;
  if (FindCommandLineOption(commandLine, "-c", &value, true)) {
    if (value.empty()) return StartAction::kInvalidArgument;
    settings.classGuidText = value;
  }
  if (FindCommandLineOption(commandLine, "-i", &value, true)) {
    // Quotes are no syntax here: `-i "My Ident"` would look for the ident "My. Unattended, an
    // option in the value's place means the ident was left out (`-i %ID% -log x` with an empty
    // %ID%): a run for the ident "-LOG" would find nothing and report success.
    if (value.empty() || value.find('"') != std::string::npos || (noGui && IsOption(value))) {
      return StartAction::kInvalidArgument;
    }
    settings.deviceIdentString = value;
  }
  if (FindCommandLineOption(commandLine, "-log", &value, true)) {
    if (!IsUsableLogPath(value)) return StartAction::kInvalidArgument;
    settings.logPath = value;
  }
  if (noGui) {
    // Unattended, a mistyped option must not be ignored: `-c={other class}` would leave the
    // default class to be emptied without a question.
    if (!EveryTokenIsKnown(commandLine, kOptions, kValueOptions)) {
      return StartAction::kInvalidArgument;
    }
    settings.interactive = false;
  }
  if (FindCommandLineOption(commandLine, "-expert", nullptr, true)) settings.expertMode = true;
  for (const char* help : {"-h", "/h", "-?", "/?"}) {
    if (FindCommandLineOption(commandLine, help, nullptr, true)) return StartAction::kShowUsage;
  }
  if (FindCommandLineOption(commandLine, "-list", nullptr, true)) {
    // The wizard always asks before it removes; -list asking for no removal there would be
    // a promise the wizard does not keep.
    if (settings.interactive) return StartAction::kInvalidArgument;
    settings.listOnly = true;
  }
  // The platform's parser also takes program identifiers ("htmlfile"), which are no class.
  if (!IsBracedGuidText(settings.classGuidText) ||
      !parseGuid(settings.classGuidText, settings.classGuid)) {
    return StartAction::kInvalidClassGuid;
  }
  // The GUID is compared with the INF files' ASCII marks; the ident is the user's text.
  AsciiUpperCaseInPlace(settings.classGuidText);
  UpperCaseInPlace(settings.deviceIdentString);
  settings.identValueName = kKitIdentValueName;
  UpperCaseInPlace(settings.identValueName);
  return StartAction::kRun;
}

std::string BuildUsageText(bool expertMode) {
  std::string text =
      "KORVACW [option] [option] [...]\n\nsupported options:\n-h\t\tShows this help message.\n\n"
      "-c ClassGuid\tSpecifies the device setup class to be scanned.\n\n"
      "-i DevIdentStr\tSpecifies the device ident string to be checked. The string is provided "
      "by the\n\t\t" +
      std::string(kKitIdentValueName) +
      " value contained in a device instance registry key.\n\n"
      "-nogui\t\tRun in non-interactive mode. The wizard does not require any user input.\n"
      "\t\tWARNING: Device instances and INF files will be removed without confirmation.\n";
  if (expertMode) {
    text +=
        "\n-expert\t\tEnable expert mode. The device ident string will not be checked.\n"
        "\t\tNOTE: This makes it possible to remove all device instances\n"
        "\t\tthat belong to a device setup class.\n";
  }
  // The example shows the defaults.
  text += std::string("\nExample:\nKORVACW -c ") + kKitClassGuidText + " -i " + kKitIdent + "\n";
  text +=
      "\n-log LogFile\tAppends a record of the run to the file (created if missing).\n"
      "\t\tWith -nogui the box of a rejected command line is not shown either.\n"
      "\n-list\t\tWith -nogui: lists the device instances and INF files found.\n"
      "\t\tNothing is removed.\n";
  return text;
}

CleanupCommandLine ReadCleanupCommandLine(const std::string& commandLine,
                                          const GuidParser& parseGuid, CleanupSettings& settings) {
  CleanupCommandLine read;
  read.log = ReadLogRequest(commandLine);
  read.action = ReadCleanupOptions(commandLine, parseGuid, settings);
  return read;
}

LogRequest ReadLogRequest(const std::string& commandLine) {
  LogRequest request;
  std::string value;
  bool logGiven = FindCommandLineOption(commandLine, "-log", &value, true);
  request.noGui = FindCommandLineOption(commandLine, "-nogui", nullptr, true);
  request.unattended = logGiven && request.noGui;
  if (logGiven && IsUsableLogPath(value)) request.path = value;
  return request;
}

}  // namespace korva
