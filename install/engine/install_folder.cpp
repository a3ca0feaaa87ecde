#include "install/engine/install_folder.h"

#include <aclapi.h>

#include <utility>

#include "common/ansi_text.h"
#include "common/last_error.h"
#include "common/run_log.h"
#include "common/security_descriptor.h"
#include "common/unique_resource.h"

namespace korva {

namespace {

// How many earlier folders moved aside may stand beside the install folder.
constexpr int kMostReplacedFolders = 99;

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
  TextSecurityDescriptor security(kInstallFolderSecurity);
  if (security.Error()) return security.Error();
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), security.Get(), FALSE};
  return CreateDirectoryA(folder.c_str(), &attributes) ? 0 : LastErrorOfFailure();
}

DWORD InstallFolderSecurity::Protect(HANDLE folder) {
  TextSecurityDescriptor security(kInstallFolderSecurity);
  if (security.Error()) return security.Error();
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  BOOL present = FALSE;
  if (!GetSecurityDescriptorOwner(security.Get(), &owner, &defaulted) ||
      !GetSecurityDescriptorDacl(security.Get(), &present, &dacl, &defaulted)) {
    return LastErrorOfFailure();
  }
  // By the handle, not the name: the folder checked is the folder protected.
  return SetSecurityInfo(
      folder, SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
      owner, nullptr, dacl, nullptr);
}

DWORD InstallFolderSecurity::MoveAside(const std::string& folder, const std::string& to) {
  return MoveFileExA(folder.c_str(), to.c_str(), 0) ? 0 : LastErrorOfFailure();
}

DWORD InstallFolder::Hold(const std::string& path) {
  handle_.Reset();
  // No sharing of deletion: while it is held, nobody can rename the folder or delete it. A link
  // in its place is opened itself, never followed.
  UniqueHandle handle(CreateFileW(
      WideFromAnsi(path).c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!handle.Valid()) return LastErrorOfFailure();
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle.Get(), &information)) return LastErrorOfFailure();
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return kInstallFolderIsALink;
  // A file of that name can't take the staged files: the user learns it now, not as a broken
  // kit at the install step.
  if (!(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_ALREADY_EXISTS;
  handle_ = std::move(handle);
  identity_ = FileIdentityOf(handle_.Get());
  if (!identity_.known) {
    DWORD error = LastErrorOfFailure();
    handle_.Reset();
    return error;
  }
  return 0;
}

InstallFolderOutcome InstallFolder::Prepare(const std::string& path,
                                            InstallFolderSecurity& security, KitTrust& trust) {
  path_ = path;
  handle_.Reset();
  InstallFolderOutcome outcome;
  outcome.accessListsKept = security.VolumeKeepsAccessLists(path);
  DWORD created = security.CreateFolder(path, outcome.accessListsKept);
  if (created == 0) {
    // New, and protected from the start.
    outcome.error = Hold(path);
    return outcome;
  }
  if (created != ERROR_ALREADY_EXISTS) {
    outcome.error = created;
    return outcome;
  }

  // There already: a link or a file is refused; a folder is ours only when nobody else could
  // change it, since whoever could may hold it open with those rights still.
  DWORD attributes = GetFileAttributesW(WideFromAnsi(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    outcome.error = LastErrorOfFailure();
    return outcome;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    outcome.error = kInstallFolderIsALink;
    return outcome;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    outcome.error = ERROR_ALREADY_EXISTS;
    return outcome;
  }
  if (!outcome.accessListsKept) {
    outcome.error = Hold(path);
    return outcome;
  }
  DWORD held = Hold(path);
  if (held == kInstallFolderIsALink || held == ERROR_ALREADY_EXISTS) {
    outcome.error = held;
    return outcome;
  }
  KitTrustProblem problem;
  if (held == 0 && trust.CheckOpen(path, handle_.Get(), true, problem)) {
    outcome.error = security.Protect(handle_.Get());
    if (outcome.error != 0) handle_.Reset();
    return outcome;
  }
  // Not even open to an administrator (or held by another with the right to delete it): not
  // ours either.
  if (held != 0) problem = UncheckedKitItem(path, true, held);
  handle_.Reset();

  // Out of the way under a free name, its contents kept; then a new folder, protected from
  // the start, so that it is never open to others for a moment.
  DWORD moved = ERROR_ALREADY_EXISTS;
  for (int n = 1; n <= kMostReplacedFolders && moved != 0; ++n) {
    std::string to = path + ".replaced" + (n == 1 ? std::string() : std::to_string(n));
    moved = security.MoveAside(path, to);
    if (moved == 0) outcome.replacedTo = to;
    if (moved != ERROR_ALREADY_EXISTS && moved != ERROR_FILE_EXISTS) break;
  }
  if (moved != 0) {
    outcome.error = moved;
    return outcome;
  }
  outcome.replacedBecause = problem;
  created = security.CreateFolder(path, true);
  outcome.error = created != 0 ? created : Hold(path);
  return outcome;
}

DWORD InstallFolder::Confirm() const {
  if (!handle_.Valid()) return kInstallFolderChanged;
  UniqueHandle now(CreateFileW(WideFromAnsi(path_).c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!now.Valid() || !GetFileInformationByHandle(now.Get(), &information)) {
    return kInstallFolderChanged;
  }
  bool same = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
              (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
              FileIdentityOf(now.Get()) == identity_;
  return same ? 0 : kInstallFolderChanged;
}

}  // namespace korva
