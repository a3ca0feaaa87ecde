// Which bytes of a file the Authenticode image hash covers, so that a driver binary can stand in
// a catalog as Windows and other verifiers look it up. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korva {

struct ByteRange {
  size_t offset = 0;
  size_t length = 0;
};

enum class ImageKind {
  kFlatFile,   // no PE image: the member's hash is the plain hash of the whole file
  kPeImage,    // hash `ranges`, then `zeroPadding` zero bytes
  kMalformed,  // begins as a PE image but its headers or its certificate table do not fit
};

struct ImageHashPlan {
  ImageKind kind = ImageKind::kFlatFile;
  std::vector<ByteRange> ranges;
  size_t zeroPadding = 0;
};

// The image hash covers the whole file except the header's checksum field, the certificate
// table's entry in the data directories and the certificate table itself; an image without a
// certificate table is padded with zeros to a multiple of eight bytes, as it would be when
// signed.
ImageHashPlan PlanImageHash(const std::uint8_t* data, size_t size);

}  // namespace korva
