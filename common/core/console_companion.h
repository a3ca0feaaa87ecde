// The console companions KORVAcw.com and KORVAwiz.com: console programs beside the windowed
// ones, which a command prompt waits for, so that a command typed there prints the program's
// lines, waits for its end and sets the status. What they need without the platform: the
// program they start, their messages, and where text may be cut for conversion.
#pragma once

#include <cstddef>
#include <string>

#include "common/core/text.h"
#include "common/core/wow64_hand_over.h"

namespace korva {

// A companion whose program is missing or could not be started ends with the status of a
// missing 64-bit build: nothing was removed or installed.
constexpr int kExitCompanionNoProgram = kExitNo64BitBuild;

// The platform's code for a program that asks for an administrator, started by one who is not.
constexpr unsigned long kErrorElevationRequired = 740;

// The windowed program `programName` in the folder of the companion at `modulePath`
// ("C:\Kit\KORVAcw.com" and "KORVAcw.exe" give "C:\Kit\KORVAcw.exe"); a trail byte that looks
// like a backslash does not end a folder name.
std::string CompanionProgramPath(const std::string& modulePath, const std::string& programName,
                                 const LeadBytePredicate& isLeadByte = nullptr);

// The line a companion writes to its standard error when its program at `path` was not found
// (`error` 0), could not be started (the platform's `error`), or its end could not be awaited
// (`waitFailed`; it was stopped then). Begins with the companion's name, ends with CR LF.
std::string CompanionFailureLine(const std::string& companionName, const std::string& path,
                                 unsigned long error, bool waitFailed = false);

// The line of a companion whose own path has no exact ANSI form (`folder` is that form, with a
// '?' for each character it lacks); ends with CR LF.
std::string CompanionPathNotAnsiLine(const std::string& companionName, const std::string& folder);

// How many bytes at the start of `bytes` are whole characters: all of them, but for a lead
// byte at the end whose trail byte has not arrived yet.
size_t WholeCharactersLength(const std::string& bytes, const LeadBytePredicate& isLeadByte);

}  // namespace korva
