// The real certificate stores and cryptography with the failures the platform cannot be made to
// produce here: a store that refuses a certificate, a signing call that fails.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "common/core/kit_identity.h"
#include "common/trust_stores.h"
#include "install/engine/package_signing.h"

namespace korva::testing {

class FaultInjectingTrustStores : public SystemTrustStores {
 public:
  std::string refusesAddTo;       // this store refuses every certificate
  std::string refusesRemoveFrom;  // this store keeps every certificate
  std::string refusesListing;     // this store can't be listed
  DWORD error = ERROR_ACCESS_DENIED;
  std::vector<std::string> added;    // the stores, in the order certificates went in
  std::vector<std::string> removed;  // and out

  DWORD List(const char* store, std::vector<StoredCertificate>& certificates) override {
    if (refusesListing == store) return error;
    return SystemTrustStores::List(store, certificates);
  }
  DWORD Add(const char* store, const der::Bytes& certificate) override {
    if (refusesAddTo == store) return error;
    added.push_back(store);
    return SystemTrustStores::Add(store, certificate);
  }
  DWORD Remove(const char* store, const der::Bytes& certificate) override {
    if (refusesRemoveFrom == store) return error;
    removed.push_back(store);
    return SystemTrustStores::Remove(store, certificate);
  }
};

// Which call of the package's cryptography fails.
enum class CryptoFault { kNone, kNewKey, kExport, kHash, kSign, kRandom };

class FaultInjectingPackageCrypto : public CryptoApiPackageCrypto {
 public:
  explicit FaultInjectingPackageCrypto(CryptoFault fault, DWORD error)
      : fault_(fault), error_(error) {}
  DWORD NewKey(DWORD bits) override {
    return fault_ == CryptoFault::kNewKey ? error_ : CryptoApiPackageCrypto::NewKey(bits);
  }
  DWORD ExportPublicKey(der::Bytes& blob) override {
    return fault_ == CryptoFault::kExport ? error_ : CryptoApiPackageCrypto::ExportPublicKey(blob);
  }
  DWORD Hash(const std::vector<HashPiece>& pieces, size_t zeroPadding, DigestAlgorithm digest,
             der::Bytes& out) override {
    if (fault_ == CryptoFault::kHash) return error_;
    return CryptoApiPackageCrypto::Hash(pieces, zeroPadding, digest, out);
  }
  DWORD Sign(const der::Bytes& data, DigestAlgorithm digest, der::Bytes& signature) override {
    if (fault_ == CryptoFault::kSign) return error_;
    return CryptoApiPackageCrypto::Sign(data, digest, signature);
  }
  DWORD Random(size_t count, der::Bytes& out) override {
    return fault_ == CryptoFault::kRandom ? error_ : CryptoApiPackageCrypto::Random(count, out);
  }

 private:
  CryptoFault fault_;
  DWORD error_;
};

// The kit's certificates for a hardware ID in one of the local machine's stores.
inline std::vector<StoredCertificate> KitCertificatesFor(const std::string& hardwareId,
                                                         const char* store) {
  SystemTrustStores stores;
  std::vector<StoredCertificate> all;
  stores.List(store, all);
  std::vector<StoredCertificate> kit;
  for (const StoredCertificate& certificate : all) {
    if (IsKitCertificateSubjectFor(certificate.subject, kKitIdent, hardwareId)) {
      kit.push_back(certificate);
    }
  }
  return kit;
}

}  // namespace korva::testing
