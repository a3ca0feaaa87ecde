#include "install/engine/usb_device_list.h"

#include <newdev.h>

#include <cstdio>
#include <cstring>

#include "common/ansi_text.h"
#include "devsetup/device_info.h"
#include "install/core/inf_template.h"

namespace korva {

namespace {

// Expandable strings are no text here, and a property longer than 1024 bytes is not read (a
// device whose hardware ID list is longer is not listed).
const StringPropertyRules kPropertyRules{/*expandableCounts=*/false, /*sizeLimit=*/1024};
constexpr DWORD kDriverValueBufferSize = 2048;
constexpr int kLineBufferSize = 2048;
constexpr DWORD kClassNameBufferSize = 512;

const char* const kDriverValueNames[] = {"ProviderName", "DriverDesc", "DriverDate"};

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_MULTI_SZ; }

// The text up to the buffer's first NUL, never beyond its end.
std::string FirstString(const BYTE* buffer, size_t size) {
  const char* text = reinterpret_cast<const char*>(buffer);
  return std::string(text, strnlen(text, size));
}

}  // namespace

int UsbDeviceList::Enumerate(bool presentOnly) {
  Clear();
  walkError = 0;
  DWORD flags = DIGCF_ALLCLASSES | (presentOnly ? DIGCF_PRESENT : 0);
  DWORD error = 0;
  UniqueDevInfo set = setup_.GetClassDevs(nullptr, flags, &error);
  if (!set.Valid()) return static_cast<int>(error);
  deviceInfoSet = std::move(set);
  // An element that can't be read is skipped.
  walkError = ForEachMember(setup_, deviceInfoSet.Get(), MemberFailure::kSkipsTheMember,
                            [this](DWORD index, const SP_DEVINFO_DATA& element) {
                              if (!IsListedUsbDevice(element)) return;
                              auto item = std::make_unique<UsbDeviceItem>();
                              item->memberIndex = static_cast<int>(index);
                              item->devInfoData = element;
                              items.push_back(std::move(item));
                            });
  return 0;
}

void UsbDeviceList::Clear() {
  items.clear();
  deviceInfoSet.Reset();
}

bool UsbDeviceList::IsListedUsbDevice(const SP_DEVINFO_DATA& element) {
  std::string hardwareId;
  if (GetDeviceProperty(element, SPDRP_HARDWAREID, hardwareId) != 0) return false;
  if (hardwareId.size() < 6) return false;
  if (hardwareId.compare(0, 4, "USB\\") != 0) return false;
  // Root hubs of every USB generation: USB\ROOT_HUB, USB\ROOT_HUB20, USB\ROOT_HUB30, ...
  return hardwareId.substr(0, 12) != "USB\\ROOT_HUB";
}

int UsbDeviceList::GetDeviceProperty(const SP_DEVINFO_DATA& element, DWORD property,
                                     std::string& text) {
  if (!deviceInfoSet.Valid()) return -1;
  return ReadStringProperty(setup_, deviceInfoSet.Get(), element, property, kPropertyRules, text);
}

int UsbDeviceList::GetHardwareIds(const SP_DEVINFO_DATA& element, std::vector<std::string>& ids) {
  ids.clear();
  if (!deviceInfoSet.Valid()) return -1;
  return ReadStringListProperty(setup_, deviceInfoSet.Get(), element, SPDRP_HARDWAREID,
                                kPropertyRules, ids);
}

int UsbDeviceList::PackageHardwareId(std::string& hardwareId) {
  if (!hardwareIdOverride_.empty()) {
    hardwareId = hardwareIdOverride_;
    return 0;
  }
  hardwareId.clear();
  UsbDeviceItem* item = GetSelectedItem();
  if (!item) return kNoDeviceSelected;
  return GetDeviceProperty(item->devInfoData, SPDRP_HARDWAREID, hardwareId);
}

int UsbDeviceList::GetInstanceId(const SP_DEVINFO_DATA& element, std::string& id) {
  if (!deviceInfoSet.Valid()) return -1;
  return static_cast<int>(setup_.GetDeviceInstanceId(deviceInfoSet.Get(), element, id));
}

UniqueRegKey UsbDeviceList::OpenDriverKey(const SP_DEVINFO_DATA& element) {
  if (!deviceInfoSet.Valid()) return UniqueRegKey();
  return setup_.OpenDevRegKey(deviceInfoSet.Get(), element, DIREG_DRV, KEY_READ);
}

