#include "install/engine/package_signing.h"

#include <cstring>

#include "common/ansi_text.h"
#include "common/core/kit_certificate.h"
#include "common/core/kit_identity.h"
#include "common/file_deletion.h"
#include "common/last_error.h"
#include "common/whole_file.h"
#include "install/core/catalog_signing.h"
#include "install/core/package_certificate.h"

namespace korva {

namespace {

constexpr size_t kListIdentifierLength = 16;
constexpr size_t kSerialNumberLength = 16;

ALG_ID HashAlgorithm(DigestAlgorithm digest) {
  return digest == DigestAlgorithm::kSha256 ? CALG_SHA_256 : CALG_SHA1;
}

DWORD ErrorOf(BOOL ok) { return ok ? 0 : LastErrorOfFailure(); }

der::UtcTime Now() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

// Writes a new file with exactly these bytes; an old one of the name goes first.
DWORD WriteNewFile(const std::string& path, const der::Bytes& bytes) {
  DeleteFileWithNormalAttributes(path);
  UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return LastErrorOfFailure();
  DWORD written = 0;
  if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    return LastErrorOfFailure();
  }
  if (written != bytes.size()) return ERROR_WRITE_FAULT;
  return 0;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

DigestAlgorithm SystemSignatureDigest() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  // Without a manifest that names them, later systems say 6.2 here: still later than 6.1.
  if (!GetVersionExA(&version)) return DigestAlgorithm::kSha256;
#pragma GCC diagnostic pop
  bool windows7OrOlder =
      version.dwMajorVersion < 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion <= 1);
  return windows7OrOlder ? DigestAlgorithm::kSha1 : DigestAlgorithm::kSha256;
}

// CryptoAPI -----------------------------------------------------------------------------------

