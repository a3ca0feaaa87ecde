// KORVAcw.exe as a user runs it: in this prefix, on a seeded device database and INF folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/core/cleanup_settings.h"
#include "common/core/log_line.h"
#include "common/object_security.h"
#include "support/install_test_support.h"
#include "support/wine_test_env.h"

namespace korva {
namespace {

using testing::FileExists;
using testing::PlaceFile;
using testing::SeedDevice;

const std::string kKitInf =
    "[Version]\r\nClass=KORVA\r\nClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n"
    "[Devices]\r\n%Dev%=Install, USB\\VID_0547&PID_1002\r\n"
    "[Install.HW.AddReg]\r\n"
    "HKR,,CleanupWizard_DeviceIdentString,,\"{DAB6A146-D93E-48ab-B3E5-374AB8FFF277}\"\r\n";

std::string Cw(const std::string& arguments) {
  return "\"" + testing::KorvaCwPath() + "\" " + arguments;
}

// Waits for a top-level window with this title; null on time-out.
HWND WaitForWindow(const char* title, DWORD timeoutMs = 20000) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    if (HWND window = FindWindowA(nullptr, title)) return window;
    Sleep(100);
  }
  return nullptr;
}

std::string MessageBoxText(HWND box) {
  char text[4096] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));  // the box's text control
  return text;
}

bool HaveDisplay() { return GetEnvironmentVariableA("DISPLAY", nullptr, 0) > 0; }

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The index of the first line equal to `line` (or, with `prefix`, starting with it); -1 if none.
int IndexOf(const std::vector<std::string>& lines, const std::string& line, bool prefix = false) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (prefix ? lines[i].rfind(line, 0) == 0 : lines[i] == line) return static_cast<int>(i);
  }
  return -1;
}

std::string LogPath(const std::string& name) {
  char folder[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(folder), folder);
  std::string path = std::string(folder) + name;
  testing::RemoveFile(path);
  return path;
}

// A class and an ident of a test's own, so that only what it placed is found.
struct OwnKit {
  GUID classGuid = testing::NewClassGuid();
  std::string classText = testbed::GuidText(classGuid);
  std::string ident = "KORVATEST-" + classText.substr(1, 8);
  std::string Options() const { return "-c " + classText + " -i " + ident; }
  std::string Inf() const {
    return "[Version]\r\nClassGuid=" + classText +
           "\r\n[Devices]\r\n%Dev%=Install, USB\\VID_0547&PID_1002\r\n[Install.HW.AddReg]\r\n"
           "HKR,,CleanupWizard_DeviceIdentString,,\"" +
           ident + "\"\r\n";
  }
  std::string Device(const std::string& pid, const std::string& serial) const {
    std::string id = "USB\\VID_0547&PID_" + pid + "\\" + serial;
    SeedDevice(id, classGuid, {"USB\\VID_0547&PID_" + pid}, ident);
    return id;
  }
  std::string StartLine(bool list) const {
    return "\tKORVAcw 1.0\tclass=" + Upper(classText) + "\tident=" + Upper(ident) +
           "\texpert=no\tnogui=yes\tlist=" + (list ? "yes" : "no");
  }
};

class KorvaCwTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::RemovePlacedInfFiles(); }
  void TearDown() override { testing::RemovePlacedInfFiles(); }
};

