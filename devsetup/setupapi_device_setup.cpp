#include "devsetup/device_setup.h"

#include <cfgmgr32.h>
#include <newdev.h>

#include <string>
#include <vector>

#include "common/last_error.h"

namespace korva {

DWORD SetupApiDeviceSetup::ErrorOf(BOOL ok) { return ok ? 0 : LastErrorOfFailure(); }

UniqueDevInfo SetupApiDeviceSetup::GetClassDevs(const GUID* classGuid, DWORD flags, DWORD* error) {
  UniqueDevInfo set(SetupDiGetClassDevsA(classGuid, nullptr, nullptr, flags));
  if (error) *error = set.Valid() ? 0 : LastErrorOfFailure();
  return set;
}

DWORD SetupApiDeviceSetup::EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) {
  return ErrorOf(SetupDiEnumDeviceInfo(set, index, &element));
}

DWORD SetupApiDeviceSetup::GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element,
                                                     DWORD property, DWORD& type, BYTE* buffer,
                                                     DWORD size, DWORD* requiredSize) {
  SP_DEVINFO_DATA copy = element;
  return ErrorOf(
      SetupDiGetDeviceRegistryPropertyA(set, &copy, property, &type, buffer, size, requiredSize));
}

DWORD SetupApiDeviceSetup::GetDeviceInstanceId(HDEVINFO set, const SP_DEVINFO_DATA& element,
                                               std::string& id) {
  id.clear();
  SP_DEVINFO_DATA copy = element;
  DWORD size = 0;
  SetupDiGetDeviceInstanceIdA(set, &copy, nullptr, 0, &size);
  if (size == 0) return LastErrorOfFailure();
  std::vector<char> text(size + 1, '\0');
  if (!SetupDiGetDeviceInstanceIdA(set, &copy, text.data(), size, nullptr)) {
    return LastErrorOfFailure();
  }
  id = text.data();
  return 0;
}

UniqueRegKey SetupApiDeviceSetup::OpenDevRegKey(HDEVINFO set, const SP_DEVINFO_DATA& element,
                                                DWORD keyType, REGSAM access, DWORD* error) {
  SP_DEVINFO_DATA copy = element;
  UniqueRegKey key(SetupDiOpenDevRegKey(set, &copy, DICS_FLAG_GLOBAL, 0, keyType, access));
  if (error) *error = key.Valid() ? 0 : LastErrorOfFailure();
  return key;
}

LONG SetupApiDeviceSetup::QueryValue(HKEY key, const char* name, DWORD& type, BYTE* buffer,
                                     DWORD& size) {
  return RegQueryValueExA(key, name, nullptr, &type, buffer, &size);
}

DWORD SetupApiDeviceSetup::CallClassInstaller(DI_FUNCTION function, HDEVINFO set,
                                              SP_DEVINFO_DATA& element) {
  return ErrorOf(SetupDiCallClassInstaller(function, set, &element));
}

DWORD SetupApiDeviceSetup::GetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA& element,
                                                  SP_DEVINSTALL_PARAMS_A& params) {
  params.cbSize = sizeof(params);
  return ErrorOf(SetupDiGetDeviceInstallParamsA(set, &element, &params));
}

DWORD SetupApiDeviceSetup::UninstallOemInf(const char* infFileName, DWORD flags) {
  // Looked up at run time: systems before Windows XP lack it, and the program must still start
  // there. setupapi.dll is loaded already, as the program imports it.
  using UninstallFunction = BOOL(WINAPI*)(PCSTR, DWORD, PVOID);
  HMODULE setupapi = GetModuleHandleA("setupapi.dll");
  auto uninstall = setupapi ? reinterpret_cast<UninstallFunction>(reinterpret_cast<void (*)()>(
                                  GetProcAddress(setupapi, "SetupUninstallOEMInfA")))
                            : nullptr;
  if (!uninstall) return ERROR_PROC_NOT_FOUND;
  return ErrorOf(uninstall(infFileName, flags, nullptr));
}

DWORD SetupApiDeviceSetup::InstallClass(const char* infPath) {
  return ErrorOf(SetupDiInstallClassA(nullptr, infPath, DI_NOBROWSE, nullptr));
}

DWORD SetupApiDeviceSetup::SetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA& element,
                                                  SP_DEVINSTALL_PARAMS_A& params) {
  return ErrorOf(SetupDiSetDeviceInstallParamsA(set, &element, &params));
}

DWORD SetupApiDeviceSetup::BuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA& element,
                                               DWORD driverType) {
  return ErrorOf(SetupDiBuildDriverInfoList(set, &element, driverType));
}

DWORD SetupApiDeviceSetup::GetInfClass(const char* infPath, GUID& classGuid, char* className,
                                       DWORD size) {
  return ErrorOf(SetupDiGetINFClassA(infPath, &classGuid, className, size, nullptr));
}

UniqueRegKey SetupApiDeviceSetup::OpenClassRegKey(const GUID& classGuid, REGSAM access,
                                                  DWORD& error) {
  UniqueRegKey key(SetupDiOpenClassRegKey(&classGuid, access));
  error = key.Valid() ? 0 : LastErrorOfFailure();
  return key;
}

