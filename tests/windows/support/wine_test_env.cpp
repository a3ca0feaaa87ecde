#include "support/wine_test_env.h"

#include <objbase.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/ansi_text.h"
#include "common/file_deletion.h"

namespace korva::testing {

GUID UsbClassGuid() {
  return {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0, 0}};
}

GUID NewClassGuid() {
  GUID guid{};
  CoCreateGuid(&guid);
  return guid;
}

std::string WindowsFolder() {
  char folder[MAX_PATH + 1] = {};
  GetWindowsDirectoryA(folder, sizeof(folder));
  std::string text = folder;
  while (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

std::string PlaceFile(const std::string& subfolder, const std::string& name,
                      const std::string& content) {
  std::string folder = WindowsFolder() + "\\" + subfolder;
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string path = folder + "\\" + name;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  UniqueFile file(std::fopen(path.c_str(), "wb"));
  if (file.Valid()) std::fwrite(content.data(), 1, content.size(), file.Get());
  return path;
}

bool FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFile(const std::string& path) { DeleteFileWithNormalAttributes(path); }

std::string DriverStoreRepository() {
  return WindowsFolder() + "\\System32\\DriverStore\\FileRepository";
}

std::string PlaceStorePackage(const std::string& folderName, const std::string& infName,
                              const std::string& content) {
  std::string folder = WindowsFolder();
  for (const char* level : {"System32", "DriverStore", "FileRepository"}) {
    folder += std::string("\\") + level;
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  return PlaceFile("System32\\DriverStore\\FileRepository\\" + folderName, infName, content);
}

void RemoveFolderTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(path);
      } else {
        DeleteFileWithNormalAttributes(path);
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(folder.c_str());
}

void RemovePlacedInfFiles() {
  WIN32_FIND_DATAA package;
  HANDLE packages = FindFirstFileA((DriverStoreRepository() + "\\korvatest*").c_str(), &package);
  if (packages != INVALID_HANDLE_VALUE) {
    do {
      RemoveFolderTree(DriverStoreRepository() + "\\" + package.cFileName);
    } while (FindNextFileA(packages, &package));
    FindClose(packages);
  }
  for (const char* sub : {"inf", "inf\\other"}) {
    // By wide names, so that names without an ANSI form go too.
    std::wstring folder = WideFromAnsi(WindowsFolder() + "\\" + sub);
    for (const wchar_t* pattern : {L"\\korvatest*", L"\\oemkorvatest*"}) {
      WIN32_FIND_DATAW found;
      UniqueFindHandle search(FindFirstFileW((folder + pattern).c_str(), &found));
      if (!search.Valid()) continue;
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          DeleteFileWithNormalAttributes(folder + L"\\" + found.cFileName);
        }
      } while (FindNextFileW(search.Get(), &found));
    }
  }
}

std::string BuildFolder() {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text = path;
  // <build>\tests\windows\<suite>.exe
  for (int i = 0; i < 3; ++i) text = text.substr(0, text.rfind('\\'));
  return text;
}

std::string BuildFolderOf(const std::string& architecture) {
  std::string build = BuildFolder();
  return build.substr(0, build.rfind('\\') + 1) + architecture;
}

std::string KorvaCwPath() { return BuildFolder() + "\\cleanup\\KORVAcw.exe"; }
std::string KorvaBedPath() { return BuildFolder() + "\\tools\\korvabed.exe"; }

void SeedDevice(const std::string& instanceId, const GUID& classGuid,
                const std::vector<std::string>& hardwareIds, const std::string& ident,
                const std::string& description) {
  testbed::DeviceSeed seed;
  seed.instanceId = instanceId;
  seed.classGuid = classGuid;
  seed.hardwareIds = hardwareIds;
  seed.description = description;
  seed.manufacturer = "KORVA";
  seed.location = "Port_#0001.Hub_#0001";
  DWORD error = testbed::AddDevice(seed);
  if (error != 0) std::fprintf(stderr, "seeding %s failed: %lu\n", instanceId.c_str(), error);
  if (!ident.empty()) {
    testbed::SetHardwareValue(instanceId, kKitIdentValueName, REG_SZ, testbed::StringData(ident));
  }
}

