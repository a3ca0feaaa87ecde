#include "install/core/install_wizard_texts.h"

#include <gtest/gtest.h>

#include "common/core/own_codes.h"

namespace korva {
namespace {

TEST(InstallButtonStatesTest, OnePerPageKind) {
  auto states = [](int kind, bool selection) {
    WizardButtonStates s = InstallButtonStates(kind, selection);
    return std::string(s.back ? "B" : "-") + (s.next ? "N" : "-") + (s.cancel ? "C" : "-") +
           (s.nextReadsFinish ? "F" : "");
  };
  EXPECT_EQ(states(kWelcomePageKind, false), "-NC");
  EXPECT_EQ(states(kWelcomePageKind, true), "-NC");
  EXPECT_EQ(states(kDeviceSelectionPageKind, false), "B-C");
  EXPECT_EQ(states(kDeviceSelectionPageKind, true), "BNC");
  EXPECT_EQ(states(kDeviceDetailsPageKind, false), "BNC");
  EXPECT_EQ(states(kProgressPageKind, true), "---");
  EXPECT_EQ(states(kFinishPageKind, false), "-N-F");
}

TEST(InstallWizardTextsTest, WelcomeTextWithAndWithoutTheAdministratorParagraph) {
  const std::string nt = WelcomeText(true);
  const std::string old = WelcomeText(false);
  const std::string admin =
      "Make sure you are logged on as an Administrator. Administrator privileges are required "
      "to install a device driver.\n\n\n";
  EXPECT_NE(nt.find("'Unknown Device'. Then, this wizard will allow you to select your device "
                    "from a list and to install the KORVA driver.\n\n" +
                    admin + "To continue, click Next."),
            std::string::npos);
  EXPECT_EQ(old.find("Administrator"), std::string::npos);
  EXPECT_NE(old.find("install the KORVA driver.\n\n\n\n\n\nTo continue, click Next.\n\nYou can "
                     "abort driver installation at any time by clicking Cancel.\n"),
            std::string::npos);
  EXPECT_EQ(nt.rfind("Welcome to the KORVA Installation Wizard. ", 0), 0u);
}

TEST(InstallWizardTextsTest, ResultTextsInDecimalAndHexadecimal) {
  EXPECT_EQ(InstallResultText(0),
            "Installation of the KORVA device driver has been successfully completed.\n");
  EXPECT_EQ(InstallResultText(5),
            "KORVA device driver installation failed!\nAn error occured during installation, "
            "error code 5 (0x00000005).\n");
  EXPECT_EQ(InstallResultText(-3),
            "KORVA device driver installation failed!\nAn error occured during installation, "
            "error code -3 (0xFFFFFFFD).\n");
  EXPECT_NE(InstallResultText(static_cast<int>(0xE000020B)).find("-536870389 (0xE000020B)"),
            std::string::npos);
  // A restart Windows needs is said after a success only.
  EXPECT_EQ(InstallResultText(0, true),
            "Installation of the KORVA device driver has been successfully completed.\nPlease "
            "restart your computer to complete the installation.\n");
  EXPECT_EQ(InstallResultText(5, true), InstallResultText(5));
  EXPECT_EQ(InstallFailedMessage(-3), "Installation of KORVA failed (error -3).\n");
  // The programs' own codes show as the numbers they always had.
  EXPECT_EQ(InstallFailedMessage(OwnCode(OwnCodeGroup::kInfGeneration, 1)),
            "Installation of KORVA failed (error 1).\n");
  EXPECT_NE(InstallResultText(OwnCode(OwnCodeGroup::kDeviceProperty, 4))
                .find("error code 4 (0x00000004)"),
            std::string::npos);
}

TEST(InstallWizardTextsTest, DetailsBottomText) {
  const std::string instructions =
      "To install the KORVA driver for this device, click Next.\nTo abort installation, click "
      "Cancel. No changes will be made to your system.\n";
  EXPECT_EQ(DetailsBottomText(false), instructions);
  EXPECT_EQ(
      DetailsBottomText(true),
      "WARNING: The current driver will be disabled if you continue!\nThis may put the device "
      "into an unusable state.\n\n" +
          instructions);
}

TEST(InstallWizardTextsTest, SmallHelpers) {
  EXPECT_EQ(DoubleAmpersands("USB\\VID_0547&PID_1002&&X"), "USB\\VID_0547&&PID_1002&&&&X");
  EXPECT_EQ(DoubleAmpersands(""), "");
  EXPECT_EQ(TrimLeadingSpace(" \t 1-2-2026 "), "1-2-2026 ");
  EXPECT_EQ(TrimLeadingSpace("   "), "");
  EXPECT_EQ(UnableToCreateMessage("C:\\x\\my.inf"), "Unable to create C:\\x\\my.inf.");
  EXPECT_EQ(UnableToExecuteMessage("C:\\korva\\korvaapp.exe"),
            "Unable to execute C:\\korva\\korvaapp.exe.\nPlease reinstall the KORVA Development "
            "Kit.");
}

}  // namespace
}  // namespace korva
