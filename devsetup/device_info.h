// What every reader of a device information set shares: walking its members, and reading one
// of a member's registry properties as text.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <string>
#include <vector>

#include "common/core/own_codes.h"
#include "devsetup/device_setup.h"

namespace korva {

// The largest string property read. A list of hardware IDs takes a few hundred bytes; the
// bound keeps one odd device from making the program take any amount of memory.
constexpr DWORD kStringPropertyLimit = 64 * 1024;

// The answer of ReadStringProperty for a value that is there but is no string.
constexpr int kPropertyNotAString = OwnCode(OwnCodeGroup::kDeviceProperty, 1);

struct StringPropertyRules {
  // Whether REG_EXPAND_SZ counts as a string (REG_SZ and REG_MULTI_SZ always do). It is
  // read as stored, not expanded.
  bool expandableCounts = true;
  // A property longer than this (bytes) is not read: the platform's short-buffer code.
  DWORD sizeLimit = kStringPropertyLimit;
};

// Reads a device registry property as text, at the size the platform asks for up to the
// rules' limit; of a multi-string only the first string. Returns 0, kPropertyNotAString, or
// the platform's code; `text` is emptied first and filled only on 0.
int ReadStringProperty(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element,
                       DWORD property, const StringPropertyRules& rules, std::string& text);

// The same for every string of a multi-string (one for a plain string).
int ReadStringListProperty(DeviceSetup& setup, HDEVINFO set, const SP_DEVINFO_DATA& element,
                           DWORD property, const StringPropertyRules& rules,
                           std::vector<std::string>& strings);

// Reads a registry value of a device's key as text, the one rule of both the cleanup and the
// demo program: REG_SZ, REG_EXPAND_SZ (not expanded) and REG_MULTI_SZ (its first string) are
// text, up to 1999 bytes; a value that is missing, longer or of another type is not (status 1,
// `text` empty). Returns 0 when `text` was read.
int ReadRegistryString(DeviceSetup& setup, HKEY key, const char* valueName, std::string& text);

// What a failed SetupDiEnumDeviceInfo means to a walk. ERROR_NO_MORE_ITEMS always ends it,
// and so does a failure without a code, which could otherwise repeat at every index.
enum class MemberFailure {
  kEndsTheWalk,     // any failure ends the walk
  kSkipsTheMember,  // other failures skip that one member
};

// A walk that skips failed members ends after this many failures in a row: a failure that
// repeats at every index (a set the platform no longer takes, say) would otherwise never end.
constexpr DWORD kFailedMembersInARowLimit = 256;

bool EndsTheWalk(DWORD error, MemberFailure onFailure);

// Calls visit(index, element) for each member of `set` that can be read, from index 0 on.
// Returns 0 when the walk reached the end of the set, else the error that ended it early.
template <typename Visit>
DWORD ForEachMember(DeviceSetup& setup, HDEVINFO set, MemberFailure onFailure, Visit&& visit) {
  DWORD failedInARow = 0;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA element{};
    element.cbSize = sizeof(element);
    DWORD error = setup.EnumDeviceInfo(set, index, element);
    if (error == 0) {
      failedInARow = 0;
      visit(index, element);
    } else if (EndsTheWalk(error, onFailure) || ++failedInARow >= kFailedMembersInARowLimit) {
      return error == ERROR_NO_MORE_ITEMS ? 0 : error;
    }
  }
}

// Calls visit(set, element) for every device instance of the system, of every class, connected
// or not. Returns 0 when the listing reached its end, else the error that stopped it (a device
// that could not be seen may be any).
template <typename Visit>
DWORD ForEachDeviceOfTheSystem(DeviceSetup& setup, Visit&& visit) {
  DWORD error = 0;
  UniqueDevInfo set = setup.GetClassDevs(nullptr, DIGCF_ALLCLASSES, &error);
  if (!set.Valid()) return error != 0 ? error : ERROR_GEN_FAILURE;
  return ForEachMember(setup, set.Get(), MemberFailure::kEndsTheWalk,
                       [&](DWORD, const SP_DEVINFO_DATA& element) { visit(set.Get(), element); });
}

}  // namespace korva
