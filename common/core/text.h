// Text helpers that follow the C library's current locale (set at start-up from the
// user's environment). Platform-free.
#pragma once

#include <functional>
#include <string>

namespace korva {

// Upper-cases every byte in place with toupper of the current locale.
void UpperCaseInPlace(std::string& text);

// Upper-cases the ASCII letters a to z and nothing else, under any locale: for the fixed marks
// of file formats, which a locale's own casing (a Turkish 'i') must not change.
inline char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
void AsciiUpperCaseInPlace(std::string& text);
// Equality with only the ASCII letters folded: for GUIDs, bus names and the kit's own marks.
bool EqualsIgnoreAsciiCase(const std::string& a, const std::string& b);

// Byte-wise case-insensitive equality under the current locale.
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// Case-insensitive equality that treats the locale's multibyte characters as units:
// single-byte characters are compared without case, multibyte ones byte for byte, so a
// trail byte is never folded as if it were a letter.
bool EqualsIgnoreCaseMultibyte(const std::string& a, const std::string& b);

// True for the white-space characters of the current locale.
bool IsLocaleSpace(char c);

// Tells whether a byte starts a double-byte character of the ANSI code page, so that a trail
// byte that happens to be a backslash is not taken for a separator.
using LeadBytePredicate = std::function<bool(unsigned char)>;

// Where the file name of `path` begins: after its last "\\" or "/", or after a drive's ":" at
// its start; 0 for a bare name. A trail byte that looks like a backslash separates nothing.
size_t FileNameStart(const std::string& path, const LeadBytePredicate& isLeadByte = nullptr);

}  // namespace korva
