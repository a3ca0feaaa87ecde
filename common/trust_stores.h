// The local machine's certificate stores, as both programs use them: the Installation Wizard
// puts a driver package's certificate into "Root" and "TrustedPublisher", the Cleanup Wizard
// finds the kit's certificates there and removes them. An interface, so that tests can make a
// store refuse.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/core/der.h"
#include "common/core/kit_certificate.h"

namespace korva {

struct StoredCertificate {
  der::Bytes encoded;
  std::vector<NameAttribute> subject;  // every attribute of every relative name, in order
  std::string subjectText;             // as the platform writes a name: "CN=..., O=..."
  std::string thumbprint;              // SHA-1 of the certificate, upper-case hexadecimal
  FILETIME notAfter{};
};

class TrustStores {
 public:
  virtual ~TrustStores() = default;
  // Every certificate of one of the local machine's stores ("Root", "TrustedPublisher"): 0, or
  // the platform's code. A store that does not exist yet holds none.
  virtual DWORD List(const char* store, std::vector<StoredCertificate>& certificates) = 0;
  // Adds a certificate (DER; the public part only) to the store: 0, or the platform's code.
  virtual DWORD Add(const char* store, const der::Bytes& certificate) = 0;
  // Removes the certificate of exactly this encoding: 0, CRYPT_E_NOT_FOUND when the store has
  // none, or the platform's code.
  virtual DWORD Remove(const char* store, const der::Bytes& certificate) = 0;
};

// CryptoAPI's system stores of the local machine.
class SystemTrustStores : public TrustStores {
 public:
  DWORD List(const char* store, std::vector<StoredCertificate>& certificates) override;
  DWORD Add(const char* store, const der::Bytes& certificate) override;
  DWORD Remove(const char* store, const der::Bytes& certificate) override;
};

// What the platform reads of one certificate: its subject, thumbprint and expiry. False for
// bytes it does not take for a certificate.
bool DescribeCertificate(const der::Bytes& encoded, StoredCertificate& out);

}  // namespace korva
