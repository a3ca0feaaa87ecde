// Text helpers that follow the C library's current locale (set at start-up from the
// user's environment). Platform-free.
#pragma once

#include <functional>
#include <string>

namespace korva {

// Upper-cases every byte in place with toupper of the current locale.
void UpperCaseInPlace(std::string& text);

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

}  // namespace korva
