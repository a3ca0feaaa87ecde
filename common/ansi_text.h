// Between the ANSI code page, in which the programs hold their text, and the platform's wide
// characters, in which file names are what they are.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

std::wstring WideFromAnsi(const std::string& text);

// Whether `c` starts a double-byte character of the ANSI code page (a LeadBytePredicate).
bool IsAnsiLeadByte(unsigned char c);

// The ANSI form of `text`, with '?' for each character the code page has no exact form for
// (never a look-alike); `exact` tells whether every character had one.
std::string AnsiFromWide(const std::wstring& text, bool* exact = nullptr);

}  // namespace korva
