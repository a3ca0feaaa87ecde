#include "cleanup/engine/kit_certificate_list.h"

#include <algorithm>

#include "cleanup/core/cleanup_wizard_texts.h"
#include "common/core/kit_certificate.h"
#include "common/whole_file.h"

namespace korva {

namespace {

// Larger than any catalog of one driver package; a larger file is not read.
constexpr unsigned long long kLargestCatalog = 64ull * 1024 * 1024;

}  // namespace

std::string CertificateLogName(const CertificateRecord& record) {
  return record.store + "\\" + record.thumbprint;
}

int KitCertificateList::Scan() {
  items.clear();
  notExamined.clear();
  for (const char* store : kKitCertificateStores) {
    std::vector<StoredCertificate> stored;
    if (DWORD error = stores_.List(store, stored)) {
      NotExaminedRecord record{std::string(kCertificateStoreRecordPrefix) + " " + store, error};
      notExamined.push_back(record);
      if (onNotExamined) onNotExamined(record);
      continue;
    }
    for (StoredCertificate& certificate : stored) {
      if (!IsKitCertificateSubject(certificate.subject, settings_.deviceIdentString)) continue;
      CertificateRecord record;
      record.store = store;
      record.commonName = CommonNameOf(certificate.subject);
      record.subjectText = certificate.subjectText;
      record.thumbprint = certificate.thumbprint;
      record.notAfter = certificate.notAfter;
      record.encoded = std::move(certificate.encoded);
      record.selected = true;
      items.push_back(std::move(record));
      if (onFound) onFound(items.back());
    }
  }
  return static_cast<int>(items.size());
}

void KitCertificateList::RemoveSelected(const std::vector<std::wstring>& catalogsLeft) {
  // A catalog carries its signer's certificate, byte for byte. It is read whoever else has it
  // open (the platform's catalog service may); one that is not there keeps nothing.
  std::vector<der::Bytes> catalogs;
  for (const std::wstring& path : catalogsLeft) {
    der::Bytes bytes;
    if (ReadWholeFile(path, bytes, kLargestCatalog,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) == 0) {
      catalogs.push_back(std::move(bytes));
    }
  }
  auto carried = [&catalogs](const der::Bytes& certificate) {
    return !certificate.empty() &&
           std::any_of(catalogs.begin(), catalogs.end(), [&certificate](const der::Bytes& c) {
             return std::search(c.begin(), c.end(), certificate.begin(), certificate.end()) !=
                    c.end();
           });
  };
  size_t count = items.size();
  for (size_t i = 0; i < count; ++i) {
    if (!items[i].selected) continue;
    CertificateRecord result = items[i];
    result.selected = false;
    if (carried(result.encoded)) {
      // Its removal would leave a package on the system that Windows no longer installs.
      result.error = ERROR_BUSY;
      result.signsPackageLeft = true;
      results.push_back(result);
      if (onResult) onResult(results.back());
      continue;
    }
    // One that went since the scan, by another hand, is reported as not found, as a file is:
    // this run did not remove it.
    result.error = stores_.Remove(result.store.c_str(), result.encoded);
    results.push_back(result);
    if (onResult) onResult(results.back());
  }
}

}  // namespace korva
