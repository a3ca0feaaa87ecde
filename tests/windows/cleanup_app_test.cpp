// The start-up routine in this process, with its message boxes recorded.
#include "cleanup/cleanup_wizard_app.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "common/core/kit_certificate.h"
#include "common/core/kit_refusals.h"
#include "common/core/log_line.h"
#include "common/run_log.h"
#include "common/system_folders.h"
#include "common/trust_stores.h"
#include "res/cleanup_resource.h"
#include "support/fault_injecting_device_setup.h"
#include "support/recording_message_box.h"
#include "support/ui_driver.h"
#include "support/wine_test_env.h"

namespace korva {
namespace {

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

der::Bytes AsBytes(const std::string& text) { return der::Bytes(text.begin(), text.end()); }

class CleanupWizardAppTest : public ::testing::Test {
 protected:
  int Run(const std::string& commandLine) {
    CleanupWizardApp app(settings, devices, infs, boxes);
    return app.Run(commandLine);
  }
  // The command line is rejected: exit 3 after one error box with `text`. Run as at a
  // console: the suite's own standard output is a file, where -nogui shows no box.
  void ExpectRejected(const std::string& commandLine, const std::string& text) {
    boxes.boxes.clear();
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
    EXPECT_EQ(Run(commandLine), kExitBadCommandLine) << commandLine;
    SetStdHandle(STD_OUTPUT_HANDLE, output);
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

// A program path that the ANSI code page cannot spell: the box names the folder (a ? for each
// character it lacks), before anything else, even help; with -nogui and a log, the log does.
TEST_F(CleanupWizardAppTest, AProgramFolderTheAnsiCodePageCannotSpellIsRefusedFirst) {
  ProgramPath program(
      "C:\\Kit-?\xf3"
      "d?\\KORVAcw.exe");
  program.exact = false;
  const std::string message = ProgramPathNotAnsiMessage("The KORVA Cleanup Wizard",
                                                        "C:\\Kit-?\xf3"
                                                        "d?");
  CleanupWizardApp app(settings, devices, infs, boxes);
  EXPECT_EQ(app.Run("-h", program), kExitProgramPathNotAnsi);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, message);
  EXPECT_EQ(boxes.boxes[0].caption, "KORVA Cleanup Wizard");
  EXPECT_EQ(boxes.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONERROR));
  const std::string log = testing::WindowsFolder() + "\\temp\\korvatest_path.log";
  testing::RemoveFile(log);
  CleanupWizardApp unattended(settings, devices, infs, boxes);
  EXPECT_EQ(unattended.Run("-nogui -log " + log, program), kExitProgramPathNotAnsi);
  EXPECT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(testing::ReadFileBytes(log),
            "error\t" + MessageAsLogField(message) +
                "\r\nend\tdevices=0\tinf=0\tcertificates=0\tservices=0\tremoved=0\tfailed=0\tnot "
                "examined=0\tstatus=12\r\n");
  testing::RemoveFile(log);
}

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
  const char* mutexName;
  const char* security;  // SDDL of a mutex some user made; null: a copy of the program's lock
  UniqueHandle ready{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  UniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  bool holding = false;  // the holder holds it
};

// The other holder: a thread that holds the lock as a copy of the program takes it, or a mutex
// of that name made and held by some user, until told to stop.
DWORD WINAPI HoldTheName(void* p) {
  auto* e = static_cast<OwnerEvents*>(p);
  InstanceLock copy;
  UniqueHandle mutex;
  if (!e->security) {
    e->holding = copy.Take(kCleanupPrivateLockName, {e->mutexName});
  } else {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorA(e->security, SDDL_REVISION_1,
                                                             &descriptor, nullptr)) {
      SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
      mutex.Reset(CreateMutexA(&attributes, TRUE, e->mutexName));
      e->holding = mutex.Valid() && GetLastError() != ERROR_ALREADY_EXISTS;
      LocalFree(descriptor);
    }
  }
  SetEvent(e->ready.Get());
  WaitForSingleObject(e->done.Get(), INFINITE);
  return 0;
}

// The other instance may hold the session's name (a wizard of this session) or the global one
// (a deployment service's run in session 0, say). Any user can make a mutex of either name,
// though: one that an administrator or the system does not own is no instance, and stops nothing.
TEST_F(CleanupWizardAppTest, AnotherInstanceEndsTheRunSilentlyAUsersMutexDoesNot) {
  const char* const kUsersOwn = "O:S-1-5-21-1-2-3-1001D:(A;;GA;;;S-1-5-21-1-2-3-1001)";
  const char* const kUsersOpenToAll = "O:S-1-5-21-1-2-3-1001D:(A;;GA;;;WD)";
  struct Case {
    const char* name;
    const char* security;
    bool anotherInstance;
  } cases[] = {
      {kCleanupMutexName, nullptr, true},
      {kCleanupGlobalMutexName, nullptr, true},
      {kCleanupGlobalMutexName, "O:SYD:(A;;GA;;;SY)(A;;GA;;;BA)", true},  // the system's run
      {kCleanupGlobalMutexName, kUsersOpenToAll, false},
      {kCleanupMutexName, kUsersOpenToAll, false},
      {kCleanupGlobalMutexName, kUsersOwn, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + (c.security ? c.security : "a copy"));
    OwnerEvents events{c.name, c.security};
    UniqueHandle owner(CreateThread(nullptr, 0, HoldTheName, &events, 0, nullptr));
    ASSERT_EQ(WaitForSingleObject(events.ready.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(events.holding);
    boxes.boxes.clear();
    if (c.anotherInstance) {
      EXPECT_EQ(Run("-h"), kExitAlreadyRunning);
      EXPECT_EQ(Run("-c"), kExitAlreadyRunning);
      // Unattended, the log of an ending before the start asks for no disk either.
      SetErrorMode(0);
      EXPECT_EQ(Run("-nogui -log korvatest_second.log"), kExitAlreadyRunning);
      EXPECT_NE(GetErrorMode() & SEM_FAILCRITICALERRORS, 0u);
      DeleteFileA("korvatest_second.log");
      EXPECT_TRUE(boxes.boxes.empty());
    } else {
      EXPECT_EQ(Run("-c"), kExitBadCommandLine);
      EXPECT_EQ(boxes.boxes.size(), 1u);
      EXPECT_EQ(Run("-nogui -list -c " + testbed::GuidText(testing::NewClassGuid()) +
                    " -log korvatest_second.log"),
                kExitOk);
      DeleteFileA("korvatest_second.log");
    }
    SetEvent(events.done.Get());
    WaitForSingleObject(owner.Get(), 10000);
  }
}

// A device that could not be removed keeps the package it is installed from (its driver key's
// InfPath), and that package keeps the certificate its catalog is signed with; the kit's other
// INF files go, and so do the certificates of no package left.
TEST_F(CleanupWizardAppTest, NonInteractiveRunReportsAFailedRemovalInItsExitStatus) {
  std::string id = "USB\\VID_0547&PID_1FA1\\app1";
  testing::SeedDevice(id, KitClassGuid(), {"USB\\VID_0547&PID_1FA1"}, kKitIdent);
  testbed::SetDriverInfPath(id, "OEMKORVATEST_USED.INF");
  const std::string kitInf = std::string("[Version]\r\nClassGuid=") + kKitClassGuidText +
                             "\r\n[M]\r\n%D%=I, USB\\VID_0547&PID_1FA1\r\n[I.HW.AddReg]\r\n"
                             "HKR,,CleanupWizard_DeviceIdentString,,\"" +
                             kKitIdent + "\"\r\n";
  testing::RemovePlacedInfFiles();
  std::string used = testing::PlaceFile("inf", "oemkorvatest_used.inf", kitInf);
  std::string other = testing::PlaceFile("inf", "oemkorvatest_other.inf", kitInf);
  const std::string database = SystemFolder() + "\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
  CreateDirectoryA((SystemFolder() + "\\catroot").c_str(), nullptr);
  CreateDirectoryA(database.c_str(), nullptr);
  const std::string subject = std::string("/CN=KORVA driver package USB\\\\VID_0547&PID_1FA1/O=") +
                              kKitCertificateOrganization + "/OU=" + kKitIdent;
  std::string catalog;
  const der::Bytes signsUsed = AsBytes(testing::OpenSslCertificate(subject, &catalog));
  const der::Bytes signsNone = AsBytes(testing::OpenSslCertificate(subject));
  testing::WriteFileBytes(database + "\\oemkorvatest_used.cat", catalog);
  SystemTrustStores stores;
  ASSERT_EQ(stores.Add("Root", signsUsed), 0u);
  ASSERT_EQ(stores.Add("Root", signsNone), 0u);
  setup.removeError = ERROR_ACCESS_DENIED;
  EXPECT_EQ(Run("-nogui"), kExitRemovalFailed);
  EXPECT_TRUE(boxes.boxes.empty());
  // Nor may the platform show one.
  EXPECT_TRUE(setup.madeNonInteractive);
  EXPECT_TRUE(testbed::DeviceExists(id));
  ASSERT_FALSE(devices.Results().empty());
  EXPECT_TRUE(testing::FileExists(used));
  EXPECT_FALSE(testing::FileExists(other));
  bool keptWithItsReason = false;
  for (const InfFileRecord& r : infs.Results()) {
    if (r.path == used) keptWithItsReason = r.usedByDevice && r.error == ERROR_DEVICE_IN_USE;
  }
  EXPECT_TRUE(keptWithItsReason);
  std::vector<StoredCertificate> held;
  ASSERT_EQ(stores.List("Root", held), 0u);
  auto holds = [&held](const der::Bytes& certificate) {
    return std::any_of(held.begin(), held.end(),
                       [&](const StoredCertificate& c) { return c.encoded == certificate; });
  };
  EXPECT_TRUE(holds(signsUsed));
  EXPECT_FALSE(holds(signsNone));
  stores.Remove("Root", signsUsed);
  stores.Remove("Root", signsNone);
  DeleteFileA((database + "\\oemkorvatest_used.cat").c_str());
  setup.removeError = 0;
  testing::RemovePlacedInfFiles();
}

// 3010 tells a script that everything was removed but Windows needs a restart to complete it
// (Wine never asks for one); a failure still gives 2, also a file the driver store refused to
// remove (it stays: deleting it would orphan its package), before 3010.
TEST_F(CleanupWizardAppTest, NonInteractiveRunTellsARestartInItsExitStatus) {
  // A class of this test's own, so that only its devices and file are found.
  const GUID classGuid = testing::NewClassGuid();
  const std::string classText = testbed::GuidText(classGuid);
  const std::string kitInf =
      "[Version]\r\nClassGuid=" + classText +
      "\r\n[Models]\r\n%D%=Install, USB\\VID_0547&PID_1002\r\n[Install.HW.AddReg]\r\n"
      "HKR,,CleanupWizard_DeviceIdentString,,\"" +
      std::string(kKitIdent) + "\"\r\n";
  struct Case {
    std::vector<DWORD> restartFlags;  // of the two devices' removals
    const char* infName;              // an INF file of the kit, or none
    bool infHeld;                     // in use, so that its deletion fails
    bool infRefused;                  // the driver store refuses to remove it
    bool stillInstalling;             // after the new enumeration, beyond the wait
    int exitStatus;
    // A driver store package of the kit that no INF file publishes: its removal needs a
    // restart, or the system has no call to remove it.
    enum { kNoPackage, kPackageNeedsRestart, kPackageNotRemovable } package = kNoPackage;
  };
  const Case cases[] = {
      {{0, DI_NEEDREBOOT}, nullptr, false, false, false, kExitRestartNeeded},
      {{DI_NEEDRESTART}, "korvatest_app.inf", false, false, true, kExitRestartNeeded},
      {{DI_NEEDRESTART}, "oemkorvatest_app.inf", false, true, false, kExitRemovalFailed},
      {{0, DI_NEEDRESTART}, "korvatest_app.inf", true, false, false, kExitRemovalFailed},
      {{0, 0}, nullptr, false, false, false, kExitRestartNeeded, Case::kPackageNeedsRestart},
      {{0, 0}, nullptr, false, false, false, kExitRemovalFailed, Case::kPackageNotRemovable},
  };
  int serial = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(serial);
    testing::RemovePlacedInfFiles();
    std::vector<std::string> ids;
    for (int i = 0; i < 2; ++i) {
      std::string tag = std::to_string(++serial);
      ids.push_back("USB\\VID_0547&PID_1FB" + tag + "\\restart" + tag);
      testing::SeedDevice(ids.back(), classGuid, {"USB\\VID_0547&PID_1FB" + tag}, kKitIdent);
    }
    std::string inf = c.infName ? testing::PlaceFile("inf", c.infName, kitInf) : "";
    const std::string packageFolder = "korvatest_app.inf_amd64_00000000000000a1";
    std::string package =
        c.package != Case::kNoPackage
            ? testing::PlaceStorePackage(packageFolder, "korvatest_app.inf", kitInf)
            : "";
    testing::FaultInjectingDeviceSetup caseSetup;
    caseSetup.driverStore = true;
    caseSetup.fakePackageRemoval = c.package == Case::kPackageNeedsRestart;
    caseSetup.packageRemovalNeedsRestart = true;
    caseSetup.restartFlags = c.restartFlags;
    if (c.infRefused) caseSetup.storeError = ERROR_ACCESS_DENIED;
    // The new enumeration comes after every removal (earlier, Windows would put the kit's driver
    // back from its store), as on Windows; a wait that ends first changes no status.
    caseSetup.fakeRescan = true;
    caseSetup.pendingWaitResult = c.stillInstalling ? WAIT_TIMEOUT : 0;
    std::vector<bool> thereAtRescan;
    caseSetup.onReenumerate = [&] {
      for (const std::string& id : ids) thereAtRescan.push_back(testbed::DeviceExists(id));
      if (c.infName) thereAtRescan.push_back(testing::FileExists(inf));
      if (!package.empty()) thereAtRescan.push_back(testing::FileExists(package));
    };
    DeviceInstanceList caseDevices{caseSetup, settings};
    InfFileList caseInfs{caseSetup, settings};
    CleanupWizardApp app(settings, caseDevices, caseInfs, boxes);
    std::string log = testing::WindowsFolder() + "\\temp\\korvatest_app.log";
    testing::RemoveFile(log);
    {
      std::unique_ptr<testing::FileHolder> holder;
      if (c.infHeld) holder = std::make_unique<testing::FileHolder>(inf, true);
      EXPECT_EQ(app.Run("-nogui -c " + classText + " -log " + log), c.exitStatus);
    }
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(caseDevices.Results().size(), 2u);
    EXPECT_EQ(caseInfs.Results().size(), (c.infName ? 1u : 0u) + (package.empty() ? 0u : 1u));
    for (const std::string& id : ids) EXPECT_FALSE(testbed::DeviceExists(id));
    std::vector<bool> thereAtEnd(ids.size(), false);
    if (c.infName) thereAtEnd.push_back(testing::FileExists(inf));
    if (!package.empty()) thereAtEnd.push_back(testing::FileExists(package));
    EXPECT_EQ(testing::FileExists(package), c.package == Case::kPackageNotRemovable);
    EXPECT_EQ(thereAtRescan, thereAtEnd);
    EXPECT_EQ(caseSetup.rescanCalls, (std::vector<std::string>{"reenumerate", "wait 60000"}));
    // The log tells each removal that needs a restart, and a package the store refused.
    std::string text = testing::ReadFileBytes(log);
    for (size_t i = 0; i < ids.size(); ++i) {
      bool restart = i < c.restartFlags.size() && c.restartFlags[i] != 0;
      std::string line = "removed\tdevice\t" + ids[i] + (restart ? "\trestart needed\r\n" : "\r\n");
      // Instance IDs as the platform keeps them: in capitals.
      EXPECT_NE(Upper(text).find(Upper(line)), std::string::npos) << line << text;
    }
    if (c.infRefused) {
      EXPECT_NE(text.find("failed\tinf\t" + inf + "\t5\t" + SystemErrorText(ERROR_ACCESS_DENIED) +
                          "\r\n"),
                std::string::npos)
          << text;
      EXPECT_TRUE(testing::FileExists(inf));
    }
    if (!package.empty()) {
      EXPECT_NE(text.find("inf\t" + package +
                          "\tdriver store package without a published INF "
                          "file\r\n"),
                std::string::npos)
          << text;
      EXPECT_NE(text.find(c.package == Case::kPackageNeedsRestart
                              ? "removed\tinf\t" + package + "\trestart needed\r\n"
                              : "failed\tinf\t" + package +
                                    "\t50\tThis system has no call that removes a driver store "
                                    "package.\r\n"),
                std::string::npos)
          << text;
    }
    EXPECT_NE(text.find(c.stillInstalling ? "rescan\tasked\tstill installing\r\nend\t"
                                          : "rescan\tasked\r\nend\t"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\tstatus=" + std::to_string(c.exitStatus) + "\r\n"), std::string::npos);
    testing::RemoveFile(log);
  }
  testing::RemovePlacedInfFiles();
}

// The kit's driver services go with the last device that names them (Wine's own service
// control manager); a service of another product, one whose binary is elsewhere, and one that a
// device of another class still names all stay. A driver that does not stop (only the fake's:
// no driver runs under Wine) goes at the restart, with its binary.
TEST_F(CleanupWizardAppTest, TheKitsDriverServicesGoWithTheirLastDevice) {
  const GUID classGuid = testing::NewClassGuid();
  const std::string classText = testbed::GuidText(classGuid);
  const std::string drivers = testing::WindowsFolder() + "\\system32\\drivers\\";
  struct Service {
    const char* name;
    std::string binary;  // the service's binary path
  };
  struct Case {
    const char* arguments;
    bool running;  // korva does not stop
    int exitStatus;
    bool kitDevice = true;  // else the service is left from a run before: no device names it
  };
  const Case cases[] = {
      {"-nogui -list", false, kExitItemsFound},
      {"-nogui", false, kExitOk},
      {"-nogui", true, kExitRestartNeeded},
      // A removal run that finds nothing else still removes what -list names.
      {"-nogui -list", false, kExitItemsFound, false},
      {"-nogui", false, kExitOk, false},
  };
  int serial = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments + std::string(c.running ? " running" : "") +
                 (c.kitDevice ? "" : " without a device"));
    // korva: the kit's, used by the kit's device only; korval: pointed elsewhere; korvav: also
    // named by another class's device.
    const Service services[] = {{"korva", "\\SystemRoot\\System32\\drivers\\korva.sys"},
                                {"korval", testing::WindowsFolder() + "\\temp\\korval.sys"},
                                {"korvav", "system32\\DRIVERS\\korvav.sys"}};
    UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    ASSERT_TRUE(manager.Valid());
    for (const Service& s : services) {
      testing::WriteFileBytes(drivers + s.name + ".sys", "driver");
      UniqueServiceHandle created(CreateServiceA(manager.Get(), s.name, s.name, SERVICE_ALL_ACCESS,
                                                 SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                                 SERVICE_ERROR_NORMAL, s.binary.c_str(), nullptr,
                                                 nullptr, nullptr, nullptr, nullptr));
      ASSERT_TRUE(created.Valid()) << s.name << " " << GetLastError();
    }
    std::string tag = std::to_string(++serial);
    testbed::DeviceSeed kit;
    kit.instanceId = "USB\\VID_0547&PID_1FC" + tag + "\\service" + tag;
    kit.classGuid = classGuid;
    kit.hardwareIds = {"USB\\VID_0547&PID_1FC" + tag};
    kit.service = "korva";
    if (c.kitDevice) {
      ASSERT_EQ(testbed::AddDevice(kit), 0u);
      ASSERT_EQ(testbed::SetHardwareValue(kit.instanceId, "CleanupWizard_DeviceIdentString",
                                          REG_SZ, testbed::StringData(kKitIdent)),
                0u);
    }
    testbed::DeviceSeed other = kit;
    other.instanceId = "USB\\VID_0547&PID_1FD" + tag + "\\service" + tag;
    other.classGuid = testing::NewClassGuid();
    other.service = "KORVAV";
    ASSERT_EQ(testbed::AddDevice(other), 0u);

    testing::FaultInjectingDeviceSetup caseSetup;
    caseSetup.fakeRescan = true;
    if (c.running) caseSetup.runningService = "korva";
    CleanupSettings caseSettings;
    DeviceInstanceList caseDevices{caseSetup, caseSettings};
    InfFileList caseInfs{caseSetup, caseSettings};
    CleanupWizardApp app(caseSettings, caseDevices, caseInfs, boxes);
    std::string log = testing::WindowsFolder() + "\\temp\\korvatest_service.log";
    testing::RemoveFile(log);
    EXPECT_EQ(app.Run(std::string(c.arguments) + " -c " + classText + " -log " + log),
              c.exitStatus);
    std::string text = testing::ReadFileBytes(log);
    EXPECT_NE(text.find("\r\nservice\tkorva\t" + drivers + "korva.sys\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("\tkorval"), std::string::npos) << text;
    EXPECT_EQ(text.find("\tkorvav"), std::string::npos) << text;
    EXPECT_NE(text.find("\tservices=1\t"), std::string::npos) << text;
    const bool removal = std::string(c.arguments) == "-nogui";
    if (removal) {
      EXPECT_NE(text.find(c.running ? "\r\nremoved\tservice\tkorva\trestart needed\r\n"
                                    : "\r\nremoved\tservice\tkorva\r\n"),
                std::string::npos)
          << text;
      // The service goes before the new enumeration, and only the kit's.
      EXPECT_LT(text.find("\tservice\tkorva"), text.find("\r\nrescan\t"));
      EXPECT_EQ(caseSetup.serviceCalls, (std::vector<std::string>{"stop korva", "delete korva"}));
    } else {
      EXPECT_TRUE(caseSetup.serviceCalls.empty());
    }
    for (const Service& s : services) {
      UniqueServiceHandle service(OpenServiceA(manager.Get(), s.name, SERVICE_ALL_ACCESS));
      bool gone = removal && std::string(s.name) == "korva";
      EXPECT_EQ(service.Valid(), !gone) << s.name;
      // A driver that did not stop keeps its binary until the restart.
      EXPECT_EQ(testing::FileExists(drivers + s.name + ".sys"), !gone || c.running) << s.name;
      if (service.Valid()) DeleteService(service.Get());
      testing::RemoveFile(drivers + s.name + ".sys");
    }
    if (removal && c.running) {
      std::string pending;
      HKEY key;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                        0, KEY_READ, &key) == ERROR_SUCCESS) {
        char data[4096] = {};
        DWORD size = sizeof(data) - 2;
        RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data), &size);
        pending.assign(data, std::min<size_t>(size, 200));
        RegCloseKey(key);
      }
      EXPECT_NE(Upper(pending).find(Upper("korva.sys")), std::string::npos) << pending;
    }
    testbed::RemoveDevice(kit.instanceId);
    testbed::RemoveDevice(other.instanceId);
    testing::RemoveFile(log);
  }
}

