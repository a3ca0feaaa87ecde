#include "cleanup/core/cleanup_wizard_texts.h"

#include <cctype>
#include <clocale>
#include <cstdio>

namespace korva {

const char kCleanupWizardTitle[] = "KORVA Cleanup Wizard";
const char kRestartNeededEntryLine[] = "       restart required to complete the removal\r\n";
const char kRestartNeededReportLine[] =
    "\r\nPlease restart your computer to complete the removal.\r\n";
const char kUsedByDeviceLine[] =
    "       *** not removed: a device left on the system still uses it\r\n";
const char kSignsPackageLeftLine[] =
    "       *** not removed: a driver package left on the system is signed with it\r\n";
const char kStorePackageNotRemovableLine[] =
    "       *** not removable on this system: it has no call that removes a driver store "
    "package\r\n";
const char kDriverStoreFailedFormat[] =
    "       *** failed to remove from the driver store, error = %d\r\n";

namespace {

bool Skipped(int index, bool cleanupRegistry, bool cleanupInfFiles) {
  return (index == kDeviceInstanceListPageIndex && !cleanupRegistry) ||
         (index == kInfFileListPageIndex && !cleanupInfFiles);
}

std::string Format(const char* format, const std::string& a, const std::string& b = "",
                   const std::string& c = "", const std::string& d = "",
                   const std::string& e = "") {
  int length =
      std::snprintf(nullptr, 0, format, a.c_str(), b.c_str(), c.c_str(), d.c_str(), e.c_str());
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(&text[0], text.size(), format, a.c_str(), b.c_str(), c.c_str(), d.c_str(),
                e.c_str());
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

int NextCleanupPage(int current, bool cleanupRegistry, bool cleanupInfFiles) {
  int next = current + 1;
  if (Skipped(next, cleanupRegistry, cleanupInfFiles)) ++next;  // one page at most
  return next;
}

int PreviousCleanupPage(int current, bool cleanupRegistry, bool cleanupInfFiles) {
  if (current <= kWelcomeTaskPageIndex) return current;
  int previous = current - 1;
  if (Skipped(previous, cleanupRegistry, cleanupInfFiles)) --previous;
  return previous;
}

WizardButtonStates CleanupButtonStates(int pageKind, bool cleanupRegistry, bool cleanupInfFiles) {
  WizardButtonStates states;
  if (pageKind == kWelcomeTaskPageKind) {
    states.back = false;
    states.next = cleanupRegistry || cleanupInfFiles;
  } else if (pageKind == kCleanupResultsPageKind) {
    states.back = states.cancel = false;
    states.nextReadsFinish = true;
  }
  return states;
}

std::string CleanupWelcomeText(bool isNt5OrLater) {
  std::string text =
      "Welcome to the KORVA Cleanup Wizard. This wizard will help you to completely remove KORVA "
      "device instances and KORVA INF files from your system.\n";
  if (isNt5OrLater) {
    text +=
        "\nMake sure you are logged on as an Administrator. Administrator privileges are "
        "required to uninstall device drivers and remove INF files.\n";
  }
  return text;
}

std::string FormatThousands(const std::string& digits) {
  const char* separators = std::localeconv()->thousands_sep;
  char separator = separators && separators[0] ? separators[0] : '.';
  std::string grouped;
  size_t taken = 0;
  for (size_t i = digits.size(); i > 0; --i) {
    grouped.insert(grouped.begin(), digits[i - 1]);
    if (++taken % 3 == 0 && i > 1) grouped.insert(grouped.begin(), separator);
  }
  return grouped;
}

std::string DeviceDetailsText(const std::string& description, const std::string& hardwareId,
                              const std::string& manufacturer, const std::string& infPath) {
  return Format(
      "Description:\t%s\r\nHardware ID:\t%s\r\nManufacturer:\t%s\r\nAssociated INF:\t%s\r\n",
      description, hardwareId, manufacturer, infPath);
}

std::string InfDetailsText(const std::string& path, const std::string& size,
                           const std::string& created, const std::string& modified,
                           const std::string& accessed) {
  return Format(
      "Full path:\t\t%s\r\nSize:\t\t%s "
      "bytes\r\nCreated:\t\t%s\r\nModified:\t\t%s\r\nAccessed:\t%s\r\n",
      path, size, created, modified, accessed);
}

std::string StorePackageDetailsText(const std::string& folder, const std::string& infPath) {
  return Format(
      "Driver store package without a published INF file.\r\nFolder:\t\t%s\r\nINF file:\t%s\r\n",
      folder, infPath);
}

std::string CertificateDetailsText(const std::string& store, const std::string& subject,
                                   const std::string& thumbprint, const std::string& expires) {
  return "Certificate store:\t" + store + " (local machine)\r\nSubject:\t\t" + subject +
         "\r\nThumbprint:\t" + thumbprint + "\r\nExpires:\t\t" + expires + "\r\n";
}

std::string CertificateItemText(const std::string& commonName, const std::string& store) {
  return commonName + " (certificate in " + store + ")";
}

std::string NotExaminedEntryName(const std::string& recordPath, bool fromDeviceScan) {
  for (const auto& [prefix, name] : {std::pair<const char*, const char*>{
                                         kClassInstancesRecordPrefix, "Device instances of class"},
                                     {kCertificateStoreRecordPrefix, "Certificate store"}}) {
    std::string start = std::string(prefix) + " ";
    if (recordPath.rfind(start, 0) == 0) {
      return Format("%s \"%s\"", name, recordPath.substr(start.size()));
    }
  }
  return Format(fromDeviceScan ? "Device instance \"%s\"" : "File \"%s\"", recordPath);
}

CleanupReport BuildCleanupReport(const std::vector<RemovalOutcome>& outcomes,
                                 const std::function<std::string(unsigned long)>& messageText) {
  CleanupReport result;
  bool failed = false;
  bool restartNeeded = false;
  for (const RemovalOutcome& outcome : outcomes) {
    if (!outcome.notExamined.empty()) {
      failed = true;
      char code[32];
      std::snprintf(code, sizeof(code), "%d", static_cast<int>(outcome.error));
      result.report += outcome.notExamined +
                       "\r\n       *** could not be examined, error = " + code + "\r\n       *** " +
                       messageText(outcome.error) + "\r\n";
      continue;
    }
    std::string name =
        outcome.isDevice
            ? Format("Device instance \"%s\"  \"%s\"\r\n", outcome.description, outcome.hardwareId)
        : outcome.isCertificate    ? Format("Certificate \"%s\"\r\n", outcome.certificate)
        : !outcome.service.empty() ? Format("Driver service \"%s\"\r\n", outcome.service)
        : !outcome.storePackage.empty()
            ? Format("Driver store package \"%s\"\r\n", outcome.storePackage)
            : Format("File \"%s\"\r\n", outcome.path);
    result.report += name;
    if (outcome.error == 0) {
      result.report += "       successfully removed\r\n";
      if (outcome.restartNeeded) {
        result.report += kRestartNeededEntryLine;
        restartNeeded = true;
      }
      continue;
    }
    failed = true;
    char code[32];
    // Printed as a signed number: the device set-up services' own codes come out negative.
    std::snprintf(code, sizeof(code), "%d", static_cast<int>(outcome.error));
    if (outcome.usedByDevice) {
      result.report += kUsedByDeviceLine;
      continue;
    }
    if (outcome.signsPackageLeft) {
      result.report += kSignsPackageLeftLine;
      continue;
    }
    if (outcome.notRemovable) {
      result.report += kStorePackageNotRemovableLine;
      continue;
    }
    if (outcome.storeError != 0) {
      char line[128];
      std::snprintf(line, sizeof(line), kDriverStoreFailedFormat, static_cast<int>(outcome.error));
      result.report += line;
    } else {
      result.report += std::string("       *** failed to remove, error = ") + code + "\r\n";
    }
    result.report += "       *** " + messageText(outcome.error) + "\r\n";
  }
  if (restartNeeded) result.report += kRestartNeededReportLine;
  if (outcomes.empty()) {
    result.headline = "The wizard has not performed any operations.\n";
  } else if (failed) {
    result.headline =
        "The wizard has failed to perform some operations.\nThe results are summarized below.";
  } else {
    result.headline =
        "The wizard has successfully completed all operations.\nThe results are summarized "
        "below.";
  }
  return result;
}

std::string TrimSpace(const std::string& text) {
  size_t start = 0;
  size_t end = text.size();
  while (start < end && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  while (end > start && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(start, end - start);
}

std::string RescanReportText(const RescanResult& rescan,
                             const std::function<std::string(unsigned long)>& messageText) {
  if (!rescan.asked) return std::string();
  if (rescan.error != 0) {
    std::string text = messageText(rescan.error);
    return "\r\nWindows could not be asked to look for the devices again; unplug and plug in the "
           "devices, or restart, to give them their own drivers. Error = " +
           std::to_string(static_cast<int>(rescan.error)) + (text.empty() ? "." : ": " + text) +
           "\r\n";
  }
  if (rescan.timedOut) {
    return "\r\nWindows was asked to look for the devices again; their installations were still "
           "going on after 60 seconds.\r\n";
  }
  return "\r\nWindows was asked to look for the devices again, so that connected devices get "
         "their own drivers.\r\n";
}

}  // namespace korva
