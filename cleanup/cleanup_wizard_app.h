// The Cleanup Wizard's application object: its start-up routine does the whole run.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "cleanup/cleanup_run_log.h"
#include "cleanup/core/cleanup_settings.h"
#include "cleanup/engine/device_instance_list.h"
#include "cleanup/engine/inf_file_list.h"
#include "cleanup/engine/kit_certificate_list.h"
#include "common/instance_lock.h"
#include "common/message_box.h"
#include "common/program_path.h"
#include "common/wow64_hand_over.h"
#include "common/unique_resource.h"

namespace korva {

class CleanupWizardFrame;

constexpr char kCleanupMutexName[] = "KORVA_CleanupWizard_GlobalMutex";
// The same name in the global namespace: a deployment service's run (session 0) and a user's
// wizard in another session see each other only through this one.
constexpr char kCleanupGlobalMutexName[] = "Global\\KORVA_CleanupWizard_GlobalMutex";
// The lock in the administrators' own namespace (common/instance_lock.h), which no other user
// can take.
constexpr char kCleanupPrivateLockName[] = "KORVA_CleanupWizard";

class CleanupWizardApp {
 public:
  // `certificates`: the kit's certificates in the trust stores; without one, the app keeps its
  // own over the system's stores.
  CleanupWizardApp(CleanupSettings& settings, DeviceInstanceList& deviceInstances,
                   InfFileList& infFiles, MessageBoxSeam& messageBoxes,
                   KitCertificateList* certificates = nullptr);
  // The shut-down routine: closes the single-instance mutex.
  ~CleanupWizardApp() = default;

  // The start-up routine. `commandLine` is the argument text without the program's name.
  // Returns the process exit status (CleanupExitCode).
  // `program` is the path of the program file (the test's own by default).
  int Run(const std::string& commandLine, const ProgramPath& program = ReadProgramPath());

  // Dispatches the messages already queued, so that a new page is painted before a long wait.
  static void PumpPendingMessages();

  // Set at start-up: the NT family from major version 5 on (the welcome text's administrator
  // note).
  bool IsNt5OrLater() const { return isNt5OrLater_; }
  // The wizard's frame while it runs, else null; its window is the application's main window.
  CleanupWizardFrame* Frame() const { return frame_; }
  HWND MainWindow() const;
  DeviceInstanceList& DeviceInstances() { return deviceInstances_; }
  InfFileList& InfFiles() { return infFiles_; }
  KitCertificateList& Certificates() { return *certificates_; }
  KitDriverServiceList& DriverServices() { return services_; }
  // Ends a removal run (never -list): the kit's driver services that no device is left to use
  // go; when it removed a device instance or an INF file, Windows is asked to enumerate the
  // devices again, so that connected devices get their own drivers back; logged. Only now:
  // enumerating before the kit's packages are gone would install the kit's driver again.
  const RescanResult& FinishRemovals();
  const RescanResult& LastRescan() const { return rescan_; }

 private:
  int RunNonInteractive(bool logNotOpened);
  // Opens the log file the command line names and, unattended, takes a redirected standard
  // output too. False when a named log file could not be opened.
  // Marks the request unattended when -nogui's output goes to a file or a pipe.
  bool OpenLog(LogRequest& request);
  // A command line that is rejected: its box, or unattended with a log only the log's lines.
  int Rejected(const std::string& message, const LogRequest& request);
  // A run that does nothing more (another instance, no 64-bit build): with a log, its lines.
  // A part of the kit that others can change (`problem`) is named first.
  int EndsEarly(const LogRequest& request, const std::string& message, int status,
                const KitTrustProblem* problem = nullptr);
  // A 32-bit program on 64-bit Windows whose 64-bit build is missing or can be changed by
  // others than administrators, or a program whose path has no exact ANSI form: the box, or
  // with -nogui only the record and the status.
  int No64BitBuild(const Wow64HandOver& handOver, const LogRequest& request);
  int Refused(const std::string& message, int status, const LogRequest& request,
              const KitTrustProblem* problem = nullptr);
  void ShowUsage();
  void ShowErrorMessage(const std::string& text, UINT style);

  CleanupSettings& settings_;
  DeviceInstanceList& deviceInstances_;
  InfFileList& infFiles_;
  SystemTrustStores systemTrustStores_;
  std::unique_ptr<KitCertificateList> ownCertificates_;
  KitCertificateList* certificates_;
  KitDriverServiceList services_;
  MessageBoxSeam& messageBoxes_;
  CleanupRunLog log_;
  // The single-instance lock: false when another instance holds it.
  bool TakeMutexes();

  InstanceLock lock_;
  bool isNt5OrLater_ = false;
  RescanResult rescan_;
  CleanupWizardFrame* frame_ = nullptr;
};

// ParseGuidText into the settings' form of a GUID.
bool ParseGuidString(const std::string& text, GuidBytes& guid);

}  // namespace korva
