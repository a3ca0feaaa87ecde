// The 32-bit programs on 64-bit Windows hand their run over to the 64-bit build in the kit's
// x64 folder. In the 64-bit prefix (booted with 32-bit Wine) this suite starts the x86 build,
// which Wine runs as a 32-bit process on 64-bit Windows; in the 32-bit prefix it shows that a
// 32-bit Windows hands nothing over.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/core/kit_identity.h"
#include "common/core/wow64_hand_over.h"
#include "common/wow64_hand_over.h"
#include "install/core/inf_template.h"
#include "res/install_resource.h"
#include "support/install_test_support.h"
#include "support/ui_driver.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

const std::string kKitInf =
    "[Version]\r\nClass=KORVA\r\nClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n"
    "[Devices]\r\n%Dev%=Install, USB\\VID_0547&PID_1002\r\n"
    "[Install.HW.AddReg]\r\n"
    "HKR,,CleanupWizard_DeviceIdentString,,\"{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\"\r\n";

bool HaveDisplay() { return GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0; }

bool Copy(const std::string& from, const std::string& to) {
  bool copied = CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
  EXPECT_TRUE(copied) << from << " -> " << to;
  return copied;
}

struct WindowSearch {
  std::string title;
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (IsWindowVisible(window) && WindowText(window) == search->title &&
      (search->processId == 0 || processId == search->processId)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The visible top-level window with this title, of that process when `processId` is not 0;
// null after about twenty seconds.
HWND WaitForWindow(const std::string& title, DWORD processId = 0) {
  for (int i = 0; i < 400; ++i) {
    WindowSearch search{title, processId, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    Sleep(50);
  }
  return nullptr;
}

std::string CommandLine(const std::string& program, bool quoted, const std::string& arguments) {
  std::string line = quoted ? "\"" + program + "\"" : program;
  return arguments.empty() ? line : line + " " + arguments;
}

#ifdef _WIN64

// Every file of the build's kit folder (the template, the driver binaries, korvaapp.exe).
void CopyKitFiles(const std::string& toFolder) {
  WIN32_FIND_DATAA found;
  UniqueFindHandle search(FindFirstFileA((KitFolder() + "\\*").c_str(), &found));
  ASSERT_TRUE(search.Valid()) << KitFolder();
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      CopyKitFile(found.cFileName, toFolder);
    }
  } while (FindNextFileA(search.Get(), &found));
}

DWORD ProcessOf(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  return processId;
}

std::string X86Program(const std::string& name) {
  return BuildFolderOf("x86") + (name == "KORVAcw.exe" ? "\\cleanup\\" : "\\install\\") + name;
}
std::string X64Program(const std::string& name) {
  return BuildFolder() + (name == "KORVAcw.exe" ? "\\cleanup\\" : "\\install\\") + name;
}

// The 64-bit build that a 32-bit program starts ends with it (a deployment tool that stops the
// 32-bit program on a time-out must not leave it removing or installing); what the build starts
// in turn (the wizard's demo program) stays. Shown here with the probe, started as the
// hand-over starts the build, and the job's handle closed as the starter's end closes it.
TEST(TiedChildTest, EndsWithItsStarterButWhatItStartsStays) {
  const std::string probe = BuildFolder() + "\\tests\\windows\\hand_over_probe.exe";
  const std::string grandchildFile = ScratchFolder("TiedChild") + "\\grandchild.txt";
  SetEnvironmentVariableA("KORVA_PROBE_SLEEP", "60000");
  SetEnvironmentVariableA("KORVA_PROBE_GRANDCHILD", grandchildFile.c_str());
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  TiedChild child;
  DWORD error = 0;
  bool started = StartTiedChild(probe, "\"" + probe + "\"", startup, false, child, error);
  SetEnvironmentVariableA("KORVA_PROBE_SLEEP", nullptr);
  SetEnvironmentVariableA("KORVA_PROBE_GRANDCHILD", nullptr);
  ASSERT_TRUE(started) << error;
  EXPECT_TRUE(child.job.Valid());
  DWORD grandchildId = 0;
  for (int i = 0; i < 400 && grandchildId == 0; ++i, Sleep(50)) {
    grandchildId = std::strtoul(ReadFileBytes(grandchildFile).c_str(), nullptr, 10);
  }
  UniqueHandle grandchild(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, grandchildId));
  ASSERT_TRUE(grandchild.Valid()) << grandchildId;
  EXPECT_EQ(WaitForSingleObject(child.process.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  child.job.Reset();
  EXPECT_EQ(WaitForSingleObject(child.process.Get(), 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(grandchild.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(grandchild.Get(), 0);
  TerminateProcess(child.process.Get(), 0);
}

// What the kit's x64 folder holds in a test.
enum class X64Folder { kMissing, kEmpty, kThe32BitBuild, kTheProbe, kThe64BitBuild };

// A kit folder <scratch>\Bin: the x86 programs, and the x64 folder below it as asked.
std::string LayOutKit(const std::string& scratchName, X64Folder x64) {
  std::string bin = ScratchFolder(scratchName) + "\\Bin";
  CreateDirectoryA(bin.c_str(), nullptr);
  std::string x64Folder = bin + "\\x64";
  for (const char* name : {"KORVAcw.exe", "KORVAwiz.exe"}) {
    if (!Copy(X86Program(name), bin + "\\" + name)) continue;
    if (x64 == X64Folder::kMissing) continue;
    CreateDirectoryA(x64Folder.c_str(), nullptr);
    if (x64 == X64Folder::kThe32BitBuild) Copy(X86Program(name), x64Folder + "\\" + name);
    if (x64 == X64Folder::kTheProbe) {
      Copy(BuildFolder() + "\\tests\\windows\\hand_over_probe.exe", x64Folder + "\\" + name);
    }
    if (x64 == X64Folder::kThe64BitBuild) Copy(X64Program(name), x64Folder + "\\" + name);
  }
  if (x64 == X64Folder::kThe64BitBuild) CopyKitFiles(x64Folder);
  return bin;
}

class HandOverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // scripts/test says so when the machine's kernel runs no 32-bit program (nor, then, 32-bit
    // Wine): the x86 build this suite starts cannot run there.
    if (GetEnvironmentVariableA("KORVA_NO_32BIT", nullptr, 0) > 0) {
      GTEST_SKIP() << "this machine runs no 32-bit program";
    }
    RemovePlacedInfFiles();
    // A normal run has both builds: the x86 one is what this suite is about.
    ASSERT_TRUE(FileExists(X86Program("KORVAcw.exe")) && FileExists(X86Program("KORVAwiz.exe")))
        << "the x86 build is missing at " << BuildFolderOf("x86") << ": build it (scripts/build)";
  }
  void TearDown() override {
    RemovePlacedInfFiles();
    SetEnvironmentVariableA("KORVA_PROBE_RECORD", nullptr);
    SetEnvironmentVariableA("KORVA_PROBE_STATUS", nullptr);
  }
};

// The 64-bit build gets the arguments character for character (quotes and runs of blanks
// included) and is started by its full path; its status, whatever it is, is the status of the
// 32-bit program.
TEST_F(HandOverTest, TheArgumentsAndTheStatusPassThroughUnchanged) {
  struct Case {
    const char* program;
    const char* scratch;  // with a blank in it, the program is started by its path in quotes
    bool quoted;
    const char* arguments;
    DWORD status;
  };
  const Case cases[] = {
      {"KORVAcw.exe", "hand over", true, "-nogui", 0},
      {"KORVAcw.exe", "hand over", true, "-i \"My Ident\"  -c\t{x} -NOGUI ", 2},
      {"KORVAcw.exe", "handover", false, "-h", 3010},
      {"KORVAcw.exe", "handover", false, "", 0xE0000235},  // ERROR_IN_WOW64
      {"KORVAwiz.exe", "hand over", true, "", 2},
      {"KORVAwiz.exe", "handover", false, "\"\" x  \"y z\"", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.arguments);
    std::string bin = LayOutKit(c.scratch, X64Folder::kTheProbe);
    std::string record = ScratchFolder("hand over record") + "\\record.txt";
    SetEnvironmentVariableA("KORVA_PROBE_RECORD", record.c_str());
    SetEnvironmentVariableA("KORVA_PROBE_STATUS", std::to_string(c.status).c_str());

    EXPECT_EQ(RunProcess(CommandLine(bin + "\\" + c.program, c.quoted, c.arguments)), c.status);
    std::string expectedPath = bin + "\\x64\\" + c.program;
    EXPECT_EQ(ReadFileBytes(record),
              expectedPath + "\n" + CommandLine(expectedPath, true, c.arguments));
  }
}

// A deployment tool that stops the 32-bit program (on a time-out) stops the run: the 64-bit
// build it handed over to ends with it.
TEST_F(HandOverTest, The64BitBuildEndsWithThe32BitProgram) {
  std::string bin = LayOutKit("hand over ended", X64Folder::kTheProbe);
  EXPECT_TRUE(ChildEndsWithItsStarter(CommandLine(bin + "\\KORVAcw.exe", true, "-nogui"),
                                      "KORVAcw.exe", 1));
}

// With the real 64-bit build in the kit: it does the run. The 32-bit program holds no
// single-instance lock of its own (the 64-bit one would end with 4 if it did), makes no
// install folder and shows no window.
TEST_F(HandOverTest, The64BitBuildDoesTheWholeRun) {
  std::string bin = LayOutKit("hand over kit", X64Folder::kThe64BitBuild);
  const std::string device = "USB\\VID_0547&PID_6001\\wow1";
  SeedDevice(device, KitClassGuid(), {"USB\\VID_0547&PID_6001"}, kKitIdent);
  std::string inf = PlaceFile("inf", "korvatest_wow64.inf", kKitInf);
  // Its lines reach the standard output that the 32-bit program was given (a file here).
  CapturedRun run =
      RunCapturingOutput(CommandLine(bin + "\\KORVAcw.exe", true, "-nogui"), OutputTo::kFile);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(run.output.rfind("start\t", 0), 0u) << run.output;
  EXPECT_NE(run.output.find("\r\nremoved\tinf\t" + inf + "\r\n"), std::string::npos) << run.output;
  EXPECT_FALSE(testbed::DeviceExists(device));
  EXPECT_FALSE(FileExists(inf));

  // A failed removal: the 64-bit build's 2 is the status (and its lines come through a pipe).
  std::string held = PlaceFile("inf", "korvatest_wow64_held.inf", kKitInf);
  {
    FileHolder holder(held, /*readable=*/true);
    ASSERT_TRUE(holder.Holding());
    CapturedRun failed =
        RunCapturingOutput(CommandLine(bin + "\\KORVAcw.exe", true, "-nogui"), OutputTo::kPipe);
    EXPECT_EQ(failed.exitCode, 2u);
    EXPECT_NE(failed.output.find("\r\nfailed\tinf\t" + held + "\t32\t"), std::string::npos)
        << failed.output;
  }
  EXPECT_TRUE(FileExists(held));

  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  Process wizard(CommandLine(bin + "\\KORVAwiz.exe", true, ""));
  ASSERT_TRUE(wizard.Started());
  HWND frame = WaitForWindow(kInstallWizardName);
  ASSERT_NE(frame, nullptr);
  // The wizard is the 64-bit build's, in a process of its own.
  DWORD shownBy = ProcessOf(frame);
  EXPECT_NE(shownBy, wizard.Id());
  UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shownBy));
  BOOL wow64 = TRUE;
  EXPECT_TRUE(process.Valid() && IsWow64Process(process.Get(), &wow64) && !wow64);
  EXPECT_TRUE(FolderExists(bin + "\\x64\\install"));
  EXPECT_FALSE(FolderExists(bin + "\\install"));
  Click(GetDlgItem(frame, IDC_CANCEL_BUTTON));
  EXPECT_EQ(wizard.Wait(20000), 2u);
}

// Without a 64-bit build (no x64 folder, an empty one, or the 32-bit build copied into it,
// which is never started, so the run can't go round): the 32-bit program itself says so in a
// box naming the file it looked for, or with -nogui only by its status, and does nothing else.
TEST_F(HandOverTest, WithoutThe64BitBuildABoxOrTheStatusAndNothingIsDone) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  struct Case {
    const char* program;
    X64Folder x64;
    const char* arguments;
    bool box;
  };
  const Case cases[] = {
      {"KORVAcw.exe", X64Folder::kMissing, "", true},
      {"KORVAcw.exe", X64Folder::kMissing, "-nogui", false},
      {"KORVAcw.exe", X64Folder::kEmpty, "-c {96e73b6e-7a5a-11d4-9f24-0080c82727f4} -NoGui", false},
      {"KORVAcw.exe", X64Folder::kThe32BitBuild, "-h", true},
      {"KORVAcw.exe", X64Folder::kThe32BitBuild, "-nogui", false},
      {"KORVAwiz.exe", X64Folder::kMissing, "", true},
      {"KORVAwiz.exe", X64Folder::kThe32BitBuild, "", true},
      {"KORVAwiz.exe", X64Folder::kMissing, "-nogui -hwid USB\\VID_0547&PID_6101", false},
      {"KORVAwiz.exe", X64Folder::kThe32BitBuild, "-hwid USB\\VID_0547&PID_6101 -NOGUI", false},
      {"KORVAwiz.exe", X64Folder::kEmpty, "-nogui", false},
  };
  const std::string device = "USB\\VID_0547&PID_6101\\wow2";
  SeedDevice(device, KitClassGuid(), {"USB\\VID_0547&PID_6101"}, kKitIdent);
  std::string inf = PlaceFile("inf", "korvatest_wow64_stays.inf", kKitInf);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.arguments + " x64 folder " +
                 std::to_string(static_cast<int>(c.x64)));
    std::string bin = LayOutKit("hand over missing", c.x64);
    bool cleanup = std::string(c.program) == "KORVAcw.exe";
    Process program(CommandLine(bin + "\\" + c.program, true, c.arguments));
    ASSERT_TRUE(program.Started());
    if (c.box) {
      HWND box = WaitForWindow(cleanup ? "KORVA Cleanup Wizard" : "KORVAwiz", program.Id());
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(MessageBoxText(box),
                No64BitBuildMessage(cleanup ? "KORVA Cleanup Wizard" : kInstallWizardName,
                                    cleanup ? "remove devices" : "install drivers",
                                    bin + "\\x64\\" + c.program, 0));
      SendMessageA(box, WM_COMMAND, IDOK, 0);
    }
    // A box nobody answers would hold the program: an unattended run ends by itself.
    EXPECT_EQ(program.Wait(20000), static_cast<DWORD>(kExitNo64BitBuild));
    EXPECT_TRUE(testbed::DeviceExists(device));
    EXPECT_TRUE(FileExists(inf));
    EXPECT_FALSE(FolderExists(bin + "\\install"));
  }
  testbed::RemoveDevice(device);
}

