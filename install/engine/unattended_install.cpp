#include "install/engine/unattended_install.h"

#include <algorithm>
#include <vector>

#include "common/core/kit_identity.h"
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
      case kInstallLeftOut:
        return "The driver update service left this device without the kit's driver.";
      default:
        break;
    }
  }
  return SystemErrorText(static_cast<DWORD>(code));
}

namespace {

// Whether the device runs the kit's driver: of the kit's class, with the kit's ident in its
// hardware key, which only the kit's INF file writes.
bool RunsKitDriver(UsbDeviceList& deviceList, const SP_DEVINFO_DATA& element) {
  std::string classGuid;
  if (deviceList.GetDeviceProperty(element, SPDRP_CLASSGUID, classGuid) != 0 ||
      !EqualsIgnoreCase(classGuid, kKitClassGuidText)) {
    return false;
  }
  UniqueRegKey hardwareKey = deviceList.Setup().OpenDevRegKey(deviceList.DeviceInfoSet(), element,
                                                              DIREG_DEV, KEY_READ);
  std::string ident;
  return hardwareKey.Valid() &&
         ReadRegistryString(deviceList.Setup(), hardwareKey.Get(), kKitIdentValueName, ident) == 0 &&
         EqualsIgnoreCase(ident, kKitIdent);
}

}  // namespace

namespace {

// The error line of a device list that could not be read, whole (`all`) or to its end.
void WriteListingError(RunLog& log, DWORD error, bool all) {
  log.Write("error", {std::string("The connected USB devices could not ") +
                      (all ? "be listed" : "all be listed") + " (error " +
                      CodeText(static_cast<int>(error)) + ": " + SystemErrorText(error) + ")."});
}

struct Match {
  int index;
  std::string instanceId;
};

// Every connected device that has the ID among its hardware IDs (as a whole, letter case
// ignored), each written as a "device" line: Windows gives a device's first ID with its revision
// (&REV_0001) or interface (&MI_00), and users give the one without. In the list's order: the
// first is the one the wizard would show first. `spelled` gets the ID as the first device
// spells it: Windows compares IDs in any letter case, not every implementation of its calls
// does, and the template's ID goes in the device's own case. kInstallExitNoSuchDevice when
// the list could not be read (or, with `required`, holds no such device), else 0.
int FindDevicesWithId(const std::string& hardwareId, UsbDeviceList& deviceList, RunLog& log,
                      bool required, std::vector<Match>& matches, std::string& spelled) {
  if (int error = deviceList.Enumerate(true)) {
    WriteListingError(log, static_cast<DWORD>(error), true);
    return kInstallExitNoSuchDevice;
  }
  const auto& items = deviceList.Items();
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
  // A list that ended early may lack a device: that is no answer that it is not there.
  if (DWORD error = deviceList.WalkError()) {
    if (matches.empty() || !required) {
      WriteListingError(log, error, false);
      return kInstallExitNoSuchDevice;
    }
  }
  if (matches.empty() && required) {
    log.Write("error", {"No connected USB device has the hardware ID " + hardwareId + "."});
    return kInstallExitNoSuchDevice;
  }
  return 0;
}

// The lines and the status of an install step that failed; `target` names what the last part
// worked on (the device, or the INF file staged).
int ReportFailedStep(const InstallStepOutcome& outcome, const InstallPaths& paths,
                     const char* lastPart, const std::string& target, int lastPartStatus,
                     RunLog& log) {
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
      log.Write("failed", {lastPart, target, code, text});
      break;
  }
  return outcome.fatal ? kInstallExitFailed : lastPartStatus;
}

// Installs the package for each matching device and writes an "installed" line for each. The
// driver update service installs for every connected device with the ID at once; the class
// installer for the chosen one only: the others one by one. `first`, when given, is the
// outcome of the first device's installation, already done.
int InstallForEachDevice(UsbDeviceList& deviceList, const std::vector<Match>& matches,
                         const std::string& infPath, const InstallStepOutcome* first,
                         bool& restartNeeded, RunLog& log) {
  int status = kInstallExitFinished;
  bool installedAll = false;
  for (const Match& match : matches) {
    bool restart = false;
    InstallRoad road = InstallRoad::kNone;
    if (first != nullptr && &match == &matches.front()) {
      restart = first->restartNeeded;
      road = first->road;
      installedAll = road == InstallRoad::kUpdateService;
    } else if (installedAll) {
      road = InstallRoad::kUpdateService;
      restart = first != nullptr ? first->restartNeeded : restartNeeded;
    } else {
      deviceList.SetSelectedIndex(match.index);
      int code = deviceList.InstallDriver(infPath, &restart, &road);
      if (code != 0) {
        log.Write("failed", {"installation", match.instanceId, CodeText(code),
                             InstallStepErrorText(InstallStage::kInstallation, code)});
        status = kInstallExitInstallationFailed;
        continue;
      }
      installedAll = road == InstallRoad::kUpdateService;
    }
    // The update service answers for all the devices with the ID at once: each is asked whether
    // it now runs the kit's driver, so that none is said installed that was left out.
    if (road == InstallRoad::kUpdateService &&
        !RunsKitDriver(deviceList, deviceList.Items()[match.index]->devInfoData)) {
      log.Write("failed", {"installation", match.instanceId, CodeText(kInstallLeftOut),
                           InstallStepErrorText(InstallStage::kInstallation, kInstallLeftOut)});
      status = kInstallExitInstallationFailed;
      continue;
    }
    restartNeeded = restartNeeded || restart;
    std::vector<std::string> fields = {match.instanceId, RoadName(road)};
    if (restart) fields.push_back("restart needed");
    log.Write("installed", fields);
  }
  return status;
}

}  // namespace

