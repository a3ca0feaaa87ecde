// newdev.dll is loaded from the system folder only: a newdev.dll planted beside the program
// (in a downloads folder, say) would otherwise run with the installer's rights. A suite of its
// own, because a library of that name already loaded in the process would hide the difference.
#include <gtest/gtest.h>

#include <string>

#include "devsetup/device_setup.h"
#include "support/wine_test_env.h"

namespace korva::testing {
namespace {

constexpr DWORD kPlantedError = 0x4B0D;

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(module, path, MAX_PATH);
  return path;
}

// Wine prefers its own built-in newdev.dll to one beside the program unless told otherwise, so
// the test runs itself again with native libraries of that name preferred for this program:
// there a load by bare name takes the plant, as on Windows. The run again is marked by a
// variable of ours.
constexpr char kRunAgain[] = "KORVA_NEWDEV_RUN";
constexpr char kOverridesKey[] =
    "Software\\Wine\\AppDefaults\\newdev_loading_test.exe\\DllOverrides";

bool IsTheRunAgain() { return GetEnvironmentVariableA(kRunAgain, nullptr, 0) != 0; }

DWORD RunAgainPreferringNativeNewdev() {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kOverridesKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return ~0u;
  }
  UniqueRegKey owner(key);
  const char order[] = "native,builtin";
  RegSetValueExA(key, "newdev", 0, REG_SZ, reinterpret_cast<const BYTE*>(order), sizeof(order));
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  SetEnvironmentVariableA(kRunAgain, "1");
  DWORD status =
      RunProcess("\"" + std::string(self) +
                 "\" --gtest_filter=NewdevLoadingTest.ANewdevBesideTheProgramIsNeverLoaded");
  SetEnvironmentVariableA(kRunAgain, nullptr);
  RegDeleteValueA(key, "newdev");
  return status;
}

TEST(NewdevLoadingTest, ANewdevBesideTheProgramIsNeverLoaded) {
  if (!IsTheRunAgain()) {
    EXPECT_EQ(RunAgainPreferringNativeNewdev(), 0u) << "the run again failed (see above)";
    return;
  }
  ASSERT_EQ(GetModuleHandleA("newdev.dll"), nullptr) << "newdev.dll is loaded already";
  const std::string planted = BuildFolder() + "\\tests\\windows\\newdev.dll";
  ASSERT_TRUE(CopyFileA((BuildFolder() + "\\tests\\windows\\planted\\newdev.dll").c_str(),
                        planted.c_str(), FALSE));
  struct Unplant {
    std::string path;
    ~Unplant() { RemoveFile(path); }
  } unplant{planted};

  SetupApiDeviceSetup setup;
  {
    DriverUpdateService service = setup.LoadDriverUpdateService();
    ASSERT_TRUE(service.Available());
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_EQ(_stricmp(ModulePath(service.library.Get()).c_str(),
                       (std::string(system) + "\\newdev.dll").c_str()),
              0)
        << ModulePath(service.library.Get());
  }

  // The plant is real: once the system's library is gone again, a load by bare name takes it.
  ASSERT_EQ(GetModuleHandleA("newdev.dll"), nullptr) << "newdev.dll stayed loaded";
  UniqueModule bare(LoadLibraryA("newdev.dll"));
  ASSERT_TRUE(bare.Valid());
  EXPECT_EQ(_stricmp(ModulePath(bare.Get()).c_str(), planted.c_str()), 0);
  auto update = reinterpret_cast<UpdateDriverFunction>(reinterpret_cast<void (*)()>(
      GetProcAddress(bare.Get(), "UpdateDriverForPlugAndPlayDevicesA")));
  ASSERT_NE(update, nullptr);
  EXPECT_FALSE(update(nullptr, "USB\\X", "C:\\x.inf", 0, nullptr));
  EXPECT_EQ(GetLastError(), kPlantedError);
}

}  // namespace
}  // namespace korva::testing