TEST_F(KorvaCwTest, NoGuiRemovesEverythingOfTheKitAndNothingElse) {
  GUID kit = KitClassGuid();
  GUID otherClass = testing::NewClassGuid();
  const std::string present = "USB\\VID_0547&PID_1002\\bb1";
  const std::string second = "USB\\VID_0547&PID_1003\\bb2";
  const std::string lowerCase = "USB\\VID_0547&PID_1004\\bb3";
  const std::string foreign = "USB\\VID_1234&PID_0001\\bb4";
  const std::string pci = "PCI\\VEN_0547&DEV_1005\\bb5";
  const std::string otherClassDevice = "USB\\VID_0547&PID_1006\\bb6";
  SeedDevice(present, kit, {"USB\\VID_0547&PID_1002"}, kKitIdent);
  SeedDevice(second, kit, {"USB\\VID_0547&PID_1003"}, kKitIdent);
  SeedDevice(lowerCase, kit, {"usb\\vid_0547&pid_1004"}, "{dab6a146-d93e-48ab-b3e5-374ab8fff277}");
  SeedDevice(foreign, kit, {"USB\\VID_1234&PID_0001"}, "");
  SeedDevice(pci, kit, {"PCI\\VEN_0547&DEV_1005"}, kKitIdent);
  SeedDevice(otherClassDevice, otherClass, {"USB\\VID_0547&PID_1006"}, kKitIdent);
  std::string kitInf = PlaceFile("inf", "korvatest_oem7.inf", kKitInf);
  std::string kitPnf = PlaceFile("inf", "korvatest_oem7.pnf", "pnf");
  std::string otherInf = PlaceFile("inf\\other", "korvatest_other.inf", kKitInf);
  std::string plainInf = PlaceFile("inf", "korvatest_plain.inf", "[Version]\r\nClass=Net\r\n");

  EXPECT_EQ(testing::RunProcess(Cw("-nogui")), 0u);

  EXPECT_FALSE(testbed::DeviceExists(present));
  EXPECT_FALSE(testbed::DeviceExists(second));
  EXPECT_FALSE(testbed::DeviceExists(lowerCase));
  EXPECT_TRUE(testbed::DeviceExists(foreign));
  EXPECT_TRUE(testbed::DeviceExists(pci));
  EXPECT_TRUE(testbed::DeviceExists(otherClassDevice));
  EXPECT_FALSE(FileExists(kitInf));
  EXPECT_FALSE(FileExists(kitPnf));
  EXPECT_FALSE(FileExists(otherInf));
  EXPECT_TRUE(FileExists(plainInf));
  // Wine's own INF files stay.
  EXPECT_TRUE(FileExists(testing::WindowsFolder() + "\\inf\\wineusb.inf"));

  // Expert mode with another class takes every USB instance of that class.
  SeedDevice("USB\\VID_7777&PID_0001\\bb7", otherClass, {"USB\\VID_7777&PID_0001"}, "");
  EXPECT_EQ(testing::RunProcess(Cw("-NOGUI -Expert -c " + testbed::GuidText(otherClass))), 0u);
  EXPECT_FALSE(testbed::DeviceExists(otherClassDevice));
  EXPECT_FALSE(testbed::DeviceExists("USB\\VID_7777&PID_0001\\bb7"));
  EXPECT_TRUE(testbed::DeviceExists(foreign));
  testbed::RemoveDevice(foreign);
  testbed::RemoveDevice(pci);
}

TEST_F(KorvaCwTest, NoGuiWithACustomIdentTakesOnlyThatIdent) {
  GUID kit = KitClassGuid();
  SeedDevice("USB\\VID_0547&PID_2001\\ci1", kit, {"USB\\VID_0547&PID_2001"}, "MyIdent");
  SeedDevice("USB\\VID_0547&PID_2002\\ci2", kit, {"USB\\VID_0547&PID_2002"}, kKitIdent);
  EXPECT_EQ(testing::RunProcess(Cw("-i myident -nogui")), 0u);
  EXPECT_FALSE(testbed::DeviceExists("USB\\VID_0547&PID_2001\\ci1"));
  EXPECT_TRUE(testbed::DeviceExists("USB\\VID_0547&PID_2002\\ci2"));
  testbed::RemoveDevice("USB\\VID_0547&PID_2002\\ci2");
}

// Letter case follows the user's locale (Windows-1252 in this prefix): an ident typed with
// "\xE4" (a umlaut) matches "\xC4" (A umlaut) in the registry and in an INF file. Under the C
// locale neither would match.
TEST_F(KorvaCwTest, LetterCaseFollowsTheUsersLocale) {
  const std::string device = "USB\\VID_0547&PID_2101\\lc1";
  SeedDevice(device, KitClassGuid(), {"USB\\VID_0547&PID_2101"}, "KORVA-\xC4");
  std::string inf = PlaceFile("inf", "korvatest_locale.inf",
                              "ClassGuid={96e73b6e-7a5a-11d4-9f24-0080c82727f4}\r\n"
                              "%Dev%=Install, USB\\VID_0547&PID_2101\r\n"
                              "HKR,,CleanupWizard_DeviceIdentString,,\"KORVA-\xC4\"\r\n");
  EXPECT_EQ(testing::RunProcess(Cw("-nogui -i korva-\xE4")), 0u);
  EXPECT_FALSE(testbed::DeviceExists(device));
  EXPECT_FALSE(FileExists(inf));
}

