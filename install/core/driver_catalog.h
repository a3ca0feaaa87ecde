// The catalog of a driver package (korvawiz.cat): the list of the hashes of its files, signed,
// in the form every Windows from 7 to 11 reads. Only the encoding is here; hashing and signing
// are the platform's. Platform-free.
//
// A catalog is PKCS #7 signed data (RFC 2315) whose content is a certificate trust list of the
// catalog-list kind, with SHA-1 member hashes (member list version 1). Each member carries its
// file name, the systems it is for, whether it is a PE image or a flat file, and the hash.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/core/der.h"

namespace korva {

constexpr char kCatalogFileName[] = "korvawiz.cat";
constexpr char kCertificateFileName[] = "korvawiz.cer";
constexpr size_t kSha1Length = 20;

// The systems the members are for: Windows 7 (6.1) to 11 (10.0).
constexpr char kCatalogOsAttribute[] = "2:6.1,2:6.2,2:6.3,2:10.0";
constexpr char kCatalogOsList[] = "7X86,7X64,8X86,8X64,_v63,_v63_X64,_v100,_v100_X64";

enum class DigestAlgorithm { kSha1, kSha256 };

struct CatalogMember {
  std::string fileName;  // its name in the package, ASCII
  bool peImage = false;  // the hash is the Authenticode image hash, else the file's plain hash
  der::Bytes sha1;       // kSha1Length bytes
};

struct CatalogContent {
  der::Bytes listIdentifier;  // 16 bytes that tell this catalog from others
  der::UtcTime made;
  std::string hardwareId;
  std::vector<CatalogMember> members;
};

// The certificate trust list: the signed content of the catalog; its members in ascending order
// of their tags.
der::Bytes BuildCatalogTrustList(const CatalogContent& content);

// What the message digest of the signature covers: the content's encoding without its tag and
// length (PKCS #7 1.5, which Windows follows for catalogs).
der::Bytes DigestedContentOf(const der::Bytes& trustList);

// The authenticated attributes (content type, message digest, an empty SpcSpOpusInfo) as the
// signature covers them: a SET OF, tag 0x31. In the signed data they stand with the tag [0]
// instead.
der::Bytes BuildSignedAttributes(const der::Bytes& contentDigest);

// What identifies the signer: the certificate, its issuer's name and its serial number, each
// as a whole DER element.
struct SignerCertificate {
  der::Bytes encoded;
  der::Bytes issuerName;
  der::Bytes serialNumber;
};

// The whole catalog file: the signed data around the trust list, with the signer's certificate
// and its signature (big-endian, PKCS #1 1.5) over `signedAttributes`.
der::Bytes BuildSignedCatalog(const der::Bytes& trustList, const SignerCertificate& signer,
                              const der::Bytes& signedAttributes, const der::Bytes& signature,
                              DigestAlgorithm digest);

}  // namespace korva
