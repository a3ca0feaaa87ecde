#include "common/core/kit_certificate.h"

#include "common/core/text.h"

namespace korva {

namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

der::Bytes Rdn(const char* oid, const std::string& value) {
  return der::SetOf({der::Sequence({der::ObjectId(oid), der::Utf8String(value)})});
}

}  // namespace

std::string KitCertificateCommonName(const std::string& hardwareId) {
  return std::string(kKitCertificateNamePrefix) + " " + hardwareId;
}

der::Bytes KitCertificateSubject(const std::string& hardwareId, const std::string& ident) {
  return der::Sequence({Rdn(kOidCommonName, KitCertificateCommonName(hardwareId)),
                        Rdn(kOidOrganization, kKitCertificateOrganization),
                        Rdn(kOidOrganizationalUnit, ident)});
}

bool IsKitCertificateSubject(const std::vector<NameAttribute>& subject, const std::string& ident) {
  bool organization = false;
  bool unit = false;
  for (const NameAttribute& attribute : subject) {
    if (attribute.oid == kOidOrganization && attribute.value == kKitCertificateOrganization) {
      organization = true;
    }
    if (attribute.oid == kOidOrganizationalUnit && !ident.empty() &&
        EqualsIgnoringAsciiCase(attribute.value, ident)) {
      unit = true;
    }
  }
  return organization && unit;
}

bool IsKitCertificateSubjectFor(const std::vector<NameAttribute>& subject, const std::string& ident,
                                const std::string& hardwareId) {
  return IsKitCertificateSubject(subject, ident) &&
         EqualsIgnoringAsciiCase(CommonNameOf(subject), KitCertificateCommonName(hardwareId));
}

std::string CommonNameOf(const std::vector<NameAttribute>& subject) {
  for (const NameAttribute& attribute : subject) {
    if (attribute.oid == kOidCommonName) return attribute.value;
  }
  return "";
}

}  // namespace korva
