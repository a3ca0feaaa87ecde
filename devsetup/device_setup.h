// The one door of both programs to the device set-up services and the registry. The engines
// take it as an interface so that tests can inject the failures the platform cannot produce.
// Every operation returns 0 on success or the platform's error code; none touches the
// thread's last-error value for its caller to read.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include "devsetup/unique_resource.h"

namespace korva {

class DeviceSetup {
 public:
  virtual ~DeviceSetup() = default;

  // A device information set; an invalid owner when the platform gives none.
  virtual UniqueDevInfo GetClassDevs(const GUID* classGuid, DWORD flags) = 0;
  virtual DWORD EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) = 0;
  virtual DWORD GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element,
                                          DWORD property, DWORD& type, BYTE* buffer,
                                          DWORD size) = 0;
  // The hardware key (DIREG_DEV) or the driver key (DIREG_DRV); invalid when there is none.
  virtual UniqueRegKey OpenDevRegKey(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD keyType,
                                     REGSAM access) = 0;
  // RegQueryValueExA: the registry status.
  virtual LONG QueryValue(HKEY key, const char* name, DWORD& type, BYTE* buffer, DWORD& size) = 0;
  virtual DWORD CallClassInstaller(DI_FUNCTION function, HDEVINFO set,
                                   SP_DEVINFO_DATA& element) = 0;
};

// The real thing: SetupAPI and the registry.
class SetupApiDeviceSetup : public DeviceSetup {
 public:
  UniqueDevInfo GetClassDevs(const GUID* classGuid, DWORD flags) override;
  DWORD EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) override;
  DWORD GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD property,
                                  DWORD& type, BYTE* buffer, DWORD size) override;
  UniqueRegKey OpenDevRegKey(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD keyType,
                             REGSAM access) override;
  LONG QueryValue(HKEY key, const char* name, DWORD& type, BYTE* buffer, DWORD& size) override;
  DWORD CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA& element) override;
};

}  // namespace korva
