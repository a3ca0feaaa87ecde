#include "devsetup/device_setup.h"

namespace korva {

namespace {

DWORD ErrorOf(BOOL ok) { return ok ? 0 : GetLastError(); }

}  // namespace

UniqueDevInfo SetupApiDeviceSetup::GetClassDevs(const GUID* classGuid, DWORD flags) {
  return UniqueDevInfo(SetupDiGetClassDevsA(classGuid, nullptr, nullptr, flags));
}

DWORD SetupApiDeviceSetup::EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) {
  return ErrorOf(SetupDiEnumDeviceInfo(set, index, &element));
}

DWORD SetupApiDeviceSetup::GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element,
                                                     DWORD property, DWORD& type, BYTE* buffer,
                                                     DWORD size) {
  SP_DEVINFO_DATA copy = element;
  return ErrorOf(
      SetupDiGetDeviceRegistryPropertyA(set, &copy, property, &type, buffer, size, nullptr));
}

UniqueRegKey SetupApiDeviceSetup::OpenDevRegKey(HDEVINFO set, const SP_DEVINFO_DATA& element,
                                                DWORD keyType, REGSAM access) {
  SP_DEVINFO_DATA copy = element;
  return UniqueRegKey(SetupDiOpenDevRegKey(set, &copy, DICS_FLAG_GLOBAL, 0, keyType, access));
}

LONG SetupApiDeviceSetup::QueryValue(HKEY key, const char* name, DWORD& type, BYTE* buffer,
                                     DWORD& size) {
  return RegQueryValueExA(key, name, nullptr, &type, buffer, &size);
}

DWORD SetupApiDeviceSetup::CallClassInstaller(DI_FUNCTION function, HDEVINFO set,
                                              SP_DEVINFO_DATA& element) {
  return ErrorOf(SetupDiCallClassInstaller(function, set, &element));
}

}  // namespace korva
