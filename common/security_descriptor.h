// Security descriptors written in the platform's text form (SDDL), owned while they are used.
#pragma once

#include <windows.h>
#include <sddl.h>

#include "common/last_error.h"

namespace korva {

// A folder that administrators and the system alone can change or read: owner Administrators,
// full control for Administrators and SYSTEM, inherited by what is made inside, nothing
// inherited from the folder above (the install folder, a log folder the programs make).
constexpr char kAdministratorsOnlyFolder[] = "O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

class TextSecurityDescriptor {
 public:
  explicit TextSecurityDescriptor(const char* text) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &descriptor_,
                                                              nullptr)) {
      descriptor_ = nullptr;
      error_ = LastErrorOfFailure();
    }
    attributes_ = {sizeof(attributes_), descriptor_, FALSE};
  }
  ~TextSecurityDescriptor() {
    if (descriptor_) LocalFree(descriptor_);
  }
  TextSecurityDescriptor(const TextSecurityDescriptor&) = delete;
  TextSecurityDescriptor& operator=(const TextSecurityDescriptor&) = delete;

  PSECURITY_DESCRIPTOR Get() const { return descriptor_; }
  // 0, or why the text could not be read.
  DWORD Error() const { return error_; }
  // For a creating call: null where the text could not be read (the platform's default then).
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  DWORD error_ = 0;
  SECURITY_ATTRIBUTES attributes_{};
};

}  // namespace korva
