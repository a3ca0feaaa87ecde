// A file's or folder's identity: its volume and its file ID, which a rename keeps and another
// file of the same name does not have.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

namespace korva {

struct FileIdentity {
  ULONGLONG volume = 0;
  BYTE id[16] = {};
  bool known = false;  // false: not there, or could not be read
  bool operator==(const FileIdentity& other) const {
    return known && other.known && volume == other.volume &&
           std::memcmp(id, other.id, sizeof(id)) == 0;
  }
  bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// The identity of what `file` is open as: the 128-bit file ID where the platform has it (ReFS
// has no unique 64-bit index), else the 64-bit one.
FileIdentity FileIdentityOf(HANDLE file);

// The identity of the file or folder at `path`: of a link itself unless `followLinks`.
FileIdentity FileIdentityAt(const std::wstring& path, bool followLinks = false);

}  // namespace korva
