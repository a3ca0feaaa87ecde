#include "cleanup/core/cleanup_log.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

CleanupRunCounts Counts(size_t devices, size_t infs, size_t removed, size_t failed,
                        size_t notExamined, bool restart, size_t certificates = 0,
                        size_t services = 0) {
  CleanupRunCounts counts;
  counts.servicesFound = services;
  counts.certificatesFound = certificates;
  counts.devicesFound = devices;
  counts.infFilesFound = infs;
  counts.removed = removed;
  counts.failed = failed;
  counts.notExamined = notExamined;
  counts.restartNeeded = restart;
  return counts;
}

// A failure first (something not examined is one: the kit may remain), then what -list found,
// then a restart, then a log that could not be opened.
TEST(UnattendedExitStatus, FollowsTheOrderOfPrecedence) {
  struct Case {
    CleanupRunCounts counts;
    bool listOnly;
    bool logNotOpened;
    int status;
  } cases[] = {
      {Counts(0, 0, 0, 0, 0, false), false, false, kExitOk},
      {Counts(2, 1, 3, 0, 0, false), false, false, kExitOk},
      {Counts(2, 1, 2, 1, 0, true), false, true, kExitRemovalFailed},
      {Counts(0, 0, 0, 0, 1, false), false, true, kExitRemovalFailed},
      {Counts(1, 0, 1, 0, 0, true), false, true, kExitRestartNeeded},
      {Counts(1, 0, 1, 0, 0, false), false, true, kExitLogNotOpened},
      {Counts(0, 0, 0, 0, 0, false), false, true, kExitLogNotOpened},
      {Counts(1, 0, 0, 0, 0, false), true, true, kExitItemsFound},
      {Counts(0, 1, 0, 0, 0, false), true, false, kExitItemsFound},
      {Counts(0, 0, 0, 0, 0, false, 2), true, false, kExitItemsFound},
      // A driver service left behind by an earlier cleanup is the kit's too.
      {Counts(0, 0, 0, 0, 0, false, 0, 1), true, false, kExitItemsFound},
      {Counts(0, 0, 0, 0, 0, false), true, false, kExitOk},
      {Counts(0, 0, 0, 0, 0, false), true, true, kExitLogNotOpened},
      {Counts(1, 0, 0, 0, 2, false), true, false, kExitRemovalFailed},
  };
  int index = 0;
  for (const Case& c : cases) {
    EXPECT_EQ(UnattendedExitStatus(c.counts, c.listOnly, c.logNotOpened), c.status) << index++;
  }
}

TEST(CleanupLogFields, StartAndEndLinesNameEachValue) {
  CleanupSettings settings;
  settings.classGuidText = "{96E73B6E-7A5A-11D4-9F24-0080C82727F4}";
  settings.deviceIdentString = "MYIDENT";
  settings.expertMode = true;
  settings.interactive = false;
  EXPECT_EQ(
      FormatLogLine("start", CleanupStartFields("2026-12-07 22:30:00", "KORVAcw 1.0", settings)),
      "start\t2026-12-07 22:30:00\tKORVAcw 1.0\tclass={96E73B6E-7A5A-11D4-9F24-0080C82727F4}"
      "\tident=MYIDENT\texpert=yes\tnogui=yes\tlist=no");
  EXPECT_EQ(FormatLogLine("end", CleanupEndFields(Counts(2, 1, 3, 1, 1, false, 2, 1), 2)),
            "end\tdevices=2\tinf=1\tcertificates=2\tservices=1\tremoved=3\tfailed=1\tnot "
            "examined=1\tstatus=2");
  // Codes as the report prints them: the set-up services' own read as negative numbers.
  EXPECT_EQ(ErrorCodeText(32), "32");
  EXPECT_EQ(ErrorCodeText(0xE000020Bu), "-536870389");
  // A box's text on one line.
  EXPECT_EQ(MessageAsLogField("An invalid command line argument was passed.\nUse KORVACW -h "
                              "to display information on how to use the wizard.\n"),
            "An invalid command line argument was passed. Use KORVACW -h to display "
            "information on how to use the wizard.");
}

}  // namespace
}  // namespace korva