int UsbDeviceList::GetDriverValue(HKEY driverKey, int selector, std::string& text) {
  if (selector < kProviderName || selector > kDriverDate) return 2;
  BYTE buffer[kDriverValueBufferSize] = {};
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  LONG status = setup_.QueryValue(driverKey, kDriverValueNames[selector], type, buffer, size);
  if (status != ERROR_SUCCESS) return static_cast<int>(status);
  if (!IsStringType(type)) return 1;
  text = FirstString(buffer, sizeof(buffer));
  return 0;
}

UsbDeviceItem* UsbDeviceList::GetSelectedItem() {
  if (selectedIndex < 0 || static_cast<size_t>(selectedIndex) >= items.size()) return nullptr;
  return items[static_cast<size_t>(selectedIndex)].get();
}

int UsbDeviceList::GenerateInf(const std::string& templatePath, const std::string& outputPath,
                               const std::string& driverName, std::string* written) {
  // Without a chosen device only a package for a given hardware ID (staged for devices to come).
  UsbDeviceItem* item = GetSelectedItem();
  if (!item && hardwareIdOverride_.empty()) return kNoDeviceSelected;
  UniqueFile input(std::fopen(templatePath.c_str(), "rt"));
  if (!input.Valid()) return kTemplateNotOpened;
  // Written in binary mode with the line ends made here: the bytes on disk are then exactly
  // the ones the catalog's hash is taken from.
  UniqueFile output(std::fopen(outputPath.c_str(), "wb"));
  if (!output.Valid()) return kOutputNotCreated;

  bool hasDriver = item && OpenDriverKey(item->devInfoData).Valid();
  TemplateValues values;
  int code = PackageHardwareId(values.hardwareId);
  if (code != 0) return code;
  // Device data must not write INF text of its own: an ID that can't stand as it is gets no
  // file, and the description is quoted.
  if (!IsUsableHardwareId(values.hardwareId)) return ERROR_INVALID_DATA;
  std::string current;
  if (hasDriver) GetDeviceProperty(item->devInfoData, SPDRP_DEVICEDESC, current);
  values.deviceDescription =
      InfQuotedText(BuildDeviceDescription(values.hardwareId, hasDriver, current, IsAnsiLeadByte));
  values.driverName = driverName;

  std::string bytes;
  auto write = [&](const std::string& text) {
    std::string converted = WithCrLfLineEnds(text);
    bytes += converted;
    return std::fwrite(converted.data(), 1, converted.size(), output.Get()) == converted.size();
  };
  const std::string marker = GeneratedLineMarker();
  write(GeneratedInfHeader());

  int result = kInfGenerated;
  char buffer[kLineBufferSize];
  for (;;) {
    if (!std::fgets(buffer, sizeof(buffer), input.Get())) {
      result = std::feof(input.Get()) ? kInfGenerated : kTemplateReadFailed;
      break;
    }
    std::string line(buffer);
    if (FillPlaceholders(line, values) > 0 && !write(marker)) {
      result = kOutputWriteFailed;
      break;
    }
    if (!write(line)) {
      result = kOutputWriteFailed;
      break;
    }
  }
  // The buffered rest reaches the disk only here; a file that could not be completed is not
  // reported as generated.
  if (std::fclose(output.Release()) != 0 && result == kInfGenerated) result = kOutputWriteFailed;
  if (written) *written = std::move(bytes);
  return result;
}

int UsbDeviceList::InstallDriver(const std::string& infPath, bool* restartNeeded,
                                 InstallRoad* road) {
  if (restartNeeded) *restartNeeded = false;
  if (road) *road = InstallRoad::kNone;
  if (!deviceInfoSet.Valid()) return kInstallNoDeviceSet;
  UsbDeviceItem* item = GetSelectedItem();
  if (!item) return kInstallNoSelection;
  bool restart = false;
  DriverUpdateService service = setup_.LoadDriverUpdateService();
  if (road)
    *road = service.Available() ? InstallRoad::kUpdateService : InstallRoad::kClassInstaller;
  int result = service.Available() ? InstallWithUpdateService(infPath, *item, service, restart)
                                   : InstallWithClassInstaller(infPath, *item, restart);
  if (restartNeeded) *restartNeeded = restart;
  return result;
}

int UsbDeviceList::InstallWithUpdateService(const std::string& infPath, UsbDeviceItem& item,
                                            const DriverUpdateService& service,
                                            bool& restartNeeded) {
  std::string hardwareId = hardwareIdOverride_;
  if (hardwareId.empty()) {
    int code = GetDeviceProperty(item.devInfoData, SPDRP_HARDWAREID, hardwareId);
    if (code != 0) return code;
  }
  if (hardwareId.empty()) return kInstallEmptyHardwareId;
  // The service installs for every present device with this hardware ID; restarting, if the
  // system asks for it, is left to the user, whom the finish page tells.
  return static_cast<int>(setup_.UpdateDriver(service, hardwareId.c_str(), infPath.c_str(),
                                              INSTALLFLAG_FORCE, &restartNeeded));
}

