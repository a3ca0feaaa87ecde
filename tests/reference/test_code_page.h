// A made-up ANSI code page for the platform-free tests, with the shapes of the real ones: one
// byte for U+0000..U+00FF (as Latin-1), two bytes for U+3000..U+30FF (a lead byte and a trail
// byte that is ASCII, as in the double-byte code pages), three for U+4E00..U+4FFF and four for
// U+AC00..U+ACFF and for a surrogate pair (as UTF-8 and GB18030 take), '?' for everything else
// and for a lone surrogate. A pair split in two would come out as "??", not as four bytes.
#pragma once

#include <cstddef>
#include <string>

#include "cleanup/core/inf_text_matcher.h"

namespace korva::testing {

inline size_t TestUtf16ToAnsi(const char16_t* units, size_t count, char* out) {
  char* p = out;
  auto put = [&p](unsigned value) { *p++ = static_cast<char>(value & 0xFF); };
  for (size_t i = 0; i < count; ++i) {
    unsigned u = units[i];
    if (u < 0x100) {
      put(u);
    } else if (u >= 0x3000 && u < 0x3100) {
      put(0x81);
      put(0x40 + (u & 0x3F));
    } else if (u >= 0x4E00 && u < 0x5000) {
      put(0xE4);
      put(0x80 | ((u >> 6) & 0x3F));
      put(0x80 | (u & 0x3F));
    } else if (u >= 0xAC00 && u < 0xAD00) {
      put(0x84);
      put(0x31);
      put(0x80 | ((u >> 4) & 0x0F));
      put(0x30 + (u & 0x0F));
    } else if (u >= 0xD800 && u < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
               units[i + 1] < 0xE000) {
      unsigned low = units[++i];
      put(0xF0);
      put(0x80 | (u & 0x3F));
      put(0x80 | ((low >> 6) & 0x0F));
      put(0x80 | (low & 0x3F));
    } else {
      put('?');
    }
  }
  return static_cast<size_t>(p - out);
}

// The bytes of a UTF-16LE file holding `text`, with the byte-order mark unless told otherwise.
inline std::string Utf16File(const std::u16string& text, bool byteOrderMark = true) {
  std::string bytes = byteOrderMark ? "\xFF\xFE" : "";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

// Each byte of `text` as the code unit of the same number (ASCII and Latin-1 as they are).
inline std::u16string Widen(const std::string& text) {
  std::u16string wide;
  for (char c : text) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace korva::testing
