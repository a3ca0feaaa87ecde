// The certificates the Installation Wizard made for the kit's driver packages, in the local
// machine's Root and TrustedPublisher stores: scan and removal, with the kit's INF files.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "cleanup/core/cleanup_settings.h"
#include "cleanup/engine/not_examined.h"
#include "common/trust_stores.h"

namespace korva {

struct CertificateRecord {
  std::string store;  // "Root" or "TrustedPublisher"
  std::string commonName;
  std::string subjectText;  // the whole subject as the platform writes it
  std::string thumbprint;   // SHA-1, upper-case hexadecimal
  FILETIME notAfter{};
  der::Bytes encoded;
  bool selected = false;
  DWORD error = 0;  // in a result: 0 when it was removed, else the platform's code
  // In a result: kept, since the catalog of a kit package left on the system carries it (its
  // signature would no longer be trusted; `error` is ERROR_BUSY).
  bool signsPackageLeft = false;
};

// "Root\<thumbprint>": how the run log names a certificate.
std::string CertificateLogName(const CertificateRecord& record);

class KitCertificateList {
 public:
  KitCertificateList(TrustStores& stores, const CleanupSettings& settings)
      : stores_(stores), settings_(settings) {}

  // Keeps every certificate of both stores whose subject is the kit's for the run's ident (the
  // kit's organisation and the ident as whole values; expert mode does not change that), all
  // selected. Returns their number.
  int Scan();
  // Removes each selected certificate from its store, one result record per attempt. One that
  // a file of `catalogsLeft` carries stays: the kit package signed with it is still there (kept
  // by the user, for a device left on the system, or since its removal failed).
  void RemoveSelected(const std::vector<std::wstring>& catalogsLeft = {});

  std::vector<CertificateRecord>& Items() { return items; }
  const std::vector<CertificateRecord>& Items() const { return items; }
  const std::vector<CertificateRecord>& Results() const { return results; }
  // A store that could not be listed: the kit's certificates may be there, unseen.
  const std::vector<NotExaminedRecord>& NotExamined() const { return notExamined; }

  std::function<void(const CertificateRecord& item)> onFound;
  std::function<void(const NotExaminedRecord& record)> onNotExamined;
  std::function<void(const CertificateRecord& result)> onResult;

 private:
  TrustStores& stores_;
  const CleanupSettings& settings_;
  std::vector<CertificateRecord> items;
  std::vector<CertificateRecord> results;
  std::vector<NotExaminedRecord> notExamined;
};

}  // namespace korva
