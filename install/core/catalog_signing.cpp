#include "install/core/catalog_signing.h"

namespace korva {

std::uint32_t SignCatalog(const CatalogContent& content, const CertificateFields& fields,
                          const SigningSteps& steps, SignedCatalog& out) {
  der::Bytes toBeSigned = BuildCertificateToBeSigned(fields);
  der::Bytes certificateSignature;
  if (std::uint32_t error = steps.sign(toBeSigned, fields.digest, certificateSignature)) {
    return error;
  }
  der::Bytes certificate = BuildCertificate(toBeSigned, certificateSignature, fields.digest);

  der::Bytes trustList = BuildCatalogTrustList(content);
  der::Bytes contentDigest;
  if (std::uint32_t error =
          steps.hash(DigestedContentOf(trustList), fields.digest, contentDigest)) {
    return error;
  }
  der::Bytes attributes = BuildSignedAttributes(contentDigest);
  der::Bytes signature;
  if (std::uint32_t error = steps.sign(attributes, fields.digest, signature)) return error;
  out.catalog = BuildSignedCatalog(trustList, SignerOf(certificate, fields), attributes, signature,
                                   fields.digest);
  out.certificate = std::move(certificate);
  return 0;
}

}  // namespace korva