int UsbDeviceList::InstallWithClassInstaller(const std::string& infPath, UsbDeviceItem& item,
                                             bool& restartNeeded) {
  HDEVINFO set = deviceInfoSet.Get();
  if (DWORD error = setup_.InstallClass(infPath.c_str())) return static_cast<int>(error);

  // Only this one INF file is searched for drivers. The parameters are read first: flags the
  // class installer or the platform set before must not be lost.
  SP_DEVINSTALL_PARAMS_A params{};
  if (DWORD error = setup_.GetDeviceInstallParams(set, item.devInfoData, params)) {
    return static_cast<int>(error);
  }
  params.Flags |= DI_ENUMSINGLEINF | DI_NOBROWSE;
  std::strncpy(params.DriverPath, infPath.c_str(), sizeof(params.DriverPath) - 1);
  params.DriverPath[sizeof(params.DriverPath) - 1] = '\0';
  if (DWORD error = setup_.SetDeviceInstallParams(set, item.devInfoData, params)) {
    return static_cast<int>(error);
  }
  if (DWORD error = setup_.BuildDriverInfoList(set, item.devInfoData, SPDIT_COMPATDRIVER)) {
    return static_cast<int>(error);
  }
  if (DWORD error = setup_.CallClassInstaller(DIF_SELECTBESTCOMPATDRV, set, item.devInfoData)) {
    return static_cast<int>(error);
  }
  if (!OpenDriverKey(item.devInfoData).Valid()) {
    if (int code = CreateDriverKey(infPath, item)) return code;
  }
  if (DWORD error = setup_.CallClassInstaller(DIF_INSTALLINTERFACES, set, item.devInfoData)) {
    return static_cast<int>(error);
  }
  if (DWORD error = setup_.CallClassInstaller(DIF_INSTALLDEVICE, set, item.devInfoData)) {
    return static_cast<int>(error);
  }
  // The class installer notes a restart it needs in the install parameters; parameters that
  // can't be read ask for none.
  SP_DEVINSTALL_PARAMS_A after{};
  restartNeeded = setup_.GetDeviceInstallParams(set, item.devInfoData, after) == 0 &&
                  (after.Flags & (DI_NEEDREBOOT | DI_NEEDRESTART)) != 0;
  return 0;
}

int UsbDeviceList::CreateDriverKey(const std::string& infPath, UsbDeviceItem& item) {
  GUID classGuid{};
  char className[kClassNameBufferSize] = {};
  if (DWORD error = setup_.GetInfClass(infPath.c_str(), classGuid, className, sizeof(className))) {
    return static_cast<int>(error);
  }

  DWORD error = 0;
  UniqueRegKey classKey = setup_.OpenClassRegKey(classGuid, KEY_READ | KEY_WRITE, error);
  if (!classKey.Valid()) return static_cast<int>(error);

  int index = 0;
  char subkeyName[16];
  for (;; ++index) {
    if (index > kHighestDriverKeyIndex) return kInstallNoFreeDriverKey;
    std::snprintf(subkeyName, sizeof(subkeyName), "%04d", index);
    UniqueRegKey existing;
    LONG status = setup_.OpenKey(classKey.Get(), subkeyName, KEY_READ, existing);
    if (status == ERROR_FILE_NOT_FOUND) break;
    // A subkey that exists but can't be opened is another device's: creating it would open
    // that device's driver key.
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
  }

  UniqueRegKey driverKey;
  if (LONG status = setup_.CreateKey(classKey.Get(), subkeyName, KEY_READ | KEY_WRITE, driverKey)) {
    return static_cast<int>(status);
  }
  setup_.FlushKey(driverKey.Get());
  driverKey.Reset();
  setup_.FlushKey(classKey.Get());
  classKey.Reset();

  UniqueRegKey hardwareKey = setup_.OpenDevRegKey(deviceInfoSet.Get(), item.devInfoData, DIREG_DEV,
                                                  KEY_READ | KEY_WRITE, &error);
  if (!hardwareKey.Valid()) return static_cast<int>(error);
  char driver[kClassNameBufferSize];
  std::snprintf(driver, sizeof(driver), "%s\\%04d", className, index);
  if (LONG status = setup_.SetValue(hardwareKey.Get(), "Driver", REG_SZ,
                                    reinterpret_cast<const BYTE*>(driver),
                                    static_cast<DWORD>(std::strlen(driver) + 1))) {
    return static_cast<int>(status);
  }
  setup_.FlushKey(hardwareKey.Get());
  return 0;
}

}  // namespace korva
