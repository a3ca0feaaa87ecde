#include "common/guid_text.h"

#include <objbase.h>

#include "common/ansi_text.h"
#include "common/core/kit_identity.h"

namespace korva {

bool ParseGuidText(const std::string& text, GUID& guid) {
  std::wstring wide = WideFromAnsi(text);
  CLSID parsed;
  if (CLSIDFromString(wide.c_str(), &parsed) != S_OK) return false;
  guid = parsed;
  return true;
}

GUID KitClassGuid() {
  GUID guid{};
  ParseGuidText(kKitClassGuidText, guid);
  return guid;
}

}  // namespace korva
