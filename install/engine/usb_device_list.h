// The connected USB devices (root hubs left out), the user's choice among them, and the two
// operations on the chosen device: generating its INF file and installing the driver.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <memory>
#include <string>
#include <vector>

#include "common/core/own_codes.h"
#include "devsetup/device_setup.h"

namespace korva {

struct UsbDeviceItem {
  int memberIndex = 0;
  SP_DEVINFO_DATA devInfoData{};
};

// Selects a value of a device's driver key.
enum DriverValue { kProviderName = 0, kDriverDesc = 1, kDriverDate = 2 };

// Results of GenerateInf besides the device property codes; shown as 1 to 4 and 10.
enum InfGenResult {
  kInfGenerated = 0,
  kTemplateNotOpened = OwnCode(OwnCodeGroup::kInfGeneration, 1),
  kOutputNotCreated = OwnCode(OwnCodeGroup::kInfGeneration, 2),
  kTemplateReadFailed = OwnCode(OwnCodeGroup::kInfGeneration, 3),
  kOutputWriteFailed = OwnCode(OwnCodeGroup::kInfGeneration, 4),
  kNoDeviceSelected = OwnCode(OwnCodeGroup::kInfGeneration, 10),
};

// Results of InstallDriver besides the platform's codes.
constexpr int kInstallNoDeviceSet = -1;
constexpr int kInstallNoSelection = -2;
constexpr int kInstallEmptyHardwareId = -3;
// The driver update service, asked for every device with the ID at once, answered success but
// left this one without the kit's driver (another driver ranked better for it, say).
constexpr int kInstallLeftOut = -4;
// The class key has every subkey from 0000 to 9998, so no driver key can be made.
constexpr int kInstallNoFreeDriverKey = ERROR_NO_MORE_ITEMS;

constexpr int kHighestDriverKeyIndex = 9998;

// Which way a driver was installed.
enum class InstallRoad { kNone, kUpdateService, kClassInstaller };

class UsbDeviceList {
 public:
  explicit UsbDeviceList(DeviceSetup& setup) : setup_(setup) {}
  ~UsbDeviceList() { Clear(); }
  UsbDeviceList(const UsbDeviceList&) = delete;
  UsbDeviceList& operator=(const UsbDeviceList&) = delete;

  // Rebuilds the list from a fresh device information set: 0, or the platform's code.
  int Enumerate(bool presentOnly);
  // Why the last Enumerate's walk over the set ended before the set's end (0 when it reached
  // it): the list then holds only the devices before that point.
  DWORD WalkError() const { return walkError; }
  // Frees the items and the set; the selection stays.
  void Clear();
  // An unattended run: the platform's set-up calls fail rather than show a window.
  void MakeNonInteractive() { setup_.MakeNonInteractive(); }
  DeviceSetup& Setup() { return setup_; }
  bool IsListedUsbDevice(const SP_DEVINFO_DATA& element);
  // 0; 1 when the property is no string; -1 without a set; otherwise the platform's code.
  int GetDeviceProperty(const SP_DEVINFO_DATA& element, DWORD property, std::string& text);
  // Every hardware ID of the device: 0, 1 when the property is no string, -1 without a set,
  // otherwise the platform's code.
  int GetHardwareIds(const SP_DEVINFO_DATA& element, std::vector<std::string>& ids);
  // The device's instance ID: 0, -1 without a set, otherwise the platform's code.
  int GetInstanceId(const SP_DEVINFO_DATA& element, std::string& id);
  // The driver key for reading; invalid when the device has none (no driver installed).
  UniqueRegKey OpenDriverKey(const SP_DEVINFO_DATA& element);
  // 0; 1 when the value is no string; 2 for an unknown selector; otherwise the registry's
  // status. `text` is changed only on success.
  int GetDriverValue(HKEY driverKey, int selector, std::string& text);
  UsbDeviceItem* GetSelectedItem();

  // Fills the template for the chosen device; an InfGenResult, the hardware ID's read code, or
  // ERROR_INVALID_DATA for a hardware ID that can't go into an INF file. `written`, when given,
  // receives exactly the bytes written to the file (line ends as CR LF), so that the package's
  // catalog is made from them and never from what the file may hold by then.
  int GenerateInf(const std::string& templatePath, const std::string& outputPath,
                  const std::string& driverName, std::string* written = nullptr);
  // The hardware ID the INF file names and the driver update service installs for, in place of
  // the chosen device's first one (as the user gave it to -hwid, so that the package covers
  // every device of that ID); empty for the chosen device's own.
  void UseHardwareId(const std::string& hardwareId) { hardwareIdOverride_ = hardwareId; }
  // The hardware ID the package is made for: the one given, or the chosen device's first.
  int PackageHardwareId(std::string& hardwareId);
  // Installs `infPath` for the chosen device: 0, a negative code of ours or the platform's.
  // `restartNeeded`, when given, tells whether Windows needs a restart to complete a successful
  // installation; `road`, when given, which way was taken (kNone when none was).
  int InstallDriver(const std::string& infPath, bool* restartNeeded = nullptr,
                    InstallRoad* road = nullptr);
  int InstallWithUpdateService(const std::string& infPath, UsbDeviceItem& item,
                               const DriverUpdateService& service, bool& restartNeeded);
  int InstallWithClassInstaller(const std::string& infPath, UsbDeviceItem& item,
                                bool& restartNeeded);

  const std::vector<std::unique_ptr<UsbDeviceItem>>& Items() const { return items; }
  HDEVINFO DeviceInfoSet() const { return deviceInfoSet.Get(); }

  // The index into Items() of the device the user chose, -1 for none. Set by the device
  // selection page only; neither Clear nor Enumerate resets it.
  int SelectedIndex() const { return selectedIndex; }
  void SetSelectedIndex(int index) { selectedIndex = index; }

 private:
  // Creates a driver key below the class key and points the hardware key's "Driver" value
  // at it, for a device the class installer gave none.
  int CreateDriverKey(const std::string& infPath, UsbDeviceItem& item);

  DeviceSetup& setup_;
  UniqueDevInfo deviceInfoSet;
  std::vector<std::unique_ptr<UsbDeviceItem>> items;
  int selectedIndex = -1;
  DWORD walkError = 0;
  std::string hardwareIdOverride_;
};

}  // namespace korva
