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

namespace {

// Reads the property's bytes; 0, kPropertyNotAString or the platform's code.
int ReadStringPropertyBytes(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element,
                            DWORD property, const StringPropertyRules& rules,
                            std::vector<BYTE>& buffer) {
  DWORD size = std::min(kFirstReadSize, rules.sizeLimit);
  buffer.assign(size + kSpareZeros, 0);
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
  return isString ? 0 : kPropertyNotAString;
}

}  // namespace

int ReadStringProperty(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element,
                       DWORD property, const StringPropertyRules& rules, std::string& text) {
  text.clear();
  std::vector<BYTE> buffer;
  int code = ReadStringPropertyBytes(setup, set, element, property, rules, buffer);
  if (code != 0) return code;
  const char* first = reinterpret_cast<const char*>(buffer.data());
  text.assign(first, strnlen(first, buffer.size()));
  return 0;
}

int ReadStringListProperty(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element,
                           DWORD property, const StringPropertyRules& rules,
                           std::vector<std::string>& strings) {
  strings.clear();
  std::vector<BYTE> buffer;
  int code = ReadStringPropertyBytes(setup, set, element, property, rules, buffer);
  if (code != 0) return code;
  // The spare zeros at the end stop the walk at the list's end in any case.
  const char* at = reinterpret_cast<const char*>(buffer.data());
  const char* end = at + buffer.size();
  while (at < end && *at) {
    size_t length = strnlen(at, static_cast<size_t>(end - at));
    strings.emplace_back(at, length);
    at += length + 1;
  }
  return 0;
}

bool EndsTheWalk(DWORD error, MemberFailure onFailure) {
  return onFailure == MemberFailure::kEndsTheWalk || error == ERROR_NO_MORE_ITEMS ||
         error == kFailureWithoutCode;
}

}  // namespace korva
