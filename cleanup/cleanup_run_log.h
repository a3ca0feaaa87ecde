// The Cleanup Wizard's record of a run: what it found, what it could not examine, each removal
// and the outcome, as lines of the run log (see common/run_log.h), written as they happen.
#pragma once

#include <windows.h>

#include <string>

#include "cleanup/core/cleanup_log.h"
#include "cleanup/engine/device_instance_list.h"
#include "cleanup/engine/inf_file_list.h"
#include "cleanup/engine/kit_certificate_list.h"
#include "cleanup/engine/kit_driver_services.h"
#include "common/core/kit_refusals.h"
#include "common/run_log.h"

namespace korva {

class CleanupRunLog {
 public:
  CleanupRunLog() = default;
  CleanupRunLog(const CleanupRunLog&) = delete;
  CleanupRunLog& operator=(const CleanupRunLog&) = delete;

  // As RunLog's; false when the file cannot be opened.
  bool OpenFile(const std::string& path) { return log_.OpenFile(path); }
  DWORD OpenError() const { return log_.OpenError(); }
  std::string OpenErrorText() const { return log_.OpenErrorText(); }
  bool UseStandardOutputIfRedirected() { return log_.UseStandardOutputIfRedirected(); }

  void Start(const CleanupSettings& settings);
  void Found(const DeviceInstanceRecord& item);
  void Found(const InfFileRecord& item);
  void Found(const CertificateRecord& item);
  void Found(const DriverServiceRecord& item);
  void NotExamined(const NotExaminedRecord& record);
  void Result(const DeviceInstanceRecord& result);
  void Result(const InfFileRecord& result);
  void Result(const CertificateRecord& result);
  void Result(const DriverServiceRecord& result);
  // The new enumeration at the end of a removal run: `rescan`, then `asked`, `asked` and
  // `still installing`, or `failed` with the code and its text.
  void Rescan(const RescanResult& rescan);
  // A message the run would otherwise show in a box (a rejected command line and the like).
  void Error(const std::string& message);
  // A part of the kit that others than administrators can change: the line "untrusted".
  void Untrusted(const KitTrustProblem& problem);
  // The usage text, one line of kind "usage" per line of text.
  void Usage(const std::string& text);
  void End(const CleanupRunCounts& counts, int status);

 private:
  RunLog log_;
};

// The counts of a run from the engines' lists.
CleanupRunCounts CountCleanupRun(const DeviceInstanceList& devices, const InfFileList& infFiles,
                                 const KitCertificateList& certificates,
                                 const KitDriverServiceList& services);

// Tells the engines to report to `log` while it lives; engines live longer than a run, so
// the hooks go when it ends.
class CleanupLogHooks {
 public:
  CleanupLogHooks(CleanupRunLog& log, DeviceInstanceList& devices, InfFileList& infFiles,
                  KitCertificateList& certificates, KitDriverServiceList& services);
  ~CleanupLogHooks();
  CleanupLogHooks(const CleanupLogHooks&) = delete;
  CleanupLogHooks& operator=(const CleanupLogHooks&) = delete;

 private:
  DeviceInstanceList& devices_;
  InfFileList& infFiles_;
  KitCertificateList& certificates_;
  KitDriverServiceList& services_;
};

}  // namespace korva
