// Reading who owns an object and who may change it, and who this process trusts: the platform's
// part of common/core/object_trust.h.
#pragma once

#include <windows.h>

#include <string>

#include "common/core/object_trust.h"

namespace korva {

// The owner and access list of an object, as the platform gives them. A seam: Wine makes a
// file's access list from its Unix mode and keeps no other, so the tests give the descriptors
// that Windows gives its folders.
class SecurityReader {
 public:
  virtual ~SecurityReader() = default;
  // The file or folder open as `object` (with READ_CONTROL), opened by the name `path`. 0, or
  // the platform's code.
  virtual DWORD ReadFileSecurity(const std::wstring& path, HANDLE object, ObjectSecurity& security);
  // A kernel object (a mutex) open with READ_CONTROL.
  virtual DWORD ReadKernelObjectSecurity(HANDLE object, ObjectSecurity& security);
};

// The owner and access list held in a security descriptor. 0, or the platform's code.
DWORD ObjectSecurityFromDescriptor(PSECURITY_DESCRIPTOR descriptor, ObjectSecurity& security);

// The principals this process trusts besides the fixed ones: the user it runs as, and the
// Domain Admins group of the domain the machine is joined to (none in a workgroup).
TrustedPrincipals TrustedPrincipalsOfThisProcess();

// A principal's name as people read it ("BUILTIN\Users", "Everyone"), or its security
// identifier where the platform knows no name for it.
std::string PrincipalName(const std::string& sidText);

}  // namespace korva
