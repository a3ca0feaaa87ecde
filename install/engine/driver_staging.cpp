#include "install/engine/driver_staging.h"

#include <windows.h>

#include <cstdio>

#include "common/file_deletion.h"

namespace korva {

namespace {

std::string Format(const char* format, int code, const char* line) {
  char text[512];
  std::snprintf(text, sizeof(text), format, code, line);
  return text;
}

}  // namespace

InstallStepOutcome StageAndInstall(const InstallPaths& paths, StagedDriverFiles& stagedDriverFiles,
                                   UsbDeviceList& deviceList, const ErrorBox& showErrorBox) {
  int stagedCount = 0;
  const char* driverName = nullptr;
  for (const DriverBinary& binary : kDriverBinaryTable) {
    std::string target = paths.installFolder + "\\" + binary.file;
    DeleteFileWithNormalAttributes(target);
    bool copied =
        CopyFileA((paths.programFolder + "\\" + binary.file).c_str(), target.c_str(), FALSE) ||
        CopyFileA((paths.alternateFolder + "\\" + binary.file).c_str(), target.c_str(), FALSE);
    if (!copied) continue;
    ++stagedCount;
    for (std::string& slot : stagedDriverFiles) {
      if (slot.empty()) {
        slot = binary.file;
        break;
      }
    }
    if (!driverName) driverName = binary.driverName;
  }

  if (stagedCount < 2) {
    DWORD error = GetLastError();
    int code = error != 0 ? static_cast<int>(error) : kTooFewDriverBinaries;
    std::string text = "Unable to copy driver executables (*.sys).\n";
    text += kReinstallLine;
    showErrorBox(text);
    return {code, true, false, InstallStage::kStaging};
  }

  DeleteFileWithNormalAttributes(paths.infPath);
  int code = deviceList.GenerateInf(paths.templatePath, paths.infPath, driverName);
  if (code != 0) {
    showErrorBox(
        Format("Unable to create a customized INF file (error %d).\n%s", code, kReinstallLine));
    return {code, true, false, InstallStage::kInfGeneration};
  }
  InstallStepOutcome outcome;
  outcome.stage = InstallStage::kInstallation;
  outcome.result = deviceList.InstallDriver(paths.infPath, &outcome.restartNeeded, &outcome.road);
  return outcome;
}

}  // namespace korva