DWORD CryptoApiPackageCrypto::NewKey(DWORD bits) {
  key_.Reset();
  provider_.Reset();
  HCRYPTPROV provider = 0;
  // A verify-only context keeps its keys in memory: nothing reaches a key container, and
  // nothing is left to sign with once the context is released.
  if (!CryptAcquireContextA(&provider, nullptr, MS_ENH_RSA_AES_PROV_A, PROV_RSA_AES,
                            CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
    return LastErrorOfFailure();
  }
  provider_.Reset(provider);
  HCRYPTKEY key = 0;
  // Not exportable: only the public part ever leaves the provider.
  if (!CryptGenKey(provider_.Get(), AT_SIGNATURE, bits << 16, &key)) return LastErrorOfFailure();
  key_.Reset(key);
  return 0;
}

DWORD CryptoApiPackageCrypto::ExportPublicKey(der::Bytes& blob) {
  DWORD size = 0;
  if (!CryptExportKey(key_.Get(), 0, PUBLICKEYBLOB, 0, nullptr, &size)) return LastErrorOfFailure();
  blob.resize(size);
  if (!CryptExportKey(key_.Get(), 0, PUBLICKEYBLOB, 0, blob.data(), &size)) {
    return LastErrorOfFailure();
  }
  blob.resize(size);
  return 0;
}

DWORD CryptoApiPackageCrypto::Hash(const std::vector<HashPiece>& pieces, size_t zeroPadding,
                                   DigestAlgorithm digest, der::Bytes& out) {
  HCRYPTHASH raw = 0;
  if (!CryptCreateHash(provider_.Get(), HashAlgorithm(digest), 0, 0, &raw)) {
    return LastErrorOfFailure();
  }
  UniqueCryptHash hash(raw);
  for (const HashPiece& piece : pieces) {
    // CryptHashData takes a DWORD length: feed larger pieces in parts.
    size_t done = 0;
    while (done < piece.length) {
      DWORD part = static_cast<DWORD>(std::min<size_t>(piece.length - done, 1u << 30));
      if (!CryptHashData(hash.Get(), piece.data + done, part, 0)) return LastErrorOfFailure();
      done += part;
    }
  }
  if (zeroPadding != 0) {
    der::Bytes zeros(zeroPadding, 0);
    if (DWORD error =
            ErrorOf(CryptHashData(hash.Get(), zeros.data(), static_cast<DWORD>(zeros.size()), 0))) {
      return error;
    }
  }
  DWORD size = 0;
  DWORD sizeLength = sizeof(size);
  if (!CryptGetHashParam(hash.Get(), HP_HASHSIZE, reinterpret_cast<BYTE*>(&size), &sizeLength, 0)) {
    return LastErrorOfFailure();
  }
  out.resize(size);
  if (!CryptGetHashParam(hash.Get(), HP_HASHVAL, out.data(), &size, 0)) return LastErrorOfFailure();
  out.resize(size);
  return 0;
}

DWORD CryptoApiPackageCrypto::Sign(const der::Bytes& data, DigestAlgorithm digest,
                                   der::Bytes& signature) {
  HCRYPTHASH raw = 0;
  if (!CryptCreateHash(provider_.Get(), HashAlgorithm(digest), 0, 0, &raw)) {
    return LastErrorOfFailure();
  }
  UniqueCryptHash hash(raw);
  if (!CryptHashData(hash.Get(), data.data(), static_cast<DWORD>(data.size()), 0)) {
    return LastErrorOfFailure();
  }
  DWORD size = 0;
  if (!CryptSignHashA(hash.Get(), AT_SIGNATURE, nullptr, 0, nullptr, &size)) {
    return LastErrorOfFailure();
  }
  der::Bytes littleEndian(size);
  if (!CryptSignHashA(hash.Get(), AT_SIGNATURE, nullptr, 0, littleEndian.data(), &size)) {
    return LastErrorOfFailure();
  }
  littleEndian.resize(size);
  signature = Reversed(littleEndian);
  return 0;
}

DWORD CryptoApiPackageCrypto::Random(size_t count, der::Bytes& out) {
  out.assign(count, 0);
  return ErrorOf(CryptGenRandom(provider_.Get(), static_cast<DWORD>(count), out.data()));
}

// Signing ------------------------------------------------------------------------------------

PackageSigner::PackageSigner(TrustStores& stores)
    : digest(SystemSignatureDigest()),
      newCrypto([] { return std::make_unique<CryptoApiPackageCrypto>(); }),
      stores_(stores) {}

bool PackageSigner::Sign(const PackageToSign& package, SigningFailure& failure) {
  // A catalog of an earlier package must not stand beside this one's files, and a package that
  // could not be signed leaves none of its own.
  DeleteFileWithNormalAttributes(package.catalogPath);
  DeleteFileWithNormalAttributes(package.certificatePath);
  if (Make(package, failure)) return true;
  DeleteFileWithNormalAttributes(package.catalogPath);
  DeleteFileWithNormalAttributes(package.certificatePath);
  return false;
}

bool PackageSigner::Make(const PackageToSign& package, SigningFailure& failure) {
  auto fail = [&failure](DWORD code, const std::string& subject) {
    failure = {code != 0 ? code : kFailureWithoutCode, subject};
    return false;
  };
  std::unique_ptr<PackageCrypto> crypto = newCrypto();
  if (DWORD error = crypto->NewKey(keyBits)) return fail(error, "key");

  // The INF file as written, never read back: a file changed since then fails Windows' check.
  CatalogContent content;
  content.hardwareId = package.hardwareId;
  content.made = Now();
  CatalogMember inf;
  inf.fileName = BaseName(package.infPath);
  const std::uint8_t* infBytes = reinterpret_cast<const std::uint8_t*>(package.infText.data());
  if (DWORD error =
          crypto->Hash({{infBytes, package.infText.size()}}, 0, DigestAlgorithm::kSha1, inf.sha1)) {
    return fail(error, package.infPath);
  }
  content.members.push_back(inf);

  der::Bytes driver;
  if (DWORD error = ReadWholeFile(WideFromAnsi(package.driverPath), driver, kLargestDriverBinary))
    return fail(error, package.driverPath);
  CatalogMember binary;
  binary.fileName = BaseName(package.driverPath);
  ImageHashPlan plan = PlanImageHash(driver.data(), driver.size());
  if (plan.kind == ImageKind::kMalformed) return fail(ERROR_BAD_EXE_FORMAT, package.driverPath);
  std::vector<HashPiece> pieces;
  if (plan.kind == ImageKind::kPeImage) {
    binary.peImage = true;
    for (const ByteRange& range : plan.ranges)
      pieces.push_back({driver.data() + range.offset, range.length});
  } else {
    pieces.push_back({driver.data(), driver.size()});
  }
  if (DWORD error = crypto->Hash(pieces, plan.zeroPadding, DigestAlgorithm::kSha1, binary.sha1)) {
    return fail(error, package.driverPath);
  }
  content.members.push_back(binary);

  CertificateFields fields;
  fields.subject = KitCertificateSubject(package.hardwareId, kKitIdent);
  SetPackageValidity(content.made, fields);
  fields.digest = digest;
  der::Bytes blob;
  if (DWORD error = crypto->ExportPublicKey(blob)) return fail(error, "key");
  if (!RsaPublicKeyFromBlob(blob, fields.key)) return fail(static_cast<DWORD>(NTE_BAD_KEY), "key");
  if (DWORD error = crypto->Random(kListIdentifierLength, content.listIdentifier)) {
    return fail(error, "key");
  }
  if (DWORD error = crypto->Random(kSerialNumberLength, fields.serialNumber)) {
    return fail(error, "key");
  }
  // Positive, and of its full length.
  fields.serialNumber[0] = static_cast<std::uint8_t>((fields.serialNumber[0] & 0x7F) | 0x40);

  SigningSteps steps;
  steps.hash = [&crypto](const der::Bytes& data, DigestAlgorithm algorithm, der::Bytes& out) {
    return static_cast<std::uint32_t>(
        crypto->Hash({{data.data(), data.size()}}, 0, algorithm, out));
  };
  steps.sign = [&crypto](const der::Bytes& data, DigestAlgorithm algorithm, der::Bytes& out) {
    return static_cast<std::uint32_t>(crypto->Sign(data, algorithm, out));
  };
  SignedCatalog signedCatalog;
  if (std::uint32_t error = SignCatalog(content, fields, steps, signedCatalog)) {
    return fail(error, package.catalogPath);
  }
  // The key pair goes now: nothing can be signed with it any more.
  crypto.reset();

  if (DWORD error = WriteNewFile(package.catalogPath, signedCatalog.catalog)) {
    return fail(error, package.catalogPath);
  }
  if (DWORD error = WriteNewFile(package.certificatePath, signedCatalog.certificate)) {
    return fail(error, package.certificatePath);
  }
  return Trust(package, signedCatalog.certificate, failure);
}

bool PackageSigner::Trust(const PackageToSign& package, const der::Bytes& certificate,
                          SigningFailure& failure) {
  // One certificate per hardware ID: what an earlier installation made for it goes.
  for (const char* store : kKitCertificateStores) {
    std::vector<StoredCertificate> stored;
    if (DWORD error = stores_.List(store, stored)) {
      failure = {error, store};
      return false;
    }
    for (const StoredCertificate& earlier : stored) {
      if (!IsKitCertificateSubjectFor(earlier.subject, kKitIdent, package.hardwareId)) continue;
      DWORD error = stores_.Remove(store, earlier.encoded);
      if (error != 0 && error != static_cast<DWORD>(CRYPT_E_NOT_FOUND)) {
        failure = {error, store};
        return false;
      }
    }
  }
  std::vector<const char*> added;
  for (const char* store : kKitCertificateStores) {
    if (DWORD error = stores_.Add(store, certificate)) {
      // Half trusted is not trusted: what was added goes again.
      for (const char* undo : added) stores_.Remove(undo, certificate);
      failure = {error, store};
      return false;
    }
    added.push_back(store);
  }
  trusted_ = certificate;
  return true;
}

DWORD PackageSigner::WithdrawTrust() {
  DWORD first = 0;
  if (trusted_.empty()) return 0;
  for (const char* store : kKitCertificateStores) {
    DWORD error = stores_.Remove(store, trusted_);
    if (error != 0 && error != static_cast<DWORD>(CRYPT_E_NOT_FOUND) && first == 0) first = error;
  }
  trusted_.clear();
  return first;
}

}  // namespace korva
