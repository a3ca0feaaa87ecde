// The install folder, where the elevated program stages, generates and signs the package that
// the platform then installs as the system. It must be the administrators' alone: a file
// swapped there between our writing and the platform's reading would run as the system. So a
// folder that others can change is not taken over but replaced (a user who made it may still
// hold it open with the rights they had), and the folder is held open from start-up on so that
// nobody can rename or delete it, and its path is confirmed to lead to it again before each
// part of the install step.
#pragma once

#include <windows.h>

#include <string>

#include "common/core/kit_refusals.h"
#include "common/file_identity.h"
#include "common/kit_trust.h"
#include "common/last_error.h"
#include "common/security_descriptor.h"
#include "common/unique_resource.h"

namespace korva {

// Owner Administrators; full control for Administrators and SYSTEM, inherited by what is made
// inside; nothing inherited from the kit folder above.
constexpr const char* kInstallFolderSecurity = kAdministratorsOnlyFolder;
// An install folder that is a junction or a symbolic link: its files would be written wherever
// it points.
constexpr DWORD kInstallFolderIsALink = kErrorIsALink;
// The install folder's path no longer leads to the folder prepared at start-up: something was
// renamed, or put in its place.
constexpr DWORD kInstallFolderChanged = ERROR_FILE_INVALID;

struct InstallFolderOutcome {
  DWORD error = 0;  // 0, or why the folder can't be used
  // False where the file system keeps no access lists (FAT): the folder is then as open as the
  // kit folder, and only the catalog's hashes guard the package.
  bool accessListsKept = true;
  // An existing folder that others could change was moved to this name and replaced by a new
  // one; `replacedBecause` says who could change it.
  std::string replacedTo;
  KitTrustProblem replacedBecause;
};

// The platform's part, a seam for the cases Wine cannot show: Wine keeps no access list a
// program sets, and has no file system without them.
class InstallFolderSecurity {
 public:
  virtual ~InstallFolderSecurity() = default;
  virtual bool VolumeKeepsAccessLists(const std::string& folder);
  // Creates the folder with kInstallFolderSecurity, or plainly: 0, or the platform's code
  // (ERROR_ALREADY_EXISTS for any existing name).
  virtual DWORD CreateFolder(const std::string& folder, bool protect);
  // Gives an existing folder, open as `folder`, kInstallFolderSecurity.
  virtual DWORD Protect(HANDLE folder);
  // Moves an existing folder that others can change out of the way.
  virtual DWORD MoveAside(const std::string& folder, const std::string& to);
};

class InstallFolder {
 public:
  InstallFolder() = default;
  InstallFolder(const InstallFolder&) = delete;
  InstallFolder& operator=(const InstallFolder&) = delete;

  // Makes the install folder, or takes an existing one over when only trusted principals can
  // change it; else moves it aside (to "install.replaced", "install.replaced2", ...) and makes
  // a new one. Refused: a file of that name (ERROR_ALREADY_EXISTS), a junction or symbolic link
  // (kInstallFolderIsALink). The folder is held from now on.
  InstallFolderOutcome Prepare(const std::string& path, InstallFolderSecurity& security,
                               KitTrust& trust);

  // 0 when the path still leads to the folder prepared, as a plain folder; kInstallFolderChanged
  // when it does not (or was never prepared).
  DWORD Confirm() const;

  const std::string& Path() const { return path_; }

 private:
  // Opens `path` as the folder to hold: never through a link, nobody may delete or rename it
  // while it is open. 0, or why it is not a plain folder.
  DWORD Hold(const std::string& path);

  std::string path_;
  UniqueHandle handle_;
  FileIdentity identity_;
};

// The log's words for a file system without access lists.
extern const char kNoAccessListsWarning[];

}  // namespace korva
