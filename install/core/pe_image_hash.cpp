#include "install/core/pe_image_hash.h"

namespace korva {

namespace {

constexpr size_t kDosHeaderLength = 64;
constexpr size_t kNewHeaderOffsetField = 0x3C;
constexpr size_t kCoffHeaderLength = 20;
constexpr size_t kOptionalHeaderSizeField = 16;  // within the COFF header
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kChecksumField = 64;  // within the optional header, both kinds
constexpr size_t kCertificateDirectory = 4;
constexpr size_t kDirectoryEntryLength = 8;
constexpr size_t kPaddingAlignment = 8;

std::uint16_t Little16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

std::uint32_t Little32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

ImageHashPlan Malformed() {
  ImageHashPlan plan;
  plan.kind = ImageKind::kMalformed;
  return plan;
}

}  // namespace

ImageHashPlan PlanImageHash(const std::uint8_t* data, size_t size) {
  ImageHashPlan plan;
  if (size < kDosHeaderLength || data[0] != 'M' || data[1] != 'Z') return plan;
  size_t peHeader = Little32(data + kNewHeaderOffsetField);
  // Without the signature where the DOS header points this is no PE image (an old DOS program,
  // or data that happens to begin with "MZ"): a flat file, as the platform hashes it.
  if (peHeader > size || size - peHeader < 4 || data[peHeader] != 'P' ||
      data[peHeader + 1] != 'E' || data[peHeader + 2] != 0 || data[peHeader + 3] != 0) {
    return plan;
  }
  size_t coff = peHeader + 4;
  size_t optional = coff + kCoffHeaderLength;
  if (size - coff < kCoffHeaderLength + 2) return Malformed();
  size_t optionalLength = Little16(data + coff + kOptionalHeaderSizeField);
  std::uint16_t magic = Little16(data + optional);
  if (magic != kPe32Magic && magic != kPe32PlusMagic) return Malformed();
  size_t directoryCountField = magic == kPe32Magic ? 92 : 108;
  size_t directories = directoryCountField + 4;
  size_t entry = directories + kCertificateDirectory * kDirectoryEntryLength;
  // The certificate table's entry must be part of the optional header and of the file.
  if (optionalLength < entry + kDirectoryEntryLength ||
      size - optional < entry + kDirectoryEntryLength) {
    return Malformed();
  }
  if (Little32(data + optional + directoryCountField) <= kCertificateDirectory) return Malformed();

  size_t checksum = optional + kChecksumField;
  size_t certificateEntry = optional + entry;
  size_t tableOffset = Little32(data + certificateEntry);
  size_t tableLength = Little32(data + certificateEntry + 4);
  size_t end = size;
  if (tableLength != 0) {
    // A signed image: the table comes after the headers and ends the file.
    if (tableOffset < certificateEntry + kDirectoryEntryLength || tableOffset > size ||
        size - tableOffset != tableLength) {
      return Malformed();
    }
    end = tableOffset;
  } else {
    plan.zeroPadding = (kPaddingAlignment - size % kPaddingAlignment) % kPaddingAlignment;
  }
  plan.kind = ImageKind::kPeImage;
  plan.ranges = {
      {0, checksum},
      {checksum + 4, certificateEntry - checksum - 4},
      {certificateEntry + kDirectoryEntryLength, end - certificateEntry - kDirectoryEntryLength}};
  return plan;
}

}  // namespace korva
