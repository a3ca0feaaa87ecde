// The catalog and certificate encodings checked by readers we did not write: OpenSSL parses
// them and osslsigncode verifies the signature and finds the members, as Windows would. The
// platform's part (hashing and signing) is played by OpenSSL here.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>

#include "common/core/kit_certificate.h"
#include "common/core/kit_identity.h"
#include "install/core/catalog_signing.h"
#include "install/core/driver_catalog.h"
#include "install/core/package_certificate.h"
#include "install/core/pe_image_hash.h"

namespace korva {
namespace {

using der::Bytes;

struct CommandResult {
  int status = -1;
  std::string output;
};

CommandResult Shell(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.output.append(buffer, got);
  int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

der::UtcTime Now() {
  time_t now = time(nullptr);
  struct tm parts;
  gmtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

const char* DigestName(DigestAlgorithm digest) {
  return digest == DigestAlgorithm::kSha256 ? "-sha256" : "-sha1";
}

// A folder of its own for each test, with an RSA key made by OpenSSL standing in for the
// platform's ephemeral one.
class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/korva-catalog.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(Shell("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out " +
                    Path("key.pem"))
                  .status,
              0);
    CommandResult modulus = Shell("openssl rsa -in " + Path("key.pem") + " -noout -modulus");
    ASSERT_EQ(modulus.status, 0);
    std::string hex = modulus.output.substr(modulus.output.find('=') + 1);
    key_.modulus = FromHex(hex.substr(0, hex.find_first_of("\r\n")));
    key_.exponent = {0x01, 0x00, 0x01};
  }
  void TearDown() override { Shell("rm -rf " + dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  std::uint32_t Hash(const Bytes& data, DigestAlgorithm digest, Bytes& out) {
    WriteBytes(Path("data.bin"), data);
    if (Shell(std::string("openssl dgst ") + DigestName(digest) + " -binary -out " +
              Path("digest.bin") + " " + Path("data.bin"))
            .status != 0) {
      return 1;
    }
    out = ReadBytes(Path("digest.bin"));
    return 0;
  }

  SigningSteps Steps() {
    SigningSteps steps;
    steps.hash = [this](const Bytes& data, DigestAlgorithm digest, Bytes& out) {
      return Hash(data, digest, out);
    };
    steps.sign = [this](const Bytes& data, DigestAlgorithm digest, Bytes& out) -> std::uint32_t {
      WriteBytes(Path("tbs.bin"), data);
      if (Shell(std::string("openssl dgst ") + DigestName(digest) + " -sign " + Path("key.pem") +
                " -out " + Path("signature.bin") + " " + Path("tbs.bin"))
              .status != 0) {
        return 2;
      }
      out = ReadBytes(Path("signature.bin"));
      return 0;
    };
    return steps;
  }

  // The member hash as the product takes it: the image hash for a PE image, else the plain one.
  CatalogMember MemberOf(const std::string& name, const Bytes& file) {
    CatalogMember member;
    member.fileName = name;
    ImageHashPlan plan = PlanImageHash(file.data(), file.size());
    EXPECT_NE(plan.kind, ImageKind::kMalformed);
    Bytes hashed = file;
    if (plan.kind == ImageKind::kPeImage) {
      member.peImage = true;
      hashed.clear();
      for (const ByteRange& range : plan.ranges) {
        hashed.insert(hashed.end(), file.begin() + static_cast<std::ptrdiff_t>(range.offset),
                      file.begin() + static_cast<std::ptrdiff_t>(range.offset + range.length));
      }
      hashed.insert(hashed.end(), plan.zeroPadding, 0);
    }
    EXPECT_EQ(Hash(hashed, DigestAlgorithm::kSha1, member.sha1), 0u);
    return member;
  }

  // Signs a catalog of the INF file and the image as the install step does and writes
  // korvawiz.cat, korvawiz.cer and the certificate as PEM for the verifiers.
  void MakeCatalog(const Bytes& inf, const Bytes& image, DigestAlgorithm digest) {
    CatalogContent content;
    content.listIdentifier = Bytes(16, 0x42);
    content.made = Now();
    content.hardwareId = "USB\\VID_0547&PID_1002";
    content.members = {MemberOf("korvawiz.inf", inf), MemberOf("korva.sys", image)};
    CertificateFields fields;
    fields.serialNumber = {0x81, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
    fields.subject = KitCertificateSubject(content.hardwareId, kKitIdent);
    SetPackageValidity(content.made, fields);
    fields.key = key_;
    fields.digest = digest;
    SignedCatalog signedCatalog;
    ASSERT_EQ(SignCatalog(content, fields, Steps(), signedCatalog), 0u);
    WriteBytes(Path("korvawiz.cat"), signedCatalog.catalog);
    WriteBytes(Path("korvawiz.cer"), signedCatalog.certificate);
    ASSERT_EQ(Shell("openssl x509 -inform DER -in " + Path("korvawiz.cer") + " -out " +
                    Path("korvawiz.pem"))
                  .status,
              0);
  }

  CommandResult VerifyCatalog(const std::string& pem = "korvawiz.pem") {
    return Shell("osslsigncode verify -in " + Path("korvawiz.cat") + " -CAfile " + Path(pem));
  }
  CommandResult VerifyMember(const std::string& file) {
    return Shell("osslsigncode verify -in " + file + " -catalog " + Path("korvawiz.cat") +
                 " -CAfile " + Path("korvawiz.pem"));
  }

  std::string dir_;
  RsaPublicKey key_;
};

const Bytes kInf = {';', ' ', 'K', 'O', 'R', 'V', 'A', '\r', '\n'};

TEST_F(CatalogTest, OsslsigncodeVerifiesTheCatalogAndFindsThePeMember) {
  Bytes image = ReadBytes(KORVA_TINY_IMAGE);
  ASSERT_GT(image.size(), 512u);
  for (DigestAlgorithm digest : {DigestAlgorithm::kSha256, DigestAlgorithm::kSha1}) {
    MakeCatalog(kInf, image, digest);
    CommandResult catalog = VerifyCatalog();
    EXPECT_EQ(catalog.status, 0) << catalog.output;
    EXPECT_NE(catalog.output.find("Succeeded"), std::string::npos) << catalog.output;
    CommandResult member = VerifyMember(KORVA_TINY_IMAGE);
    EXPECT_EQ(member.status, 0) << member.output;

    // A changed image is no member any more.
    Bytes changed = image;
    changed[changed.size() - 100] ^= 0x01;
    WriteBytes(Path("changed.dll"), changed);
    EXPECT_NE(VerifyMember(Path("changed.dll")).status, 0);
  }
}

TEST_F(CatalogTest, ACatalogDoesNotVerifyForAnotherCertificateOrAfterAChange) {
  MakeCatalog(kInf, ReadBytes(KORVA_TINY_IMAGE), DigestAlgorithm::kSha256);
  ASSERT_EQ(VerifyCatalog().status, 0);
  ASSERT_EQ(Shell("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj '/CN=Other/O=" +
                  std::string(kKitCertificateOrganization) + "' -keyout " + Path("other.key") +
                  " -out " + Path("other.pem"))
                .status,
            0);
  EXPECT_NE(VerifyCatalog("other.pem").status, 0);
  // One byte of the signed content changed: the message digest no longer holds.
  Bytes catalog = ReadBytes(Path("korvawiz.cat"));
  Bytes name = der::Utf16LeBytes(der::Utf16FromAscii(kCatalogOsList), false);
  auto found = std::search(catalog.begin(), catalog.end(), name.begin(), name.end());
  ASSERT_NE(found, catalog.end());
  *found = 'X';
  WriteBytes(Path("korvawiz.cat"), catalog);
  EXPECT_NE(VerifyCatalog().status, 0);
}

TEST_F(CatalogTest, TheCertificateSignsCodeOnlyAndNamesThePackage) {
  MakeCatalog(kInf, ReadBytes(KORVA_TINY_IMAGE), DigestAlgorithm::kSha256);
  CommandResult text =
      Shell("openssl x509 -in " + Path("korvawiz.pem") + " -noout -text -nameopt RFC2253");
  ASSERT_EQ(text.status, 0) << text.output;
  for (const char* expected :
       {"Version: 3", "Signature Algorithm: sha256WithRSAEncryption", "Public-Key: (2048 bit)",
        "CA:FALSE", "Digital Signature", "Code Signing",
        "OU={DAB6A146-D93E-48ab-B3E5-374AB8FFF277},O=KORVA Development Kit,CN=KORVA driver "
        "package USB\\\\VID_0547&PID_1002"}) {
    EXPECT_NE(text.output.find(expected), std::string::npos) << expected << "\n" << text.output;
  }
  std::string notAfter = std::to_string(Now().year + kPackageCertificateYears) + " GMT";
  size_t after = text.output.find("Not After");
  ASSERT_NE(after, std::string::npos);
  EXPECT_EQ(text.output.substr(text.output.find('\n', after) - notAfter.size(), notAfter.size()),
            notAfter);
  // Valid from a day before it was made: a clock set back a little still finds it valid.
  CommandResult yesterday = Shell("openssl x509 -in " + Path("korvawiz.pem") +
                                  " -noout -checkend 0 >/dev/null && date -u -d yesterday +'%b %e'");
  ASSERT_EQ(yesterday.status, 0) << yesterday.output;
  size_t before = text.output.find("Not Before: ");
  ASSERT_NE(before, std::string::npos);
  EXPECT_EQ(text.output.substr(before + 12, 6), yesterday.output.substr(0, 6)) << text.output;
  for (const char* absent : {"Certificate Sign", "CRL Sign", "CA:TRUE", "Server Authentication"}) {
    EXPECT_EQ(text.output.find(absent), std::string::npos) << absent;
  }
  // Self-signed: its own signature verifies.
  CommandResult verify = Shell("openssl verify -check_ss_sig -CAfile " + Path("korvawiz.pem") +
                               " " + Path("korvawiz.pem"));
  EXPECT_EQ(verify.status, 0) << verify.output;
  // The catalog's own structure as OpenSSL reads it: signed data around a trust list.
  CommandResult print =
      Shell("openssl pkcs7 -inform DER -in " + Path("korvawiz.cat") + " -print -noout");
  EXPECT_EQ(print.status, 0) << print.output;
  CommandResult parse = Shell("openssl asn1parse -inform DER -in " + Path("korvawiz.cat"));
  ASSERT_EQ(parse.status, 0) << parse.output;
  for (const char* oid :
       {"1.3.6.1.4.1.311.10.1", "1.3.6.1.4.1.311.12.1.1", "1.3.6.1.4.1.311.12.1.2",
        "1.3.6.1.4.1.311.2.1.15", "1.3.6.1.4.1.311.2.1.25", "messageDigest"}) {
    EXPECT_NE(parse.output.find(oid), std::string::npos) << oid;
  }
  // The empty SpcSpOpusInfo among the signed attributes, as the platform's catalog tool writes
  // it: its identifier, then a set holding an empty sequence.
  size_t opus = parse.output.find("1.3.6.1.4.1.311.2.1.12");
  ASSERT_NE(opus, std::string::npos) << parse.output;
  std::vector<std::string> next;
  for (size_t at = parse.output.find('\n', opus); next.size() < 2 && at != std::string::npos;
       at = parse.output.find('\n', at + 1)) {
    next.push_back(parse.output.substr(at + 1, parse.output.find('\n', at + 1) - at - 1));
  }
  ASSERT_EQ(next.size(), 2u);
  EXPECT_NE(next[0].find("hl=2 l=   2 cons: SET"), std::string::npos) << next[0];
  EXPECT_NE(next[1].find("hl=2 l=   0 cons: SEQUENCE"), std::string::npos) << next[1];
}

// The members stand in ascending order of their tags, as the platform's tools list them,
// whatever order they were given in; read back by OpenSSL's DER parser.
TEST_F(CatalogTest, TheMembersStandInAscendingOrderOfTheirTags) {
  CatalogContent content;
  content.listIdentifier = Bytes(16, 0x42);
  content.made = Now();
  content.hardwareId = "USB\\VID_0547&PID_1002";
  for (std::uint8_t first : {0xF0, 0x80, 0x3C, 0x01}) {
    CatalogMember member;
    member.fileName = "file" + std::to_string(first);
    member.sha1 = Bytes(kSha1Length, 0x5A);
    member.sha1[0] = first;
    content.members.push_back(member);
  }
  WriteBytes(Path("list.der"), BuildCatalogTrustList(content));
  CommandResult parse = Shell("openssl asn1parse -inform DER -in " + Path("list.der"));
  ASSERT_EQ(parse.status, 0) << parse.output;
  // Each tag is an octet string of 41 UTF-16 characters: the hexadecimal text and a NUL.
  std::vector<std::string> tags;
  const std::string mark = "l=  82 prim: OCTET STRING      [HEX DUMP]:";
  for (size_t at = parse.output.find(mark); at != std::string::npos;
       at = parse.output.find(mark, at + 1)) {
    std::string hex = parse.output.substr(at + mark.size(), 164);
    std::string text;
    for (size_t i = 0; i + 4 <= hex.size(); i += 4) {
      text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    tags.push_back(text);
  }
  ASSERT_EQ(tags.size(), 4u) << parse.output;
  EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
  EXPECT_EQ(tags.front().substr(0, 2), "01");
  EXPECT_EQ(tags.back().substr(0, 2), "F0");
}

TEST_F(CatalogTest, TheFlatMemberIsThePlainHashOfTheFileAsSha1sumGivesIt) {
  Bytes placeholder = {'k', 'o', 'r', 'v', 'a', '\n'};
  WriteBytes(Path("korva.sys"), placeholder);
  CatalogMember member = MemberOf("korva.sys", placeholder);
  EXPECT_FALSE(member.peImage);
  CommandResult sum = Shell("sha1sum " + Path("korva.sys"));
  ASSERT_EQ(sum.status, 0);
  EXPECT_EQ(der::HexText(member.sha1), [&] {
    std::string hex = sum.output.substr(0, 40);
    for (char& c : hex) c = static_cast<char>(toupper(c));
    return hex;
  }());
  // And it stands in the catalog as its tag, the upper-case hexadecimal text in UTF-16.
  MakeCatalog(kInf, placeholder, DigestAlgorithm::kSha256);
  Bytes catalog = ReadBytes(Path("korvawiz.cat"));
  Bytes tag = der::Utf16LeBytes(der::Utf16FromAscii(der::HexText(member.sha1)), true);
  EXPECT_NE(std::search(catalog.begin(), catalog.end(), tag.begin(), tag.end()), catalog.end());
}

TEST_F(CatalogTest, TheImageHashOfAnUnsignedImageIsTheOneItKeepsWhenSigned) {
  // An image whose length is no multiple of eight: it is padded when signed, and its image hash
  // must be the same before and after, as Windows finds the member by it either way.
  Bytes image = ReadBytes(KORVA_TINY_IMAGE);
  image.insert(image.end(), {1, 2, 3});
  WriteBytes(Path("odd.dll"), image);
  MakeCatalog(kInf, image, DigestAlgorithm::kSha256);
  EXPECT_EQ(VerifyMember(Path("odd.dll")).status, 0);
  ASSERT_EQ(Shell("osslsigncode sign -certs " + Path("korvawiz.pem") + " -key " + Path("key.pem") +
                  " -in " + Path("odd.dll") + " -out " + Path("signed.dll"))
                .status,
            0);
  Bytes signedImage = ReadBytes(Path("signed.dll"));
  ImageHashPlan plan = PlanImageHash(signedImage.data(), signedImage.size());
  ASSERT_EQ(plan.kind, ImageKind::kPeImage);
  EXPECT_EQ(plan.zeroPadding, 0u);
  EXPECT_EQ(der::HexText(MemberOf("korva.sys", signedImage).sha1),
            der::HexText(MemberOf("korva.sys", image).sha1));
  EXPECT_EQ(VerifyMember(Path("signed.dll")).status, 0);
}

// Offsets in the small DLL's headers, found from its own fields.
struct ImageLayout {
  size_t peHeader;
  size_t optional;
  size_t certificateEntry;
};

ImageLayout LayoutOf(const Bytes& image) {
  size_t pe = image[0x3C] | image[0x3D] << 8;
  size_t optional = pe + 24;
  bool plus = image[optional] == 0x0B && image[optional + 1] == 0x02;
  return {pe, optional, optional + (plus ? 112 : 96) + 32};
}

void Put32(Bytes& image, size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST(ImageHashPlanTest, OnlyAWellFormedImageGetsAnImageHashAndRangesNeverLeaveTheFile) {
  Bytes image = ReadBytes(KORVA_TINY_IMAGE);
  ImageLayout layout = LayoutOf(image);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> change;
    ImageKind kind;
  } cases[] = {
      {"the image as linked", [](Bytes&) {}, ImageKind::kPeImage},
      {"text that begins with MZ",
       [](Bytes& b) {
         b = {'M', 'Z', 'x'};
       },
       ImageKind::kFlatFile},
      {"MZ without a PE header", [&](Bytes& b) { b[layout.peHeader] = 'X'; }, ImageKind::kFlatFile},
      {"PE header beyond the end", [](Bytes& b) { Put32(b, 0x3C, 0x7FFFFFF0); },
       ImageKind::kFlatFile},
      {"cut inside the optional header", [&](Bytes& b) { b.resize(layout.optional + 40); },
       ImageKind::kMalformed},
      {"unknown optional header", [&](Bytes& b) { b[layout.optional] = 0x07; },
       ImageKind::kMalformed},
      {"four data directories", [&](Bytes& b) { Put32(b, layout.certificateEntry - 32 - 4, 4); },
       ImageKind::kMalformed},
      {"certificate table beyond the end",
       [&](Bytes& b) {
         Put32(b, layout.certificateEntry, 0x200);
         Put32(b, layout.certificateEntry + 4, 0x7FFFFFFF);
       },
       ImageKind::kMalformed},
      {"certificate table over the headers",
       [&](Bytes& b) {
         Put32(b, layout.certificateEntry, 0x10);
         Put32(b, layout.certificateEntry + 4, static_cast<std::uint32_t>(b.size() - 0x10));
       },
       ImageKind::kMalformed},
      {"data after the certificate table",
       [&](Bytes& b) {
         Put32(b, layout.certificateEntry, 0x400);
         Put32(b, layout.certificateEntry + 4, 8);
       },
       ImageKind::kMalformed},
  };
  for (const Case& c : cases) {
    Bytes changed = image;
    c.change(changed);
    ImageHashPlan plan = PlanImageHash(changed.data(), changed.size());
    EXPECT_EQ(plan.kind, c.kind) << c.what;
  }
  // Every length the file can be cut to: the plan stays inside it.
  for (size_t size = 0; size <= image.size(); size += (size < 1024 ? 1 : 97)) {
    ImageHashPlan plan = PlanImageHash(image.data(), size);
    for (const ByteRange& range : plan.ranges) {
      ASSERT_LE(range.offset, size) << size;
      ASSERT_LE(range.length, size - range.offset) << size;
    }
  }
}

TEST(PackageCertificateTest, ThePlatformsPublicKeyBlobIsRead) {
  // PUBLICKEYBLOB, CALG_RSA_SIGN, "RSA1", 16 bits, exponent 65537, modulus 0x1234 stored
  // least significant byte first.
  Bytes blob = {0x06, 0x02, 0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 'R',  'S',  'A',
                '1',  16,   0,    0,    0,    0x01, 0x00, 0x01, 0x00, 0x34, 0x12};
  RsaPublicKey key;
  ASSERT_TRUE(RsaPublicKeyFromBlob(blob, key));
  EXPECT_EQ(der::HexText(key.modulus), "1234");
  EXPECT_EQ(der::HexText(key.exponent), "00010001");
  Bytes cut(blob.begin(), blob.end() - 1);
  EXPECT_FALSE(RsaPublicKeyFromBlob(cut, key));
  Bytes privateBlob = blob;
  privateBlob[0] = 0x07;
  EXPECT_FALSE(RsaPublicKeyFromBlob(privateBlob, key));
  EXPECT_EQ(YearsLater({2028, 2, 29, 1, 2, 3}, 10).day, 28);
  EXPECT_EQ(YearsLater({2028, 2, 29, 1, 2, 3}, 12).day, 29);
  // The day before a certificate is made, on the first of a month too.
  const der::UtcTime days[][2] = {
      {{2027, 5, 17, 1, 2, 3}, {2027, 5, 16, 1, 2, 3}},
      {{2027, 5, 1, 1, 2, 3}, {2027, 4, 30, 1, 2, 3}},
      {{2027, 3, 1, 1, 2, 3}, {2027, 2, 28, 1, 2, 3}},
      {{2028, 3, 1, 1, 2, 3}, {2028, 2, 29, 1, 2, 3}},
      {{2027, 1, 1, 1, 2, 3}, {2026, 12, 31, 1, 2, 3}},
  };
  for (const auto& day : days) {
    const der::UtcTime earlier = DayEarlier(day[0]);
    EXPECT_EQ(std::vector<int>({earlier.year, earlier.month, earlier.day, earlier.hour}),
              std::vector<int>({day[1].year, day[1].month, day[1].day, day[1].hour}))
        << day[0].year << "-" << day[0].month << "-" << day[0].day;
  }
}

TEST(KitCertificateTest, OnlyTheKitsOwnSubjectWithTheRunsIdentMatches) {
  const std::string ident = "{DAB6A146-D93E-48AB-B3E5-374AB8FFF277}";
  const std::string hwid = "USB\\VID_0547&PID_1002";
  using Subject = std::vector<NameAttribute>;
  const Subject kit = {{kOidCommonName, KitCertificateCommonName(hwid)},
                       {kOidOrganization, kKitCertificateOrganization},
                       {kOidOrganizationalUnit, kKitIdent}};
  struct Case {
    const char* what;
    Subject subject;
    bool kitFor;
    bool kitForHwid;
  } cases[] = {
      {"the kit's, made for this ID", kit, true, true},
      {"the kit's for another ID",
       {{kOidCommonName, KitCertificateCommonName("USB\\VID_0547&PID_2000")}, kit[1], kit[2]},
       true,
       false},
      {"the ID in other letter case",
       {{kOidCommonName, KitCertificateCommonName("usb\\vid_0547&pid_1002")}, kit[1], kit[2]},
       true,
       true},
      {"same common name, another organisation",
       {kit[0], {kOidOrganization, "Another Vendor"}, kit[2]},
       false,
       false},
      {"the organisation only as a part",
       {kit[0], {kOidOrganization, "KORVA Development Kit Ltd"}, kit[2]},
       false,
       false},
      {"another ident",
       {kit[0], kit[1], {kOidOrganizationalUnit, "{00000000-0000-0000-0000-000000000000}"}},
       false,
       false},
      {"the ident within a longer unit",
       {kit[0], kit[1], {kOidOrganizationalUnit, std::string("x") + kKitIdent}},
       false,
       false},
      {"the ident as common name, no unit", {{kOidCommonName, kKitIdent}, kit[1]}, false, false},
      {"the organisation's name in the unit",
       {kit[0],
        {kOidOrganizationalUnit, kKitCertificateOrganization},
        {kOidOrganization, kKitIdent}},
       false,
       false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsKitCertificateSubject(c.subject, ident), c.kitFor) << c.what;
    EXPECT_EQ(IsKitCertificateSubjectFor(c.subject, ident, hwid), c.kitForHwid) << c.what;
  }
  EXPECT_FALSE(IsKitCertificateSubject(kit, ""));
}

}  // namespace
}  // namespace korva