LONG SetupApiDeviceSetup::OpenKey(HKEY parent, const char* name, REGSAM access, UniqueRegKey& key) {
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExA(parent, name, 0, access, &opened);
  key.Reset(status == ERROR_SUCCESS ? opened : nullptr);
  return status;
}

LONG SetupApiDeviceSetup::CreateKey(HKEY parent, const char* name, REGSAM access,
                                    UniqueRegKey& key) {
  HKEY created = nullptr;
  char emptyClass[] = "";
  LONG status = RegCreateKeyExA(parent, name, 0, emptyClass, REG_OPTION_NON_VOLATILE, access,
                                nullptr, &created, nullptr);
  key.Reset(status == ERROR_SUCCESS ? created : nullptr);
  return status;
}

LONG SetupApiDeviceSetup::SetValue(HKEY key, const char* name, DWORD type, const BYTE* data,
                                   DWORD size) {
  return RegSetValueExA(key, name, 0, type, data, size);
}

LONG SetupApiDeviceSetup::FlushKey(HKEY key) { return RegFlushKey(key); }

namespace {

// A library of the system folder, by its full path (never by bare name, which would search the
// program's own folder first); its own imports are looked for beside it, not in the program's
// folder either.
UniqueModule LoadSystemLibrary(const char* name) {
  char folder[MAX_PATH];
  UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return UniqueModule();
  std::string path(folder, length);
  if (path.back() != '\\') path += '\\';
  path += name;
  return UniqueModule(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

template <typename Function>
Function Export(const UniqueModule& library, const char* name) {
  if (!library.Valid()) return nullptr;
  return reinterpret_cast<Function>(
      reinterpret_cast<void (*)()>(GetProcAddress(library.Get(), name)));
}

}  // namespace

DriverUpdateService SetupApiDeviceSetup::LoadDriverUpdateService() {
  DriverUpdateService service;
  service.library = LoadSystemLibrary("newdev.dll");
  if (!service.library.Valid()) return service;
  service.update =
      Export<UpdateDriverFunction>(service.library, "UpdateDriverForPlugAndPlayDevicesA");
  return service;
}

DWORD SetupApiDeviceSetup::UpdateDriver(const DriverUpdateService& service, const char* hardwareId,
                                        const char* infPath, DWORD installFlags,
                                        bool* restartNeeded) {
  if (restartNeeded) *restartNeeded = false;
  if (!service.Available()) return ERROR_PROC_NOT_FOUND;
  BOOL rebootRequired = FALSE;
  if (nonInteractive_) installFlags |= INSTALLFLAG_NONINTERACTIVE;
  DWORD error =
      ErrorOf(service.update(nullptr, hardwareId, infPath, installFlags, &rebootRequired));
  if (restartNeeded) *restartNeeded = error == 0 && rebootRequired;
  return error;
}

void SetupApiDeviceSetup::MakeNonInteractive() {
  nonInteractive_ = true;
  SetupSetNonInteractiveMode(TRUE);
}

DWORD SetupApiDeviceSetup::ReenumerateDevices() {
  using LocateFunction = CONFIGRET(WINAPI*)(PDEVINST, DEVINSTID_A, ULONG);
  using ReenumerateFunction = CONFIGRET(WINAPI*)(DEVINST, ULONG);
  using MapFunction = DWORD(WINAPI*)(CONFIGRET, DWORD);
  UniqueModule cfgmgr = LoadSystemLibrary("cfgmgr32.dll");
  auto locate = Export<LocateFunction>(cfgmgr, "CM_Locate_DevNodeA");
  auto reenumerate = Export<ReenumerateFunction>(cfgmgr, "CM_Reenumerate_DevNode");
  if (!locate || !reenumerate) return ERROR_PROC_NOT_FOUND;
  DEVINST root = 0;
  CONFIGRET result = locate(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
  if (result == CR_SUCCESS) result = reenumerate(root, CM_REENUMERATE_SYNCHRONOUS);
  if (result == CR_SUCCESS) return 0;
  // The platform's own mapping where it has one (Windows 8 and later).
  auto map = Export<MapFunction>(cfgmgr, "CM_MapCrToWin32Err");
  DWORD error = map ? map(result, ERROR_GEN_FAILURE) : ERROR_GEN_FAILURE;
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

DWORD SetupApiDeviceSetup::WaitForPendingInstallations(DWORD milliseconds) {
  using WaitFunction = DWORD(WINAPI*)(DWORD);
  UniqueModule cfgmgr = LoadSystemLibrary("cfgmgr32.dll");
  auto wait = Export<WaitFunction>(cfgmgr, "CMP_WaitNoPendingInstallEvents");
  if (!wait) return ERROR_PROC_NOT_FOUND;
  switch (DWORD result = wait(milliseconds)) {
    case WAIT_OBJECT_0:
      return 0;
    case WAIT_TIMEOUT:
      return WAIT_TIMEOUT;
    case WAIT_FAILED:
      return LastErrorOfFailure();
    default:
      return result;
  }
}

}  // namespace korva
