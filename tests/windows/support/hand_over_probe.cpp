// Stands in for a program's 64-bit build in the hand-over tests: writes its own file's path
// and its whole command line, one per line, to the file named by KORVA_PROBE_RECORD, and ends
// with the status in KORVA_PROBE_STATUS (0 without one). With KORVA_PROBE_GRANDCHILD it first
// starts itself again without that variable and writes that process's ID to the file it names;
// with KORVA_PROBE_SLEEP it then waits that many milliseconds. With KORVA_PROBE_LOAD it first
// loads that library by its bare name, as the loader finds a library that a program imports.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Environment(const char* name) {
  char value[1024] = {};
  DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  return length > 0 && length < sizeof(value) ? value : "";
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char modulePath[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, modulePath, MAX_PATH);
  std::string load = Environment("KORVA_PROBE_LOAD");
  if (!load.empty()) LoadLibraryA(load.c_str());
  std::string grandchild = Environment("KORVA_PROBE_GRANDCHILD");
  if (!grandchild.empty()) {
    SetEnvironmentVariableA("KORVA_PROBE_GRANDCHILD", nullptr);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    std::string commandLine = std::string("\"") + modulePath + "\"";
    if (CreateProcessA(modulePath, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &started)) {
      if (FILE* file = std::fopen(grandchild.c_str(), "wb")) {
        std::fprintf(file, "%lu", static_cast<unsigned long>(started.dwProcessId));
        std::fclose(file);
      }
      CloseHandle(started.hThread);
      CloseHandle(started.hProcess);
    }
  }
  Sleep(static_cast<DWORD>(std::strtoul(Environment("KORVA_PROBE_SLEEP").c_str(), nullptr, 0)));
  std::string record = Environment("KORVA_PROBE_RECORD");
  if (!record.empty()) {
    if (FILE* file = std::fopen(record.c_str(), "wb")) {
      std::fprintf(file, "%s\n%s", modulePath, GetCommandLineA());
      std::fclose(file);
    }
  }
  return static_cast<int>(std::strtoul(Environment("KORVA_PROBE_STATUS").c_str(), nullptr, 0));
}
