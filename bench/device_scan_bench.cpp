// Times the Cleanup Wizard's device-instance scan against the platform's floor (Windows, under
// Wine), on a device database seeded by its own "seed" command:
//   seed <count> [first]
//                  registers <count> instances (numbered from <first>, 0 by default) of the kit's
//                  class: a quarter in scope (a USB hardware ID and the kit's ident), a quarter
//                  each out of it (USB without an ident, USB with another ident, another bus with
//                  the kit's ident)
//   scan <runs>    DeviceInstanceList::Scan
//   floor <runs>   only the platform's part: list the class, enumerate, open each hardware
//                  key, read one value
//   phases         where the floor's time goes, call by call
// Prints "<mode> <seconds of the best run> <own seconds> <instances> <found>", the own seconds
// being the scan's time outside the platform's calls (and the freeing of its set); scan and
// floor alternate run by run when the mode is "both", so that both see the same machine.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cleanup/cleanup_wizard_app.h"
#include "cleanup/core/cleanup_settings.h"
#include "cleanup/engine/device_instance_list.h"
#include "common/core/kit_identity.h"
#include "common/guid_text.h"
#include "devsetup/device_setup.h"
#include "bench/bench_clock.h"
#include "tools/test_bed.h"

namespace {

using korva::CleanupSettings;
using korva::kKitIdent;
using korva::kKitIdentValueName;

int Seed(int count, int first) {
  GUID kitClass = korva::KitClassGuid();
  for (int i = first; i < first + count; ++i) {
    int kind = i % 4;  // 0 in scope; 1 USB, no ident; 2 USB, another ident; 3 not USB
    char id[128];
    std::snprintf(id, sizeof(id), "%s\\VID_0547&PID_%04X\\7&BENCH&0&%d", kind == 3 ? "PCI" : "USB",
                  0x1000 + kind, i);
    korva::testbed::DeviceSeed seed;
    seed.instanceId = id;
    seed.classGuid = kitClass;
    std::string hardwareId = id;
    hardwareId = hardwareId.substr(0, hardwareId.rfind('\\'));
    seed.hardwareIds = {hardwareId + "&REV_0001", hardwareId};
    seed.description = "Bench device " + std::to_string(i);
    seed.manufacturer = "KORVA bench";
    seed.location = "Port_#0001.Hub_#0001";
    if (DWORD error = korva::testbed::AddDevice(seed)) {
      std::fprintf(stderr, "seed: %s: error %lu\n", id, static_cast<unsigned long>(error));
      return 1;
    }
    if (kind == 1) continue;
    std::string ident = kind == 2 ? "{00000000-0000-0000-0000-000000000000}" : kKitIdent;
    if (DWORD error = korva::testbed::SetHardwareValue(id, kKitIdentValueName, REG_SZ,
                                                       korva::testbed::StringData(ident))) {
      std::fprintf(stderr, "seed: %s: ident error %lu\n", id, static_cast<unsigned long>(error));
      return 1;
    }
  }
  return 0;
}

struct Outcome {
  double seconds = 0;
  double own = 0;  // the scan's time outside the platform's calls
  int instances = 0;
  int found = 0;
};

// Time spent inside the platform's calls during a scan.
double inside = 0;

// The scan closes its registry keys through their owners, which call RegCloseKey directly;
// under Wine a close costs more as the database grows, and it is the platform's time, so this
// program's own import of it is pointed at a timed stand-in.
using CloseKeyFunction = LONG(WINAPI*)(HKEY);
CloseKeyFunction realCloseKey = nullptr;

LONG WINAPI TimedCloseKey(HKEY key) {
  double start = Now();
  LONG status = realCloseKey(key);
  inside += Now() - start;
  return status;
}

bool TimeKeyCloses() {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
  FARPROC target = GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegCloseKey");
  for (; library->Name != 0; ++library) {
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
    for (; slot->u1.Function != 0; ++slot) {
      if (reinterpret_cast<FARPROC>(slot->u1.Function) != target) continue;
      DWORD protection = 0;
      VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection);
      realCloseKey = reinterpret_cast<CloseKeyFunction>(reinterpret_cast<void (*)()>(target));
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(&TimedCloseKey);
      VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
      return true;
    }
  }
  return false;
}

