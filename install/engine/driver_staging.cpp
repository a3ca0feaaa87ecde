#include "install/engine/driver_staging.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/core/own_codes.h"
#include "common/core/text.h"
#include "common/file_deletion.h"
#include "common/system_folders.h"
#include "install/engine/kit_check.h"
#include "install/engine/package_check.h"

namespace korva {

namespace {

std::string Format(const char* format, int code, const char* line) {
  char text[512];
  std::snprintf(text, sizeof(text), format, code, line);
  return text;
}

// The INF file names the driver's binary as its driver name with ".sys": the file of a pair
// without "98".
bool InfCanName(const DriverBinary& binary) {
  return std::string(binary.driverName) + ".sys" == binary.file;
}

InstallStepOutcome Failed(int code, bool fatal, InstallStage stage) {
  InstallStepOutcome outcome;
  outcome.result = code;
  outcome.fatal = fatal;
  outcome.stage = stage;
  return outcome;
}

}  // namespace

std::string InstallFolderChangedMessage(const std::string& folder) {
  return "The install folder\n" + folder +
         "\nwas renamed or replaced while the wizard used it. Nothing more is written there or "
         "installed from it.";
}

std::string RestartFirstMessage(const std::string& binary) {
  return "Windows deletes\n" + binary +
         "\nat the next restart (an earlier cleanup could not delete it while it was in use), "
         "and would take the new driver away with it. Restart the computer first, then install "
         "again.";
}

bool PendingAtRestart(DeviceSetup& setup, const std::string& path) {
  UniqueRegKey key;
  if (setup.OpenKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                    KEY_QUERY_VALUE, key) != ERROR_SUCCESS) {
    return false;
  }
  for (const char* name : {"PendingFileRenameOperations", "PendingFileRenameOperations2"}) {
    DWORD type = 0;
    DWORD size = 0;
    LONG status = setup.QueryValue(key.Get(), name, type, nullptr, size);
    if ((status != ERROR_SUCCESS && status != ERROR_MORE_DATA) || type != REG_MULTI_SZ) continue;
    std::vector<BYTE> data(size + 2, 0);
    if (setup.QueryValue(key.Get(), name, type, data.data(), size) != ERROR_SUCCESS) continue;
    // Pairs of a file and what it becomes ("" for a deletion; "!" before it: replacing what is
    // there), each "\\??\\"-prefixed, up to an empty file: either side that names the file
    // changes it. A deletion's empty side is part of its pair, not the end of the list.
    const char* at = reinterpret_cast<const char*>(data.data());
    const char* end = at + size;
    auto next = [&at, end](std::string& entry) {
      entry.clear();
      if (at >= end) return;
      const char* stop = std::find(at, end, '\0');
      entry.assign(at, stop);
      at = stop + 1;
    };
    auto names = [&path](std::string entry) {
      if (!entry.empty() && entry[0] == '!') entry.erase(0, 1);
      if (entry.compare(0, 4, "\\??\\") == 0) entry.erase(0, 4);
      return !entry.empty() && EqualsIgnoreCaseMultibyte(entry, path);
    };
    std::string file, becomes;
    for (next(file); !file.empty(); next(file)) {
      next(becomes);
      if (names(file) || names(becomes)) return true;
    }
  }
  return false;
}

std::string StaleFileMessage(const std::string& path, unsigned long error) {
  return "The install folder holds a file that cannot be replaced (error " + std::to_string(error) +
         "):\n" + path + "\nNothing is installed from it.";
}

