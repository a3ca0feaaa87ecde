#include "devsetup/device_setup.h"

#include <cfgmgr32.h>
#include <newdev.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/last_error.h"
#include "common/system_folders.h"
#include "common/system_library.h"

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

namespace {

// A call of setupapi.dll that older systems lack; the library is loaded already, as the
// program imports it.
template <typename Function>
Function SetupApiExport(const char* name) {
  HMODULE setupapi = GetModuleHandleA("setupapi.dll");
  return setupapi ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(setupapi, name)))
                  : nullptr;
}

using PublishedNameFunction = BOOL(WINAPI*)(PCSTR, PSTR, DWORD, PDWORD);

}  // namespace

DWORD SetupApiDeviceSetup::UninstallOemInf(const char* infFileName, DWORD flags) {
  // Looked up at run time: systems before Windows XP lack it, and the program must still start
  // there.
  using UninstallFunction = BOOL(WINAPI*)(PCSTR, DWORD, PVOID);
  auto uninstall = SetupApiExport<UninstallFunction>("SetupUninstallOEMInfA");
  if (!uninstall) return ERROR_PROC_NOT_FOUND;
  return ErrorOf(uninstall(infFileName, flags, nullptr));
}

DWORD SetupApiDeviceSetup::CopyOemInf(const char* infPath, std::string& publishedPath) {
  publishedPath.clear();
  std::string source = infPath;
  size_t slash = source.find_last_of("\\/");
  source = slash == std::string::npos ? std::string(".") : source.substr(0, slash);
  char name[MAX_PATH + 1] = {};
  DWORD error = ErrorOf(SetupCopyOEMInfA(infPath, source.c_str(), SPOST_PATH, 0, name,
                                         sizeof(name), nullptr, nullptr));
  if (error == 0) publishedPath = name;
  return error;
}

bool SetupApiDeviceSetup::HasDriverStore() {
  return SetupApiExport<PublishedNameFunction>("SetupGetInfPublishedNameA") != nullptr;
}

