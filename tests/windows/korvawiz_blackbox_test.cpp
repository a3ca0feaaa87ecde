// KORVAwiz.exe as the user starts it: one wizard at a time, and the exit codes.
#include <gtest/gtest.h>

#include <string>

#include "res/install_resource.h"
#include "support/install_test_support.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

std::string KorvaWizPath() { return BuildFolder() + "\\install\\KORVAwiz.exe"; }

// The wizard's frame once some process shows it, or null after about ten seconds.
HWND WaitForWizard() {
  for (int i = 0; i < 200; ++i) {
    HWND frame = FindWindowA(nullptr, "KORVA Installation Wizard");
    if (frame && IsWindowVisible(frame)) return frame;
    Sleep(50);
  }
  return nullptr;
}

BOOL CALLBACK CountWizard(HWND window, LPARAM data) {
  char title[64] = {};
  GetWindowTextA(window, title, sizeof(title));
  if (std::string(title) == "KORVA Installation Wizard") ++*reinterpret_cast<int*>(data);
  return TRUE;
}

int CountWizards() {
  int count = 0;
  EnumWindows(CountWizard, reinterpret_cast<LPARAM>(&count));
  return count;
}

TEST(KorvaWizTest, ASecondStartLeavesTheOpenWizardAloneAndCancelEndsIt) {
  if (!GetEnvironmentVariableA("DISPLAY", nullptr, 0)) GTEST_SKIP() << "no display";
  const std::string kit = ScratchFolder("blackbox") + "\\Bin";
  CreateDirectoryA(kit.c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(KorvaWizPath().c_str(), (kit + "\\KORVAwiz.exe").c_str(), FALSE));
  const std::string command = "\"" + kit + "\\KORVAwiz.exe\"";

  Process first(command);
  ASSERT_TRUE(first.Started());
  HWND frame = WaitForWizard();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(FolderExists(kit + "\\install"));

  Process second(command);
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.Wait(20000), 0u);
  EXPECT_EQ(CountWizards(), 1);
  EXPECT_TRUE(IsWindow(frame));

  // Cancel, clicked as the user would.
  SendMessageA(GetDlgItem(frame, IDC_CANCEL_BUTTON), BM_CLICK, 0, 0);
  EXPECT_EQ(first.Wait(20000), 2u);
  EXPECT_EQ(CountWizards(), 0);
}

}  // namespace
}  // namespace korva::testing