InstallStepOutcome StageAndInstall(const InstallPaths& paths, StagedDriverFiles& stagedDriverFiles,
                                   UsbDeviceList& deviceList, PackageSigner& signer,
                                   const ErrorBox& showErrorBox, KitTrust& trust,
                                   const InstallFolder& installFolder, PackageTarget target) {
  // Right before the kit is read: only what administrators alone can change is used.
  InstallKitCheck kit = CheckInstallKit(paths, std::string(), trust);
  if (!kit.trusted) {
    showErrorBox(KitNotTrustedMessage(kit.problem));
    InstallStepOutcome outcome = Failed(kKitNotTrustedCode, true, InstallStage::kKitCheck);
    outcome.kitProblem = kit.problem;
    return outcome;
  }
  // Each part writes into the install folder, or has the platform read from it, by its path:
  // the path must still lead to the folder held since start-up.
  auto folderChanged = [&](InstallStage stage, InstallStepOutcome& outcome) {
    DWORD error = installFolder.Confirm();
    if (error == 0) return false;
    showErrorBox(InstallFolderChangedMessage(paths.installFolder));
    outcome = Failed(static_cast<int>(error), true, stage);
    outcome.installFolderChanged = true;
    return true;
  };
  InstallStepOutcome changed;
  if (folderChanged(InstallStage::kStaging, changed)) return changed;

  // Every file the step writes is made anew, so that no handle that someone opened on an older
  // one reaches it: one that is there and can't be deleted (held open, a folder of that name)
  // stops the step.
  auto notReplaced = [&](const std::string& path, InstallStage stage, InstallStepOutcome& outcome) {
    DWORD error = 0;
    if (!DeleteFileIfPresent(path, error) || error == 0) return false;
    showErrorBox(StaleFileMessage(path, error));
    outcome = Failed(static_cast<int>(error), true, stage);
    outcome.subject = path;
    return true;
  };

  int stagedCount = 0;
  const char* driverName = nullptr;
  for (const DriverBinary& binary : kDriverBinaryTable) {
    std::string target = paths.installFolder + "\\" + binary.file;
    if (notReplaced(target, InstallStage::kStaging, changed)) return changed;
    bool copied =
        CopyFileA((paths.programFolder + "\\" + binary.file).c_str(), target.c_str(), FALSE) ||
        (kit.alternateUsable &&
         CopyFileA((paths.alternateFolder + "\\" + binary.file).c_str(), target.c_str(), FALSE));
    if (!copied) continue;
    ++stagedCount;
    for (std::string& slot : stagedDriverFiles) {
      if (slot.empty()) {
        slot = binary.file;
        break;
      }
    }
    if (!driverName && InfCanName(binary)) driverName = binary.driverName;
  }

  // Without the binary it names, the INF file would fail late with a code nobody can read.
  if (stagedCount < 2 || !driverName) {
    DWORD error = GetLastError();
    int code = error != 0 && driverName ? static_cast<int>(error) : kTooFewDriverBinaries;
    std::string text = "Unable to copy driver executables (*.sys).\n";
    text += kReinstallLine;
    showErrorBox(text);
    return Failed(code, true, InstallStage::kStaging);
  }

  // A deletion of the kit's driver left for the next restart (a cleanup while it was in use)
  // would take away the driver installed now: the restart comes first.
  const std::string installedBinary = SystemFolder() + "\\drivers\\" + driverName + ".sys";
  if (PendingAtRestart(deviceList.Setup(), installedBinary)) {
    showErrorBox(RestartFirstMessage(installedBinary));
    InstallStepOutcome outcome = Failed(kRestartFirstCode, false, InstallStage::kStaging);
    outcome.restartFirst = true;
    outcome.subject = installedBinary;
    return outcome;
  }

  // The file the INF file names goes with it when it is saved, also where two other binaries
  // were staged first (korva98.sys and korval98.sys before korvav.sys).
  const std::string namedFile = std::string(driverName) + ".sys";
  if (std::find(stagedDriverFiles.begin(), stagedDriverFiles.end(), namedFile) ==
      stagedDriverFiles.end()) {
    stagedDriverFiles.back() = namedFile;
  }

  if (folderChanged(InstallStage::kInfGeneration, changed)) return changed;
  if (notReplaced(paths.infPath, InstallStage::kInfGeneration, changed)) return changed;
  PackageToSign package;
  int code =
      deviceList.GenerateInf(paths.templatePath, paths.infPath, driverName, &package.infText);
  if (code != 0) {
    showErrorBox(Format("Unable to create a customized INF file (error %d).\n%s", ShownCode(code),
                        kReinstallLine));
    return Failed(code, true, InstallStage::kInfGeneration);
  }

  deviceList.PackageHardwareId(package.hardwareId);
  // A package the platform can't install as it stands is not given to it: a file it names and
  // does not hold would make the platform ask for it, and wait.
  if (folderChanged(InstallStage::kPackageCheck, changed)) return changed;
  PackageCheckFailure problem;
  if (!CheckPackage(paths.infPath, package.hardwareId, paths.installFolder, problem)) {
    int checkCode = static_cast<int>(problem.code);
    showErrorBox(Format("The driver package cannot be installed (error %d).\n%s", checkCode,
                        (problem.reason + "\n" + kReinstallLine).c_str()));
    InstallStepOutcome outcome = Failed(checkCode, false, InstallStage::kPackageCheck);
    outcome.subject = problem.reason;
    return outcome;
  }

  // Today's 64-bit Windows stages no package without a signed catalog: one is made for this
  // package, before the platform is asked to install it.
  package.infPath = paths.infPath;
  package.driverPath = paths.installFolder + "\\" + driverName + ".sys";
  package.catalogPath = paths.catalogPath;
  package.certificatePath = paths.certificatePath;
  if (folderChanged(InstallStage::kSigning, changed)) return changed;
  SigningFailure failure;
  if (!signer.Sign(package, failure)) {
    int signingCode = static_cast<int>(failure.code);
    showErrorBox(Format("Unable to sign the driver package (error %d).\n%s", signingCode, ""));
    InstallStepOutcome outcome = Failed(signingCode, false, InstallStage::kSigning);
    outcome.subject = failure.subject;
    return outcome;
  }

  if (folderChanged(InstallStage::kInstallation, changed)) return changed;
  InstallStepOutcome outcome;
  outcome.stage = InstallStage::kInstallation;
  if (target == PackageTarget::kDriverStore) {
    outcome.result = static_cast<int>(
        deviceList.Setup().CopyOemInf(paths.infPath.c_str(), outcome.publishedPath));
    if (outcome.result != 0) signer.WithdrawTrust();
    return outcome;
  }
  outcome.result = deviceList.InstallDriver(paths.infPath, &outcome.restartNeeded, &outcome.road);
  return outcome;
}

}  // namespace korva
