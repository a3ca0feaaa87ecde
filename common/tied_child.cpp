#include "common/tied_child.h"

#include "common/last_error.h"

namespace korva {

namespace {

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

STARTUPINFOA StartupShownAsThisProgram() {
  STARTUPINFOA own{};
  GetStartupInfoA(&own);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = own.dwFlags & STARTF_USESHOWWINDOW;
  startup.wShowWindow = own.wShowWindow;
  return startup;
}

bool AwaitTiedChild(const TiedChild& child, DWORD stoppedStatus, DWORD& status, DWORD& error) {
  if (WaitForSingleObject(child.process.Get(), INFINITE) == WAIT_FAILED) {
    error = LastErrorOfFailure();
    TerminateProcess(child.process.Get(), stoppedStatus);
    return false;
  }
  if (!GetExitCodeProcess(child.process.Get(), &status)) status = LastErrorOfFailure();
  return true;
}

}  // namespace korva
