#include "install/core/driver_catalog.h"

#include <algorithm>
#include <cctype>

namespace korva {

namespace {

using der::Bytes;

constexpr char kOidSignedData[] = "1.2.840.113549.1.7.2";
constexpr char kOidContentType[] = "1.2.840.113549.1.9.3";
constexpr char kOidMessageDigest[] = "1.2.840.113549.1.9.4";
constexpr char kOidRsaEncryption[] = "1.2.840.113549.1.1.1";
constexpr char kOidSha1[] = "1.3.14.3.2.26";
constexpr char kOidSha256[] = "2.16.840.1.101.3.4.2.1";
// Certificate trust list; its catalog-list usage; member list version 1 (SHA-1 members).
constexpr char kOidTrustList[] = "1.3.6.1.4.1.311.10.1";
constexpr char kOidCatalogList[] = "1.3.6.1.4.1.311.12.1.1";
constexpr char kOidCatalogMemberListV1[] = "1.3.6.1.4.1.311.12.1.2";
constexpr char kOidCatalogNameValue[] = "1.3.6.1.4.1.311.12.2.1";
constexpr char kOidCatalogMemberInfo[] = "1.3.6.1.4.1.311.12.2.2";
constexpr char kOidIndirectData[] = "1.3.6.1.4.1.311.2.1.4";
constexpr char kOidPeImageData[] = "1.3.6.1.4.1.311.2.1.15";
constexpr char kOidFlatFileData[] = "1.3.6.1.4.1.311.2.1.25";
constexpr char kOidOpusInfo[] = "1.3.6.1.4.1.311.2.1.12";

// The subject interface packages that check a member: PE images, and every other file.
constexpr char kPeImageSubject[] = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}";
constexpr char kFlatFileSubject[] = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}";
constexpr int kMemberInfoVersion = 512;
// A name and value in ASCII, authenticated.
constexpr std::int64_t kNameValueFlags = 0x10010001;

// The link every indirect data of a catalog member carries in place of a file name.
Bytes ObsoleteFileLink() {
  return der::Explicit(2, der::ImplicitPrimitive(0, der::BmpString(u"<<<Obsolete>>>")));
}

Bytes NameValue(const std::string& name, const std::string& value) {
  return der::Sequence({der::BmpString(der::Utf16FromAscii(name)), der::Integer(kNameValueFlags),
                        der::OctetString(der::Utf16LeBytes(der::Utf16FromAscii(value), true))});
}

// An attribute of a member: its type and a set of one value.
Bytes MemberAttribute(const char* oid, const Bytes& value) {
  return der::Sequence({der::ObjectId(oid), der::SetOf({value})});
}

Bytes IndirectData(const CatalogMember& member) {
  Bytes data = member.peImage
                   ? der::Sequence({der::ObjectId(kOidPeImageData),
                                    der::Sequence({der::Element(der::kBitString, {0}),
                                                   der::Explicit(0, ObsoleteFileLink())})})
                   : der::Sequence({der::ObjectId(kOidFlatFileData), ObsoleteFileLink()});
  return der::Sequence(
      {data, der::Sequence({der::AlgorithmWithNull(kOidSha1), der::OctetString(member.sha1)})});
}

Bytes Member(const CatalogMember& member) {
  // The member's tag is the hash as upper-case hexadecimal UTF-16 text, NUL included: Windows
  // looks a file up by it.
  Bytes tag = der::Utf16LeBytes(der::Utf16FromAscii(der::HexText(member.sha1)), true);
  Bytes info = der::Sequence(
      {der::BmpString(der::Utf16FromAscii(member.peImage ? kPeImageSubject : kFlatFileSubject)),
       der::Integer(kMemberInfoVersion)});
  return der::Sequence(
      {der::OctetString(tag),
       der::SetOf({MemberAttribute(kOidCatalogNameValue, NameValue("File", member.fileName)),
                   MemberAttribute(kOidCatalogNameValue, NameValue("OSAttr", kCatalogOsAttribute)),
                   MemberAttribute(kOidCatalogMemberInfo, info),
                   MemberAttribute(kOidIndirectData, IndirectData(member))})});
}

// An attribute of the whole catalog, kept as an extension of the list.
Bytes CatalogAttribute(const std::string& name, const std::string& value) {
  return der::Sequence(
      {der::ObjectId(kOidCatalogNameValue), der::OctetString(NameValue(name, value))});
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

const char* DigestOid(DigestAlgorithm digest) {
  return digest == DigestAlgorithm::kSha256 ? kOidSha256 : kOidSha1;
}

}  // namespace

Bytes BuildCatalogTrustList(const CatalogContent& content) {
  // In ascending order of their tags, as the platform's own tools list them (whether a reader
  // looks a member up by a binary search is not documented).
  std::vector<CatalogMember> sorted = content.members;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const CatalogMember& a, const CatalogMember& b) {
                     return der::HexText(a.sha1) < der::HexText(b.sha1);
                   });
  std::vector<Bytes> members;
  for (const CatalogMember& member : sorted) members.push_back(Member(member));
  return der::Sequence({
      der::Sequence({der::ObjectId(kOidCatalogList)}),
      der::OctetString(content.listIdentifier),
      der::Time(content.made),
      der::AlgorithmWithNull(kOidCatalogMemberListV1),
      der::Sequence(members),
      der::Explicit(0, der::Sequence({CatalogAttribute("HWID1", LowerAscii(content.hardwareId)),
                                      CatalogAttribute("OS", kCatalogOsList)})),
  });
}

Bytes DigestedContentOf(const Bytes& trustList) {
  Bytes content;
  der::ContentOf(trustList, content);
  return content;
}

Bytes BuildSignedAttributes(const Bytes& contentDigest) {
  return der::SetOf({
      der::Sequence({der::ObjectId(kOidContentType), der::SetOf({der::ObjectId(kOidTrustList)})}),
      der::Sequence(
          {der::ObjectId(kOidMessageDigest), der::SetOf({der::OctetString(contentDigest)})}),
      // Empty (no program name, no link), as the platform's own catalog tool writes it.
      der::Sequence(
          {der::ObjectId(kOidOpusInfo), der::SetOf({der::Sequence(std::vector<Bytes>())})}),
  });
}

Bytes BuildSignedCatalog(const Bytes& trustList, const SignerCertificate& signer,
                         const Bytes& signedAttributes, const Bytes& signature,
                         DigestAlgorithm digest) {
  Bytes signerInfo = der::Sequence({
      der::Integer(1),
      der::Sequence({signer.issuerName, signer.serialNumber}),
      der::AlgorithmWithNull(DigestOid(digest)),
      der::ImplicitConstructed(0, signedAttributes),
      der::AlgorithmWithNull(kOidRsaEncryption),
      der::OctetString(signature),
  });
  Bytes signedData = der::Sequence({
      der::Integer(1),
      der::SetOf({der::AlgorithmWithNull(DigestOid(digest))}),
      der::Sequence({der::ObjectId(kOidTrustList), der::Explicit(0, trustList)}),
      der::ImplicitConstructed(0, der::SetOf({signer.encoded})),
      der::SetOf({signerInfo}),
  });
  return der::Sequence({der::ObjectId(kOidSignedData), der::Explicit(0, signedData)});
}

}  // namespace korva
