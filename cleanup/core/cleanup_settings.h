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
// Not shown: a second instance ends silently. Only a run log says it.
constexpr char kAnotherInstanceMessage[] =
    "Another KORVA Cleanup Wizard is running; this one did nothing.";

// Exit status of KORVAcw. The interactive run ends with kExitOk (or kExitLogNotOpened, of
// common/core/log_line.h, when its log file could not be opened).
enum CleanupExitCode : int {
  kExitOk = 0,          // everything removed, nothing found, or usage shown
  kExitItemsFound = 1,  // -list found something of the kit
  // At least one removal of the non-interactive run failed, or a file or folder could not be
  // examined (the kit may remain there).
  kExitRemovalFailed = 2,
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
  bool listOnly = false;  // -list: scan and report, remove nothing
  std::string logPath;    // -log: the file the run's record is appended to; empty for none
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
// So are a -log without a usable path and a -list without -nogui.
StartAction ReadCleanupOptions(const std::string& commandLine, const GuidParser& parseGuid,
                               CleanupSettings& settings);

// The text of the usage box; the expert paragraph only in expert mode.
std::string BuildUsageText(bool expertMode);

// Where a run's record goes, read before the other options are checked so that even a
// rejected command line is recorded: with -nogui and -log together the run shows no box.
struct LogRequest {
  bool unattended = false;  // -nogui and -log both stand on the command line
  bool noGui = false;
  std::string path;  // the value of -log when it is usable, else empty
};
LogRequest ReadLogRequest(const std::string& commandLine);

// The whole command line, read once at start-up: where the record goes and what to do, with
// `settings` filled as ReadCleanupOptions fills them. Every later step acts on this value.
struct CleanupCommandLine {
  LogRequest log;
  StartAction action = StartAction::kRun;
};
CleanupCommandLine ReadCleanupCommandLine(const std::string& commandLine,
                                          const GuidParser& parseGuid, CleanupSettings& settings);

}  // namespace korva
