// The certificate the Installation Wizard makes for each driver package it signs, as both
// programs know it: its subject, by which the Cleanup Wizard finds it again and by which a
// new installation replaces the one it made before. Platform-free.
#pragma once

#include <string>
#include <vector>

#include "common/core/der.h"

namespace korva {

constexpr char kKitCertificateOrganization[] = "KORVA Development Kit";
// The common name is this, a blank and the hardware ID of the package.
constexpr char kKitCertificateNamePrefix[] = "KORVA driver package";

constexpr char kOidCommonName[] = "2.5.4.3";
constexpr char kOidOrganization[] = "2.5.4.10";
constexpr char kOidOrganizationalUnit[] = "2.5.4.11";

// The local machine's stores the certificate goes into: the first makes it a trusted root,
// the second lets Windows install a package it signed without asking.
constexpr const char* kKitCertificateStores[] = {"Root", "TrustedPublisher"};

// "KORVA driver package <hardware ID>".
std::string KitCertificateCommonName(const std::string& hardwareId);

// The subject of the package's certificate: CN, O and OU (the ident), each as a relative
// distinguished name of its own, in that order, as UTF8String.
der::Bytes KitCertificateSubject(const std::string& hardwareId, const std::string& ident);

// One attribute of a certificate's subject, as the platform decodes it.
struct NameAttribute {
  std::string oid;
  std::string value;
};

// Whether a subject is one the kit made for `ident`: an organisation attribute that is exactly
// the kit's, and an organisational unit whose whole value is the ident (letter case ignored,
// as the Cleanup Wizard's ident is upper case). A name of the kit in the common name alone, or
// the ident within a longer value, is not enough.
bool IsKitCertificateSubject(const std::vector<NameAttribute>& subject, const std::string& ident);
// And made for the package of this hardware ID (its common name, letter case of the ID
// ignored, as hardware IDs are compared).
bool IsKitCertificateSubjectFor(const std::vector<NameAttribute>& subject, const std::string& ident,
                                const std::string& hardwareId);

// The common name of a subject, "" when it has none.
std::string CommonNameOf(const std::vector<NameAttribute>& subject);

}  // namespace korva