// The real services, timed: what the scan spends inside the platform.
class TimedDeviceSetup : public korva::SetupApiDeviceSetup {
 public:
  korva::UniqueDevInfo GetClassDevs(const GUID* classGuid, DWORD flags, DWORD* error) override {
    double start = Now();
    korva::UniqueDevInfo set = SetupApiDeviceSetup::GetClassDevs(classGuid, flags, error);
    inside += Now() - start;
    return set;
  }
  DWORD EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) override {
    double start = Now();
    DWORD error = SetupApiDeviceSetup::EnumDeviceInfo(set, index, element);
    inside += Now() - start;
    return error;
  }
  DWORD GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD property,
                                  DWORD& type, BYTE* buffer, DWORD size,
                                  DWORD* requiredSize) override {
    double start = Now();
    DWORD error = SetupApiDeviceSetup::GetDeviceRegistryProperty(set, element, property, type,
                                                                 buffer, size, requiredSize);
    inside += Now() - start;
    return error;
  }
  korva::UniqueRegKey OpenDevRegKey(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD keyType,
                                    REGSAM access, DWORD* error) override {
    double start = Now();
    korva::UniqueRegKey key =
        SetupApiDeviceSetup::OpenDevRegKey(set, element, keyType, access, error);
    inside += Now() - start;
    return key;
  }
  LONG QueryValue(HKEY key, const char* name, DWORD& type, BYTE* buffer, DWORD& size) override {
    double start = Now();
    LONG status = SetupApiDeviceSetup::QueryValue(key, name, type, buffer, size);
    inside += Now() - start;
    return status;
  }
};

// The whole scan as the wizard runs it, the list's end (which frees the platform's set)
// included, as the floor's time includes freeing its set.
Outcome RunScan() {
  // The settings of a run without options: the kit's class and ident.
  CleanupSettings settings;
  korva::ReadCleanupOptions("", korva::ParseGuidString, settings);
  TimedDeviceSetup setup;
  inside = 0;
  Outcome outcome;
  double start = Now();
  double freeing = 0;
  {
    korva::DeviceInstanceList list(setup, settings);
    outcome.found = list.Scan();
    freeing = Now();
  }
  double end = Now();
  freeing = end - freeing;
  outcome.seconds = end - start;
  outcome.own = outcome.seconds - inside - freeing;
  return outcome;
}

// What no scan of the class can do without: the platform's share.
Outcome RunFloor() {
  Outcome outcome;
  GUID kitClass = korva::KitClassGuid();
  double start = Now();
  HDEVINFO set = SetupDiGetClassDevsA(&kitClass, nullptr, nullptr, 0);
  if (set == INVALID_HANDLE_VALUE) return outcome;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    if (!SetupDiEnumDeviceInfo(set, index, &element)) break;
    ++outcome.instances;
    HKEY key = SetupDiOpenDevRegKey(set, &element, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    char value[2000];
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    if (RegQueryValueExA(key, kKitIdentValueName, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) == ERROR_SUCCESS) {
      ++outcome.found;
    }
    RegCloseKey(key);
  }
  SetupDiDestroyDeviceInfoList(set);
  outcome.seconds = Now() - start;
  return outcome;
}

// Where the floor's time goes: listing, enumerating, opening the keys, reading the values.
void Phases() {
  GUID kitClass = korva::KitClassGuid();
  double t0 = Now();
  HDEVINFO set = SetupDiGetClassDevsA(&kitClass, nullptr, nullptr, 0);
  double t1 = Now();
  double enumerate = 0, open = 0, read = 0;
  int count = 0;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    double a = Now();
    BOOL ok = SetupDiEnumDeviceInfo(set, index, &element);
    double b = Now();
    enumerate += b - a;
    if (!ok) break;
    ++count;
    HKEY key = SetupDiOpenDevRegKey(set, &element, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    double c = Now();
    open += c - b;
    if (key == INVALID_HANDLE_VALUE) continue;
    char value[2000];
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    RegQueryValueExA(key, kKitIdentValueName, nullptr, &type, reinterpret_cast<BYTE*>(value),
                     &size);
    RegCloseKey(key);
    read += Now() - c;
  }
  double t2 = Now();
  SetupDiDestroyDeviceInfoList(set);
  double t3 = Now();
  std::printf("phases %d: list %.3f enumerate %.3f open %.3f read %.3f destroy %.3f\n", count,
              t1 - t0, enumerate, open, read, t3 - t2);
}

void Print(const char* mode, const Outcome& best) {
  std::printf("%s %.4f %.4f %d %d\n", mode, best.seconds, best.own, best.instances, best.found);
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  int number = argc > 2 ? std::atoi(argv[2]) : 3;
  if (mode == "phases") {
    Phases();
    return 0;
  }
  if (mode == "seed") return Seed(number, argc > 3 ? std::atoi(argv[3]) : 0);
  if (mode != "scan" && mode != "floor" && mode != "both") {
    std::fprintf(stderr, "device_scan_bench seed <count> [first] | scan|floor|both <runs>\n");
    return 64;
  }
  if (mode != "floor" && !TimeKeyCloses()) {
    std::fprintf(stderr, "device_scan_bench: RegCloseKey is not among the imports\n");
    return 1;
  }
  Outcome bestScan, bestFloor;
  bestScan.seconds = bestFloor.seconds = 1e9;
  for (int run = 0; run < number; ++run) {
    if (mode != "floor") {
      Outcome scan = RunScan();
      if (scan.seconds < bestScan.seconds) bestScan = scan;
    }
    if (mode != "scan") {
      Outcome floor = RunFloor();
      if (floor.seconds < bestFloor.seconds) bestFloor = floor;
    }
  }
  if (mode != "floor") Print("scan", bestScan);
  if (mode != "scan") Print("floor", bestFloor);
  return 0;
}