TEST_F(KorvaCwTest, NoGuiExitsWith2WhenARemovalFails) {
  std::string held = PlaceFile("inf", "korvatest_held.inf", kKitInf);
  std::string free = PlaceFile("inf", "korvatest_free.inf", kKitInf);
  SeedDevice("USB\\VID_0547&PID_3001\\f1", KitClassGuid(), {"USB\\VID_0547&PID_3001"}, kKitIdent);
  testing::FileHolder holder(held, /*readable=*/true);
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(testing::RunProcess(Cw("-nogui")), 2u);
  EXPECT_TRUE(FileExists(held));
  EXPECT_FALSE(FileExists(free));
  EXPECT_FALSE(testbed::DeviceExists("USB\\VID_0547&PID_3001\\f1"));
}

// Through a pipe: what was found, what could not be read, each removal and the outcome, the
// same lines in the log file and on standard output. Then, with standard output a file, runs
// that find less append to the same log.
TEST_F(KorvaCwTest, NoGuiRecordsItsRunInTheLogAndOnStandardOutput) {
  OwnKit kit;
  std::string log = LogPath("korvatest_run.log");
  std::string device = kit.Device("6001", "LOG1");
  std::string removable = PlaceFile("inf", "korvatest_log_ok.inf", kit.Inf());
  std::string companion = PlaceFile("inf", "korvatest_log_ok.pnf", "pnf");
  std::string inUse = PlaceFile("inf", "korvatest_log_inuse.inf", kit.Inf());
  std::string locked = PlaceFile("inf\\other", "korvatest_log_locked.inf", kit.Inf());
  std::string run = Cw("-nogui " + kit.Options() + " -log " + log);
  {
    testing::FileHolder readable(inUse, /*readable=*/true);
    testing::FileHolder unreadable(locked);
    ASSERT_TRUE(readable.Holding() && unreadable.Holding());
    testing::CapturedRun first = testing::RunCapturingOutput(run, testing::OutputTo::kPipe);
    EXPECT_EQ(first.exitCode, 2u);
    EXPECT_EQ(first.output, testing::ReadFileBytes(log));
    std::vector<std::string> lines = testing::RecordLines(first.output);
    ASSERT_GE(lines.size(), 2u);
    // The opening line: date and time, program and version, settings.
    EXPECT_EQ(lines[0].rfind("start\t", 0), 0u);
    EXPECT_EQ(lines[0].substr(lines[0].find('\t', 6)), kit.StartLine(false)) << lines[0];
    EXPECT_EQ(lines[0].size(), 6 + 19 + kit.StartLine(false).size()) << lines[0];
    const std::string sharing = "\t32\tSharing violation.";
    int found =
        IndexOf(lines, "device\t" + Upper(device) + "\tKORVA test device\tUSB\\VID_0547&PID_6001");
    int infOk = IndexOf(lines, "inf\t" + removable);
    int infInUse = IndexOf(lines, "inf\t" + inUse);
    int notExamined = IndexOf(lines, "not examined\t" + locked + sharing);
    int removed = IndexOf(lines, "removed\tdevice\t" + Upper(device));
    int infRemoved = IndexOf(lines, "removed\tinf\t" + removable);
    int pnfRemoved = IndexOf(lines, "removed\tinf\t" + companion);
    int failed = IndexOf(lines, "failed\tinf\t" + inUse + sharing);
    for (int index :
         {found, infOk, infInUse, notExamined, removed, infRemoved, pnfRemoved, failed}) {
      EXPECT_GT(index, 0) << first.output;
    }
    // Found as scanned: devices, then INF files; then the removals in the same order.
    EXPECT_LT(found, std::min({infOk, infInUse, notExamined}));
    EXPECT_GT(removed, std::max({infOk, infInUse, notExamined}));
    EXPECT_LT(removed, std::min({infRemoved, failed}));
    EXPECT_EQ(pnfRemoved, infRemoved + 1);
    // After every removal, Windows is asked to look for the devices again. Wine's calls for it
    // fail; that is said, and the run's status stays what the removals made it.
    EXPECT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("rescan\tfailed\t", 0), 0u) << first.output;
    EXPECT_EQ(lines.back(),
              "end\tdevices=1\tinf=2\tcertificates=0\tservices=0\tremoved=3\tfailed=1\tnot "
              "examined=1\tstatus=2");
  }
  EXPECT_FALSE(testbed::DeviceExists(device));
  EXPECT_TRUE(FileExists(inUse));
  EXPECT_TRUE(FileExists(locked));

  // Released, both go; then nothing is left to find, and a run that removes nothing asks for
  // no new enumeration. Standard output is a file now.
  std::string before = testing::ReadFileBytes(log);
  testing::CapturedRun second = testing::RunCapturingOutput(run, testing::OutputTo::kFile);
  EXPECT_EQ(second.exitCode, 0u);
  EXPECT_EQ(before + second.output, testing::ReadFileBytes(log));
  std::vector<std::string> secondLines = testing::RecordLines(second.output);
  EXPECT_EQ(secondLines.size(), 7u) << second.output;
  EXPECT_GT(IndexOf(secondLines, "removed\tinf\t" + locked), 0);
  EXPECT_FALSE(FileExists(inUse));
  EXPECT_FALSE(FileExists(locked));
  testing::CapturedRun third = testing::RunCapturingOutput(run, testing::OutputTo::kFile);
  EXPECT_EQ(third.exitCode, 0u);
  std::vector<std::string> thirdLines = testing::RecordLines(third.output);
  ASSERT_EQ(thirdLines.size(), 2u) << third.output;
  EXPECT_EQ(thirdLines[1],
            "end\tdevices=0\tinf=0\tcertificates=0\tservices=0\tremoved=0\tfailed=0\tnot "
            "examined=0\tstatus=0");
  EXPECT_EQ(testing::RecordLines(testing::ReadFileBytes(log)).size(), 20u);
  testing::RemoveFile(log);
}