Process::Process(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
    id_ = info.dwProcessId;
  }
}

Process::~Process() {
  if (process_.Valid() && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.Get(), 99);
  }
}

DWORD Process::Wait(DWORD timeoutMs) {
  if (!process_.Valid()) return ~0u;
  if (WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return ~0u;
  DWORD code = ~0u;
  GetExitCodeProcess(process_.Get(), &code);
  return code;
}

DWORD RunProcess(const std::string& commandLine, DWORD timeoutMs) {
  Process process(commandLine);
  return process.Wait(timeoutMs);
}

std::string UnixPathOf(const std::string& windowsPath) {
  using UnixFileName = char*(CDECL*)(const WCHAR*);
  auto convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (!convert) return "";
  WCHAR wide[MAX_PATH * 2] = {};
  MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide, MAX_PATH * 2);
  char* unix = convert(wide);
  if (!unix) return "";
  std::string path = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return path;
}

NativeLibrariesFirst::NativeLibrariesFirst(const std::string& program,
                                           const std::vector<std::string>& names)
    : key_("Software\\Wine\\AppDefaults\\" + program + "\\DllOverrides"), names_(names) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    ADD_FAILURE() << "no " << key_;
    return;
  }
  UniqueRegKey owner(key);
  const char order[] = "native,builtin";
  for (const std::string& name : names_) {
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                   sizeof(order));
  }
}

NativeLibrariesFirst::~NativeLibrariesFirst() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS) return;
  UniqueRegKey owner(key);
  for (const std::string& name : names_) RegDeleteValueA(key, name.c_str());
}

bool ChangeUnixMode(const std::string& path, const std::string& mode) {
  return RunUnixShell("chmod " + mode + " " + ShellQuoted(UnixPathOf(path))).status == 0;
}

bool ChangeUnixOwner(const std::string& path, int user) {
  return RunUnixShell("chown " + std::to_string(user) + " " + ShellQuoted(UnixPathOf(path)))
             .status == 0;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

UnixRun RunUnixShell(const std::string& script, DWORD timeoutMs) {
  UnixRun run;
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(temp), temp);
  static int counter = 0;
  std::string base = std::string(temp) + "korvatest_unix_" + std::to_string(GetCurrentProcessId()) +
                     "_" + std::to_string(++counter);
  std::string scriptPath = base + ".sh";
  std::string outputPath = base + ".out";
  std::string statusPath = base + ".status";
  std::string unixScript = UnixPathOf(scriptPath);
  std::string unixOutput = UnixPathOf(outputPath);
  std::string unixStatus = UnixPathOf(statusPath);
  if (unixScript.empty()) return run;
  // The status appears in one rename, so that it is never read half written.
  std::string text = "( " + script + " ) >" + ShellQuoted(unixOutput) + " 2>&1\necho $? >" +
                     ShellQuoted(unixStatus + ".part") + "\nmv " +
                     ShellQuoted(unixStatus + ".part") + " " + ShellQuoted(unixStatus) + "\n";
  {
    UniqueFile file(std::fopen(scriptPath.c_str(), "wb"));
    if (!file.Valid()) return run;
    std::fwrite(text.data(), 1, text.size(), file.Get());
  }
  std::string command = "Z:\\bin\\sh " + unixScript;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return run;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  for (DWORD waited = 0; waited < timeoutMs && !FileExists(statusPath); waited += 50) Sleep(50);
  if (FileExists(statusPath)) {
    run.status = std::atoi(ReadFileBytes(statusPath).c_str());
    run.output = ReadFileBytes(outputPath);
  }
  for (const std::string& path : {scriptPath, outputPath, statusPath}) RemoveFile(path);
  return run;
}

