#include "cleanup/engine/kit_certificate_list.h"

#include "cleanup/core/cleanup_wizard_texts.h"
#include "common/core/kit_certificate.h"

namespace korva {

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

void KitCertificateList::RemoveSelected() {
  size_t count = items.size();
  for (size_t i = 0; i < count; ++i) {
    if (!items[i].selected) continue;
    CertificateRecord result = items[i];
    result.selected = false;
    // One that went since the scan, by another hand, is reported as not found, as a file is:
    // this run did not remove it.
    result.error = stores_.Remove(result.store.c_str(), result.encoded);
    results.push_back(result);
    if (onResult) onResult(results.back());
  }
}

}  // namespace korva