// -list tells whether anything of the kit is left (1) or not (0), and removes nothing.
TEST_F(KorvaCwTest, ListFindsAndRemovesNothing) {
  OwnKit kit;
  std::string device = kit.Device("6101", "LIST1");
  std::string inf = PlaceFile("inf", "korvatest_list.inf", kit.Inf());
  testing::CapturedRun listed =
      testing::RunCapturingOutput(Cw("-nogui -list " + kit.Options()), testing::OutputTo::kPipe);
  EXPECT_EQ(listed.exitCode, 1u);
  std::vector<std::string> lines = testing::RecordLines(listed.output);
  ASSERT_EQ(lines.size(), 4u) << listed.output;
  EXPECT_NE(lines[0].find(kit.StartLine(true)), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], "device\t" + Upper(device) + "\tKORVA test device\tUSB\\VID_0547&PID_6101");
  EXPECT_EQ(lines[2], "inf\t" + inf);
  EXPECT_EQ(lines[3],
            "end\tdevices=1\tinf=1\tcertificates=0\tservices=0\tremoved=0\tfailed=0\tnot "
            "examined=0\tstatus=1");
  EXPECT_TRUE(testbed::DeviceExists(device));
  EXPECT_TRUE(FileExists(inf));

  EXPECT_EQ(testing::RunProcess(Cw("-nogui " + kit.Options())), 0u);
  testing::CapturedRun empty =
      testing::RunCapturingOutput(Cw("-list -nogui " + kit.Options()), testing::OutputTo::kFile);
  EXPECT_EQ(empty.exitCode, 0u);
  EXPECT_EQ(testing::RecordLines(empty.output).size(), 2u) << empty.output;
  // A held file may be the kit's: the answer is "not sure", as for a failed removal.
  std::string locked = PlaceFile("inf", "korvatest_list_locked.inf", kit.Inf());
  testing::FileHolder holder(locked);
  ASSERT_TRUE(holder.Holding());
  testing::CapturedRun unsure =
      testing::RunCapturingOutput(Cw("-list -nogui " + kit.Options()), testing::OutputTo::kPipe);
  EXPECT_EQ(unsure.exitCode, 2u);
  EXPECT_GT(IndexOf(testing::RecordLines(unsure.output), "not examined\t" + locked, true), 0)
      << unsure.output;
}

