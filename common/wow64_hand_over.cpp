#include "common/wow64_hand_over.h"

#include "common/core/wow64_hand_over.h"
#include "common/last_error.h"
#include "devsetup/unique_resource.h"

namespace korva {

namespace {

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

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

namespace {

bool IsFileOrPipe(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD type = GetFileType(handle);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

// A handle the child can inherit, or none: a handle value the child does not own could name
// something else there.
HANDLE InheritableOrNull(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  return SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ? handle : nullptr;
}

}  // namespace

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
  // Standard output that is a file or a pipe (a management tool reading the run) is passed on
  // explicitly, inherited, as the platform documents it: the 64-bit build writes the run's
  // lines there.
  bool passHandles = IsFileOrPipe(GetStdHandle(STD_OUTPUT_HANDLE));
  if (passHandles) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableOrNull(GetStdHandle(STD_INPUT_HANDLE));
    startup.hStdOutput = InheritableOrNull(GetStdHandle(STD_OUTPUT_HANDLE));
    startup.hStdError = InheritableOrNull(GetStdHandle(STD_ERROR_HANDLE));
  }
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(handOver.path.c_str(), commandLine.data(), nullptr, nullptr,
                      passHandles ? TRUE : FALSE, 0, nullptr, nullptr, &startup, &started)) {
    handOver.error = LastErrorOfFailure();
    return handOver;
  }
  UniqueHandle process(started.hProcess);
  UniqueHandle thread(started.hThread);
  WaitForSingleObject(process.Get(), INFINITE);
  DWORD status = 0;
  // A status that can't be read is not success.
  if (!GetExitCodeProcess(process.Get(), &status)) status = LastErrorOfFailure();
  handOver.outcome = Wow64HandOver::kHandedOver;
  handOver.exitStatus = status;
  return handOver;
}

}  // namespace korva
