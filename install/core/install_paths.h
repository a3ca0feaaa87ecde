// The Installation Wizard's folders and paths, worked out from the path of its own program
// file. Platform-free.
#pragma once

#include <functional>
#include <string>

namespace korva {

struct InstallPaths {
  std::string programFolder;    // no trailing backslash; "C:" for a program at a drive's root
  std::string installFolder;    // programFolder\install
  std::string templatePath;     // programFolder\korvawiz.tpl
  std::string infPath;          // installFolder\korvawiz.inf
  std::string alternateFolder;  // the kit folder "korva" beside programFolder
};

// Tells whether a byte starts a double-byte character of the ANSI code page, so that a trail
// byte that happens to be a backslash is not taken for a separator.
using LeadBytePredicate = std::function<bool(unsigned char)>;

// `modulePath` is the full path of the program file; "/" and "\" both separate folders.
InstallPaths DeriveInstallPaths(const std::string& modulePath,
                                const LeadBytePredicate& isLeadByte = nullptr);

}  // namespace korva
