#include "install/engine/install_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include "common/last_error.h"
#include "common/unique_resource.h"

namespace korva {

namespace {

// The descriptor of kInstallFolderSecurity, freed with LocalFree.
struct OwnedDescriptor {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = 0;
  OwnedDescriptor() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
            kInstallFolderSecurity, SDDL_REVISION_1, &descriptor, nullptr)) {
      error = LastErrorOfFailure();
    }
  }
  ~OwnedDescriptor() {
    if (descriptor) LocalFree(descriptor);
  }
  OwnedDescriptor(const OwnedDescriptor&) = delete;
  OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
};

}  // namespace

const char kNoAccessListsWarning[] =
    "The file system keeps no access lists: every user who can write the kit folder can write "
    "the install folder too.";

bool InstallFolderSecurity::VolumeKeepsAccessLists(const std::string& folder) {
  char root[MAX_PATH + 1] = {};
  if (!GetVolumePathNameA(folder.c_str(), root, sizeof(root))) return true;
  DWORD flags = 0;
  if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return true;
  return (flags & FILE_PERSISTENT_ACLS) != 0;
}

DWORD InstallFolderSecurity::CreateFolder(const std::string& folder, bool protect) {
  if (!protect) return CreateDirectoryA(folder.c_str(), nullptr) ? 0 : LastErrorOfFailure();
  OwnedDescriptor security;
  if (security.error) return security.error;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.descriptor, FALSE};
  return CreateDirectoryA(folder.c_str(), &attributes) ? 0 : LastErrorOfFailure();
}

DWORD InstallFolderSecurity::Protect(HANDLE folder) {
  OwnedDescriptor security;
  if (security.error) return security.error;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  BOOL present = FALSE;
  if (!GetSecurityDescriptorOwner(security.descriptor, &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(security.descriptor, &present, &dacl, &defaulted)) {
    return LastErrorOfFailure();
  }
  // By the handle, not the name: the folder checked is the folder protected.
  return SetSecurityInfo(
      folder, SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
      owner, nullptr, dacl, nullptr);
}

InstallFolderOutcome PrepareInstallFolder(const std::string& folder,
                                          InstallFolderSecurity& security) {
  InstallFolderOutcome outcome;
  outcome.accessListsKept = security.VolumeKeepsAccessLists(folder);
  DWORD created = security.CreateFolder(folder, outcome.accessListsKept);
  if (created == 0) return outcome;  // new, and protected from the start
  if (created != ERROR_ALREADY_EXISTS) {
    outcome.error = created;
    return outcome;
  }

  // There already: it must be a plain folder, which becomes ours.
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    outcome.error = LastErrorOfFailure();
    return outcome;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    outcome.error = kInstallFolderIsALink;
    return outcome;
  }
  // A file of that name can't take the staged files: the user learns it now, not as a broken
  // kit at the install step.
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    outcome.error = ERROR_ALREADY_EXISTS;
    return outcome;
  }
  if (!outcome.accessListsKept) return outcome;
  UniqueHandle handle(
      CreateFileA(folder.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.Valid()) {
    outcome.error = LastErrorOfFailure();
    return outcome;
  }
  // What was opened may have been put there since the look above.
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle.Get(), &information)) {
    outcome.error = LastErrorOfFailure();
    return outcome;
  }
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    outcome.error = kInstallFolderIsALink;
  } else if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    outcome.error = ERROR_ALREADY_EXISTS;
  } else {
    outcome.error = security.Protect(handle.Get());
  }
  return outcome;
}

}  // namespace korva
