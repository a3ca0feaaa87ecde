// Signing the generated driver package, so that today's 64-bit Windows stages it: a catalog of
// the hashes of its files (korvawiz.cat), signed with a self-signed certificate made for this
// package alone (korvawiz.cer), which goes into the local machine's Root and TrustedPublisher
// stores. The key pair exists only in memory while one package is signed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/core/der.h"
#include "common/trust_stores.h"
#include "common/unique_resource.h"
#include "install/core/driver_catalog.h"
#include "install/core/pe_image_hash.h"

namespace korva {

// RSA key length of a package's key: long enough for code signing today, quick enough to make
// at every installation (bench/run-signing).
constexpr DWORD kPackageKeyBits = 2048;
// Driver binaries are small; a larger file is refused rather than read into memory.
constexpr size_t kLargestDriverBinary = 256u * 1024 * 1024;

// A piece of bytes to hash.
struct HashPiece {
  const std::uint8_t* data;
  size_t length;
};

// The platform's cryptography for one package: one key pair, in a context that keeps no key
// container, gone when the object goes.
class PackageCrypto {
 public:
  virtual ~PackageCrypto() = default;
  // Makes the key pair. 0, or the platform's code.
  virtual DWORD NewKey(DWORD bits) = 0;
  // The public key as the platform exports it (PUBLICKEYBLOB).
  virtual DWORD ExportPublicKey(der::Bytes& blob) = 0;
  // The digest of the pieces one after another, then `zeroPadding` zero bytes.
  virtual DWORD Hash(const std::vector<HashPiece>& pieces, size_t zeroPadding,
                     DigestAlgorithm digest, der::Bytes& out) = 0;
  // The PKCS #1 1.5 signature of the digest of `data` with the key, big-endian.
  virtual DWORD Sign(const der::Bytes& data, DigestAlgorithm digest, der::Bytes& signature) = 0;
  virtual DWORD Random(size_t count, der::Bytes& out) = 0;
};

// CryptoAPI: the enhanced RSA and AES provider (it has SHA-256), a verify-only context.
class CryptoApiPackageCrypto : public PackageCrypto {
 public:
  DWORD NewKey(DWORD bits) override;
  DWORD ExportPublicKey(der::Bytes& blob) override;
  DWORD Hash(const std::vector<HashPiece>& pieces, size_t zeroPadding, DigestAlgorithm digest,
             der::Bytes& out) override;
  DWORD Sign(const der::Bytes& data, DigestAlgorithm digest, der::Bytes& signature) override;
  DWORD Random(size_t count, der::Bytes& out) override;

 private:
  UniqueCryptProvider provider_;
  UniqueCryptKey key_;
};

// What is signed: the INF file as the program wrote it, and the driver binary it names.
struct PackageToSign {
  std::string hardwareId;
  std::string infPath;
  std::string infText;  // the bytes written to infPath: the hash is taken from these
  std::string driverPath;
  std::string catalogPath;
  std::string certificatePath;
};

// Why signing failed: the code, and what it was doing (a path, or a store's name).
struct SigningFailure {
  DWORD code = 0;
  std::string subject;
};

class PackageSigner {
 public:
  explicit PackageSigner(TrustStores& stores);

  // Writes the catalog and the certificate and trusts the certificate on this machine; a
  // certificate the kit made earlier for the same hardware ID leaves both stores first. False,
  // with `failure`, when any step failed: no certificate of this package stays in a store then.
  bool Sign(const PackageToSign& package, SigningFailure& failure);
  // Takes the certificate that the last successful Sign trusted out of both stores again, for a
  // package the platform then did not take: nothing trusts a package that is not there. 0, or
  // the first store's code that failed.
  DWORD WithdrawTrust();

  // The digest the signatures use: SHA-256, or SHA-1 on Windows 7 and older, which know no
  // SHA-256 without an update.
  DigestAlgorithm digest;
  DWORD keyBits = kPackageKeyBits;
  // The cryptography for each package; a test gives one that fails.
  std::function<std::unique_ptr<PackageCrypto>()> newCrypto;

 private:
  bool Make(const PackageToSign& package, SigningFailure& failure);
  bool Trust(const PackageToSign& package, const der::Bytes& certificate, SigningFailure& failure);

  TrustStores& stores_;
  der::Bytes trusted_;  // the certificate the last Sign trusted
};

// The digest for the running system.
DigestAlgorithm SystemSignatureDigest();

}  // namespace korva