// Windows looks for a library that a program imports in the program's folder first, unless it is
// a KnownDLL: a crypt32.dll or wintrust.dll put beside KORVAcw by a user who can write the kit
// folder would run as administrator. Neither is loaded, at start or when the certificates are
// looked for, and the run does its work.
TEST_F(KorvaCwTest, LibrariesBesideTheProgramAreNeverLoaded) {
  OwnKit kit;
  const std::string folder = testing::ScratchFolder("planted");
  ASSERT_TRUE(CopyFileA(testing::KorvaCwPath().c_str(), (folder + "\\KORVAcw.exe").c_str(), FALSE));
  const std::string planted = testing::BuildFolder() + "\\tests\\windows\\planted\\";
  for (const char* name : {"crypt32.dll", "wintrust.dll"}) {
    ASSERT_TRUE(CopyFileA((planted + name).c_str(), (folder + "\\" + name).c_str(), FALSE));
  }
  std::string device = kit.Device("6901", "PL1");
  // A published package of the kit with its catalog, whose removal needs wintrust.
  std::string inf = PlaceFile("inf", "oemkorvatest_pl.inf", kit.Inf());
  std::string catalog = PlaceFile("System32\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}",
                                  "oemkorvatest_pl.cat", "catalog");
  testing::NativeLibrariesFirst nativeFirst("KORVAcw.exe", {"crypt32", "wintrust"});
  testing::CapturedRun run = testing::RunCapturingOutput(
      "\"" + folder + "\\KORVAcw.exe\" -nogui " + kit.Options(), testing::OutputTo::kPipe);
  EXPECT_EQ(run.exitCode, 0u) << run.output;
  EXPECT_FALSE(testbed::DeviceExists(device));
  EXPECT_FALSE(FileExists(inf));
  EXPECT_NE(Upper(run.output).find(Upper("removed\tinf\t" + catalog + "\r\n")), std::string::npos)
      << run.output;
  for (const char* name : {"crypt32.dll", "wintrust.dll"}) {
    EXPECT_FALSE(FileExists(folder + "\\" + name + ".loaded")) << name << " was loaded";
  }
  // The plants are real: a program there that looks for these libraries by name, as the loader
  // does for what a program imports, loads them.
  const std::string probe = folder + "\\probe.exe";
  ASSERT_TRUE(CopyFileA((testing::BuildFolder() + "\\tests\\windows\\hand_over_probe.exe").c_str(),
                        probe.c_str(), FALSE));
  testing::NativeLibrariesFirst probeNativeFirst("probe.exe", {"crypt32", "wintrust"});
  for (const char* name : {"crypt32.dll", "wintrust.dll"}) {
    SetEnvironmentVariableA("KORVA_PROBE_LOAD", name);
    EXPECT_EQ(testing::RunProcess("\"" + probe + "\""), 0u);
    EXPECT_TRUE(FileExists(folder + "\\" + name + ".loaded")) << name;
  }
  SetEnvironmentVariableA("KORVA_PROBE_LOAD", nullptr);
}

