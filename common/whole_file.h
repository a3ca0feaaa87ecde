// Reading a whole file at once.
#pragma once

#include <windows.h>

#include <string>

#include "common/core/der.h"

namespace korva {

// The bytes of the file at `path`: 0, ERROR_FILE_TOO_LARGE when it holds more than `largest`
// bytes, or the platform's code. A file that turns out shorter than it said is an error too.
// `share`: what others may do with it meanwhile (by default read it, never write it).
DWORD ReadWholeFile(const std::wstring& path, der::Bytes& bytes, unsigned long long largest,
                    DWORD share = FILE_SHARE_READ);

}  // namespace korva
