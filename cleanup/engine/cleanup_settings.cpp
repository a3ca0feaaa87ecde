#include "cleanup/engine/cleanup_settings.h"

#include "cleanup/engine/command_line.h"
#include "common/text.h"

namespace korva {

StartAction ReadCleanupOptions(const std::string& commandLine, const GuidParser& parseGuid,
                               CleanupSettings& settings) {
  settings.classGuidText = kDefaultClassGuidText;
  settings.deviceIdentString = kDefaultDeviceIdentString;

  std::string value;
  if (FindCommandLineOption(commandLine, "-c", &value, true)) {
    if (value.empty()) return StartAction::kInvalidArgument;
    settings.classGuidText = value;
  }
  if (FindCommandLineOption(commandLine, "-i", &value, true)) {
    if (value.empty()) return StartAction::kInvalidArgument;
    settings.deviceIdentString = value;
  }
  if (FindCommandLineOption(commandLine, "-nogui", nullptr, true)) settings.interactive = false;
  if (FindCommandLineOption(commandLine, "-expert", nullptr, true)) settings.expertMode = true;
  for (const char* help : {"-h", "/h", "-?", "/?"}) {
    if (FindCommandLineOption(commandLine, help, nullptr, true)) return StartAction::kShowUsage;
  }
  if (!parseGuid(settings.classGuidText, settings.classGuid)) {
    return StartAction::kInvalidClassGuid;
  }
  UpperCaseInPlace(settings.classGuidText);
  UpperCaseInPlace(settings.deviceIdentString);
  settings.identValueName = kIdentValueName;
  UpperCaseInPlace(settings.identValueName);
  return StartAction::kRun;
}

std::string BuildUsageText(bool expertMode) {
  std::string text =
      "KORVACW [option] [option] [...]\n\nsupported options:\n-h\t\tShows this help message.\n\n"
      "-c ClassGuid\tSpecifies the device setup class to be scanned.\n\n"
      "-i DevIdentStr\tSpecifies the device ident string to be checked. The string is provided "
      "by the\n\t\tCleanupWizard_DeviceIdentString value contained in a device instance "
      "registry key.\n\n"
      "-nogui\t\tRun in non-interactive mode. The wizard does not require any user input.\n"
      "\t\tWARNING: Device instances and INF files will be removed without confirmation.\n";
  if (expertMode) {
    text +=
        "\n-expert\t\tEnable expert mode. The device ident string will not be checked.\n"
        "\t\tNOTE: This makes it possible to remove all device instances\n"
        "\t\tthat belong to a device setup class.\n";
  }
  text +=
      "\nExample:\nKORVACW -c {96e73b6e-7a5a-11d4-9f24-0080c82727f4} -i "
      "{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\n";
  return text;
}

}  // namespace korva
