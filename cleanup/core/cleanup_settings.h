// The settings of one Cleanup Wizard run and the reading of the command line into them.
// Platform-free: the GUID parser is handed in by the caller.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "common/core/kit_identity.h"

namespace korva {

constexpr char kCleanupErrorCaption[] = "KORVA Cleanup Wizard";
constexpr char kCleanupUsageCaption[] = "KORVA Cleanup Wizard Usage";
constexpr char kInvalidArgumentMessage[] =
    "An invalid command line argument was passed.\n"
    "Use KORVACW -h to display information on how to use the wizard.\n";
constexpr char kInvalidClassGuidMessage[] =
    "An invalid ClassGuid string has been passed.\n"
    "Use KORVACW -h to display information on how to use the wizard.";

// Exit status of KORVAcw. The interactive run always ends with kExitOk.
enum CleanupExitCode : int {
  kExitOk = 0,              // everything removed, nothing found, or usage shown
  kExitRemovalFailed = 2,   // at least one removal of the non-interactive run failed
  kExitBadCommandLine = 3,  // invalid argument or invalid class GUID
  kExitAlreadyRunning = 4,  // another instance holds the mutex, or it could not be made
  // Every removal of the non-interactive run succeeded, and one needs a restart to complete
  // (ERROR_SUCCESS_REBOOT_REQUIRED, which management tools read as success, restart pending).
  kExitRestartNeeded = 3010,
};

using GuidBytes = std::array<std::uint8_t, 16>;  // a GUID in its in-memory layout

struct CleanupSettings {
  std::string classGuidText;  // upper-case once parsed
  GuidBytes classGuid{};
  std::string deviceIdentString;  // upper-case
  std::string identValueName;     // upper-case
  bool expertMode = false;
  bool interactive = true;
};

enum class StartAction { kRun, kShowUsage, kInvalidArgument, kInvalidClassGuid };

// Parses the braced text form of a GUID; true on success.
using GuidParser = std::function<bool(const std::string& text, GuidBytes& guid)>;

// Whether `text` has the braced registry form of a GUID: 32 hexadecimal digits in groups of
// 8-4-4-4-12 joined by hyphens, between curly braces (38 characters).
bool IsBracedGuidText(const std::string& text);

// Reads the options in the fixed order of the start-up routine and fills `settings`; without
// -c and -i, the kit's own class and ident.
// Only a kRun answer leaves final settings; the others say which box to show. Besides a
// missing value, an ident with a double quote and, with -nogui, a token that is neither an
// option nor an option's value are invalid arguments; a class GUID must have the braced form.
StartAction ReadCleanupOptions(const std::string& commandLine, const GuidParser& parseGuid,
                               CleanupSettings& settings);

// The text of the usage box; the expert paragraph only in expert mode.
std::string BuildUsageText(bool expertMode);

}  // namespace korva