// A log that cannot be opened stops nothing: the run goes on, standard output says so, and the
// status is 6 where it would have been 0.
TEST_F(KorvaCwTest, ALogThatCannotBeOpenedStopsNothing) {
  OwnKit kit;
  std::string readOnly = LogPath("korvatest_readonly.log");
  {
    UniqueFile file(std::fopen(readOnly.c_str(), "wb"));
    ASSERT_TRUE(file.Valid());
    std::fputs("kept\r\n", file.Get());
  }
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
  const std::string longPath = "C:\\" + std::string(1990, 'k') + ".log";
  // A log path in a folder users can write that a user made a second name of a file of their
  // choice (a hard link). (Wine shows a symbolic link as the file it leads to, so the refusal
  // of one is not seen here.)
  const std::string target = LogPath("korvatest_target.txt");
  const std::string hard = LogPath("korvatest_hardlink.log");
  testing::WriteFileBytes(target, "theirs\r\n");
  testing::UnixRun links =
      testing::RunUnixShell("ln " + testing::ShellQuoted(testing::UnixPathOf(target)) + " " +
                            testing::ShellQuoted(testing::UnixPathOf(hard)));
  ASSERT_EQ(links.status, 0) << links.output;
  // A log made first by a user who is no administrator (Wine shows a file of another Unix user
  // as ANONYMOUS LOGON's): they could read the run's lines, forge some or hold the file.
  const std::string theirs = LogPath("korvatest_theirs.log");
  testing::WriteFileBytes(theirs, "end\tstatus=0\r\n");
  ASSERT_TRUE(testing::ChangeUnixOwner(theirs));
  // An administrator's that every user may write.
  const std::string open = LogPath("korvatest_open.log");
  testing::WriteFileBytes(open, "end\tstatus=0\r\n");
  ASSERT_TRUE(testing::ChangeUnixMode(open, "o+w"));
  int serial = 0;
  for (const std::string& path : {std::string("C:\\korvatest_missing\\folder\\korva.log"), readOnly,
                                  longPath, hard, theirs, open}) {
    SCOPED_TRACE(path.substr(0, 60));
    ++serial;
    std::string device =
        kit.Device("62" + std::to_string(10 + serial), "BAD" + std::to_string(serial));
    testing::CapturedRun run = testing::RunCapturingOutput(
        Cw("-nogui " + kit.Options() + " -log " + path), testing::OutputTo::kPipe);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitLogNotOpened));
    EXPECT_FALSE(testbed::DeviceExists(device));
    std::vector<std::string> lines = testing::RecordLines(run.output);
    ASSERT_EQ(lines.size(), 6u) << run.output;
    EXPECT_EQ(lines[0].rfind("error\tThe log file could not be opened: " + path + " error = ", 0),
              0u)
        << lines[0];
    EXPECT_NE(lines[0].find(" The run goes on without it."), std::string::npos) << lines[0];
    EXPECT_EQ(lines.back(),
              "end\tdevices=1\tinf=0\tcertificates=0\tservices=0\tremoved=1\tfailed=0\tnot "
              "examined=0\tstatus=6");
  }
  EXPECT_EQ(testing::ReadFileBytes(readOnly), "kept\r\n");
  SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  testing::RemoveFile(readOnly);
  EXPECT_EQ(testing::ReadFileBytes(target), "theirs\r\n");
  EXPECT_EQ(testing::ReadFileBytes(theirs), "end\tstatus=0\r\n");
  EXPECT_EQ(testing::ReadFileBytes(open), "end\tstatus=0\r\n");
  for (const std::string& file : {hard, target, theirs, open}) testing::RemoveFile(file);

  // The log's own folder is made when it is missing (one level), as the manual's
  // %SystemRoot%\Logs\KORVA.
  const std::string made = "C:\\korvatest_new_logs\\korvacw.log";
  testing::CapturedRun run = testing::RunCapturingOutput(
      Cw("-nogui -list " + kit.Options() + " -log " + made), testing::OutputTo::kPipe);
  EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitOk));
  EXPECT_EQ(testing::ReadFileBytes(made), run.output);
  // The administrators' and the system's alone: no other user may even read it.
  UniqueHandle folder(CreateFileA("C:\\korvatest_new_logs", READ_CONTROL, 7, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ObjectSecurity security;
  SecurityReader reader;
  ASSERT_EQ(reader.ReadFileSecurity(L"", folder.Get(), security), 0u);
  for (const AccessEntry& entry : security.entries) {
    EXPECT_TRUE(IsTrustedPrincipal(entry.sid, TrustedPrincipalsOfThisProcess())) << entry.sid;
  }
  folder.Reset();
  testing::RemoveFolderTree("C:\\korvatest_new_logs");
}

// With -nogui and -log, or a standard output that is a file or a pipe, no box waits for
// nobody: a rejected command line is an error line and status 3, help is usage lines. (A box
// would keep the run from ending.)
TEST_F(KorvaCwTest, UnattendedWithALogShowsNoBox) {
  const std::string device = "USB\\VID_0547&PID_6301\\NB1";
  SeedDevice(device, KitClassGuid(), {"USB\\VID_0547&PID_6301"}, kKitIdent);
  std::string log = LogPath("korvatest_nobox.log");
  const std::string guidError =
      "error\tAn invalid ClassGuid string has been passed. Use KORVACW -h to display information "
      "on how to use the wizard.";
  const std::string argumentError =
      "error\tAn invalid command line argument was passed. Use KORVACW -h to display information "
      "on how to use the wizard.";
  const std::string rejected =
      "end\tdevices=0\tinf=0\tcertificates=0\tservices=0\tremoved=0\tfailed=0\tnot "
      "examined=0\tstatus=3";
  struct Case {
    std::string arguments;
    DWORD status;
    std::vector<std::string> lines;  // on standard output; "" stands for any line
    bool toLog;
    testing::OutputTo to = testing::OutputTo::kPipe;
  } cases[] = {
      {"-nogui -log " + log + " -c nonsense", 3, {guidError, rejected}, true},
      {"-log " + log + " -nogui -c", 3, {argumentError, rejected}, true},
      {"-nogui -log " + log + " /c {96e73b6e-7a5a-11d4-9f24-0080c82727f4}",
       3,
       {argumentError, rejected},
       true},
      {"-nogui -log", 3, {argumentError, rejected}, false},
      {"-nogui -log " + log + " -h", 0, {"usage\tKORVACW [option] [option] [...]"}, true},
      // No log, but the output of a management tool.
      {"-nogui -c nonsense", 3, {guidError, rejected}, false},
      {"-nogui -i -list", 3, {argumentError, rejected}, false, testing::OutputTo::kFile},
      {"-nogui /?", 0, {"usage\tKORVACW [option] [option] [...]"}, false},
      // Where nobody can see a box: output to NUL, a window station nobody sees. Only the log
      // has the lines then (and the run has to end by itself).
      {"-nogui -lst", 3, {}, false, testing::OutputTo::kNul},
      {"-nogui -h", 0, {}, false, testing::OutputTo::kHidden},
      {"-nogui -c nonsense -log " + log,
       3,
       {guidError, rejected},
       true,
       testing::OutputTo::kHidden},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    testing::RemoveFile(log);
    testing::CapturedRun run = testing::RunCapturingOutput(Cw(c.arguments), c.to, 20000);
    EXPECT_EQ(run.exitCode, c.status);
    const bool captured = c.to == testing::OutputTo::kPipe || c.to == testing::OutputTo::kFile;
    if (!captured) run.output = testing::ReadFileBytes(log);
    if (!captured && !c.toLog) continue;
    std::vector<std::string> lines = testing::RecordLines(run.output);
    ASSERT_GE(lines.size(), c.lines.size()) << run.output;
    for (size_t i = 0; i < c.lines.size(); ++i) EXPECT_EQ(lines[i], c.lines[i]);
    // Every record ends with the run's status, so that a script can tell it is complete.
    EXPECT_EQ(lines.back(),
              "end\tdevices=0\tinf=0\tcertificates=0\tservices=0\tremoved=0\tfailed=0\tnot "
              "examined=0\tstatus=" +
                  std::to_string(c.status));
    EXPECT_EQ(testing::ReadFileBytes(log), c.toLog ? run.output : "");
  }
  EXPECT_TRUE(testbed::DeviceExists(device));
  testbed::RemoveDevice(device);
  testing::RemoveFile(log);
}

// Runs KORVAcw, waits for its box with this caption, reads its text and clicks OK.
struct BoxRun {
  std::string text;
  DWORD exitCode = ~0u;
};
// Started as at a console: with a standard output that is a file (the suite's own, which a
// child gets), -nogui shows no box.
BoxRun RunAndDismissBox(const std::string& arguments, const char* caption) {
  BoxRun run;
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  testing::Process cw(Cw(arguments));
  SetStdHandle(STD_OUTPUT_HANDLE, output);
  if (HWND box = WaitForWindow(caption)) {
    run.text = MessageBoxText(box);
    SendMessageA(box, WM_COMMAND, IDOK, 0);
  }
  run.exitCode = cw.Wait();
  return run;
}

TEST_F(KorvaCwTest, RejectedCommandLinesShowARealBoxAndExitWith3) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  SeedDevice("USB\\VID_0547&PID_5001\\rj1", KitClassGuid(), {"USB\\VID_0547&PID_5001"}, kKitIdent);
  BoxRun guid = RunAndDismissBox("-nogui -c nonsense", "KORVA Cleanup Wizard");
  EXPECT_EQ(guid.text,
            "An invalid ClassGuid string has been passed.\n"
            "Use KORVACW -h to display information on how to use the wizard.");
  EXPECT_EQ(guid.exitCode, 3u);
  BoxRun missing = RunAndDismissBox("-nogui -c", "KORVA Cleanup Wizard");
  EXPECT_EQ(missing.text,
            "An invalid command line argument was passed.\n"
            "Use KORVACW -h to display information on how to use the wizard.\n");
  EXPECT_EQ(missing.exitCode, 3u);
  // Nothing was removed by either run.
  EXPECT_TRUE(testbed::DeviceExists("USB\\VID_0547&PID_5001\\rj1"));
  testbed::RemoveDevice("USB\\VID_0547&PID_5001\\rj1");
}

