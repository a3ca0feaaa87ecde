// The one door of both programs to the device set-up services and the registry. The engines
// take it as an interface so that tests can inject the failures the platform cannot produce.
// Every operation returns 0 on success or the platform's error code, which is never 0 for a
// failure; none touches the thread's last-error value for its caller to read.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>

#include "common/unique_resource.h"

namespace korva {

using UpdateDriverFunction = BOOL(WINAPI*)(HWND, LPCSTR, LPCSTR, DWORD, PBOOL);

struct DriverUpdateService {
  UniqueModule library;
  UpdateDriverFunction update = nullptr;
  bool Available() const { return update != nullptr; }
};

class DeviceSetup {
 public:
  virtual ~DeviceSetup() = default;

  // A device information set; an invalid owner when the platform gives none, and then
  // `error`, when given, holds the platform's code.
  virtual UniqueDevInfo GetClassDevs(const GUID* classGuid, DWORD flags,
                                     DWORD* error = nullptr) = 0;
  virtual DWORD EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) = 0;
  // `requiredSize`, when given, receives the size the whole value needs, also when `size` is
  // too small for it.
  virtual DWORD GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element,
                                          DWORD property, DWORD& type, BYTE* buffer, DWORD size,
                                          DWORD* requiredSize = nullptr) = 0;
  // The element's device instance ID; empty on failure.
  virtual DWORD GetDeviceInstanceId(HDEVINFO set, const SP_DEVINFO_DATA& element,
                                    std::string& id) = 0;
  // The hardware key (DIREG_DEV) or the driver key (DIREG_DRV); invalid when there is none,
  // and then `error`, when given, holds the platform's code.
  virtual UniqueRegKey OpenDevRegKey(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD keyType,
                                     REGSAM access, DWORD* error = nullptr) = 0;
  // RegQueryValueExA: the registry status.
  virtual LONG QueryValue(HKEY key, const char* name, DWORD& type, BYTE* buffer, DWORD& size) = 0;
  virtual DWORD CallClassInstaller(DI_FUNCTION function, HDEVINFO set,
                                   SP_DEVINFO_DATA& element) = 0;
  // The element's install parameters, where the class installer notes (DI_NEEDREBOOT,
  // DI_NEEDRESTART) that a restart is needed to finish what it did; read before they are changed.
  // `params.cbSize` is set here.
  virtual DWORD GetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA& element,
                                       SP_DEVINSTALL_PARAMS_A& params) = 0;
  // SetupUninstallOEMInfA: removes an INF file of the Windows INF folder, given by its name,
  // with its .pnf and its driver store package. ERROR_PROC_NOT_FOUND on systems without the
  // call (they have no driver store either).
  virtual DWORD UninstallOemInf(const char* infFileName, DWORD flags) = 0;
  // SetupCopyOEMInfA with the INF file's own folder as the source: adds the package to the INF
  // folder (and the driver store, where there is one) without a device, so that the platform
  // installs it on the devices it fits when they arrive. `publishedPath` gets the whole path of
  // the INF folder's file the platform published it as (an existing one for the same package).
  virtual DWORD CopyOemInf(const char* infPath, std::string& publishedPath) = 0;
  // Whether the system keeps installed packages in a driver store: it has
  // SetupGetInfPublishedNameA (looked up at run time).
  virtual bool HasDriverStore() = 0;
  // The INF folder's file (its whole path) that publishes a driver store INF file, given by its
  // whole path: 0, or the platform's code when it has none (or the call is missing).
  virtual DWORD GetInfPublishedName(const char* storeInfPath, std::string& publishedPath) = 0;
  // DiUninstallDriverA (newdev.dll of the system folder, Windows 10 1703 and later, looked up
  // at run time): removes a driver store package, given by its INF file's whole path, from the
  // devices installed from it and from the store. ERROR_PROC_NOT_FOUND where it is missing.
  virtual DWORD UninstallDriverPackage(const char* storeInfPath, bool& restartNeeded) = 0;

  // The class installer road of a driver installation.
  virtual DWORD InstallClass(const char* infPath) = 0;
  virtual DWORD SetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA& element,
                                       SP_DEVINSTALL_PARAMS_A& params) = 0;
  virtual DWORD BuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA& element, DWORD driverType) = 0;
  virtual DWORD GetInfClass(const char* infPath, GUID& classGuid, char* className, DWORD size) = 0;
  virtual UniqueRegKey OpenClassRegKey(const GUID& classGuid, REGSAM access, DWORD& error) = 0;

  // Registry keys below an open key: the registry status.
  virtual LONG OpenKey(HKEY parent, const char* name, REGSAM access, UniqueRegKey& key) = 0;
  virtual LONG CreateKey(HKEY parent, const char* name, REGSAM access, UniqueRegKey& key) = 0;
  virtual LONG SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) = 0;
  virtual LONG FlushKey(HKEY key) = 0;

  // The driver update service of newdev.dll, loaded from the system folder only (never by
  // bare name, which would search the program's own folder first); an empty service when the
  // library or its export is missing. The library stays loaded while the object lives.
  virtual DriverUpdateService LoadDriverUpdateService() = 0;
  // `restartNeeded`, when given, tells whether the service needs a restart to finish.
  virtual DWORD UpdateDriver(const DriverUpdateService& service, const char* hardwareId,
                             const char* infPath, DWORD installFlags,
                             bool* restartNeeded = nullptr) = 0;

  // For a run nobody watches: from now on the platform's set-up calls in this process fail
  // rather than show a window (a signature prompt, a request for files), and the driver update
  // service is asked the same.
  virtual void MakeNonInteractive() = 0;

  // The service control manager, for drivers' services by name. A service's type and binary
  // path: 0, or the manager's code (ERROR_SERVICE_DOES_NOT_EXIST).
  virtual DWORD QueryDriverService(const char* name, DWORD& serviceType,
                                   std::string& binaryPath) = 0;
  // Asks a running service to stop and waits at most `milliseconds`: 0 when it stopped or was
  // not running, ERROR_SERVICE_REQUEST_TIMEOUT when it still runs, else the manager's code.
  virtual DWORD StopDriverService(const char* name, DWORD milliseconds) = 0;
  // Deletes a service (one that still runs goes at the next restart): 0 or the manager's code.
  virtual DWORD DeleteDriverService(const char* name) = 0;

  // Asks the platform to enumerate the devices again from the root, and waits until it has
  // (cfgmgr32.dll of the system folder, looked up at run time). 0, or the Win32 form of the
  // configuration manager's answer (ERROR_PROC_NOT_FOUND where the calls are missing).
  virtual DWORD ReenumerateDevices() = 0;
  // Waits at most `milliseconds` until no device installation is pending: 0, WAIT_TIMEOUT, or
  // the code of a wait that failed (ERROR_PROC_NOT_FOUND where the call is missing).
  virtual DWORD WaitForPendingInstallations(DWORD milliseconds) = 0;
};

