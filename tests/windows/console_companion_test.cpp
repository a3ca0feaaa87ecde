// The console companions KORVAcw.com and KORVAwiz.com, as a command prompt runs them: they start
// the program beside them with their arguments, pass on its lines (converted for a console,
// unchanged for a pipe or a file), wait for it and end with its status.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/core/console_companion.h"
#include "common/core/kit_identity.h"
#include "support/dialog_template.h"
#include "support/install_test_support.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

std::string Companion(const std::string& program) {
  return BuildFolder() + (program == "KORVAcw" ? "\\cleanup\\" : "\\install\\") + program + ".com";
}
std::string Probe() { return BuildFolder() + "\\tests\\windows\\hand_over_probe.exe"; }

bool Copy(const std::string& from, const std::string& to) {
  bool copied = CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
  EXPECT_TRUE(copied) << from << " -> " << to;
  return copied;
}

// A kit folder <scratch>\Bin with the companion of `program` and, when given, `stand-in` as
// the program beside it.
std::string KitWith(const std::string& scratch, const std::string& program,
                    const std::string& standIn) {
  std::string bin = ScratchFolder(scratch) + "\\Bin";
  CreateDirectoryA(bin.c_str(), nullptr);
  Copy(Companion(program), bin + "\\" + program + ".com");
  if (!standIn.empty()) Copy(standIn, bin + "\\" + program + ".exe");
  return bin;
}

// The output with the start line's time taken out: two runs differ there only.
std::string WithoutTime(std::string output) {
  size_t tab = output.find('\t');
  if (output.rfind("start\t", 0) == 0 && tab != std::string::npos) output.erase(tab + 1, 19);
  return output;
}

// A device of a class and ident of the test's own, so that a run finds it alone; gone at the
// end of the test.
struct OwnDevice {
  OwnDevice(const std::string& pid, const std::string& description)
      : instanceId("USB\\VID_0547&PID_" + pid + "\\CC" + pid) {
    SeedDevice(instanceId, classGuid, {"USB\\VID_0547&PID_" + pid}, ident, description);
  }
  ~OwnDevice() { testbed::RemoveDevice(instanceId); }
  std::string ListArguments() const { return "-nogui -list -c " + classText + " -i " + ident; }

  GUID classGuid = NewClassGuid();
  std::string classText = testbed::GuidText(classGuid);
  std::string ident = "KORVATEST-" + classText.substr(1, 8);
  std::string instanceId;
};

class CompanionTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetEnvironmentVariableA("KORVA_PROBE_RECORD", nullptr);
    SetEnvironmentVariableA("KORVA_PROBE_STATUS", nullptr);
    SetEnvironmentVariableA("KORVA_PROBE_SLEEP", nullptr);
  }
};

