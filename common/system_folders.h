// The system's own folders, without a trailing backslash; empty when the platform gives none.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

namespace detail {

inline std::string FolderOf(UINT(WINAPI* get)(LPSTR, UINT)) {
  char folder[MAX_PATH + 1] = {};
  UINT length = get(folder, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return std::string();
  std::string text(folder, length);
  while (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

}  // namespace detail

// System32 (the 64-bit one for a 64-bit program).
inline std::string SystemFolder() { return detail::FolderOf(GetSystemDirectoryA); }

// The Windows folder of the system: on a Remote Desktop session host GetWindowsDirectoryA gives
// a program that is not terminal-server aware a folder of the user's own.
inline std::string SystemWindowsFolder() { return detail::FolderOf(GetSystemWindowsDirectoryA); }

}  // namespace korva
