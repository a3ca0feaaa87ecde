// Checks the folders and files of the kit before a program that runs as administrator (or as
// the system) reads or starts them: only those who administer the machine may be able to
// change them (common/core/object_trust.h says who that is).
#pragma once

#include <windows.h>

#include <string>

#include "common/core/kit_refusals.h"
#include "common/core/object_trust.h"
#include "common/last_error.h"
#include "common/object_security.h"

namespace korva {

// A part of the kit that is a junction or a symbolic link where none may be.
constexpr DWORD kKitItemIsALink = kErrorIsALink;

// The problem of a folder or file that could not be checked: the platform's code, and its text
// unless another is given.
KitTrustProblem UncheckedKitItem(const std::string& path, bool folder, DWORD error,
                                 const std::string& errorText = std::string());

class KitTrust {
 public:
  // The principals of this process, and the platform's reading unless a test gives its own.
  KitTrust();
  explicit KitTrust(SecurityReader& reader);
  KitTrust(SecurityReader& reader, TrustedPrincipals principals);
  KitTrust(const KitTrust&) = delete;
  KitTrust& operator=(const KitTrust&) = delete;

  // Whether only trusted principals can change the folder or file at `path`; false with
  // `problem` (who else may, or why it could not be checked). One that is not there passes,
  // with `present` false: nothing of it is read. A link is judged by what it leads to, unless
  // `refuseLinks`: then a junction or symbolic link itself fails (kKitItemIsALink), for a
  // folder whose own name a user might point elsewhere between the check and the reading.
  bool Check(const std::string& path, bool folder, KitTrustProblem& problem,
             bool* present = nullptr, bool refuseLinks = false);
  // The same for a folder or file already open as `object` (with READ_CONTROL).
  bool CheckOpen(const std::string& path, HANDLE object, bool folder, KitTrustProblem& problem);

 private:
  SecurityReader ownReader_;
  SecurityReader& reader_;
  TrustedPrincipals principals_;
};

}  // namespace korva
