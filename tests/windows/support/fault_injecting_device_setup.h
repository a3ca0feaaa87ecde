// The real device set-up services with failures the platform cannot be made to produce.
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "devsetup/device_setup.h"
#include "support/wine_test_env.h"

namespace korva::testing {

class FaultInjectingDeviceSetup : public SetupApiDeviceSetup {
 public:
  static constexpr DWORD kNever = ~0u;
  // A walk that goes on past every failure meets the list's end this many members later, so
  // that a test of it fails instead of hanging.
  static constexpr DWORD kRunawayWalk = 10000;
  // Calls of SetupDiEnumDeviceInfo. (An enumerationError of 0 fails without a last error.)
  int enumerationCalls = 0;
  // DIF_REMOVE fails and leaves the last error at 0.
  bool removeFailsWithoutCode = false;

  DWORD enumerationFailsAt = kNever;   // SetupDiEnumDeviceInfo fails from this index on
  DWORD enumerationFailures = kNever;  // at so many indices (at every one from there by default)
  DWORD enumerationError = ERROR_INVALID_DATA;
  DWORD removeError = 0;          // DIF_REMOVE fails with this code when not 0
  DWORD binaryProperty = kNever;  // this SPDRP_ property reads as REG_BINARY
  bool classListFails = false;    // SetupDiGetClassDevsA gives no set
  DWORD classListError = ERROR_INVALID_PARAMETER;
  const char* hardwareId = nullptr;    // SPDRP_HARDWAREID reads as this single string
  DWORD hardwareIdError = 0;           // SPDRP_HARDWAREID can't be read: this code, when not 0
  DWORD hardwareKeyError = 0;          // a hardware key (DIREG_DEV) can't be opened: this code
  bool noDriverUpdateService = false;  // newdev.dll as on systems without it
  DWORD updateError = 0;               // the driver update service fails with this code when not 0
  int updateCalls = 0;
  DWORD lastUpdateFlags = 0;        // the flags the driver update service was last given
  std::function<void()> afterUpdate;  // runs after the platform's update service succeeded
  bool madeNonInteractive = false;  // MakeNonInteractive was called
  bool everyKeyExists = false;      // every subkey opened below a key exists
  std::string refusedKey;           // opening a subkey of this name fails with refusedKeyStatus
  LONG refusedKeyStatus = ERROR_ACCESS_DENIED;
  // What SetupDiSetDeviceInstallParams was last given.
  SP_DEVINSTALL_PARAMS_A lastSetInstallParams{};
  int classInstallerRoadCalls = 0;
  std::vector<std::string> openedKeys;
  std::vector<DI_FUNCTION> installerCalls;
  int removeCalls = 0;
  // The install parameters read after the n-th request `restartAfter` carry restartFlags[n-1]
  // (DI_NEEDREBOOT, DI_NEEDRESTART; none past the list's end): Windows needing a restart to
  // complete it, which Wine never does.
  DI_FUNCTION restartAfter = DIF_REMOVE;
  std::vector<DWORD> restartFlags;
  // The driver update service answers RebootRequired (Wine's never does).
  bool updateNeedsRestart = false;
  // SetupUninstallOEMInfA: each call's file name and flags. By default the platform's own call;
  // else it fails with `storeError`, or does nothing and succeeds (`storeLeavesFiles`), or
  // removes the INF file and its .pnf as Windows does (`storeRemovesFiles`).
  std::vector<std::pair<std::string, DWORD>> storeCalls;
  // A file the store call puts anew in place of the one there (the catalog of another package
  // that got the removed package's number), when not empty.
  std::string storeRemakesFile;
  DWORD storeError = 0;
  bool storeLeavesFiles = false;
  bool storeRemovesFiles = false;
  // A driver store as Windows has one (Wine has none): `driverStore` makes the system have
  // one; a store INF path (any letter case) that `publishedNames` names is published as that
  // INF folder file, every other is not. DiUninstallDriverA is the platform's (missing under
  // Wine) unless `fakePackageRemoval`: then each call is noted in `packageRemovals` and answers
  // `packageRemovalError`, or succeeds and deletes the package's folder as the store does
  // (`packageRemovalNeedsRestart`: and asks for a restart).
  bool driverStore = false;
  std::vector<std::pair<std::string, std::string>> publishedNames;
  bool fakePackageRemoval = false;
  DWORD packageRemovalError = 0;
  bool packageRemovalNeedsRestart = false;
  std::vector<std::string> packageRemovals;
  // The service control manager is Wine's own, but no driver runs under Wine: a service named
  // `runningService` answers a stop request with `stopError` (ERROR_SERVICE_REQUEST_TIMEOUT: it
  // does not stop in time), as a loaded driver would. Each stop and deletion is noted.
  std::string runningService;
  DWORD stopError = ERROR_SERVICE_REQUEST_TIMEOUT;
  std::vector<std::string> serviceCalls;
  // The new enumeration at the end of a removal run: by default the platform's calls (Wine's
  // fail); else the enumeration answers `reenumerateError` and the wait `pendingWaitResult`.
  // Each call is counted, in order, in `rescanCalls` ("reenumerate", "wait <ms>").
  bool fakeRescan = false;
  DWORD reenumerateError = 0;
  DWORD pendingWaitResult = 0;
  std::vector<std::string> rescanCalls;
  std::function<void()> onReenumerate;  // called first, to look at the system at that moment
  int classDevsCalls = 0;
  DWORD lastClassDevsFlags = kNever;
  GUID lastClassGuid{};