// The real thing: SetupAPI and the registry.
class SetupApiDeviceSetup : public DeviceSetup {
 public:
  UniqueDevInfo GetClassDevs(const GUID* classGuid, DWORD flags, DWORD* error = nullptr) override;
  DWORD EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) override;
  DWORD GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD property,
                                  DWORD& type, BYTE* buffer, DWORD size,
                                  DWORD* requiredSize = nullptr) override;
  DWORD GetDeviceInstanceId(HDEVINFO set, const SP_DEVINFO_DATA& element, std::string& id) override;
  UniqueRegKey OpenDevRegKey(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD keyType,
                             REGSAM access, DWORD* error = nullptr) override;
  LONG QueryValue(HKEY key, const char* name, DWORD& type, BYTE* buffer, DWORD& size) override;
  DWORD CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA& element) override;
  DWORD GetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA& element,
                               SP_DEVINSTALL_PARAMS_A& params) override;
  DWORD UninstallOemInf(const char* infFileName, DWORD flags) override;
  DWORD CopyOemInf(const char* infPath, std::string& publishedPath) override;
  bool HasDriverStore() override;
  DWORD GetInfPublishedName(const char* storeInfPath, std::string& publishedPath) override;
  DWORD UninstallDriverPackage(const char* storeInfPath, bool& restartNeeded) override;
  DWORD InstallClass(const char* infPath) override;
  DWORD SetDeviceInstallParams(HDEVINFO set, SP_DEVINFO_DATA& element,
                               SP_DEVINSTALL_PARAMS_A& params) override;
  DWORD BuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA& element, DWORD driverType) override;
  DWORD GetInfClass(const char* infPath, GUID& classGuid, char* className, DWORD size) override;
  UniqueRegKey OpenClassRegKey(const GUID& classGuid, REGSAM access, DWORD& error) override;
  LONG OpenKey(HKEY parent, const char* name, REGSAM access, UniqueRegKey& key) override;
  LONG CreateKey(HKEY parent, const char* name, REGSAM access, UniqueRegKey& key) override;
  LONG SetValue(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) override;
  LONG FlushKey(HKEY key) override;
  DriverUpdateService LoadDriverUpdateService() override;
  DWORD UpdateDriver(const DriverUpdateService& service, const char* hardwareId,
                     const char* infPath, DWORD installFlags,
                     bool* restartNeeded = nullptr) override;
  void MakeNonInteractive() override;
  DWORD ReenumerateDevices() override;
  DWORD WaitForPendingInstallations(DWORD milliseconds) override;
  DWORD QueryDriverService(const char* name, DWORD& serviceType, std::string& binaryPath) override;
  DWORD StopDriverService(const char* name, DWORD milliseconds) override;
  DWORD DeleteDriverService(const char* name) override;

 protected:
  // 0 for a call that succeeded; else its last error, never 0 (a failure whose last error
  // reads 0 gets kFailureWithoutCode).
  static DWORD ErrorOf(BOOL ok);

 private:
  bool nonInteractive_ = false;
};

}  // namespace korva
