#include "install/engine/unattended_install.h"

#include <algorithm>
#include <vector>

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
  // Every connected device that has the ID among its hardware IDs (as a whole, letter case
  // ignored): Windows gives a device's first ID with its revision (&REV_0001) or interface
  // (&MI_00), and users give the one without. In the list's order: the first is the one the
  // wizard would show first.
  const auto& items = deviceList.Items();
  struct Match {
    int index;
    std::string instanceId;
  };
  std::vector<Match> matches;
  // The ID as the first device spells it: Windows compares IDs in any letter case, not every
  // implementation of its calls does, and the template's ID goes in the device's own case.
  std::string spelled;
  for (size_t i = 0; i < items.size(); ++i) {
    std::vector<std::string> ids;
    if (deviceList.GetHardwareIds(items[i]->devInfoData, ids) != 0) continue;
    auto found = std::find_if(ids.begin(), ids.end(), [&](const std::string& id) {
      return EqualsIgnoreCase(id, hardwareId);
    });
    if (found == ids.end()) continue;
    if (spelled.empty()) spelled = *found;
    Match match{static_cast<int>(i), std::string()};
    std::string description;
    deviceList.GetInstanceId(items[i]->devInfoData, match.instanceId);
    deviceList.GetDeviceProperty(items[i]->devInfoData, SPDRP_DEVICEDESC, description);
    log.Write("device", {match.instanceId, description, ids.front()});
    matches.push_back(match);
  }
  if (matches.empty()) {
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
  deviceList.SetSelectedIndex(matches.front().index);
  // The package names the ID given (not the device's first), so that it covers every device
  // (and revision) meant.
  deviceList.UseHardwareId(spelled);
  const std::string& instanceId = matches.front().instanceId;

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
  // The driver update service installed for every connected device with the ID; the class
  // installer for the chosen one only: the others one by one, with the same package.
  bool restartNeeded = outcome.restartNeeded;
  int status = kInstallExitFinished;
  for (const Match& match : matches) {
    bool restart = outcome.restartNeeded;
    InstallRoad road = outcome.road;
    if (outcome.road == InstallRoad::kClassInstaller && &match != &matches.front()) {
      deviceList.SetSelectedIndex(match.index);
      int code = deviceList.InstallDriver(paths.infPath, &restart, &road);
      if (code != 0) {
        log.Write("failed", {"installation", match.instanceId, CodeText(code),
                             InstallStepErrorText(InstallStage::kInstallation, code)});
        status = kInstallExitInstallationFailed;
        continue;
      }
      restartNeeded = restartNeeded || restart;
    }
    std::vector<std::string> fields = {match.instanceId, RoadName(road)};
    if (restart) fields.push_back("restart needed");
    log.Write("installed", fields);
  }
  if (status != kInstallExitFinished) return status;
  return restartNeeded ? kInstallExitRestartNeeded : kInstallExitFinished;
}

}  // namespace korva
