// The install folder, where the elevated program stages, generates and signs the package that
// the platform then installs as the system. It must be the administrators' alone: the kit
// folder it lies in may be writable by every user, and a file swapped there between our writing
// and the platform's reading would run as the system.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

// Owner Administrators; full control for Administrators and SYSTEM, inherited by what is made
// inside; nothing inherited from the kit folder above.
constexpr char kInstallFolderSecurity[] = "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
// An install folder that is a junction or a symbolic link: its files would be written wherever
// it points (ERROR_REPARSE_POINT_ENCOUNTERED of later headers).
constexpr DWORD kInstallFolderIsALink = 4395;

struct InstallFolderOutcome {
  DWORD error = 0;  // 0, or why the folder can't be used
  // False where the file system keeps no access lists (FAT): the folder is then as open as the
  // kit folder, and only the catalog's hashes guard the package.
  bool accessListsKept = true;
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
};

// Makes the install folder, or takes an existing one over. Refused: a file of that name
// (ERROR_ALREADY_EXISTS), a junction or symbolic link (kInstallFolderIsALink).
InstallFolderOutcome PrepareInstallFolder(const std::string& folder,
                                          InstallFolderSecurity& security);

// The log's words for a file system without access lists.
extern const char kNoAccessListsWarning[];

}  // namespace korva
