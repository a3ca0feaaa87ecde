// korvabed: the command-line face of the Wine test bed (see the README).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/guid_text.h"
#include "common/unique_resource.h"
#include "tools/test_bed.h"

namespace {

using namespace korva;
using namespace korva::testbed;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

int Usage() {
  std::fputs(
      "korvabed add <instance id> <class guid> <hwid[|hwid...]> [description] [manufacturer] "
      "[location]\n"
      "korvabed set-value <instance id> <name> sz|expand_sz|multi_sz|dword|binary <data>\n"
      "         (multi_sz: strings split at '|'; binary: hex digits)\n"
      "korvabed set-driver <instance id> <InfPath>\n"
      "korvabed remove <instance id>\n"
      "korvabed exists <instance id>       exit status 0 when it exists, 1 when not\n"
      "korvabed list [class guid]          one line per instance, tab-separated:\n"
      "         instance id, class, first hardware ID, description, ident value, InfPath\n"
      "korvabed hold <file> <ready event> <release event> [readable]\n"
      "         holds the file open until the release event is set, sharing nothing\n"
      "         (or, with readable, reading only: it can be read but not deleted)\n"
      "korvabed windows-folder\n",
      stderr);
  return 64;
}

int Report(DWORD error, const char* what) {
  if (error == 0) return 0;
  std::fprintf(stderr, "korvabed: %s failed with error %lu (0x%08lX)\n", what,
               static_cast<unsigned long>(error), static_cast<unsigned long>(error));
  return 1;
}

int SetValue(const std::vector<std::string>& a) {
  if (a.size() != 6) return Usage();
  const std::string& kind = a[4];
  const std::string& data = a[5];
  DWORD type;
  std::vector<BYTE> bytes;
  if (kind == "sz" || kind == "expand_sz") {
    type = kind == "sz" ? REG_SZ : REG_EXPAND_SZ;
    bytes = StringData(data);
  } else if (kind == "multi_sz") {
    type = REG_MULTI_SZ;
    bytes = MultiStringData(Split(data, '|'));
  } else if (kind == "dword") {
    type = REG_DWORD;
    bytes = DwordData(static_cast<DWORD>(std::strtoul(data.c_str(), nullptr, 0)));
  } else if (kind == "binary") {
    type = REG_BINARY;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
      bytes.push_back(static_cast<BYTE>(std::strtoul(data.substr(i, 2).c_str(), nullptr, 16)));
    }
  } else {
    return Usage();
  }
  return Report(SetHardwareValue(a[2], a[3], type, bytes), "set-value");
}

int Hold(const std::vector<std::string>& a) {
  if (a.size() != 5 && !(a.size() == 6 && a[5] == "readable")) return Usage();
  DWORD share = a.size() == 6 ? FILE_SHARE_READ : 0;
  UniqueHandle file(CreateFileA(a[2].c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return Report(GetLastError(), "hold");
  UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, a[3].c_str()));
  UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, a[4].c_str()));
  SetEvent(ready.Get());
  WaitForSingleObject(release.Get(), 120000);
  return 0;
}

int Run(const std::vector<std::string>& a) {
  if (a.size() < 2) return Usage();
  const std::string& command = a[1];
  if (command == "add" && a.size() >= 5 && a.size() <= 8) {
    DeviceSeed seed;
    seed.instanceId = a[2];
    if (!ParseGuidText(a[3], seed.classGuid)) return Report(ERROR_INVALID_PARAMETER, "class GUID");
    seed.hardwareIds = Split(a[4], '|');
    if (a.size() > 5) seed.description = a[5];
    if (a.size() > 6) seed.manufacturer = a[6];
    if (a.size() > 7) seed.location = a[7];
    return Report(AddDevice(seed), "add");
  }
  if (command == "set-value") return SetValue(a);
  if (command == "set-driver" && a.size() == 4)
    return Report(SetDriverInfPath(a[2], a[3]), "set-driver");
  if (command == "remove" && a.size() == 3) return Report(RemoveDevice(a[2]), "remove");
  if (command == "exists" && a.size() == 3) return DeviceExists(a[2]) ? 0 : 1;
  if (command == "list" && a.size() <= 3) {
    GUID classGuid;
    if (a.size() == 3 && !ParseGuidText(a[2], classGuid))
      return Report(ERROR_INVALID_PARAMETER, "class GUID");
    for (const DeviceSummary& d : ListDevices(a.size() == 3 ? &classGuid : nullptr)) {
      std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", d.instanceId.c_str(), d.classGuid.c_str(),
                  d.hardwareId.c_str(), d.description.c_str(), d.identValue.c_str(),
                  d.infPath.c_str());
    }
    return 0;
  }
  if (command == "hold") return Hold(a);
  if (command == "windows-folder" && a.size() == 2) {
    char folder[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(folder, sizeof(folder));
    std::printf("%s\n", folder);
    return 0;
  }
  return Usage();
}

}  // namespace

int main(int argc, char** argv) { return Run(std::vector<std::string>(argv, argv + argc)); }
