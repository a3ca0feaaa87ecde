// Times the INF scan and its floors over the prefix's INF folders (Windows, under wine64):
//   scan   the Cleanup Wizard's InfFileList::Scan
//   read   file search, open, read in 1 MB blocks, no parsing: the platform's floor
//   fgets  the straightforward algorithm: fopen "rt", fgets into 2000 bytes, cut, upper-case,
//          three searches (the ident test's two for whole fields); a UTF-16 file is converted
//          whole first and the converted copy read so
//   scan16 the scan's work (open, match) on the UTF-16 files alone
//   read16 the plain read of the same files
// Prints "<mode> <seconds of the best of N runs> <MB> <kit files> <peak working set KB>" and
// the names of the kit files.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cleanup/engine/inf_file_list.h"
#include "cleanup/core/inf_text_matcher.h"
#include "reference/text_mode_reference.h"

namespace {

using korva::CleanupSettings;

const char kDriverStore[] = "\\System32\\DriverStore\\FileRepository";

// As on Windows, the scan also reads the driver store (Wine has none); none of its packages is
// published, so the scan keeps every one of the kit's.
class StoreDeviceSetup : public korva::SetupApiDeviceSetup {
 public:
  bool HasDriverStore() override { return true; }
  DWORD GetInfPublishedName(const char*, std::string& publishedPath) override {
    publishedPath.clear();
    return ERROR_FILE_NOT_FOUND;
  }
};

std::vector<std::string> InfFiles() {
  char windows[MAX_PATH + 1] = {};
  GetWindowsDirectoryA(windows, sizeof(windows));
  std::vector<std::string> files;
  auto add = [&files](const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*.inf").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
      files.push_back(folder + "\\" + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  };
  for (const char* sub : {"\\inf", "\\inf\\other"}) add(std::string(windows) + sub);
  // The INF file of each package folder of the driver store.
  const std::string store = std::string(windows) + kDriverStore;
  WIN32_FIND_DATAA package;
  HANDLE packages = FindFirstFileA((store + "\\*").c_str(), &package);
  if (packages == INVALID_HANDLE_VALUE) return files;
  do {
    std::string name = package.cFileName;
    if ((package.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..") {
      add(store + "\\" + name);
    }
  } while (FindNextFileA(packages, &package));
  FindClose(packages);
  return files;
}

bool IsUtf16File(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  unsigned char head[2] = {};
  bool utf16 = std::fread(head, 1, 2, file) == 2 && head[0] == 0xFF && head[1] == 0xFE;
  std::fclose(file);
  return utf16;
}

// Reads the file in 1 MB blocks; its size in MB.
double PlainRead(const std::string& path, std::vector<char>& block) {
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  double megabytes = 0;
  DWORD got = 0;
  while (ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got) {
    megabytes += got / 1e6;
  }
  CloseHandle(file);
  return megabytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "scan";
  int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  CleanupSettings settings;
  settings.classGuidText = "{96E73B6E-7A5A-11D4-9F24-0080C82727F4}";
  settings.deviceIdentString = "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}";
  settings.identValueName = "CLEANUPWIZARD_DEVICEIDENTSTRING";

  korva::InfSearchTerms terms{settings.classGuidText, settings.identValueName,
                              settings.deviceIdentString, false};
  korva::InfTextMatcher matcher(terms, korva::PlatformUtf16ToAnsi());
  // The UTF-16 files are picked out before the clock starts; the other modes search anew.
  const bool utf16Only = mode == "scan16" || mode == "read16";
  std::vector<std::string> utf16Files;
  if (utf16Only) {
    for (const std::string& path : InfFiles()) {
      if (IsUtf16File(path)) utf16Files.push_back(path);
    }
  }
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(sizeof(temp), temp);
  const std::string scratch = std::string(temp) + "inf_scan_bench_converted.txt";
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  double best = 1e9;
  double megabytes = 0;
  std::vector<std::string> kit;
  for (int run = 0; run < runs; ++run) {
    kit.clear();
    megabytes = 0;
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    if (mode == "scan") {
      StoreDeviceSetup deviceSetup;
      korva::InfFileList list(deviceSetup, settings);
      list.Scan();
      // By the file's name: a store package's item is named by its folder.
      for (const auto& item : list.Items())
        kit.push_back(item.path.substr(item.path.rfind('\\') + 1));
    } else {
      std::vector<char> block(mode == "read" || mode == "read16" ? 1 << 20 : 0);
      for (const std::string& path : utf16Only ? utf16Files : InfFiles()) {
        if (mode == "read" || mode == "read16") {
          megabytes += PlainRead(path, block);
        } else if (mode == "scan16") {
          if (korva::IsKitInfFile(path, matcher)) kit.push_back(path.substr(path.rfind('\\') + 1));
        } else if (matcher.IsKitInf(
                       korva::testing::ConvertedFileMarks(path, terms, CP_ACP, scratch))) {
          kit.push_back(path.substr(path.rfind('\\') + 1));
        }
      }
    }
    QueryPerformanceCounter(&end);
    double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    if (seconds < best) best = seconds;
  }
  PROCESS_MEMORY_COUNTERS memory{};
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  std::printf("%s %.4f %.1f %zu %zu\n", mode.c_str(), best, megabytes, kit.size(),
              static_cast<size_t>(memory.PeakWorkingSetSize / 1024));
  for (const std::string& name : kit) std::printf("  %s\n", name.c_str());
  return 0;
}
