#include "common/file_identity.h"

#include "common/unique_resource.h"

namespace korva {

FileIdentity FileIdentityOf(HANDLE file) {
  FileIdentity identity;
  FILE_ID_INFO id{};
  if (GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof(id))) {
    identity.volume = id.VolumeSerialNumber;
    std::memcpy(identity.id, &id.FileId, sizeof(identity.id));
    identity.known = true;
    return identity;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file, &information)) return identity;
  identity.volume = information.dwVolumeSerialNumber;
  std::memcpy(identity.id, &information.nFileIndexLow, sizeof(DWORD));
  std::memcpy(identity.id + sizeof(DWORD), &information.nFileIndexHigh, sizeof(DWORD));
  identity.known = true;
  return identity;
}

FileIdentity FileIdentityAt(const std::wstring& path, bool followLinks) {
  UniqueHandle file(CreateFileW(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
  if (!file.Valid()) return FileIdentity();
  return FileIdentityOf(file.Get());
}

}  // namespace korva