TEST_F(KorvaCwTest, UsageBoxExitsWith0) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  BoxRun usage = RunAndDismissBox("/H", "KORVA Cleanup Wizard Usage");
  EXPECT_EQ(usage.text, BuildUsageText(false));
  EXPECT_EQ(usage.exitCode, 0u);
}

TEST_F(KorvaCwTest, ASecondInstanceDoesNothingWhileTheFirstRuns) {
  if (!HaveDisplay()) GTEST_SKIP() << "no display";
  const std::string device = "USB\\VID_0547&PID_4001\\si1";
  SeedDevice(device, KitClassGuid(), {"USB\\VID_0547&PID_4001"}, kKitIdent);
  std::string inf = PlaceFile("inf", "korvatest_second.inf", kKitInf);

  // The first instance holds the mutex while its usage box is open.
  testing::Process first(Cw("-h -expert"));
  HWND usage = WaitForWindow("KORVA Cleanup Wizard Usage");
  ASSERT_NE(usage, nullptr);
  std::string text = MessageBoxText(usage);
  EXPECT_EQ(text.rfind("KORVACW [option] [option] [...]\n", 0), 0u);
  EXPECT_NE(text.find("\n-expert\t\tEnable expert mode."), std::string::npos);

  EXPECT_EQ(testing::RunProcess(Cw("-nogui")), 4u);
  // With a log, the log says why nothing was done.
  std::string log = LogPath("korvatest_second.log");
  testing::CapturedRun logged =
      testing::RunCapturingOutput(Cw("-nogui -log " + log), testing::OutputTo::kPipe);
  EXPECT_EQ(logged.exitCode, 4u);
  EXPECT_EQ(logged.output,
            "error\tAnother KORVA Cleanup Wizard is running; this one did nothing.\r\n"
            "end\tdevices=0\tinf=0\tcertificates=0\tservices=0\tremoved=0\tfailed=0\tnot "
            "examined=0\tstatus=4\r\n");
  EXPECT_EQ(testing::ReadFileBytes(log), logged.output);
  testing::RemoveFile(log);
  EXPECT_TRUE(testbed::DeviceExists(device));
  EXPECT_TRUE(FileExists(inf));
  // Not even a help box from the second one.
  EXPECT_EQ(testing::RunProcess(Cw("-h"), 10000), 4u);

  SendMessageA(usage, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(first.Wait(), 0u);
  // Once the first has ended, a new run goes ahead.
  EXPECT_EQ(testing::RunProcess(Cw("-nogui")), 0u);
  EXPECT_FALSE(testbed::DeviceExists(device));
  EXPECT_FALSE(FileExists(inf));
}

}  // namespace
}  // namespace korva
