// Libraries of the system folder, loaded when first needed. A program that runs as
// administrator imports statically only the platform's KnownDLLs (which always come from the
// system folder) and the common controls (which its manifest names): any other library it
// imported would be looked for in the program's own folder first, where a user who can write
// that folder could put one of the same name.
#pragma once

#include <windows.h>

#include <string>

#include "common/system_folders.h"
#include "common/unique_resource.h"

namespace korva {

// A library of the system folder, by its full path (never by bare name, which would search the
// program's own folder first); its own imports are looked for in the system folder only. (A
// system without that search, Windows 7 before its update, refuses the flag: there they are
// looked for beside the library first.)
inline UniqueModule LoadSystemLibrary(const char* name) {
  const std::string folder = SystemFolder();
  if (folder.empty()) return UniqueModule();
  const std::string path = folder + "\\" + name;
  HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!library && GetLastError() == ERROR_INVALID_PARAMETER) {
    library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  return UniqueModule(library);
}

// A function of `library` (null when the library or the function is missing), as the type of
// the declaration it stands for: SystemExport<decltype(&CertOpenStore)>(crypt32, "CertOpenStore").
template <typename Function>
Function SystemExport(HMODULE library, const char* name) {
  if (!library) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

template <typename Function>
Function SystemExport(const UniqueModule& library, const char* name) {
  return SystemExport<Function>(library.Get(), name);
}

// From now on, a library loaded by name comes from the system folder only; the first thing a
// program does. (The platform's call is looked up at run time: Windows 7 without its update
// lacks it, and then the current folder at least leaves the search.)
inline void RestrictLibrarySearchToSystemFolder() {
  using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
  auto setDefault = SystemExport<SetDefaultDirectories>(GetModuleHandleW(L"kernel32.dll"),
                                                        "SetDefaultDllDirectories");
  if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

}  // namespace korva
