#include "common/trust_stores.h"

#include "common/last_error.h"
#include "common/system_library.h"
#include "common/unique_resource.h"

namespace korva {

namespace {

// crypt32.dll from the system folder, loaded at the first use and kept: it is no KnownDLL.
struct Crypt32 {
  UniqueModule library = LoadSystemLibrary("crypt32.dll");
#define KORVA_CRYPT32(name) decltype(&::name) name = SystemExport<decltype(&::name)>(library, #name)
  KORVA_CRYPT32(CertOpenStore);
  KORVA_CRYPT32(CertCloseStore);
  KORVA_CRYPT32(CertRDNValueToStrA);
  KORVA_CRYPT32(CryptDecodeObjectEx);
  KORVA_CRYPT32(CertNameToStrA);
  KORVA_CRYPT32(CertGetCertificateContextProperty);
  KORVA_CRYPT32(CertCreateCertificateContext);
  KORVA_CRYPT32(CertFreeCertificateContext);
  KORVA_CRYPT32(CertEnumCertificatesInStore);
  KORVA_CRYPT32(CertFindCertificateInStore);
  KORVA_CRYPT32(CertControlStore);
  KORVA_CRYPT32(CertAddEncodedCertificateToStore);
  KORVA_CRYPT32(CertDeleteCertificateFromStore);
#undef KORVA_CRYPT32
  bool Loaded() const {
    return CertOpenStore && CertCloseStore && CertRDNValueToStrA && CryptDecodeObjectEx &&
           CertNameToStrA && CertGetCertificateContextProperty && CertCreateCertificateContext &&
           CertFreeCertificateContext && CertEnumCertificatesInStore &&
           CertFindCertificateInStore && CertControlStore && CertAddEncodedCertificateToStore &&
           CertDeleteCertificateFromStore;
  }
};

const Crypt32& Crypt() {
  static const Crypt32 calls;
  return calls;
}

// Without the library nothing is listed, added or removed.
constexpr DWORD kNoCrypt32 = ERROR_MOD_NOT_FOUND;

struct CertStoreTraits {
  using Type = HCERTSTORE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { Crypt().CertCloseStore(h, 0); }
};

struct CertContextTraits {
  using Type = PCCERT_CONTEXT;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { Crypt().CertFreeCertificateContext(h); }
};

using UniqueCertStore = UniqueResource<CertStoreTraits>;
using UniqueCertContext = UniqueResource<CertContextTraits>;

constexpr DWORD kThumbprintLength = 20;  // SHA-1
constexpr DWORD kNotFound = static_cast<DWORD>(CRYPT_E_NOT_FOUND);
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

UniqueCertStore OpenStore(const char* store, bool existingOnly, DWORD& error) {
  DWORD flags = CERT_SYSTEM_STORE_LOCAL_MACHINE;
  if (existingOnly) flags |= CERT_STORE_OPEN_EXISTING_FLAG;
  UniqueCertStore handle(Crypt().CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, flags, store));
  error = handle.Valid() ? 0 : LastErrorOfFailure();
  return handle;
}

std::string RdnValueText(const CERT_RDN_ATTR& attribute) {
  CERT_RDN_VALUE_BLOB value = attribute.Value;
  DWORD length = Crypt().CertRDNValueToStrA(attribute.dwValueType, &value, nullptr, 0);
  if (length <= 1) return "";
  std::string text(length, '\0');
  Crypt().CertRDNValueToStrA(attribute.dwValueType, &value, &text[0], length);
  text.resize(length - 1);
  return text;
}

void ReadSubject(const CERT_NAME_BLOB& name, StoredCertificate& out) {
  CERT_NAME_INFO* info = nullptr;
  DWORD size = 0;
  if (Crypt().CryptDecodeObjectEx(kEncoding, X509_NAME, name.pbData, name.cbData,
                                  CRYPT_DECODE_ALLOC_FLAG, nullptr, &info, &size)) {
    for (DWORD i = 0; i < info->cRDN; ++i) {
      const CERT_RDN& rdn = info->rgRDN[i];
      for (DWORD j = 0; j < rdn.cRDNAttr; ++j) {
        const CERT_RDN_ATTR& attribute = rdn.rgRDNAttr[j];
        out.subject.push_back(
            {attribute.pszObjId ? attribute.pszObjId : "", RdnValueText(attribute)});
      }
    }
    LocalFree(info);
  }
  CERT_NAME_BLOB copy = name;
  DWORD length = Crypt().CertNameToStrA(X509_ASN_ENCODING, &copy, CERT_X500_NAME_STR, nullptr, 0);
  if (length > 1) {
    out.subjectText.assign(length, '\0');
    Crypt().CertNameToStrA(X509_ASN_ENCODING, &copy, CERT_X500_NAME_STR, &out.subjectText[0],
                           length);
    out.subjectText.resize(length - 1);
  }
}

bool Describe(PCCERT_CONTEXT certificate, StoredCertificate& out) {
  out = StoredCertificate();
  out.encoded.assign(certificate->pbCertEncoded,
                     certificate->pbCertEncoded + certificate->cbCertEncoded);
  ReadSubject(certificate->pCertInfo->Subject, out);
  out.notAfter = certificate->pCertInfo->NotAfter;
  BYTE hash[kThumbprintLength];
  DWORD size = sizeof(hash);
  if (Crypt().CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash, &size)) {
    out.thumbprint = der::HexText(der::Bytes(hash, hash + size));
  }
  return true;
}

}  // namespace