#else  // 32-bit Windows

// Here the 32-bit programs are the ones that work: they run themselves, whatever the kit's x64
// folder holds.
TEST(HandOverTest, On32BitWindowsTheProgramsRunThemselves) {
  std::string bin = ScratchFolder("hand over") + "\\Bin";
  std::string x64Folder = bin + "\\x64";
  CreateDirectoryA(bin.c_str(), nullptr);
  CreateDirectoryA(x64Folder.c_str(), nullptr);
  std::string probe = BuildFolder() + "\\tests\\windows\\hand_over_probe.exe";
  ASSERT_TRUE(Copy(KorvaCwPath(), bin + "\\KORVAcw.exe"));
  ASSERT_TRUE(Copy(BuildFolder() + "\\install\\KORVAwiz.exe", bin + "\\KORVAwiz.exe"));
  ASSERT_TRUE(Copy(probe, x64Folder + "\\KORVAcw.exe"));
  ASSERT_TRUE(Copy(probe, x64Folder + "\\KORVAwiz.exe"));
  std::string record = ScratchFolder("hand over record") + "\\record.txt";
  SetEnvironmentVariableA("KORVA_PROBE_RECORD", record.c_str());

  const std::string device = "USB\\VID_0547&PID_6201\\w32";
  SeedDevice(device, KitClassGuid(), {"USB\\VID_0547&PID_6201"}, kKitIdent);
  EXPECT_EQ(RunProcess(CommandLine(bin + "\\KORVAcw.exe", true, "-nogui")), 0u);
  EXPECT_FALSE(testbed::DeviceExists(device));

  if (HaveDisplay()) {
    Process wizard(CommandLine(bin + "\\KORVAwiz.exe", true, ""));
    ASSERT_TRUE(wizard.Started());
    HWND frame = WaitForWindow(kInstallWizardName, wizard.Id());
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(FolderExists(bin + "\\install"));
    Click(GetDlgItem(frame, IDC_CANCEL_BUTTON));
    EXPECT_EQ(wizard.Wait(20000), 2u);
  }
  EXPECT_FALSE(FileExists(record));
  SetEnvironmentVariableA("KORVA_PROBE_RECORD", nullptr);
}

#endif

}  // namespace
}  // namespace korva::testing