// The wizard says once, in a box, that its log cannot be opened, runs all the same, and ends
// with 6.
TEST_F(CleanupWizardAppTest, TheWizardSaysOnceThatItsLogCannotBeOpened) {
  // Only the log's own folder is made when missing: not the one above it.
  const std::string path = "C:\\korvatest_missing\\folder\\korva.log";
  int framesShown = 0;
  testing::ScheduleSteps({testing::WhenShown("KORVA Cleanup Wizard", [&](HWND frame) {
    ++framesShown;
    ASSERT_TRUE(testing::Click(GetDlgItem(frame, IDC_CANCEL_BUTTON)));
  })});
  EXPECT_EQ(Run("-log " + path), kExitLogNotOpened);
  testing::ClearSteps();
  EXPECT_FALSE(setup.madeNonInteractive);
  EXPECT_EQ(framesShown, 1);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, "KORVA Cleanup Wizard");
  EXPECT_EQ(boxes.boxes[0].style, static_cast<UINT>(MB_OK | MB_ICONWARNING));
  EXPECT_EQ(boxes.boxes[0].text, "The log file could not be opened:\n" + path +
                                     "\nerror = 3: " + SystemErrorText(ERROR_PATH_NOT_FOUND) +
                                     "\nThe run goes on without it.");
}

TEST_F(CleanupWizardAppTest, NonInteractiveRunWithNothingToDoSucceeds) {
  EXPECT_EQ(Run("-nogui -c {5e1b2f2a-0000-4000-8000-00000000abcd}"), kExitOk);
  EXPECT_TRUE(devices.Items().empty());
  EXPECT_TRUE(devices.Results().empty());
  // A class whose instances could not be listed was not found empty: the kit may remain.
  setup.classListFails = true;
  const std::string log = testing::WindowsFolder() + "\\temp\\korvatest_app.log";
  testing::RemoveFile(log);
  EXPECT_EQ(Run("-nogui -c {5e1b2f2a-0000-4000-8000-00000000abcd} -log " + log),
            kExitRemovalFailed);
  EXPECT_NE(testing::ReadFileBytes(log).find("\r\nnot examined\tdevice instances of class {"),
            std::string::npos)
      << testing::ReadFileBytes(log);
  testing::RemoveFile(log);
  EXPECT_EQ(Run("-nogui -list -c {5e1b2f2a-0000-4000-8000-00000000abcd}"), kExitRemovalFailed);
  setup.classListFails = false;
}

}  // namespace
}  // namespace korva