int ListConnectedDevices(UsbDeviceList& deviceList, RunLog& log, int& count) {
  count = 0;
  if (int error = deviceList.Enumerate(true)) {
    WriteListingError(log, static_cast<DWORD>(error), true);
    return kInstallExitNoSuchDevice;
  }
  for (const auto& item : deviceList.Items()) {
    const SP_DEVINFO_DATA& element = item->devInfoData;
    std::string instanceId, description, manufacturer;
    std::vector<std::string> ids;
    deviceList.GetInstanceId(element, instanceId);
    deviceList.GetHardwareIds(element, ids);
    deviceList.GetDeviceProperty(element, SPDRP_DEVICEDESC, description);
    deviceList.GetDeviceProperty(element, SPDRP_MFG, manufacturer);
    std::string joined;
    for (const std::string& id : ids) joined += (joined.empty() ? "" : " ") + id;
    std::vector<std::string> fields = {instanceId, joined, description, manufacturer};
    UniqueRegKey driverKey = deviceList.OpenDriverKey(element);
    if (driverKey.Valid()) {
      for (const char* value : {"ProviderName", "DriverDate", "DriverVersion", "InfPath"}) {
        std::string text;
        ReadRegistryString(deviceList.Setup(), driverKey.Get(), value, text);
        fields.push_back(text);
      }
      fields.push_back(RunsKitDriver(deviceList, element) ? "kit" : "other");
    } else {
      fields.insert(fields.end(), {"", "", "", "", "none"});
    }
    log.Write("connected", fields);
    ++count;
  }
  // A list that ended early is no answer to what is connected.
  if (DWORD error = deviceList.WalkError()) {
    WriteListingError(log, error, false);
    return kInstallExitNoSuchDevice;
  }
  return kInstallExitFinished;
}

namespace {

// -hwid and -stage: the devices with the ID, the package (for the first of them, or for the ID
// alone into the driver store), then the driver for each device.
int RunForHardwareId(const std::string& hardwareId, const InstallPaths& paths,
                     StagedDriverFiles& stagedDriverFiles, UsbDeviceList& deviceList,
                     PackageSigner& signer, KitTrust& trust, const InstallFolder& installFolder,
                     PackageTarget target, RunLog& log) {
  const bool staging = target == PackageTarget::kDriverStore;
  std::vector<Match> matches;
  std::string spelled;
  if (int status = FindDevicesWithId(hardwareId, deviceList, log, !staging, matches, spelled)) {
    return status;
  }
  // The package names the ID given (not the device's first), so that it covers every device
  // (and revision) meant. Staged, it is the package of a device nobody knows yet, whatever is
  // connected now: the same for every machine it is staged on.
  deviceList.SetSelectedIndex(staging ? -1 : matches.front().index);
  deviceList.UseHardwareId(spelled.empty() ? hardwareId : spelled);

  // No boxes here: the log line below says what the wizard's boxes would have said.
  InstallStepOutcome outcome = StageAndInstall(
      paths, stagedDriverFiles, deviceList, signer, [](const std::string&) {}, trust,
      installFolder, target);
  if (outcome.result != 0) {
    return staging ? ReportFailedStep(outcome, paths, "stage", paths.infPath,
                                      kInstallExitStagingFailed, log)
                   : ReportFailedStep(outcome, paths, "installation", matches.front().instanceId,
                                      kInstallExitInstallationFailed, log);
  }
  if (staging) {
    // The published name, as the platform's own tools name a package in the store.
    const std::string& published = outcome.publishedPath;
    log.Write("staged", {published.substr(published.find_last_of('\\') + 1)});
  }
  bool restartNeeded = false;
  int status = InstallForEachDevice(deviceList, matches, paths.infPath,
                                    staging ? nullptr : &outcome, restartNeeded, log);
  if (status != kInstallExitFinished) return status;
  return restartNeeded ? kInstallExitRestartNeeded : kInstallExitFinished;
}

}  // namespace

int InstallForHardwareId(const std::string& hardwareId, const InstallPaths& paths,
                         StagedDriverFiles& stagedDriverFiles, UsbDeviceList& deviceList,
                         PackageSigner& signer, KitTrust& trust, const InstallFolder& installFolder,
                         RunLog& log) {
  return RunForHardwareId(hardwareId, paths, stagedDriverFiles, deviceList, signer, trust,
                          installFolder, PackageTarget::kChosenDevice, log);
}

int StageForHardwareId(const std::string& hardwareId, const InstallPaths& paths,
                       StagedDriverFiles& stagedDriverFiles, UsbDeviceList& deviceList,
                       PackageSigner& signer, KitTrust& trust, const InstallFolder& installFolder,
                       RunLog& log) {
  return RunForHardwareId(hardwareId, paths, stagedDriverFiles, deviceList, signer, trust,
                          installFolder, PackageTarget::kDriverStore, log);
}

}  // namespace korva