  UniqueDevInfo GetClassDevs(const GUID* classGuid, DWORD flags, DWORD* error = nullptr) override {
    ++classDevsCalls;
    lastClassDevsFlags = flags;
    if (classGuid) lastClassGuid = *classGuid;
    if (classListFails) {
      if (error) *error = classListError;
      return UniqueDevInfo();
    }
    return SetupApiDeviceSetup::GetClassDevs(classGuid, flags, error);
  }
  DWORD EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) override {
    ++enumerationCalls;
    if (enumerationFailsAt != kNever && index >= enumerationFailsAt + kRunawayWalk) {
      return ERROR_NO_MORE_ITEMS;
    }
    if (index >= enumerationFailsAt && index - enumerationFailsAt < enumerationFailures) {
      return FailWith(enumerationError);
    }
    return SetupApiDeviceSetup::EnumDeviceInfo(set, index, element);
  }
  DWORD GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD property,
                                  DWORD& type, BYTE* buffer, DWORD size,
                                  DWORD* requiredSize = nullptr) override {
    DWORD error = SetupApiDeviceSetup::GetDeviceRegistryProperty(set, element, property, type,
                                                                 buffer, size, requiredSize);
    if (property == SPDRP_HARDWAREID && hardwareIdError != 0) return hardwareIdError;
    if (error == 0 && property == binaryProperty) type = REG_BINARY;
    if (error == 0 && property == SPDRP_HARDWAREID && hardwareId) {
      std::string text(hardwareId);
      text.append(2, '\0');
      if (requiredSize) *requiredSize = static_cast<DWORD>(text.size());
      if (text.size() > size) return ERROR_INSUFFICIENT_BUFFER;
      type = REG_MULTI_SZ;
      std::copy(text.begin(), text.end(), buffer);
    }
    return error;
  }
  UniqueRegKey OpenDevRegKey(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD keyType,
                             REGSAM access, DWORD* error = nullptr) override {
    if (keyType == DIREG_DEV && hardwareKeyError != 0) {
      if (error) *error = hardwareKeyError;
      return UniqueRegKey();
    }
    return SetupApiDeviceSetup::OpenDevRegKey(set, element, keyType, access, error);
  }
  DWORD InstallClass(const char* infPath) override {
    ++classInstallerRoadCalls;
    return SetupApiDeviceSetup::InstallClass(infPath);
  }
  LONG OpenKey(HKEY parent, const char* name, REGSAM access, UniqueRegKey& key) override {
    openedKeys.push_back(name);
    if (!refusedKey.empty() && refusedKey == name) {
      key.Reset();
      return refusedKeyStatus;
    }
    if (everyKeyExists) {
      key.Reset();
      return ERROR_SUCCESS;
    }
    return SetupApiDeviceSetup::OpenKey(parent, name, access, key);
  }
  DWORD UpdateDriver(const DriverUpdateService& service, const char* hardwareIdText,
                     const char* infPath, DWORD installFlags,
                     bool* restartNeeded = nullptr) override {
    ++updateCalls;
    if (!service.Available() && updateError == 0 && !updateNeedsRestart) {
      return SetupApiDeviceSetup::UpdateDriver(service, hardwareIdText, infPath, installFlags,
                                               restartNeeded);
    }
    // The service's own function is replaced, so that the real layer's flags are seen and it
    // reads the answer chosen here.
    Injection() = {service.update, updateError, updateNeedsRestart, 0};
    DriverUpdateService injected;
    injected.update = InjectedUpdate;
    DWORD error = SetupApiDeviceSetup::UpdateDriver(injected, hardwareIdText, infPath, installFlags,
                                                    restartNeeded);
    lastUpdateFlags = Injection().flags;
    if (error == 0 && afterUpdate) afterUpdate();
    return error;
  }
  DWORD ReenumerateDevices() override {
    rescanCalls.push_back("reenumerate");
    if (onReenumerate) onReenumerate();
    return fakeRescan ? reenumerateError : SetupApiDeviceSetup::ReenumerateDevices();
  }
  DWORD WaitForPendingInstallations(DWORD milliseconds) override {
    rescanCalls.push_back("wait " + std::to_string(milliseconds));
    return fakeRescan ? pendingWaitResult
                      : SetupApiDeviceSetup::WaitForPendingInstallations(milliseconds);
  }
  void MakeNonInteractive() override {
    madeNonInteractive = true;
    SetupApiDeviceSetup::MakeNonInteractive();
  }
  ~FaultInjectingDeviceSetup() override {
    // The platform's mode is the process's: the next test starts as a program does.
    if (madeNonInteractive) SetupSetNonInteractiveMode(FALSE);
  }
  DWORD GetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA& element,
                               SP_DEVINSTALL_PARAMS_A& params) override {
    DWORD error = SetupApiDeviceSetup::GetDeviceInstallParams(set, element, params);
    DWORD flags = 0;
    if (!installerCalls.empty() && installerCalls.back() == restartAfter) {
      size_t made = std::count(installerCalls.begin(), installerCalls.end(), restartAfter);
      if (made <= restartFlags.size()) flags = restartFlags[made - 1];
    }
    if (flags == 0) return error;
    // The element of a removed device may no longer answer under Wine; Windows keeps it.
    if (error != 0) {
      params = SP_DEVINSTALL_PARAMS_A{};
      params.cbSize = sizeof(params);
    }
    params.Flags |= flags;
    return 0;
  }
  DWORD SetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA& element,
                               SP_DEVINSTALL_PARAMS_A& params) override {
    lastSetInstallParams = params;
    return SetupApiDeviceSetup::SetDeviceInstallParams(set, element, params);
  }
  // SetupCopyOEMInfA fails with this code when not 0 (the platform refusing a package).
  DWORD copyOemInfError = 0;
  DWORD CopyOemInf(const char* infPath, std::string& publishedPath) override {
    if (copyOemInfError != 0) {
      publishedPath.clear();
      return copyOemInfError;
    }
    return SetupApiDeviceSetup::CopyOemInf(infPath, publishedPath);
  }
  DWORD UninstallOemInf(const char* infFileName, DWORD flags) override {
    storeCalls.emplace_back(infFileName, flags);
    if (!storeRemakesFile.empty()) {
      // Made beside the old one first, so that it is another file (Linux would give a file made
      // after the deletion the old one's number).
      const std::string made = storeRemakesFile + ".new";
      HANDLE file = CreateFileA(made.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
      DWORD written = 0;
      WriteFile(file, "another package", 15, &written, nullptr);
      CloseHandle(file);
      MoveFileExA(made.c_str(), storeRemakesFile.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
    if (storeError != 0) return storeError;
    if (storeLeavesFiles) return 0;
    if (storeRemovesFiles) {
      std::string inf = WindowsInfFolder() + "\\" + infFileName;
      std::string pnf = inf.substr(0, inf.rfind('.')) + ".pnf";
      SetFileAttributesA(inf.c_str(), FILE_ATTRIBUTE_NORMAL);
      SetFileAttributesA(pnf.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(pnf.c_str());
      return DeleteFileA(inf.c_str()) ? 0 : ErrorOf(FALSE);
    }
    return SetupApiDeviceSetup::UninstallOemInf(infFileName, flags);
  }
  DWORD StopDriverService(const char* name, DWORD milliseconds) override {
    serviceCalls.push_back(std::string("stop ") + name);
    if (runningService == name) return stopError;
    return SetupApiDeviceSetup::StopDriverService(name, milliseconds);
  }
  DWORD DeleteDriverService(const char* name) override {
    serviceCalls.push_back(std::string("delete ") + name);
    return SetupApiDeviceSetup::DeleteDriverService(name);
  }
  bool HasDriverStore() override { return driverStore || SetupApiDeviceSetup::HasDriverStore(); }
  DWORD GetInfPublishedName(const char* storeInfPath, std::string& publishedPath) override {
    if (!driverStore) return SetupApiDeviceSetup::GetInfPublishedName(storeInfPath, publishedPath);
    publishedPath.clear();
    for (const auto& [store, published] : publishedNames) {
      if (lstrcmpiA(store.c_str(), storeInfPath) == 0) {
        publishedPath = published;
        return 0;
      }
    }
    return ERROR_FILE_NOT_FOUND;
  }
  DWORD UninstallDriverPackage(const char* storeInfPath, bool& restartNeeded) override {
    if (!fakePackageRemoval) {
      return SetupApiDeviceSetup::UninstallDriverPackage(storeInfPath, restartNeeded);
    }
    packageRemovals.push_back(storeInfPath);
    restartNeeded = false;
    if (packageRemovalError != 0) return packageRemovalError;
    std::string folder(storeInfPath);
    folder.resize(folder.rfind('\\'));
    RemoveFolderTree(folder);
    restartNeeded = packageRemovalNeedsRestart;
    return 0;
  }
  DriverUpdateService LoadDriverUpdateService() override {
    if (noDriverUpdateService) return DriverUpdateService();
    return SetupApiDeviceSetup::LoadDriverUpdateService();
  }
  DWORD CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA& element) override {
    installerCalls.push_back(function);
    if (function == DIF_REMOVE) {
      ++removeCalls;
      if (removeFailsWithoutCode) return FailWith(0);
      if (removeError != 0) return removeError;
    }
    return SetupApiDeviceSetup::CallClassInstaller(function, set, element);
  }

 private:
  struct UpdateInjection {
    UpdateDriverFunction real = nullptr;
    DWORD error = 0;
    bool restart = false;
    DWORD flags = 0;  // what the service was given
  };
  static UpdateInjection& Injection() {
    static UpdateInjection injection;
    return injection;
  }
  // UpdateDriverForPlugAndPlayDevicesA failing with the chosen code, or the platform's; either
  // answers RebootRequired as chosen (also on failure, which must then not count).
  static BOOL WINAPI InjectedUpdate(HWND window, LPCSTR hardwareIdText, LPCSTR infPath,
                                    DWORD installFlags, PBOOL rebootRequired) {
    UpdateInjection& injection = Injection();
    injection.flags = installFlags;
    BOOL ok = FALSE;
    if (injection.error == 0 && injection.real) {
      ok = injection.real(window, hardwareIdText, infPath, installFlags, rebootRequired);
    }
    if (rebootRequired && injection.restart) *rebootRequired = TRUE;
    if (!ok) SetLastError(injection.error);
    return ok;
  }
  static std::string WindowsInfFolder() {
    char folder[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\inf";
  }
  // A platform call that failed with this last error, as the real layer reports it.
  static DWORD FailWith(DWORD lastError) {
    SetLastError(lastError);
    return ErrorOf(FALSE);
  }
};

}  // namespace korva::testing
