// The Cleanup Wizard's page sequence, button rules, and the texts its pages build.
// Platform-free.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/core/wizard_buttons.h"

namespace korva {

enum CleanupPageKind {
  kWelcomeTaskPageKind = 1,
  kDeviceInstanceListPageKind = 2,
  kInfFileListPageKind = 3,
  kCleanupResultsPageKind = 4,
};

// The frame's pages by their index, in the wizard's order.
enum CleanupPageIndex {
  kWelcomeTaskPageIndex = 0,
  kDeviceInstanceListPageIndex = 1,
  kInfFileListPageIndex = 2,
  kCleanupResultsPageIndex = 3,
  kCleanupPageCount = 4,
};

// The page index that Next and Back lead to from `current`: a list page whose task is not
// chosen is skipped.
int NextCleanupPage(int current, bool cleanupRegistry, bool cleanupInfFiles);
int PreviousCleanupPage(int current, bool cleanupRegistry, bool cleanupInfFiles);
WizardButtonStates CleanupButtonStates(int pageKind, bool cleanupRegistry, bool cleanupInfFiles);

extern const char kCleanupWizardTitle[];
std::string CleanupWelcomeText(bool isNt5OrLater);

// Digits grouped by threes from the right with the first character of the current locale's
// thousands separator ("." when it has none).
std::string FormatThousands(const std::string& digits);

std::string DeviceDetailsText(const std::string& description, const std::string& hardwareId,
                              const std::string& manufacturer, const std::string& infPath);
// Empty size and times when the file's status could not be read.
std::string InfDetailsText(const std::string& path, const std::string& size,
                           const std::string& created, const std::string& modified,
                           const std::string& accessed);

// A driver store package of the kit that no INF file of the INF folder publishes.
std::string StorePackageDetailsText(const std::string& folder, const std::string& infPath);

// A certificate of the kit: where it is, whom it names, its thumbprint and when it expires.
std::string CertificateDetailsText(const std::string& store, const std::string& subject,
                                   const std::string& thumbprint, const std::string& expires);
// Its line in the INF file list and its name in the report: the common name and the store.
std::string CertificateItemText(const std::string& commonName, const std::string& store);

// One removal attempt as the report shows it.
struct RemovalOutcome {
  bool isDevice = false;
  bool isCertificate = false;
  std::string certificate;  // certificates: CertificateItemText
  std::string description;  // device instances
  std::string hardwareId;   // device instances
  std::string path;         // files
  std::string service;      // the kit's driver services
  // Driver store packages without a published INF file: the package's folder (then the entry
  // names it rather than `path`).
  std::string storePackage;
  // Not a removal but what the scan could not examine (NotExaminedEntryName): the kit may be
  // there, so it is reported with its code as a failure is.
  std::string notExamined;
  unsigned long error = 0;
  // The removal succeeded, but Windows needs a restart to complete it.
  bool restartNeeded = false;
  // Files: the code of the failed driver store removal (then also `error`): the entry says that
  // the store refused.
  unsigned long storeError = 0;
  // Files: kept, since a device whose removal failed still uses it (a failure).
  bool usedByDevice = false;
  // Certificates: kept, since a driver package left on the system is signed with it (a
  // failure).
  bool signsPackageLeft = false;
  // Driver store packages: the system has no call that removes one (a failure).
  bool notRemovable = false;
};

// How the scans name what they could not examine besides files and device instances: the
// prefix, a blank, then the class GUID or the store's name.
constexpr char kClassInstancesRecordPrefix[] = "device instances of class";
constexpr char kCertificateStoreRecordPrefix[] = "certificate store";

// The name line of what a scan could not examine, from the engine's record: the class's device
// instances, one device instance, a certificate store, or else a file or folder.
std::string NotExaminedEntryName(const std::string& recordPath, bool fromDeviceScan);

// A successful removal's line when Windows needs a restart to complete it, and the report's
// closing line when any removal does.
extern const char kRestartNeededEntryLine[];
extern const char kRestartNeededReportLine[];
// The first failure line of a file that the driver store refused to remove (and that was then
// left alone), with the store's code.
extern const char kDriverStoreFailedFormat[];
// The line of a file kept for a device that could not be removed.
extern const char kUsedByDeviceLine[];
// The line of a certificate kept for a driver package left on the system.
extern const char kSignsPackageLeftLine[];
// The line of a driver store package that this system has no call to remove.
extern const char kStorePackageNotRemovableLine[];

// The new enumeration that ends a removal run that removed something.
struct RescanResult {
  bool asked = false;       // the run asked for one
  unsigned long error = 0;  // it could not be asked for: the code
  bool timedOut = false;    // installations were still pending when the wait ended
};

// How long a removal run waits for the installations that the new enumeration starts.
constexpr unsigned long kPendingInstallationsWaitMs = 60000;

// The report's last line for a new enumeration (after a blank line); empty when none was asked.
std::string RescanReportText(const RescanResult& rescan,
                             const std::function<std::string(unsigned long)>& messageText);

struct CleanupReport {
  std::string headline;
  std::string report;
};

// The report of the removal run: device instances first, then files, then certificates, as given;
// `messageText` gives the platform's text for an error code (empty when it has none).
CleanupReport BuildCleanupReport(const std::vector<RemovalOutcome>& outcomes,
                                 const std::function<std::string(unsigned long)>& messageText);

// White space removed at both ends, as the standard library's test knows it.
std::string TrimSpace(const std::string& text);

}  // namespace korva