bool DescribeCertificate(const der::Bytes& encoded, StoredCertificate& out) {
  if (!Crypt().Loaded()) return false;
  UniqueCertContext certificate(Crypt().CertCreateCertificateContext(
      X509_ASN_ENCODING, encoded.data(), static_cast<DWORD>(encoded.size())));
  return certificate.Valid() && Describe(certificate.Get(), out);
}

DWORD SystemTrustStores::List(const char* store, std::vector<StoredCertificate>& certificates) {
  certificates.clear();
  if (!Crypt().Loaded()) return kNoCrypt32;
  DWORD error = 0;
  UniqueCertStore handle = OpenStore(store, true, error);
  if (!handle.Valid()) return error == ERROR_FILE_NOT_FOUND ? 0 : error;
  PCCERT_CONTEXT certificate = nullptr;
  while ((certificate = Crypt().CertEnumCertificatesInStore(handle.Get(), certificate)) !=
         nullptr) {
    StoredCertificate described;
    if (Describe(certificate, described)) certificates.push_back(std::move(described));
  }
  // The walk ends with CRYPT_E_NOT_FOUND; anything else cut it short.
  DWORD end = GetLastError();
  return end == kNotFound || end == 0 ? 0 : end;
}

// Whether the store holds a certificate of exactly this encoding, as a newly opened handle
// sees it.
static bool Holds(const char* store, const der::Bytes& certificate) {
  DWORD error = 0;
  UniqueCertStore handle = OpenStore(store, true, error);
  if (!handle.Valid()) return false;
  UniqueCertContext wanted(Crypt().CertCreateCertificateContext(
      X509_ASN_ENCODING, certificate.data(), static_cast<DWORD>(certificate.size())));
  if (!wanted.Valid()) return false;
  UniqueCertContext found(Crypt().CertFindCertificateInStore(
      handle.Get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.Get(), nullptr));
  return found.Valid();
}

// Writes the store's changes out and closes it. Some implementations keep a change in memory
// until then, and lose it when a reference is left over (Wine does after a failed add and after
// every deletion): the commit makes it reach the registry. 0, or the commit's code.
static DWORD CommitAndClose(UniqueCertStore& handle) {
  DWORD error = Crypt().CertControlStore(handle.Get(), 0, CERT_STORE_CTRL_COMMIT, nullptr)
                    ? 0
                    : LastErrorOfFailure();
  handle.Reset();
  return error;
}

DWORD SystemTrustStores::Add(const char* store, const der::Bytes& certificate) {
  if (!Crypt().Loaded()) return kNoCrypt32;
  DWORD error = 0;
  UniqueCertStore handle = OpenStore(store, false, error);
  if (!handle.Valid()) return error;
  // The encoded form only: no properties of this process's certificate go along.
  if (!Crypt().CertAddEncodedCertificateToStore(handle.Get(), X509_ASN_ENCODING, certificate.data(),
                                                static_cast<DWORD>(certificate.size()),
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
    return LastErrorOfFailure();
  }
  DWORD commit = CommitAndClose(handle);
  // Added is what a new look at the store finds, not what a call answered.
  if (!Holds(store, certificate)) return commit != 0 ? commit : ERROR_WRITE_FAULT;
  return 0;
}

DWORD SystemTrustStores::Remove(const char* store, const der::Bytes& certificate) {
  if (!Crypt().Loaded()) return kNoCrypt32;
  DWORD error = 0;
  UniqueCertStore handle = OpenStore(store, true, error);
  if (!handle.Valid()) return error == ERROR_FILE_NOT_FOUND ? kNotFound : error;
  UniqueCertContext wanted(Crypt().CertCreateCertificateContext(
      X509_ASN_ENCODING, certificate.data(), static_cast<DWORD>(certificate.size())));
  if (!wanted.Valid()) return LastErrorOfFailure();
  PCCERT_CONTEXT found = Crypt().CertFindCertificateInStore(
      handle.Get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.Get(), nullptr);
  if (!found) return kNotFound;
  // The deletion frees the context it is given, also when it fails.
  if (!Crypt().CertDeleteCertificateFromStore(found)) return LastErrorOfFailure();
  DWORD commit = CommitAndClose(handle);
  if (Holds(store, certificate)) return commit != 0 ? commit : ERROR_WRITE_FAULT;
  return 0;
}

}  // namespace korva
