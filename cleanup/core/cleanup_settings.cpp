#include "cleanup/core/cleanup_settings.h"

#include "cleanup/core/command_line.h"
#include "common/core/text.h"

namespace korva {

namespace {

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

  std::string value;
  if (FindCommandLineOption(commandLine, "-c", &value, true)) {
    if (value.empty()) return StartAction::kInvalidArgument;
    settings.classGuidText = value;
  }
  if (FindCommandLineOption(commandLine, "-i", &value, true)) {
    // Quotes are no syntax here: `-i "My Ident"` would look for the ident "My.
    if (value.empty() || value.find('"') != std::string::npos) {
      return StartAction::kInvalidArgument;
    }
    settings.deviceIdentString = value;
  }
  if (FindCommandLineOption(commandLine, "-nogui", nullptr, true)) {
    // Unattended, a mistyped option must not be ignored: `-c={other class}` would leave the
    // default class to be emptied without a question.
    if (!EveryTokenIsKnown(commandLine, {"-c", "-i", "-nogui", "-expert", "-h", "/h", "-?", "/?"},
                           {"-c", "-i"})) {
      return StartAction::kInvalidArgument;
    }
    settings.interactive = false;
  }
  if (FindCommandLineOption(commandLine, "-expert", nullptr, true)) settings.expertMode = true;
  for (const char* help : {"-h", "/h", "-?", "/?"}) {
    if (FindCommandLineOption(commandLine, help, nullptr, true)) return StartAction::kShowUsage;
  }
  // The platform's parser also takes program identifiers ("htmlfile"), which are no class.
  if (!IsBracedGuidText(settings.classGuidText) ||
      !parseGuid(settings.classGuidText, settings.classGuid)) {
    return StartAction::kInvalidClassGuid;
  }
  UpperCaseInPlace(settings.classGuidText);
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
  return text;
}

}  // namespace korva
