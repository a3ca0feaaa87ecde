#include "common/core/log_line.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

TEST(LogLineTest, FieldsFollowTheKindAfterTabsAndNeverSplitTheLine) {
  EXPECT_EQ(FormatLogLine("found", {}), "found");
  EXPECT_EQ(FormatLogLine("device", {"USB\\VID_0547&PID_1002\\1", "KORVA device", ""}),
            "device\tUSB\\VID_0547&PID_1002\\1\tKORVA device\t");
  // A description from a hostile device: no new line, no extra field.
  EXPECT_EQ(FormatLogLine("device", {"Dev\r\nremoved\tINF", std::string("a\0b", 3) + "\x7f"}),
            "device\tDev  removed INF\ta b ");
  // Bytes of the ANSI code page above ASCII stay as they are.
  EXPECT_EQ(FormatLogLine("inf", {"C:\\Windows\\inf\\\xe9t\xe9.inf"}),
            "inf\tC:\\Windows\\inf\\\xe9t\xe9.inf");
}

TEST(LogLineTest, ALogPathMustNameAPlainFile) {
  struct Case {
    const char* path;
    bool plain;
  } cases[] = {
      {"C:\\logs\\korva.log", true},
      {"korva.log", true},
      {"\\\\server\\share\\korva.log", true},
      {"\\\\?\\C:\\very\\long\\korva.log", true},
      {"\\\\?\\UNC\\server\\share\\korva.log", true},
      {"", false},
      {"\\\\.\\PhysicalDrive0", false},
      {"\\??\\C:", false},
      {"\\??\\PhysicalDrive0", false},
      {"//./C:", false},
      {"\\\\.\\pipe\\korva", false},
      {"\\\\?\\GLOBALROOT\\Device\\Harddisk0\\Partition0", false},
      {"\\\\?\\Volume{01234567-89ab-cdef-0123-456789abcdef}\\", false},
      {"\\\\?\\UNC\\", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsPlainFilePath(c.path), c.plain) << c.path;
}

}  // namespace
}  // namespace korva
