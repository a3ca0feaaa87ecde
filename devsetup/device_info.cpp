#include "devsetup/device_info.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/last_error.h"

namespace korva {

namespace {

// Most properties fit at the first try; the rest are read again at the size asked for.
constexpr DWORD kFirstReadSize = 2048;
// Zeros behind what the platform may fill, so that a text stored without its terminator
// still ends inside the buffer.
constexpr DWORD kSpareZeros = 2;

bool IsShortBuffer(DWORD error) {
  return error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_MORE_DATA;
}

// The registry value buffer: 2000 bytes, of which 1999 are offered, so a zero always ends the
// text.
constexpr DWORD kValueBufferSize = 2000;

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

}  // namespace

int ReadRegistryString(DeviceSetup& setup, HKEY key, const char* valueName, std::string& text) {
  text.clear();
  BYTE buffer[kValueBufferSize] = {};
  DWORD type = 0;
  DWORD size = kValueBufferSize - 1;
  // A value too long for the buffer reports its type but not its text: read it as missing.
  LONG status = setup.QueryValue(key, valueName, type, buffer, size);
  if (status != ERROR_SUCCESS || !IsStringType(type)) return 1;
  text = reinterpret_cast<const char*>(buffer);
  return 0;
}

int ReadStringProperty(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element,
                       DWORD property, const StringPropertyRules& rules, std::string& text) {
  text.clear();
  DWORD size = std::min(kFirstReadSize, rules.sizeLimit);
  std::vector<BYTE> buffer(size + kSpareZeros, 0);
  DWORD type = 0;
  DWORD required = 0;
  DWORD error =
      setup.GetDeviceRegistryProperty(set, element, property, type, buffer.data(), size, &required);
  if (IsShortBuffer(error) && required > size && required <= rules.sizeLimit) {
    size = required;
    buffer.assign(size + kSpareZeros, 0);
    error =
        setup.GetDeviceRegistryProperty(set, element, property, type, buffer.data(), size, nullptr);
  }
  if (error != 0) return static_cast<int>(error);
  bool isString =
      type == REG_SZ || type == REG_MULTI_SZ || (rules.expandableCounts && type == REG_EXPAND_SZ);
  if (!isString) return kPropertyNotAString;
  const char* first = reinterpret_cast<const char*>(buffer.data());
  text.assign(first, strnlen(first, buffer.size()));
  return 0;
}

bool EndsTheWalk(DWORD error, MemberFailure onFailure) {
  return onFailure == MemberFailure::kEndsTheWalk || error == ERROR_NO_MORE_ITEMS ||
         error == kFailureWithoutCode;
}

}  // namespace korva
