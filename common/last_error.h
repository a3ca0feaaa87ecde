// The error code of a platform call that reported failure.
#pragma once

#include <windows.h>

namespace korva {

// What a failed call gives when the last-error value reads 0: a failure must never read as
// success (0), and this code says exactly what is known, that the cause was not reported.
constexpr DWORD kFailureWithoutCode = ERROR_UNIDENTIFIED_ERROR;

// A path that is a junction or a symbolic link where none may be
// (ERROR_REPARSE_POINT_ENCOUNTERED of later headers).
constexpr DWORD kErrorIsALink = 4395;

// The thread's last error, read right after a call that reported failure; never 0.
inline DWORD LastErrorOfFailure() {
  DWORD error = GetLastError();
  return error != 0 ? error : kFailureWithoutCode;
}

}  // namespace korva
