#include "common/kit_trust.h"

#include <utility>

#include "common/ansi_text.h"
#include "common/last_error.h"
#include "common/run_log.h"
#include "common/unique_resource.h"

namespace korva {

KitTrustProblem UncheckedKitItem(const std::string& path, bool folder, DWORD error,
                                 const std::string& errorText) {
  KitTrustProblem problem;
  problem.path = path;
  problem.folder = folder;
  problem.error = error;
  problem.errorText = errorText.empty() ? SystemErrorText(error) : errorText;
  return problem;
}

KitTrust::KitTrust() : reader_(ownReader_), principals_(TrustedPrincipalsOfThisProcess()) {}

KitTrust::KitTrust(SecurityReader& reader)
    : reader_(reader), principals_(TrustedPrincipalsOfThisProcess()) {}

KitTrust::KitTrust(SecurityReader& reader, TrustedPrincipals principals)
    : reader_(reader), principals_(std::move(principals)) {}

bool KitTrust::Check(const std::string& path, bool folder, KitTrustProblem& problem, bool* present,
                     bool refuseLinks) {
  if (present) *present = true;
  // A drive alone ("C:", a program at a drive's root) names the drive's current folder to the
  // platform, not its root.
  const std::string opened = path.size() == 2 && path[1] == ':' ? path + "\\" : path;
  // What a link points to is what is read, so links are followed (unless refused).
  const std::wstring widePath = WideFromAnsi(opened);
  UniqueHandle object(CreateFileW(
      widePath.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | (refuseLinks ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr));
  if (!object.Valid()) {
    DWORD error = LastErrorOfFailure();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      if (present) *present = false;
      return true;
    }
    problem = UncheckedKitItem(opened, folder, error);
    return false;
  }
  if (refuseLinks) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(object.Get(), &information) &&
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      problem =
          UncheckedKitItem(opened, folder, kKitItemIsALink, "It is a junction or a symbolic link.");
      return false;
    }
  }
  return CheckOpen(opened, object.Get(), folder, problem);
}

bool KitTrust::CheckOpen(const std::string& path, HANDLE object, bool folder,
                         KitTrustProblem& problem) {
  ObjectSecurity security;
  if (DWORD error = reader_.ReadFileSecurity(WideFromAnsi(path), object, security)) {
    problem = UncheckedKitItem(path, folder, error);
    return false;
  }
  problem = KitTrustProblem();
  problem.path = path;
  problem.folder = folder;
  TrustVerdict verdict = JudgeObjectSecurity(security, principals_);
  if (verdict.trusted) return true;
  problem.principal = PrincipalName(verdict.principal);
  problem.rights = verdict.isOwner ? "its owner" : ChangingRightsText(verdict.rights);
  return false;
}

}  // namespace korva
