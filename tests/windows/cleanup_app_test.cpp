// The start-up routine in this process, with its message boxes recorded.
#include "cleanup/cleanup_wizard_app.h"

#include <gtest/gtest.h>

#include "res/cleanup_resource.h"
#include "support/fault_injecting_device_setup.h"
#include "support/recording_message_box.h"
#include "support/ui_driver.h"
#include "support/wine_test_env.h"

namespace korva {
namespace {

class CleanupWizardAppTest : public ::testing::Test {
 protected:
  int Run(const std::string& commandLine) {
    CleanupWizardApp app(settings, devices, infs, boxes);
    return app.Run(commandLine);
  }
  // The command line is rejected: exit 3 after one error box with `text`.
  void ExpectRejected(const std::string& commandLine, const std::string& text) {
    boxes.boxes.clear();
    EXPECT_EQ(Run(commandLine), kExitBadCommandLine) << commandLine;
    ASSERT_EQ(boxes.boxes.size(), 1u) << commandLine;
    EXPECT_EQ(boxes.boxes[0].caption, "KORVA Cleanup Wizard");
    EXPECT_EQ(boxes.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(boxes.boxes[0].text, text);
  }

  testing::FaultInjectingDeviceSetup setup;
  CleanupSettings settings;
  DeviceInstanceList devices{setup, settings};
  InfFileList infs{setup, settings};
  testing::RecordingMessageBox boxes;
};

TEST_F(CleanupWizardAppTest, UsageBoxWithAndWithoutTheExpertParagraph) {
  EXPECT_EQ(Run("/?"), kExitOk);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, "KORVA Cleanup Wizard Usage");
  EXPECT_EQ(boxes.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONINFORMATION));
  EXPECT_EQ(boxes.boxes[0].text, BuildUsageText(false));
  EXPECT_EQ(boxes.boxes[0].text.find("-expert"), std::string::npos);
}

TEST_F(CleanupWizardAppTest, UsageBoxInExpertMode) {
  EXPECT_EQ(Run("-h -EXPERT"), kExitOk);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, BuildUsageText(true));
  EXPECT_NE(boxes.boxes[0].text.find("\n-expert\t\tEnable expert mode."), std::string::npos);
}

// A missing value; an ident with a double quote; with -nogui, a token that is no option (here
// the kit's device would otherwise go).
TEST_F(CleanupWizardAppTest, InvalidArgumentBox) {
  std::string id = "USB\\VID_0547&PID_1FA2\\app2";
  testing::SeedDevice(id, KitClassGuid(), {"USB\\VID_0547&PID_1FA2"}, kKitIdent);
  for (const char* line :
       {"-nogui -h -c", "-nogui -expert -c={36fc9e60-c465-11cf-8056-444553540000}",
        "-nogui -i \"{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\"", "-nogui /c"}) {
    ExpectRejected(line,
                   "An invalid command line argument was passed.\n"
                   "Use KORVACW -h to display information on how to use the wizard.\n");
  }
  EXPECT_TRUE(testbed::DeviceExists(id));
  EXPECT_TRUE(devices.Results().empty());
  testbed::RemoveDevice(id);
}

// A quoted GUID; a program identifier, which the platform's parser takes as well.
TEST_F(CleanupWizardAppTest, InvalidClassGuidBox) {
  for (const char* line :
       {"-nogui -c \"{96e73b6e-7a5a-11d4-9f24-0080c82727f4}\"", "-nogui -c htmlfile"}) {
    ExpectRejected(line,
                   "An invalid ClassGuid string has been passed.\n"
                   "Use KORVACW -h to display information on how to use the wizard.");
  }
  EXPECT_TRUE(devices.Results().empty());
}

// An interactive run: the wizard opens (its dialogs are linked into this program) with the
// settings read, and Cancel ends it.
TEST_F(CleanupWizardAppTest, ParsesTheBracedGuidWithThePlatform) {
  std::string shownWith;
  testing::ScheduleSteps({testing::WhenShown("KORVA Cleanup Wizard", [&](HWND frame) {
    shownWith = settings.classGuidText;
    ASSERT_TRUE(testing::Click(GetDlgItem(frame, IDC_CANCEL_BUTTON)));
  })});
  ASSERT_EQ(Run("-c {36fc9e60-c465-11cf-8056-444553540000} -i abc"), kExitOk);
  testing::ClearSteps();
  EXPECT_EQ(shownWith, "{36FC9E60-C465-11CF-8056-444553540000}");
  EXPECT_TRUE(boxes.boxes.empty());
  GUID guid = ToGuid(settings.classGuid);
  EXPECT_EQ(guid.Data1, 0x36fc9e60u);
  EXPECT_EQ(guid.Data4[7], 0x00);
  EXPECT_EQ(settings.classGuidText, "{36FC9E60-C465-11CF-8056-444553540000}");
  EXPECT_EQ(settings.deviceIdentString, "ABC");
}

struct OwnerEvents {
  UniqueHandle ready{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

// The other instance: a thread that owns the mutex until told to stop.
DWORD WINAPI OwnTheMutex(void* p) {
  auto* e = static_cast<OwnerEvents*>(p);
  UniqueHandle mutex(CreateMutexA(nullptr, FALSE, kCleanupMutexName));
  WaitForSingleObject(mutex.Get(), INFINITE);
  SetEvent(e->ready.Get());
  WaitForSingleObject(e->done.Get(), INFINITE);
  ReleaseMutex(mutex.Get());
  return 0;
}

TEST_F(CleanupWizardAppTest, AnotherInstanceEndsTheRunSilently) {
  OwnerEvents events;
  UniqueHandle owner(CreateThread(nullptr, 0, OwnTheMutex, &events, 0, nullptr));
  ASSERT_EQ(WaitForSingleObject(events.ready.Get(), 10000), WAIT_OBJECT_0);
  EXPECT_EQ(Run("-h"), kExitAlreadyRunning);
  EXPECT_EQ(Run("-c"), kExitAlreadyRunning);
  EXPECT_TRUE(boxes.boxes.empty());
  SetEvent(events.done.Get());
  WaitForSingleObject(owner.Get(), 10000);
}

TEST_F(CleanupWizardAppTest, NonInteractiveRunReportsAFailedRemovalInItsExitStatus) {
  std::string id = "USB\\VID_0547&PID_1FA1\\app1";
  testing::SeedDevice(id, KitClassGuid(), {"USB\\VID_0547&PID_1FA1"}, kKitIdent);
  setup.removeError = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Run("-nogui"), kExitRemovalFailed);
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_TRUE(testbed::DeviceExists(id));
  ASSERT_FALSE(devices.Results().empty());
  setup.removeError = 0;
}

TEST_F(CleanupWizardAppTest, NonInteractiveRunWithNothingToDoSucceeds) {
  EXPECT_EQ(Run("-nogui -c {5e1b2f2a-0000-4000-8000-00000000abcd}"), kExitOk);
  EXPECT_TRUE(devices.Items().empty());
  EXPECT_TRUE(devices.Results().empty());
}

}  // namespace
}  // namespace korva
