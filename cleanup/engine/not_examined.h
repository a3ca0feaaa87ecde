// What a scan could not read, for both lists.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

// An INF file or folder (its path), or the device instances of the class (what the path says
// then): the kit may be there, unseen.
struct NotExaminedRecord {
  std::string path;
  DWORD error = 0;
};

}  // namespace korva