// The program gets the arguments character for character and is started by its full path; its
// status, whatever it is, is the companion's.
TEST_F(CompanionTest, TheArgumentsAndTheStatusPassThroughUnchanged) {
  struct Case {
    const char* program;
    const char* scratch;  // with a blank in it, the companion is started by its path in quotes
    const char* arguments;
    DWORD status;
  };
  const Case cases[] = {
      {"KORVAcw", "companion", "-nogui -list", 1},
      {"KORVAcw", "com panion", "-i \"My Ident\"  -c\t{x} -NOGUI ", 2},
      {"KORVAcw", "companion", "", 3010},
      {"KORVAwiz", "com panion", "", 0xE0000235},  // ERROR_IN_WOW64
      {"KORVAwiz", "companion", "\"\" x  \"y z\"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.arguments);
    std::string bin = KitWith(c.scratch, c.program, Probe());
    std::string record = ScratchFolder("companion record") + "\\record.txt";
    SetEnvironmentVariableA("KORVA_PROBE_RECORD", record.c_str());
    SetEnvironmentVariableA("KORVA_PROBE_STATUS", std::to_string(c.status).c_str());
    std::string companion = bin + "\\" + c.program + ".com";
    bool quoted = companion.find(' ') != std::string::npos;
    std::string line = (quoted ? "\"" + companion + "\"" : companion) +
                       (*c.arguments ? std::string(" ") + c.arguments : "");
    EXPECT_EQ(RunProcess(line), c.status);
    std::string program = bin + "\\" + c.program + ".exe";
    EXPECT_EQ(ReadFileBytes(record), program + "\n\"" + program + "\"" +
                                         (*c.arguments ? std::string(" ") + c.arguments : ""));
  }
}

// Through a pipe or into a file, the bytes are the program's own: an accented device name stays
// in the ANSI code page, and the lines and the status are those of a run without the companion.
TEST_F(CompanionTest, APipeOrAFileGetsTheProgramsBytes) {
  std::string bin = KitWith("companion list", "KORVAcw", KorvaCwPath());
  OwnDevice own("7001",
                "KORVA Ger\xE4t f\xFCr Pr\xFC"
                "fung");
  const std::string& device = own.instanceId;
  std::string arguments = " " + own.ListArguments();

  CapturedRun direct =
      RunCapturingOutput("\"" + bin + "\\KORVAcw.exe\"" + arguments, OutputTo::kFile);
  ASSERT_EQ(direct.exitCode, 1u) << direct.output;
  ASSERT_NE(direct.output.find("\r\ndevice\t" + device +
                               "\tKORVA Ger\xE4t f\xFCr Pr\xFC"
                               "fung\t"),
            std::string::npos)
      << direct.output;
  for (OutputTo to : {OutputTo::kPipe, OutputTo::kFile}) {
    CapturedRun run = RunCapturingOutput("\"" + bin + "\\KORVAcw.com\"" + arguments, to);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(WithoutTime(run.output), WithoutTime(direct.output));
  }
}

// To a console the lines come converted from the ANSI code page, accents and all.
TEST_F(CompanionTest, AConsoleGetsTheTextConverted) {
  std::string bin = KitWith("companion console", "KORVAcw", KorvaCwPath());
  OwnDevice own("7002", "Ger\xE4t");
  const std::string& device = own.instanceId;

  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  UniqueHandle screen(CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                  0, nullptr));
  ASSERT_TRUE(screen.Valid());
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(screen.Get(), &info));
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = screen.Get();
  startup.hStdError = screen.Get();
  PROCESS_INFORMATION started{};
  std::string line = "\"" + bin + "\\KORVAcw.com\" " + own.ListArguments();
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &startup, &started));
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  ASSERT_EQ(WaitForSingleObject(process.Get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD status = 0;
  GetExitCodeProcess(process.Get(), &status);
  EXPECT_EQ(status, 1u);

  // The whole buffer, row after row.
  DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  std::wstring text(cells, L' ');
  DWORD read = 0;
  ASSERT_TRUE(ReadConsoleOutputCharacterW(screen.Get(), &text[0], cells, COORD{0, 0}, &read));
  text.resize(read);
  screen.Reset();
  FreeConsole();
  EXPECT_NE(text.find(L"device  " + std::wstring(device.begin(), device.end())),
            std::wstring::npos);
  EXPECT_NE(text.find(L"Ger\u00E4t"), std::wstring::npos);
  EXPECT_NE(text.find(L"status=1"), std::wstring::npos);
}

// A companion without its program says so on its standard error and ends with 5: nothing ran.
TEST_F(CompanionTest, WithoutItsProgramAMessageAndStatusFive) {
  struct Case {
    const char* program;
    const char* beside;  // what stands where the program should: nothing, a folder, a text
    DWORD error;         // the failure's code in the message; 0: not found
  };
  const Case cases[] = {
      {"KORVAcw", "", 0},
      {"KORVAwiz", "", 0},
      {"KORVAcw", "folder", 0},
      {"KORVAwiz", "text", ERROR_BAD_EXE_FORMAT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + c.beside);
    std::string bin =
        KitWith(std::string("companion alone ") + c.program + c.beside, c.program, "");
    std::string program = bin + "\\" + c.program + ".exe";
    if (std::string(c.beside) == "folder") CreateDirectoryA(program.c_str(), nullptr);
    if (std::string(c.beside) == "text") WriteFileBytes(program, "not a program\r\n");
    CapturedRun run =
        RunCapturingOutput("\"" + bin + "\\" + c.program + ".com\" -nogui", OutputTo::kPipe);
    EXPECT_EQ(run.exitCode, static_cast<DWORD>(kExitCompanionNoProgram));
    EXPECT_EQ(run.output, CompanionFailureLine(std::string(c.program) + ".com", program, c.error));
  }
}

// Closing the console or Ctrl+C ends the companion; the program it started ends with it.
TEST_F(CompanionTest, TheProgramEndsWithTheCompanion) {
  std::string bin = KitWith("companion ended", "KORVAcw", Probe());
  EXPECT_TRUE(ChildEndsWithItsStarter("\"" + bin + "\\KORVAcw.com\" -nogui", "KORVAcw.exe",
                                      STATUS_CONTROL_C_EXIT));
}

// The header field that makes a command prompt wait: console (3) for the companions, windows
// (2) for the programs, in both builds.
TEST(CompanionFileTest, TheCompanionsAreConsoleProgramsOfBothArchitectures) {
  std::string build = BuildFolderOf("x64"), x86 = BuildFolderOf("x86");
  struct Case {
    std::string file;
    unsigned machine;
    unsigned subsystem;
  };
  const Case cases[] = {
      {build + "\\cleanup\\KORVAcw.com", 0x8664, IMAGE_SUBSYSTEM_WINDOWS_CUI},
      {build + "\\install\\KORVAwiz.com", 0x8664, IMAGE_SUBSYSTEM_WINDOWS_CUI},
      {build + "\\cleanup\\KORVAcw.exe", 0x8664, IMAGE_SUBSYSTEM_WINDOWS_GUI},
      {x86 + "\\cleanup\\KORVAcw.com", 0x14C, IMAGE_SUBSYSTEM_WINDOWS_CUI},
      {x86 + "\\install\\KORVAwiz.com", 0x14C, IMAGE_SUBSYSTEM_WINDOWS_CUI},
      {x86 + "\\install\\KORVAwiz.exe", 0x14C, IMAGE_SUBSYSTEM_WINDOWS_GUI},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::string bytes = ReadFileBytes(c.file);
    ASSERT_GT(bytes.size(), 0x40u) << "missing: build both architectures (scripts/build)";
    auto word = [&](size_t at) {
      return at + 2 <= bytes.size()
                 ? static_cast<unsigned>(static_cast<unsigned char>(bytes[at]) |
                                         static_cast<unsigned char>(bytes[at + 1]) << 8)
                 : 0u;
    };
    size_t pe = word(0x3C) | word(0x3E) << 16;
    ASSERT_EQ(bytes.compare(pe, 4, std::string("PE\0\0", 4)), 0);
    EXPECT_EQ(word(pe + 4), c.machine);
    // The optional header follows the 20-byte file header; its subsystem sits at 68 in both forms.
    EXPECT_EQ(word(pe + 24 + 68), c.subsystem);
  }
}

// Windows looks for a library that a program imports statically in the program's folder first,
// unless it is one of its KnownDLLs: a user who can write a kit folder would have their DLL run
// in the administrator's program. So the kit's programs, both builds, import only KnownDLLs
// (the Windows 10 list) and the common controls, which their manifest names and Windows takes
// from its side-by-side store; the rest is loaded from the system folder when needed. The
// import tables are read by binutils' objdump, a reader we did not write.
TEST(KitProgramFileTest, TheProgramsImportOnlyKnownDllsAndTheCommonControls) {
  const std::set<std::string> knownDlls = {
      "advapi32.dll", "clbcatq.dll",  "combase.dll",  "comdlg32.dll", "coml2.dll",    "difxapi.dll",
      "gdi32.dll",    "gdiplus.dll",  "imagehlp.dll", "imm32.dll",    "kernel32.dll", "msctf.dll",
      "msvcrt.dll",   "normaliz.dll", "nsi.dll",      "ole32.dll",    "oleaut32.dll", "psapi.dll",
      "rpcrt4.dll",   "sechost.dll",  "setupapi.dll", "shcore.dll",   "shell32.dll",  "shlwapi.dll",
      "user32.dll",   "wldap32.dll",  "ws2_32.dll"};
  std::string build = BuildFolderOf("x64"), x86 = BuildFolderOf("x86");
  for (const std::string& folder : {build, x86}) {
    for (const char* program :
         {"\\cleanup\\KORVAcw.exe", "\\cleanup\\KORVAcw.com", "\\install\\KORVAwiz.exe",
          "\\install\\KORVAwiz.com", "\\kit\\korvaapp.exe"}) {
      const std::string file = folder + program;
      SCOPED_TRACE(file);
      ASSERT_TRUE(FileExists(file)) << "build both architectures (scripts/build)";
      UnixRun objdump =
          RunUnixShell("x86_64-w64-mingw32-objdump -p " + ShellQuoted(UnixPathOf(file)) +
                       " | sed -n 's/^\\tDLL Name: //p'");
      ASSERT_EQ(objdump.status, 0) << objdump.output;
      std::vector<std::string> imported;
      size_t start = 0;
      while (start < objdump.output.size()) {
        size_t end = objdump.output.find('\n', start);
        if (end == std::string::npos) end = objdump.output.size();
        std::string name = objdump.output.substr(start, end - start);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!name.empty()) imported.push_back(name);
        start = end + 1;
      }
      // The reader found the table: every program imports kernel32.
      EXPECT_NE(std::find(imported.begin(), imported.end(), "kernel32.dll"), imported.end())
          << objdump.output;
      for (const std::string& name : imported) {
        if (name == "comctl32.dll") {
          ResourceModule module(file);
          ASSERT_TRUE(module.Loaded());
          std::optional<std::string> manifest = module.RawResource(RT_MANIFEST, 1);
          ASSERT_TRUE(manifest.has_value());
          EXPECT_NE(manifest->find("Microsoft.Windows.Common-Controls"), std::string::npos);
          continue;
        }
        EXPECT_EQ(knownDlls.count(name), 1u) << name << " is no KnownDLL";
      }
    }
  }
}

}  // namespace
}  // namespace korva::testing