DWORD SetupApiDeviceSetup::GetInfPublishedName(const char* storeInfPath,
                                               std::string& publishedPath) {
  publishedPath.clear();
  auto lookup = SetupApiExport<PublishedNameFunction>("SetupGetInfPublishedNameA");
  if (!lookup) return ERROR_PROC_NOT_FOUND;
  char name[MAX_PATH + 1] = {};
  DWORD error = ErrorOf(lookup(storeInfPath, name, sizeof(name), nullptr));
  if (error == 0) publishedPath = name;
  return error;
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

DriverUpdateService SetupApiDeviceSetup::LoadDriverUpdateService() {
  DriverUpdateService service;
  service.library = LoadSystemLibrary("newdev.dll");
  if (!service.library.Valid()) return service;
  service.update =
      SystemExport<UpdateDriverFunction>(service.library, "UpdateDriverForPlugAndPlayDevicesA");
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

DWORD SetupApiDeviceSetup::UninstallDriverPackage(const char* storeInfPath, bool& restartNeeded) {
  using UninstallFunction = BOOL(WINAPI*)(HWND, LPCSTR, DWORD, PBOOL);
  restartNeeded = false;
  UniqueModule newdev = LoadSystemLibrary("newdev.dll");
  auto uninstall = SystemExport<UninstallFunction>(newdev, "DiUninstallDriverA");
  if (!uninstall) return ERROR_PROC_NOT_FOUND;
  // Given a place for the answer, the call shows no restart prompt of its own.
  BOOL rebootNeeded = FALSE;
  DWORD error = ErrorOf(uninstall(nullptr, storeInfPath, 0, &rebootNeeded));
  restartNeeded = error == 0 && rebootNeeded;
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
  auto locate = SystemExport<LocateFunction>(cfgmgr, "CM_Locate_DevNodeA");
  auto reenumerate = SystemExport<ReenumerateFunction>(cfgmgr, "CM_Reenumerate_DevNode");
  if (!locate || !reenumerate) return ERROR_PROC_NOT_FOUND;
  DEVINST root = 0;
  CONFIGRET result = locate(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL);
  if (result == CR_SUCCESS) result = reenumerate(root, CM_REENUMERATE_SYNCHRONOUS);
  if (result == CR_SUCCESS) return 0;
  // The platform's own mapping where it has one (Windows 8 and later).
  auto map = SystemExport<MapFunction>(cfgmgr, "CM_MapCrToWin32Err");
  DWORD error = map ? map(result, ERROR_GEN_FAILURE) : ERROR_GEN_FAILURE;
  return error != 0 ? error : ERROR_GEN_FAILURE;
}

DWORD SetupApiDeviceSetup::WaitForPendingInstallations(DWORD milliseconds) {
  using WaitFunction = DWORD(WINAPI*)(DWORD);
  UniqueModule cfgmgr = LoadSystemLibrary("cfgmgr32.dll");
  auto wait = SystemExport<WaitFunction>(cfgmgr, "CMP_WaitNoPendingInstallEvents");
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

namespace {

// The service of that name, opened with `access`; `error` holds the code when it is not.
UniqueServiceHandle OpenDriverService(const char* name, DWORD access, DWORD& error) {
  error = 0;
  UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager.Valid()) {
    error = LastErrorOfFailure();
    return UniqueServiceHandle();
  }
  UniqueServiceHandle service(OpenServiceA(manager.Get(), name, access));
  if (!service.Valid()) error = LastErrorOfFailure();
  return service;
}

}  // namespace

DWORD SetupApiDeviceSetup::QueryDriverService(const char* name, DWORD& serviceType,
                                              std::string& binaryPath) {
  serviceType = 0;
  binaryPath.clear();
  DWORD error = 0;
  UniqueServiceHandle service = OpenDriverService(name, SERVICE_QUERY_CONFIG, error);
  if (!service.Valid()) return error;
  DWORD needed = 0;
  QueryServiceConfigA(service.Get(), nullptr, 0, &needed);
  std::vector<BYTE> buffer(std::max<DWORD>(needed, sizeof(QUERY_SERVICE_CONFIGA)));
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service.Get(), config, static_cast<DWORD>(buffer.size()), &needed)) {
    return LastErrorOfFailure();
  }
  serviceType = config->dwServiceType;
  if (config->lpBinaryPathName) binaryPath = config->lpBinaryPathName;
  return 0;
}

DWORD SetupApiDeviceSetup::StopDriverService(const char* name, DWORD milliseconds) {
  DWORD error = 0;
  UniqueServiceHandle service = OpenDriverService(name, SERVICE_STOP | SERVICE_QUERY_STATUS, error);
  if (!service.Valid()) return error;
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.Get(), &status)) return LastErrorOfFailure();
  if (status.dwCurrentState == SERVICE_STOPPED) return 0;
  if (status.dwCurrentState != SERVICE_STOP_PENDING &&
      !ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) {
    error = LastErrorOfFailure();
    return error == ERROR_SERVICE_NOT_ACTIVE ? 0 : error;
  }
  // The 32-bit tick count, as the older systems have it; the difference survives its wrap.
  const DWORD start = GetTickCount();
  while (status.dwCurrentState != SERVICE_STOPPED) {
    if (GetTickCount() - start >= milliseconds) return ERROR_SERVICE_REQUEST_TIMEOUT;
    Sleep(100);
    if (!QueryServiceStatus(service.Get(), &status)) return LastErrorOfFailure();
  }
  return 0;
}

DWORD SetupApiDeviceSetup::DeleteDriverService(const char* name) {
  DWORD error = 0;
  UniqueServiceHandle service = OpenDriverService(name, DELETE, error);
  if (!service.Valid()) return error;
  return ErrorOf(DeleteService(service.Get()));
}

}  // namespace korva
