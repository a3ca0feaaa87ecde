// The lines of a run log: a fixed word that names the line's kind, then its fields, each after
// a tab, so that a script can split them. Platform-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva {

// The exit status of an unattended run that did all it had to but could not open its log file,
// in both programs; a failure's own status and the restart status 3010 come first.
constexpr int kExitLogNotOpened = 6;

// One line, without its line end. Fields come from device data, registry values and file
// names, so every control character in one (tab, CR, LF and the others) becomes a blank: a
// field can never split its line or gain a field.
std::string FormatLogLine(const std::string& kind, const std::vector<std::string>& fields);

// Whether a log path names a plain file: the device namespace ("\\.\...", "\??\...") and the raw
// forms of
// "\\?\" other than a drive ("\\?\C:\...") or a share ("\\?\UNC\...") are refused, so that a
// mistyped option never appends text to a disk, a volume or a device.
bool IsPlainFilePath(const std::string& path);

// An error code as the report prints it: signed decimal, so the set-up services' own codes
// read as negative numbers there and here alike.
std::string ErrorCodeText(std::uint32_t code);

// A message box text as one log field: its lines joined by a blank, no line break at its end.
std::string MessageAsLogField(const std::string& text);

// The box (or, unattended, the error line) for a log file that could not be opened; the same
// in both programs.
std::string LogNotOpenedMessage(const std::string& path, std::uint32_t code,
                                const std::string& codeText);

// The lines of a text without their line breaks; empty lines are dropped.
std::vector<std::string> NonEmptyLines(const std::string& text);

}  // namespace korva
