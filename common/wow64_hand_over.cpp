#include "common/wow64_hand_over.h"

#include "common/ansi_text.h"
#include "common/core/wow64_hand_over.h"
#include "common/kit_trust.h"
#include "common/last_error.h"
#include "common/program_path.h"
#include "common/run_log.h"
#include "common/unique_resource.h"

namespace korva {

namespace {

// Standard input, output and error of this process where they are files, pipes or character
// devices (as a management tool's run or a redirection gives them), as inheritable duplicates for
// the 64-bit build, so that what it writes reaches the caller; null where they are not, or none at
// all.
class RedirectedStandardHandles {
 public:
  RedirectedStandardHandles() {
    const DWORD which[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i) {
      HANDLE own = GetStdHandle(which[i]);
      if (!IsRedirected(own)) continue;
      HANDLE copy = nullptr;
      if (DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &copy, 0, TRUE,
                          DUPLICATE_SAME_ACCESS)) {
        handles_[i].Reset(copy);
      }
    }
  }
  bool Any() const { return handles_[0].Valid() || handles_[1].Valid() || handles_[2].Valid(); }
  void Into(STARTUPINFOA& startup) const {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = handles_[0].Get();
    startup.hStdOutput = handles_[1].Get();
    startup.hStdError = handles_[2].Get();
  }

 private:
  UniqueHandle handles_[3];
};

bool Is64BitProgram(const std::string& path) {
  DWORD type = 0;
  return GetBinaryTypeA(path.c_str(), &type) && type == SCS_64BIT_BINARY;
}

}  // namespace

bool Is32BitProcessOn64BitWindows() {
#ifdef _WIN64
  return false;
#else
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return false;
  auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

Wow64HandOver HandOverTo64BitBuild() {
  Wow64HandOver handOver;
  if (!Is32BitProcessOn64BitWindows()) return handOver;

  handOver.outcome = Wow64HandOver::kFailed;
  ProgramPath program = ReadProgramPath();
  if (!program.exact) {
    handOver.error = ERROR_BAD_PATHNAME;
    return handOver;
  }
  handOver.path = Path64BitBuild(program.ansi, IsAnsiLeadByte);
  if (!Is64BitProgram(handOver.path)) return handOver;
  // It will run as administrator: only what administrators alone can change is started. The
  // folder holding it is this program's, checked too: nothing in the build's folder is open
  // while this program waits, so whoever could rename it could swap it before the start.
  KitTrust trust;
  const std::string folder =
      handOver.path.substr(0, FileNameStart(handOver.path, IsAnsiLeadByte) - 1);
  const std::string holding = folder.substr(0, FileNameStart(folder, IsAnsiLeadByte) - 1);
  if (!trust.Check(holding, true, handOver.problem) ||
      !trust.Check(folder, true, handOver.problem, nullptr, true) ||
      !trust.Check(handOver.path, false, handOver.problem)) {
    handOver.outcome = Wow64HandOver::kNotTrusted;
    return handOver;
  }

  // By its full path, never by a name searched for; the arguments as this process got them.
  std::string commandLine =
      HandOverCommandLine(handOver.path, CommandLineArguments(GetCommandLineA()));
  STARTUPINFOA startup = StartupShownAsThisProgram();
  RedirectedStandardHandles standard;
  if (standard.Any()) standard.Into(startup);
  TiedChild child;
  if (!StartTiedChild(handOver.path, commandLine, startup, standard.Any(), child, handOver.error)) {
    return handOver;
  }
  DWORD status = 0;
  if (!AwaitTiedChild(child, kExitNo64BitBuild, status, handOver.error)) {
    handOver.waitFailed = true;
    return handOver;
  }
  handOver.outcome = Wow64HandOver::kHandedOver;
  handOver.exitStatus = status;
  return handOver;
}

}  // namespace korva
