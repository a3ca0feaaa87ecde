// The Installation Wizard's folders and paths, worked out from the path of its own program
// file. Platform-free.
#pragma once

#include <string>

#include "common/core/text.h"

namespace korva {

// The INF template's name in the program folder.
constexpr char kTemplateFile[] = "korvawiz.tpl";

struct InstallPaths {
  std::string programFolder;    // no trailing backslash; "C:" for a program at a drive's root
  std::string installFolder;    // programFolder\install
  std::string templatePath;     // programFolder\korvawiz.tpl
  std::string infPath;          // installFolder\korvawiz.inf
  std::string catalogPath;      // installFolder\korvawiz.cat, the package's signed catalog
  std::string certificatePath;  // installFolder\korvawiz.cer, the certificate that signed it
  std::string alternateFolder;  // the kit folder "korva" beside programFolder
};

// `modulePath` is the full path of the program file; "/" and "\" both separate folders.
InstallPaths DeriveInstallPaths(const std::string& modulePath,
                                const LeadBytePredicate& isLeadByte = nullptr);

}  // namespace korva
