#include "cleanup/core/cleanup_log.h"

namespace korva {

namespace {

std::string Flag(bool value) { return value ? "yes" : "no"; }

}  // namespace

std::vector<std::string> CleanupStartFields(const std::string& localTime,
                                            const std::string& program,
                                            const CleanupSettings& settings) {
  return {localTime,
          program,
          "class=" + settings.classGuidText,
          "ident=" + settings.deviceIdentString,
          "expert=" + Flag(settings.expertMode),
          "nogui=" + Flag(!settings.interactive),
          "list=" + Flag(settings.listOnly)};
}

std::vector<std::string> CleanupEndFields(const CleanupRunCounts& counts, int status) {
  return {"devices=" + std::to_string(counts.devicesFound),
          "inf=" + std::to_string(counts.infFilesFound),
          "certificates=" + std::to_string(counts.certificatesFound),
          "services=" + std::to_string(counts.servicesFound),
          "removed=" + std::to_string(counts.removed),
          "failed=" + std::to_string(counts.failed),
          "not examined=" + std::to_string(counts.notExamined),
          "status=" + std::to_string(status)};
}

int UnattendedExitStatus(const CleanupRunCounts& counts, bool listOnly, bool logNotOpened) {
  if (counts.failed != 0 || counts.notExamined != 0) return kExitRemovalFailed;
  if (listOnly && counts.devicesFound + counts.infFilesFound + counts.certificatesFound +
                          counts.servicesFound !=
                      0) {
    return kExitItemsFound;
  }
  if (counts.restartNeeded) return kExitRestartNeeded;
  if (logNotOpened) return kExitLogNotOpened;
  return kExitOk;
}

}  // namespace korva
