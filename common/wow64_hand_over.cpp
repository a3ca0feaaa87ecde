#include "common/wow64_hand_over.h"

#include "common/core/wow64_hand_over.h"
#include "common/last_error.h"
#include "common/run_log.h"
#include "common/unique_resource.h"

namespace korva {

namespace {

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

// Standard input, output and error of this process where they are files or pipes (as a
// management tool's run gives them), as inheritable duplicates for the 64-bit build, so that
// what it writes reaches the caller; null where they are not, or none at all.
class RedirectedStandardHandles {
 public:
  RedirectedStandardHandles() {
    const DWORD which[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i) {
      HANDLE own = GetStdHandle(which[i]);
      if (!IsFileOrPipe(own)) continue;
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

// A job that ends its processes when its last handle closes, and lets them start processes
// outside it (the wizard's demo program outlives the wizard's run).
UniqueHandle MakeKillOnCloseJob() {
  UniqueHandle job(CreateJobObjectA(nullptr, nullptr));
  if (!job.Valid()) return job;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
  if (!SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits,
                               sizeof(limits))) {
    job.Reset();
  }
  return job;
}

}  // namespace

bool StartTiedChild(const std::string& program, std::string commandLine, STARTUPINFOA& startup,
                    bool inheritHandles, TiedChild& child, DWORD& error) {
  child.job = MakeKillOnCloseJob();
  // Started suspended, so that it does nothing before it is in the job.
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr,
                      inheritHandles ? TRUE : FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                      &started)) {
    error = LastErrorOfFailure();
    return false;
  }
  child.process.Reset(started.hProcess);
  UniqueHandle thread(started.hThread);
  // Where the job can't take it (an old system whose caller's job allows no nesting), it runs
  // untied, as it always did.
  if (child.job.Valid() && !AssignProcessToJobObject(child.job.Get(), child.process.Get())) {
    child.job.Reset();
  }
  ResumeThread(thread.Get());
  return true;
}

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
  char modulePath[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
  handOver.path = Path64BitBuild(modulePath, IsAnsiLeadByte);
  if (!Is64BitProgram(handOver.path)) return handOver;

  // By its full path, never by a name searched for; the arguments as this process got them.
  std::string commandLine =
      HandOverCommandLine(handOver.path, CommandLineArguments(GetCommandLineA()));
  STARTUPINFOA ownStartup{};
  GetStartupInfoA(&ownStartup);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  // The window is shown as this program's would have been.
  startup.dwFlags = ownStartup.dwFlags & STARTF_USESHOWWINDOW;
  startup.wShowWindow = ownStartup.wShowWindow;
  RedirectedStandardHandles standard;
  if (standard.Any()) standard.Into(startup);
  TiedChild child;
  if (!StartTiedChild(handOver.path, commandLine, startup, standard.Any(), child, handOver.error)) {
    return handOver;
  }
  // A wait that failed would read the status of a running program (259) as its end: the build
  // is stopped, and the failure is said with its code.
  if (WaitForSingleObject(child.process.Get(), INFINITE) == WAIT_FAILED) {
    handOver.error = LastErrorOfFailure();
    handOver.waitFailed = true;
    TerminateProcess(child.process.Get(), kExitNo64BitBuild);
    return handOver;
  }
  DWORD status = 0;
  // A status that can't be read is not success.
  if (!GetExitCodeProcess(child.process.Get(), &status)) status = LastErrorOfFailure();
  handOver.outcome = Wow64HandOver::kHandedOver;
  handOver.exitStatus = status;
  return handOver;
}

}  // namespace korva
