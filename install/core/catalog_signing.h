// The order in which a driver package's certificate and catalog are made and signed. The
// platform hashes and signs (its key never leaves it); what is hashed and signed, and how the
// results are put together, is here. Platform-free.
#pragma once

#include <cstdint>
#include <functional>

#include "common/core/der.h"
#include "install/core/driver_catalog.h"
#include "install/core/package_certificate.h"

namespace korva {

struct SigningSteps {
  // The digest of `data`: 0, or the platform's error code.
  std::function<std::uint32_t(const der::Bytes& data, DigestAlgorithm digest, der::Bytes& out)>
      hash;
  // The signature of `data` with the package's key (PKCS #1 1.5 over its digest), big-endian:
  // 0, or the platform's error code.
  std::function<std::uint32_t(const der::Bytes& data, DigestAlgorithm digest, der::Bytes& out)>
      sign;
};

struct SignedCatalog {
  der::Bytes certificate;  // the package's certificate, DER (korvawiz.cer)
  der::Bytes catalog;      // the signed catalog (korvawiz.cat)
};

// Makes the self-signed certificate from `fields`, then the catalog of `content` signed with
// the same key. 0, or the code of the first step that failed (nothing is put out then).
std::uint32_t SignCatalog(const CatalogContent& content, const CertificateFields& fields,
                          const SigningSteps& steps, SignedCatalog& out);

}  // namespace korva
