#include "common/guid_text.h"

#include <objbase.h>

#include <vector>

#include "common/core/kit_identity.h"

namespace korva {

bool ParseGuidText(const std::string& text, GUID& guid) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return false;
  std::vector<wchar_t> wide(static_cast<size_t>(length));
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  CLSID parsed;
  if (CLSIDFromString(wide.data(), &parsed) != S_OK) return false;
  guid = parsed;
  return true;
}

GUID KitClassGuid() {
  GUID guid{};
  ParseGuidText(kKitClassGuidText, guid);
  return guid;
}

}  // namespace korva
