#include "install/engine/unattended_install.h"

#include "common/core/log_line.h"
#include "common/core/own_codes.h"
#include "common/core/text.h"
#include "devsetup/device_info.h"
#include "install/core/install_command_line.h"

namespace korva {

namespace {

const char* RoadName(InstallRoad road) {
  switch (road) {
    case InstallRoad::kUpdateService:
      return "update service";
    case InstallRoad::kClassInstaller:
      return "class installer";
    case InstallRoad::kNone:
      break;
  }
  return "none";
}

// As the wizard's boxes show it; the text beside it tells an own code from the platform's.
std::string CodeText(int code) {
  return ErrorCodeText(static_cast<std::uint32_t>(ShownCode(code)));
}

}  // namespace

std::string InstallStepErrorText(InstallStage stage, int code) {
  if (code == kPropertyNotAString) return "The device's hardware ID is not text.";
  if (stage == InstallStage::kInfGeneration) {
    switch (code) {
      case kTemplateNotOpened:
        return "The INF template could not be opened.";
      case kOutputNotCreated:
        return "The INF file could not be created.";
      case kTemplateReadFailed:
        return "The INF template could not be read.";
      case kOutputWriteFailed:
        return "The INF file could not be written.";
      case kNoDeviceSelected:
        return "No device was chosen.";
      default:
        break;
    }
  }
  if (stage == InstallStage::kInstallation) {
    switch (code) {
      case kInstallNoDeviceSet:
        return "The device list is gone.";
      case kInstallNoSelection:
        return "No device was chosen.";
      case kInstallEmptyHardwareId:
        return "The device's hardware ID is empty.";
      default:
        break;
    }
  }
  return SystemErrorText(static_cast<DWORD>(code));
}

int InstallForHardwareId(const std::string& hardwareId, const InstallPaths& paths,
                         StagedDriverFiles& stagedDriverFiles, UsbDeviceList& deviceList,
                         PackageSigner& signer, KitTrust& trust, const InstallFolder& installFolder,
                         RunLog& log) {
  if (int error = deviceList.Enumerate(true)) {
    log.Write("error", {"The connected USB devices could not be listed (error " + CodeText(error) +
                        ": " + SystemErrorText(static_cast<DWORD>(error)) + ")."});
    return kInstallExitNoSuchDevice;
  }
  // The list's order, so that the device is the one the wizard would show first.
  const auto& items = deviceList.Items();
  int chosen = -1;
  std::string firstId;
  for (size_t i = 0; i < items.size() && chosen < 0; ++i) {
    if (deviceList.GetDeviceProperty(items[i]->devInfoData, SPDRP_HARDWAREID, firstId) != 0) {
      continue;
    }
    if (EqualsIgnoreCase(firstId, hardwareId)) chosen = static_cast<int>(i);
  }
  if (chosen < 0) {
    // A list that ended early may lack the device: that is no answer that it is not there.
    if (DWORD error = deviceList.WalkError()) {
      log.Write("error",
                {"The connected USB devices could not all be listed (error " +
                 CodeText(static_cast<int>(error)) + ": " + SystemErrorText(error) + ")."});
      return kInstallExitNoSuchDevice;
    }
    log.Write("error", {"No connected USB device has the hardware ID " + hardwareId + "."});
    return kInstallExitNoSuchDevice;
  }
  deviceList.SetSelectedIndex(chosen);
  const SP_DEVINFO_DATA& element = items[static_cast<size_t>(chosen)]->devInfoData;
  std::string instanceId;
  std::string description;
  deviceList.GetInstanceId(element, instanceId);
  deviceList.GetDeviceProperty(element, SPDRP_DEVICEDESC, description);
  log.Write("device", {instanceId, description, firstId});

  // No boxes here: the log line below says what the wizard's boxes would have said.
  InstallStepOutcome outcome = StageAndInstall(
      paths, stagedDriverFiles, deviceList, signer, [](const std::string&) {}, trust,
      installFolder);
  if (outcome.result != 0) {
    std::string code = CodeText(outcome.result);
    std::string text = InstallStepErrorText(outcome.stage, outcome.result);
    if (outcome.restartFirst) {
      log.Write("failed", {"restart first", outcome.subject, code,
                           MessageAsLogField(RestartFirstMessage(outcome.subject))});
      return kInstallExitRestartFirst;
    }
    if (outcome.installFolderChanged) {
      log.Write("failed", {"install folder", paths.installFolder, code,
                           MessageAsLogField(InstallFolderChangedMessage(paths.installFolder))});
      return kInstallExitFailed;
    }
    switch (outcome.stage) {
      case InstallStage::kKitCheck:
        log.Write("untrusted", KitTrustLogFields(outcome.kitProblem));
        log.Write("error", {MessageAsLogField(KitNotTrustedMessage(outcome.kitProblem))});
        return kExitKitNotTrusted;
      case InstallStage::kStaging:
        // A file that could not be replaced is named; else the folder the binaries come from.
        log.Write("failed",
                  {"staging", outcome.subject.empty() ? paths.programFolder : outcome.subject, code,
                   text});
        break;
      case InstallStage::kInfGeneration:
        log.Write("failed", {"inf generation", paths.infPath, code, text});
        break;
      case InstallStage::kPackageCheck:
        log.Write("failed", {"package check", paths.infPath, code, outcome.subject});
        return kInstallExitPackageCheckFailed;
      case InstallStage::kSigning:
        log.Write("failed", {"signing", outcome.subject, code, text});
        return kInstallExitSigningFailed;
      case InstallStage::kInstallation:
        log.Write("failed", {"installation", instanceId, code, text});
        break;
    }
    return outcome.fatal ? kInstallExitFailed : kInstallExitInstallationFailed;
  }
  std::vector<std::string> fields = {instanceId, RoadName(outcome.road)};
  if (outcome.restartNeeded) fields.push_back("restart needed");
  log.Write("installed", fields);
  return outcome.restartNeeded ? kInstallExitRestartNeeded : kInstallExitFinished;
}

}  // namespace korva
