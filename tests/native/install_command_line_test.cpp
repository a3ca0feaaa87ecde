#include "install/core/install_command_line.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

TEST(ReadInstallOptions, EachCommandLineGetsItsStartAction) {
  struct Case {
    const char* commandLine;
    InstallStartAction action;
    const char* hardwareId;
    const char* logPath;
    UnattendedMode mode = UnattendedMode::kInstall;
  };
  using A = InstallStartAction;
  using M = UnattendedMode;
  const Case cases[] = {
      {"", A::kWizard, "", ""},
      {"  \t ", A::kWizard, "", ""},
      {"-nogui -hwid USB\\VID_0547&PID_1002", A::kUnattended, "USB\\VID_0547&PID_1002", ""},
      {"-HWID usb\\vid_1 -Log C:\\a.log -NOGUI", A::kUnattended, "usb\\vid_1", "C:\\a.log"},
      {"\t-nogui   -hwid  USB\\X  -log  \"C:\\a b.log\"", A::kUnattended, "USB\\X", "C:\\a b.log"},
      {"-nogui -log \"C:\\a -hwid b.log\" -hwid USB\\X", A::kUnattended, "USB\\X", "C:\\a -hwid b.log"},
      {"-nogui -hwid USB\\X -log \"C:\\a b.log", A::kBadUnattended, "USB\\X", "\"C:\\a"},
      {"-nogui -hwid \"X Y\" -log C:\\a.log", A::kBadUnattended, "\"X", "C:\\a.log"},
      {"-nogui -hwid USB\\X -log C:\\a.log", A::kUnattended, "USB\\X", "C:\\a.log"},
      // Without -nogui every argument is a usage box; only a request for it is no error.
      {"-h", A::kUsageAsked, "", ""},
      {"/? -hwid USB\\X", A::kUsageAsked, "", ""},
      {"-hwid USB\\VID_0547&PID_1002", A::kUsageOnError, "", ""},
      {"-log C:\\a.log", A::kUsageOnError, "", ""},
      {"-install", A::kUsageOnError, "", ""},
      {"foo", A::kUsageOnError, "", ""},
      // Unattended, anything but the exact form is refused.
      {"-nogui", A::kBadUnattended, "", ""},
      {"-nogui -hwid", A::kBadUnattended, "", ""},
      {"-nogui -hwid -log C:\\a.log", A::kBadUnattended, "", "C:\\a.log"},
      {"-nogui -hwid -nogui", A::kBadUnattended, "", ""},
      {"-nogui -hwid USB\\X -log", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -hwid USB\\X -log -hwid", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -hwid USB\\X -log -h", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -hwid USB\\X -log \"C:\\a.log\"", A::kUnattended, "USB\\X", "C:\\a.log"},
      {"-nogui -hwid USB\\X -hwid USB\\Y", A::kBadUnattended, "USB\\Y", ""},
      {"-nogui -nogui -hwid USB\\X", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -hwid USB\\X -log a -log b", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -hwid USB\\X -h", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -hwid USB\\X extra", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -hwid=USB\\X", A::kBadUnattended, "", ""},
      {"-nogui /hwid USB\\X", A::kBadUnattended, "", ""},
      {"-nogui -hwdi USB\\X -log C:\\a.log", A::kBadUnattended, "", "C:\\a.log"},
      // Only a USB hardware ID that can stand in the INF file as it is.
      {"-nogui -hwid X", A::kBadUnattended, "X", ""},
      {"-nogui -hwid PCI\\VEN_10B5", A::kBadUnattended, "PCI\\VEN_10B5", ""},
      {"-nogui -hwid USB\\", A::kBadUnattended, "USB\\", ""},
      {"-nogui -hwid USB\\VID_0547\\", A::kBadUnattended, "USB\\VID_0547\\", ""},
      {"-nogui -hwid USB\\VID_0547;PID_1", A::kBadUnattended, "USB\\VID_0547;PID_1", ""},
      // Staging goes with an ID; listing with none.
      {"-nogui -hwid USB\\X -stage", A::kUnattended, "USB\\X", "", M::kStage},
      {"-STAGE -log C:\\a.log -nogui -hwid USB\\X", A::kUnattended, "USB\\X", "C:\\a.log", M::kStage},
      {"-nogui -list", A::kUnattended, "", "", M::kList},
      {"-nogui -List -log C:\\a.log", A::kUnattended, "", "C:\\a.log", M::kList},
      {"-nogui -stage", A::kBadUnattended, "", ""},
      {"-nogui -stage -log C:\\a.log", A::kBadUnattended, "", "C:\\a.log"},
      {"-nogui -hwid USB\\X -stage -stage", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -hwid -stage USB\\X", A::kBadUnattended, "", ""},
      {"-nogui -hwid USB\\X -list", A::kBadUnattended, "USB\\X", ""},
      {"-nogui -list -stage", A::kBadUnattended, "", ""},
      {"-nogui -list -list", A::kBadUnattended, "", ""},
      {"-nogui -list all", A::kBadUnattended, "", ""},
      {"-nogui -log -list", A::kBadUnattended, "", ""},
      {"-list", A::kUsageOnError, "", ""},
      {"-stage -hwid USB\\X", A::kUsageOnError, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    InstallOptions options;
    options.hardwareId = "left over";
    EXPECT_EQ(ReadInstallOptions(c.commandLine, options), c.action);
    EXPECT_EQ(options.hardwareId, c.hardwareId);
    EXPECT_EQ(options.logPath, c.logPath);
    if (c.action == A::kUnattended) {
      EXPECT_EQ(options.mode, c.mode);
    }
  }
}

TEST(BuildInstallUsageText, NamesEveryOptionAndAnExample) {
  std::string text = BuildInstallUsageText();
  EXPECT_EQ(text.rfind("KORVAWIZ [-nogui (-hwid HardwareId [-stage] | -list) [-log LogFile]]\n\n", 0),
            0u);
  for (const char* line : {"\n-h\t\t", "\n-nogui\t\t", "\n-hwid HardwareId\t", "\n-log LogFile\t",
                           "\n-stage\t\t", "\n-list\t\t",
                           "\nKORVAWIZ -nogui -hwid USB\\VID_0547^&PID_1002 -log ",
                           "\nKORVAWIZ -nogui -hwid USB\\VID_0547^&PID_1002 -stage\n",
                           "\nKORVAWIZ -nogui -list\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace korva
