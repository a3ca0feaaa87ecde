// The real device set-up services with failures the platform cannot be made to produce.
#pragma once

#include "devsetup/device_setup.h"

namespace korva::testing {

class FaultInjectingDeviceSetup : public SetupApiDeviceSetup {
 public:
  static constexpr DWORD kNever = ~0u;

  DWORD enumerationFailsAt = kNever;  // SetupDiEnumDeviceInfo fails from this index on
  DWORD enumerationError = ERROR_INVALID_DATA;
  DWORD removeError = 0;          // DIF_REMOVE fails with this code when not 0
  DWORD binaryProperty = kNever;  // this SPDRP_ property reads as REG_BINARY
  bool classListFails = false;    // SetupDiGetClassDevsA gives no set
  int removeCalls = 0;
  DWORD lastClassDevsFlags = kNever;
  GUID lastClassGuid{};

  UniqueDevInfo GetClassDevs(const GUID* classGuid, DWORD flags) override {
    lastClassDevsFlags = flags;
    if (classGuid) lastClassGuid = *classGuid;
    if (classListFails) return UniqueDevInfo();
    return SetupApiDeviceSetup::GetClassDevs(classGuid, flags);
  }
  DWORD EnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA& element) override {
    if (index >= enumerationFailsAt) return enumerationError;
    return SetupApiDeviceSetup::EnumDeviceInfo(set, index, element);
  }
  DWORD GetDeviceRegistryProperty(HDEVINFO set, const SP_DEVINFO_DATA& element, DWORD property,
                                  DWORD& type, BYTE* buffer, DWORD size) override {
    DWORD error =
        SetupApiDeviceSetup::GetDeviceRegistryProperty(set, element, property, type, buffer, size);
    if (error == 0 && property == binaryProperty) type = REG_BINARY;
    return error;
  }
  DWORD CallClassInstaller(DI_FUNCTION function, HDEVINFO set, SP_DEVINFO_DATA& element) override {
    if (function == DIF_REMOVE) {
      ++removeCalls;
      if (removeError != 0) return removeError;
    }
    return SetupApiDeviceSetup::CallClassInstaller(function, set, element);
  }
};

}  // namespace korva::testing
