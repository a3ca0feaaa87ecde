#include "common/core/kit_certificate.h"

#include "common/core/text.h"

namespace korva {

namespace {

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
        EqualsIgnoreAsciiCase(attribute.value, ident)) {
      unit = true;
    }
  }
  return organization && unit;
}

bool IsKitCertificateSubjectFor(const std::vector<NameAttribute>& subject, const std::string& ident,
                                const std::string& hardwareId) {
  return IsKitCertificateSubject(subject, ident) &&
         EqualsIgnoreAsciiCase(CommonNameOf(subject), KitCertificateCommonName(hardwareId));
}

std::string CommonNameOf(const std::vector<NameAttribute>& subject) {
  for (const NameAttribute& attribute : subject) {
    if (attribute.oid == kOidCommonName) return attribute.value;
  }
  return "";
}

}  // namespace korva
