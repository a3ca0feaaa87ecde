// Deleting a file whatever its attributes: read-only, hidden and system are cleared first, so
// that such files go too.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

// 0, or the platform's code of the failed deletion.
DWORD DeleteFileWithNormalAttributes(const std::string& path);
DWORD DeleteFileWithNormalAttributes(const std::wstring& path);

// The same for a file that may not be there: false, with nothing deleted, when it is not
// there; else true, with `error` as above.
bool DeleteFileIfPresent(const std::string& path, DWORD& error);
bool DeleteFileIfPresent(const std::wstring& path, DWORD& error);

}  // namespace korva
