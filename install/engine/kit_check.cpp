#include "install/engine/kit_check.h"

#include <vector>

#include "common/ansi_text.h"
#include "common/core/text.h"
#include "install/engine/driver_staging.h"

namespace korva {

namespace {

// The folder, then each of `files` in it that is there; false at the first that fails.
bool CheckFolderAndFiles(KitTrust& trust, const std::string& folder,
                         const std::vector<std::string>& files, KitTrustProblem& problem,
                         bool& present, bool refuseLink = false) {
  if (!trust.Check(folder, true, problem, &present, refuseLink)) return false;
  if (!present) return true;
  for (const std::string& file : files) {
    if (!trust.Check(folder + "\\" + file, false, problem)) return false;
  }
  return true;
}

}  // namespace

InstallKitCheck CheckInstallKit(const InstallPaths& paths, const std::string& programFile,
                                KitTrust& trust) {
  std::vector<std::string> binaries;
  for (const DriverBinary& binary : kDriverBinaryTable) binaries.push_back(binary.file);

  InstallKitCheck check;
  std::vector<std::string> own = binaries;
  own.push_back(kDemoProgramFile);
  own.push_back(kTemplateFile);
  bool present = false;
  check.trusted = CheckFolderAndFiles(trust, paths.programFolder, own, check.problem, present) &&
                  (programFile.empty() || trust.Check(programFile, false, check.problem));
  if (!check.trusted) return check;

  // Nothing of the alternate folder is open while the program runs, so whoever could rename or
  // replace it (through the folder holding it, or by pointing a junction of that name
  // elsewhere) could swap it between the check and the copy: that folder must pass too, and
  // the alternate folder must be a plain one.
  std::vector<std::string> alternate = binaries;
  alternate.push_back(kDemoProgramFile);
  const std::string holding =
      paths.alternateFolder.substr(0, FileNameStart(paths.alternateFolder, IsAnsiLeadByte) - 1);
  check.alternateUsable =
      CheckFolderAndFiles(trust, paths.alternateFolder, alternate, check.alternateProblem,
                          check.alternatePresent, true) &&
      check.alternatePresent && trust.Check(holding, true, check.alternateProblem);
  return check;
}

}  // namespace korva
