// The self-signed certificate of a driver package: the encoding of what the platform signs and
// of the finished certificate. It can sign code and nothing else: no certificate authority,
// key usage digital signature, extended key usage code signing. Platform-free.
#pragma once

#include <cstdint>

#include "common/core/der.h"
#include "install/core/driver_catalog.h"

namespace korva {

// How long a package's certificate is valid, from the moment it is made.
constexpr int kPackageCertificateYears = 10;

struct RsaPublicKey {
  der::Bytes modulus;   // big-endian
  der::Bytes exponent;  // big-endian
};

// Reads the platform's public key blob (PUBLICKEYBLOB of an RSA key: the blob header, the
// "RSA1" key header with the bit length and exponent, the modulus least significant byte
// first). False for anything else.
bool RsaPublicKeyFromBlob(const der::Bytes& blob, RsaPublicKey& key);

struct CertificateFields {
  der::Bytes serialNumber;  // big-endian, positive
  der::Bytes subject;       // a Name; the issuer is the same
  der::UtcTime notBefore;
  der::UtcTime notAfter;
  RsaPublicKey key;
  DigestAlgorithm digest = DigestAlgorithm::kSha256;
};

// The part of the certificate its signature covers (an X.509 version 3 TBSCertificate).
der::Bytes BuildCertificateToBeSigned(const CertificateFields& fields);
// The certificate, given that part and its signature (big-endian).
der::Bytes BuildCertificate(const der::Bytes& toBeSigned, const der::Bytes& signature,
                            DigestAlgorithm digest);
// What the catalog's signature names of its signer.
SignerCertificate SignerOf(const der::Bytes& certificate, const CertificateFields& fields);

// The same moment `years` later; 29 February becomes 28 February in a common year.
der::UtcTime YearsLater(const der::UtcTime& time, int years);

// The bytes in the other order: the platform gives signatures least significant byte first.
der::Bytes Reversed(const der::Bytes& bytes);

}  // namespace korva
