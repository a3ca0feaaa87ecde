// The self-signed certificate of a driver package: the encoding of what the platform signs and
// of the finished certificate. It can sign code and nothing else: no certificate authority,
// key usage digital signature, extended key usage code signing. Platform-free.
#pragma once

#include <cstdint>

#include "common/core/der.h"
#include "install/core/driver_catalog.h"

namespace korva {

// How long a package's certificate is valid. The catalog carries no time stamp, so its signature
// is checked against the certificate's validity at every check: the validity starts a day before
// the certificate is made, so that a clock set back a little (a time sync after the
// installation, another system of a dual-boot machine) does not make the package fail; and it
// ends five years after, long enough for a development machine's life with the device, short
// enough that a certificate left in the stores by a forgotten package ages out.
constexpr int kPackageCertificateYears = 5;

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
// The same moment a day earlier.
der::UtcTime DayEarlier(const der::UtcTime& time);
// The validity of a package's certificate made at `made` (see kPackageCertificateYears).
void SetPackageValidity(const der::UtcTime& made, CertificateFields& fields);

// The bytes in the other order: the platform gives signatures least significant byte first.
der::Bytes Reversed(const der::Bytes& bytes);

}  // namespace korva