std::string OpenSslCertificate(const std::string& subject, std::string* signedData) {
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(temp), temp);
  std::string path = std::string(temp) + "korvatest_openssl.cer";
  RemoveFile(path);
  RemoveFile(path + ".p7");
  const std::string unix = ShellQuoted(UnixPathOf(path));
  std::string script = "openssl req -x509 -newkey rsa:2048 -nodes -days 30 -utf8 -subj " +
                       ShellQuoted(subject) + " -keyout " + unix + ".key -outform DER -out " + unix;
  if (signedData) {
    script +=
        " && echo a package | openssl cms -sign -binary -nodetach -md sha256 -outform DER"
        " -signer " +
        unix + " -inkey " + unix + ".key -out " + unix + ".p7";
  }
  UnixRun run = RunUnixShell("(" + script + "); status=$?; rm -f " + unix + ".key; exit $status");
  EXPECT_EQ(run.status, 0) << run.output;
  std::string certificate = ReadFileBytes(path);
  RemoveFile(path);
  if (signedData) {
    *signedData = ReadFileBytes(path + ".p7");
    RemoveFile(path + ".p7");
  }
  return certificate;
}

CapturedRun RunCapturingOutput(const std::string& commandLine, OutputTo to, DWORD timeoutMs) {
  return RunCapturingOutput(WideFromAnsi(commandLine), to, timeoutMs);
}

CapturedRun RunCapturingOutput(const std::wstring& commandLine, OutputTo to, DWORD timeoutMs) {
  CapturedRun run;
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  std::string filePath;
  if (to == OutputTo::kPipe) {
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  } else if (to == OutputTo::kNul) {
    writeEnd = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                           OPEN_EXISTING, 0, nullptr);
    if (writeEnd == INVALID_HANDLE_VALUE) return run;
  } else if (to == OutputTo::kFile) {
    char folder[MAX_PATH + 1] = {};
    GetTempPathA(sizeof(folder), folder);
    static int counter = 0;
    filePath = std::string(folder) + "korvatest_stdout_" + std::to_string(GetCurrentProcessId()) +
               "_" + std::to_string(++counter) + ".txt";
    writeEnd = CreateFileA(filePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writeEnd == INVALID_HANDLE_VALUE) return run;
  }
  UniqueHandle reader(readEnd);
  UniqueHandle writer(writeEnd);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.Get();
  startup.hStdError = writer.Get();
  // A window station of its own that nobody sees (made once), as a service or a task run
  // without a logged-on user has; no standard handles at all.
  wchar_t hiddenDesktop[] = L"KorvaTestHidden\\Default";
  if (to == OutputTo::kHidden) {
    static bool made = [] {
      HWINSTA own = GetProcessWindowStation();
      HWINSTA hidden = CreateWindowStationW(L"KorvaTestHidden", 0, WINSTA_ALL_ACCESS, nullptr);
      if (!hidden || !SetProcessWindowStation(hidden)) return false;
      HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
      SetProcessWindowStation(own);
      return desktop != nullptr;
    }();
    if (!made) return run;
    startup.lpDesktop = hiddenDesktop;
  }
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return run;
  }
  CloseHandle(info.hThread);
  UniqueHandle process(info.hProcess);
  // Ours closed, so that the pipe ends when the program's copy does.
  writer.Reset();

  auto drain = [&] {
    DWORD available = 0;
    while (reader.Valid() &&
           PeekNamedPipe(reader.Get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      std::string chunk(available, '\0');
      DWORD got = 0;
      if (!ReadFile(reader.Get(), chunk.data(), available, &got, nullptr) || got == 0) return;
      run.output.append(chunk.data(), got);
    }
  };
  bool ended = false;
  for (DWORD waited = 0; waited <= timeoutMs; waited += 50) {
    drain();
    if (WaitForSingleObject(process.Get(), 50) == WAIT_OBJECT_0) {
      ended = true;
      break;
    }
  }
  drain();
  if (!ended) {
    TerminateProcess(process.Get(), 99);
    WaitForSingleObject(process.Get(), 10000);
  } else {
    GetExitCodeProcess(process.Get(), &run.exitCode);
  }
  if (to == OutputTo::kFile) {
    run.output = ReadFileBytes(filePath);
    DeleteFileA(filePath.c_str());
  }
  return run;
}

