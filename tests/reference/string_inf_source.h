// An in-memory InfSource that hands its bytes out in chunks of a chosen size, so block
// boundaries fall where a test wants them.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "cleanup/core/inf_text_matcher.h"

namespace korva::testing {

class StringInfSource : public InfSource {
 public:
  explicit StringInfSource(std::string data, size_t chunk = SIZE_MAX)
      : data_(std::move(data)), chunk_(chunk) {}
  size_t Read(char* buffer, size_t size) override {
    size_t n = std::min({size, chunk_, data_.size() - pos_});
    std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
  }
  bool Rewind() override {
    pos_ = 0;
    return true;
  }

 private:
  std::string data_;
  size_t chunk_;
  size_t pos_ = 0;
};

}  // namespace korva::testing
