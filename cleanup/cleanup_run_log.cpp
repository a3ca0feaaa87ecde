#include "cleanup/cleanup_run_log.h"

#include "res/version.h"

namespace korva {

namespace {

// The fields of a failure: the code as the report prints it, then the platform's text.
std::vector<std::string> Failure(const std::string& what, const std::string& subject, DWORD code) {
  return {what, subject, ErrorCodeText(code), SystemErrorText(code)};
}

}  // namespace

void CleanupRunLog::Start(const CleanupSettings& settings) {
  log_.Write("start", CleanupStartFields(RunLog::LocalTimeText(),
                                         "KORVAcw " KORVACW_SHORT_VERSION_TEXT, settings));
}

void CleanupRunLog::Found(const DeviceInstanceRecord& item) {
  log_.Write("device", {item.instanceId, item.description, item.hardwareId});
}

void CleanupRunLog::Found(const InfFileRecord& item) {
  if (item.storeFolder.empty()) {
    log_.Write("inf", {item.path});
  } else {
    log_.Write("inf", {item.path, "driver store package without a published INF file"});
  }
}

void CleanupRunLog::Found(const CertificateRecord& item) {
  log_.Write("certificate", {CertificateLogName(item), item.subjectText});
}

void CleanupRunLog::Found(const DriverServiceRecord& item) {
  log_.Write("service", {item.name, item.binaryPath});
}

void CleanupRunLog::Result(const DriverServiceRecord& result) {
  if (result.error != 0) {
    log_.Write("failed", Failure("service", result.name, result.error));
  } else if (result.restartNeeded) {
    log_.Write("removed", {"service", result.name, "restart needed"});
  } else {
    log_.Write("removed", {"service", result.name});
  }
}

void CleanupRunLog::NotExamined(const NotExaminedRecord& record) {
  log_.Write("not examined",
             {record.path, ErrorCodeText(record.error), SystemErrorText(record.error)});
}

void CleanupRunLog::Result(const DeviceInstanceRecord& result) {
  if (result.error != 0) {
    log_.Write("failed", Failure("device", result.instanceId, result.error));
  } else if (result.restartNeeded) {
    log_.Write("removed", {"device", result.instanceId, "restart needed"});
  } else {
    log_.Write("removed", {"device", result.instanceId});
  }
}

void CleanupRunLog::Result(const InfFileRecord& result) {
  if (result.usedByDevice) {
    log_.Write("failed", {"inf", result.path, ErrorCodeText(result.error),
                          "A device left on the system still uses it."});
  } else if (result.notRemovable) {
    log_.Write("failed", {"inf", result.path, ErrorCodeText(result.error),
                          "This system has no call that removes a driver store package."});
  } else if (result.error != 0) {
    log_.Write("failed", Failure("inf", result.path, result.error));
  } else if (result.restartNeeded) {
    log_.Write("removed", {"inf", result.path, "restart needed"});
  } else {
    log_.Write("removed", {"inf", result.path});
  }
}

void CleanupRunLog::Rescan(const RescanResult& rescan) {
  if (!rescan.asked) return;
  if (rescan.error != 0) {
    log_.Write("rescan", {"failed", ErrorCodeText(rescan.error),
                          SystemErrorText(static_cast<DWORD>(rescan.error))});
  } else if (rescan.timedOut) {
    log_.Write("rescan", {"asked", "still installing"});
  } else {
    log_.Write("rescan", {"asked"});
  }
}

void CleanupRunLog::Result(const CertificateRecord& result) {
  if (result.signsPackageLeft) {
    log_.Write("failed", {"certificate", CertificateLogName(result), ErrorCodeText(result.error),
                          "A driver package left on the system is signed with it."});
  } else if (result.error != 0) {
    log_.Write("failed", Failure("certificate", CertificateLogName(result), result.error));
  } else {
    log_.Write("removed", {"certificate", CertificateLogName(result)});
  }
}

void CleanupRunLog::Error(const std::string& message) {
  log_.Write("error", {MessageAsLogField(message)});
}

void CleanupRunLog::Untrusted(const KitTrustProblem& problem) {
  log_.Write("untrusted", KitTrustLogFields(problem));
}

void CleanupRunLog::Usage(const std::string& text) {
  for (const std::string& line : NonEmptyLines(text)) log_.Write("usage", {line});
}

void CleanupRunLog::End(const CleanupRunCounts& counts, int status) {
  log_.Write("end", CleanupEndFields(counts, status));
}

CleanupRunCounts CountCleanupRun(const DeviceInstanceList& devices, const InfFileList& infFiles,
                                 const KitCertificateList& certificates,
                                 const KitDriverServiceList& services) {
  CleanupRunCounts counts;
  counts.devicesFound = devices.Items().size();
  counts.infFilesFound = infFiles.Items().size();
  counts.certificatesFound = certificates.Items().size();
  counts.servicesFound = services.Items().size();
  for (const DriverServiceRecord& result : services.Results()) {
    ++(result.error == 0 ? counts.removed : counts.failed);
    counts.restartNeeded = counts.restartNeeded || (result.error == 0 && result.restartNeeded);
  }
  for (const DeviceInstanceRecord& result : devices.Results()) {
    ++(result.error == 0 ? counts.removed : counts.failed);
    counts.restartNeeded = counts.restartNeeded || (result.error == 0 && result.restartNeeded);
  }
  for (const InfFileRecord& result : infFiles.Results()) {
    ++(result.error == 0 ? counts.removed : counts.failed);
    counts.restartNeeded = counts.restartNeeded || (result.error == 0 && result.restartNeeded);
  }
  for (const CertificateRecord& result : certificates.Results()) {
    ++(result.error == 0 ? counts.removed : counts.failed);
  }
  counts.notExamined = devices.NotExamined().size() + infFiles.NotExamined().size() +
                       certificates.NotExamined().size();
  return counts;
}

CleanupLogHooks::CleanupLogHooks(CleanupRunLog& log, DeviceInstanceList& devices,
                                 InfFileList& infFiles, KitCertificateList& certificates,
                                 KitDriverServiceList& services)
    : devices_(devices), infFiles_(infFiles), certificates_(certificates), services_(services) {
  services.onFound = [&log](const DriverServiceRecord& item) { log.Found(item); };
  services.onResult = [&log](const DriverServiceRecord& result) { log.Result(result); };
  devices.onFound = [&log](const DeviceInstanceRecord& item) { log.Found(item); };
  devices.onResult = [&log](const DeviceInstanceRecord& result) { log.Result(result); };
  devices.onNotExamined = [&log](const NotExaminedRecord& record) { log.NotExamined(record); };
  infFiles.onFound = [&log](const InfFileRecord& item) { log.Found(item); };
  infFiles.onNotExamined = [&log](const NotExaminedRecord& record) { log.NotExamined(record); };
  infFiles.onResult = [&log](const InfFileRecord& result) { log.Result(result); };
  certificates.onFound = [&log](const CertificateRecord& item) { log.Found(item); };
  certificates.onNotExamined = [&log](const NotExaminedRecord& record) { log.NotExamined(record); };
  certificates.onResult = [&log](const CertificateRecord& result) { log.Result(result); };
}

CleanupLogHooks::~CleanupLogHooks() {
  devices_.onFound = nullptr;
  devices_.onResult = nullptr;
  devices_.onNotExamined = nullptr;
  infFiles_.onFound = nullptr;
  infFiles_.onNotExamined = nullptr;
  infFiles_.onResult = nullptr;
  certificates_.onFound = nullptr;
  certificates_.onNotExamined = nullptr;
  certificates_.onResult = nullptr;
  services_.onFound = nullptr;
  services_.onResult = nullptr;
}

}  // namespace korva
