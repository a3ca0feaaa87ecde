// The Wine test bed: seeds and inspects the device database through SetupAPI, so that the
// tests and the demo have USB devices to find. Every call returns 0 or a Win32 error code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace korva::testbed {

struct DeviceSeed {
  std::string instanceId;  // e.g. USB\VID_0547&PID_1002\5&1234&0&1
  GUID classGuid{};
  std::vector<std::string> hardwareIds;
  std::string description;
  std::string manufacturer;
  std::string location;
  std::string service;  // the driver service the instance names
};

struct DeviceSummary {
  std::string instanceId;
  std::string classGuid;   // braced text
  std::string hardwareId;  // first string
  std::string description;
  std::string identValue;  // CleanupWizard_DeviceIdentString of the hardware key, as text
  std::string infPath;     // InfPath of the driver key
};

std::string GuidText(const GUID& guid);

// Registers a device instance with its properties and an (empty) hardware key.
DWORD AddDevice(const DeviceSeed& seed);
// Puts a value of any type into the instance's hardware key.
DWORD SetHardwareValue(const std::string& instanceId, const std::string& name, DWORD type,
                       const std::vector<BYTE>& data);
// Gives the instance a driver key (if it has none) holding InfPath, or any value.
DWORD SetDriverInfPath(const std::string& instanceId, const std::string& infPath);
DWORD SetDriverValue(const std::string& instanceId, const std::string& name, DWORD type,
                     const std::vector<BYTE>& data);
DWORD SetHardwareIds(const std::string& instanceId, const std::vector<std::string>& hardwareIds);
// A value of the hardware key (DIREG_DEV) or the driver key (DIREG_DRV) as text ("dword:N" for
// numbers); empty when it or its key is missing.
std::string ReadDeviceValue(const std::string& instanceId, DWORD keyType, const std::string& name);
bool HasDriverKey(const std::string& instanceId);
DWORD RemoveDevice(const std::string& instanceId);
bool DeviceExists(const std::string& instanceId);
// Every instance the database knows, or those of one class.
std::vector<DeviceSummary> ListDevices(const GUID* classGuid);

// Value data helpers.
std::vector<BYTE> StringData(const std::string& text);
std::vector<BYTE> MultiStringData(const std::vector<std::string>& strings);
std::vector<BYTE> DwordData(DWORD value);

}  // namespace korva::testbed
