// Which of its kit folders KORVAwiz may read: the program folder, which has to pass for
// anything to be staged, trusted or started, and the alternate folder "korva" beside it, used
// only when it passes too (as a plain folder, and with the folder that holds it). Every file the
// wizard reads or starts from a folder is checked with the folder.
#pragma once

#include <string>

#include "common/core/kit_refusals.h"
#include "common/kit_trust.h"
#include "install/core/install_paths.h"

namespace korva {

// The demo program of the kit, which the finish page starts.
constexpr char kDemoProgramFile[] = "korvaapp.exe";

struct InstallKitCheck {
  bool trusted = true;           // the program folder and its files
  KitTrustProblem problem;       // why not
  bool alternateUsable = false;  // the alternate folder is there, and passed
  bool alternatePresent = false;
  KitTrustProblem alternateProblem;  // why it is not used, when it is there
};

// `programFile` is the program's own file, checked with its folder.
InstallKitCheck CheckInstallKit(const InstallPaths& paths, const std::string& programFile,
                                KitTrust& trust);

}  // namespace korva
