#include "install/core/package_certificate.h"

namespace korva {

namespace {

using der::Bytes;

constexpr char kOidRsaEncryption[] = "1.2.840.113549.1.1.1";
constexpr char kOidSha1WithRsa[] = "1.2.840.113549.1.1.5";
constexpr char kOidSha256WithRsa[] = "1.2.840.113549.1.1.11";
constexpr char kOidBasicConstraints[] = "2.5.29.19";
constexpr char kOidKeyUsage[] = "2.5.29.15";
constexpr char kOidExtendedKeyUsage[] = "2.5.29.37";
constexpr char kOidCodeSigning[] = "1.3.6.1.5.5.7.3.3";

// PUBLICKEYBLOB: BLOBHEADER {bType, bVersion, reserved (2), aiKeyAlg (4)}, then RSAPUBKEY
// {magic (4), bitlen (4), pubexp (4)}, then the modulus.
constexpr size_t kBlobHeaderLength = 8;
constexpr size_t kKeyHeaderLength = 12;
constexpr std::uint8_t kPublicKeyBlob = 0x06;
constexpr std::uint32_t kRsa1Magic = 0x31415352;  // "RSA1"

std::uint32_t Little32(const Bytes& bytes, size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

const char* SignatureOid(DigestAlgorithm digest) {
  return digest == DigestAlgorithm::kSha256 ? kOidSha256WithRsa : kOidSha1WithRsa;
}

Bytes Extension(const char* oid, bool critical, const Bytes& value) {
  if (!critical) return der::Sequence({der::ObjectId(oid), der::OctetString(value)});
  return der::Sequence({der::ObjectId(oid), der::Boolean(true), der::OctetString(value)});
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

}  // namespace

bool RsaPublicKeyFromBlob(const Bytes& blob, RsaPublicKey& key) {
  if (blob.size() < kBlobHeaderLength + kKeyHeaderLength || blob[0] != kPublicKeyBlob) {
    return false;
  }
  if (Little32(blob, kBlobHeaderLength) != kRsa1Magic) return false;
  std::uint32_t bits = Little32(blob, kBlobHeaderLength + 4);
  std::uint32_t exponent = Little32(blob, kBlobHeaderLength + 8);
  size_t length = (static_cast<size_t>(bits) + 7) / 8;
  size_t start = kBlobHeaderLength + kKeyHeaderLength;
  if (bits == 0 || exponent == 0 || blob.size() - start < length) return false;
  key.modulus.assign(blob.rend() - static_cast<std::ptrdiff_t>(start + length),
                     blob.rend() - static_cast<std::ptrdiff_t>(start));
  key.exponent.clear();
  for (int shift = 24; shift >= 0; shift -= 8) {
    key.exponent.push_back(static_cast<std::uint8_t>((exponent >> shift) & 0xFF));
  }
  return true;
}

Bytes BuildCertificateToBeSigned(const CertificateFields& fields) {
  Bytes publicKey = der::Sequence(
      {der::UnsignedInteger(fields.key.modulus), der::UnsignedInteger(fields.key.exponent)});
  Bytes extensions = der::Sequence({
      // Not a certificate authority: cA FALSE is the default and is left out.
      Extension(kOidBasicConstraints, true, der::Sequence({})),
      // digitalSignature only: the first bit, seven unused.
      Extension(kOidKeyUsage, true, der::Element(der::kBitString, {0x07, 0x80})),
      Extension(kOidExtendedKeyUsage, false, der::Sequence({der::ObjectId(kOidCodeSigning)})),
  });
  return der::Sequence({
      der::Explicit(0, der::Integer(2)),  // version 3
      der::UnsignedInteger(fields.serialNumber),
      der::AlgorithmWithNull(SignatureOid(fields.digest)),
      fields.subject,
      der::Sequence({der::Time(fields.notBefore), der::Time(fields.notAfter)}),
      fields.subject,
      der::Sequence({der::AlgorithmWithNull(kOidRsaEncryption), der::BitString(publicKey)}),
      der::Explicit(3, extensions),
  });
}

Bytes BuildCertificate(const Bytes& toBeSigned, const Bytes& signature, DigestAlgorithm digest) {
  return der::Sequence(
      {toBeSigned, der::AlgorithmWithNull(SignatureOid(digest)), der::BitString(signature)});
}

SignerCertificate SignerOf(const Bytes& certificate, const CertificateFields& fields) {
  return {certificate, fields.subject, der::UnsignedInteger(fields.serialNumber)};
}

der::UtcTime YearsLater(const der::UtcTime& time, int years) {
  der::UtcTime later = time;
  later.year += years;
  if (later.month == 2 && later.day == 29 && !IsLeapYear(later.year)) later.day = 28;
  return later;
}

der::UtcTime DayEarlier(const der::UtcTime& time) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  der::UtcTime earlier = time;
  if (--earlier.day >= 1) return earlier;
  if (--earlier.month < 1) {
    earlier.month = 12;
    --earlier.year;
  }
  earlier.day = kDays[earlier.month - 1] + (earlier.month == 2 && IsLeapYear(earlier.year));
  return earlier;
}

void SetPackageValidity(const der::UtcTime& made, CertificateFields& fields) {
  fields.notBefore = DayEarlier(made);
  fields.notAfter = YearsLater(made, kPackageCertificateYears);
}

Bytes Reversed(const Bytes& bytes) { return Bytes(bytes.rbegin(), bytes.rend()); }

}  // namespace korva