std::vector<std::string> RegistrySubkeys(HKEY root, const char* path) {
  std::vector<std::string> names;
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
  UniqueRegKey owner(key);
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof(name);
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  UniqueFile file(std::fopen(path.c_str(), "wb"));
  if (file.Valid()) std::fwrite(bytes.data(), 1, bytes.size(), file.Get());
}

std::string ReadFileBytes(const std::string& path) {
  UniqueFile file(std::fopen(path.c_str(), "rb"));
  if (!file.Valid()) return "";
  std::string text;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file.Get())) > 0) text.append(buffer, got);
  return text;
}

std::vector<std::string> RecordLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "a line without CR LF: " << text.substr(start);
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> RecordFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

FileHolder::FileHolder(const std::string& path, bool readable) {
  static int counter = 0;
  std::string base =
      "korvatest_hold_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
  std::string readyName = base + "_ready";
  releaseName_ = base + "_release";
  UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
  release_.Reset(CreateEventA(nullptr, TRUE, FALSE, releaseName_.c_str()));
  process_ =
      std::make_unique<Process>("\"" + KorvaBedPath() + "\" hold \"" + path + "\" " + readyName +
                                " " + releaseName_ + (readable ? " readable" : ""));
  holding_ = process_->Started() && WaitForSingleObject(ready.Get(), 30000) == WAIT_OBJECT_0;
}

FileHolder::~FileHolder() {
  SetEvent(release_.Get());
  process_->Wait(30000);
}

namespace {

UniqueHandle WaitForChildProcess(DWORD parentId, const std::string& fileName, DWORD access) {
  for (int i = 0; i < 400; ++i, Sleep(50)) {
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot.Get(), &entry); more;
         more = Process32Next(snapshot.Get(), &entry)) {
      if (entry.th32ParentProcessID == parentId && lstrcmpiA(entry.szExeFile, fileName.c_str()) == 0) {
        return UniqueHandle(OpenProcess(access, FALSE, entry.th32ProcessID));
      }
    }
  }
  return UniqueHandle();
}

}  // namespace

::testing::AssertionResult ChildEndsWithItsStarter(const std::string& commandLine,
                                                   const std::string& childFile, DWORD endStatus) {
  SetEnvironmentVariableA("KORVA_PROBE_SLEEP", "60000");
  Process starter(commandLine);
  SetEnvironmentVariableA("KORVA_PROBE_SLEEP", nullptr);
  if (!starter.Started()) return ::testing::AssertionFailure() << "did not start: " << commandLine;
  UniqueHandle child =
      WaitForChildProcess(starter.Id(), childFile, SYNCHRONIZE | PROCESS_TERMINATE);
  if (!child.Valid()) return ::testing::AssertionFailure() << "no child runs " << childFile;
  if (WaitForSingleObject(child.Get(), 0) != WAIT_TIMEOUT) {
    return ::testing::AssertionFailure() << childFile << " ended before its starter";
  }
  UniqueHandle started(OpenProcess(PROCESS_TERMINATE, FALSE, starter.Id()));
  if (!TerminateProcess(started.Get(), endStatus)) {
    return ::testing::AssertionFailure() << "could not end " << commandLine;
  }
  bool ended = WaitForSingleObject(child.Get(), 20000) == WAIT_OBJECT_0;
  TerminateProcess(child.Get(), 0);
  if (!ended) return ::testing::AssertionFailure() << childFile << " still runs 20 s later";
  return ::testing::AssertionSuccess();
}

}  // namespace korva::testing
