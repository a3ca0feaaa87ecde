// What the Cleanup Wizard's run log says besides the items themselves, and the exit status of
// an unattended run. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cleanup/core/cleanup_settings.h"
#include "common/core/log_line.h"

namespace korva {

// The outcome of a run, as its closing line gives it.
struct CleanupRunCounts {
  size_t devicesFound = 0;
  size_t infFilesFound = 0;
  size_t certificatesFound = 0;  // the kit's certificates in the trust stores
  size_t servicesFound = 0;      // the kit's driver services no device is left to use
  size_t removed = 0;            // removals and deletions that succeeded (a .pnf counts as a file)
  size_t failed = 0;             // removals and deletions that failed
  size_t notExamined = 0;  // INF files or folders, or the class's instances, that could not be read
  bool restartNeeded = false;
};

// The fields of the line that opens a run: the date and time, the program and its version,
// and the settings as name=value.
std::vector<std::string> CleanupStartFields(const std::string& localTime,
                                            const std::string& program,
                                            const CleanupSettings& settings);
// The fields of the closing line: the counts as name=value, then status=<N>.
std::vector<std::string> CleanupEndFields(const CleanupRunCounts& counts, int status);

// The exit status of a -nogui run. A failure (or something not examined: the kit may remain
// there) comes first, then what -list found, then a restart, then a log that could not be
// opened.
int UnattendedExitStatus(const CleanupRunCounts& counts, bool listOnly, bool logNotOpened);

}  // namespace korva
