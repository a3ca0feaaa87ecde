// The plain line-by-line INF matching, kept as the oracle for the fast matcher: translate as
// text mode does, cut into fgets pieces of at most 1999 characters, cut each at ';', upper-case,
// three substring searches (those of the ident test for whole fields). A UTF-16 file is first
// converted whole, and the same rule runs on the result.
#pragma once

#include <cctype>
#include <cstring>
#include <string>

#include "cleanup/core/inf_text_matcher.h"

namespace korva::testing {

// Whether `field` occurs in `piece` with no field character right before or after it.
inline bool ReferenceContainsField(const char* piece, const std::string& field) {
  size_t length = std::strlen(piece);
  for (const char* at = std::strstr(piece, field.c_str()); at;
       at = *at ? std::strstr(at + 1, field.c_str()) : nullptr) {
    size_t start = static_cast<size_t>(at - piece);
    size_t end = start + field.size();
    bool before = start == 0 || !IsFieldCharacter(static_cast<unsigned char>(piece[start - 1]));
    bool after = end == length || !IsFieldCharacter(static_cast<unsigned char>(piece[end]));
    if (before && after) return true;
  }
  return false;
}

// One fgets piece: cut at ';', upper-case (in ASCII for the format's marks, with the locale
// for the ident), and the three searches.
inline void ReferenceExaminePiece(char* piece, const InfSearchTerms& terms, InfMarks& marks) {
  if (char* semicolon = std::strchr(piece, ';')) *semicolon = '\0';
  std::string ascii = piece;
  for (char& c : ascii) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (char* p = piece; *p; ++p) {
    *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  }
  if (!marks.classFound && ascii.find("CLASSGUID") != std::string::npos &&
      ascii.find(terms.classGuidText) != std::string::npos) {
    marks.classFound = true;
  }
  if (!marks.identFound && ReferenceContainsField(piece, terms.identValueName) &&
      ReferenceContainsField(piece, terms.deviceIdentString)) {
    marks.identFound = true;
  }
  if (!marks.usbFound && ascii.find("USB\\") != std::string::npos) marks.usbFound = true;
}

inline InfMarks ReferenceMarks(const std::string& raw, const InfSearchTerms& terms) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == 0x1A) break;
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  InfMarks marks;
  char piece[kInfPieceLength + 1];
  size_t pos = 0;
  while (pos < text.size()) {
    size_t n = 0;
    while (n < kInfPieceLength && pos < text.size()) {
      char c = text[pos++];
      piece[n++] = c;
      if (c == '\n') break;
    }
    piece[n] = '\0';
    ReferenceExaminePiece(piece, terms, marks);
  }
  return marks;
}

// The text the rule runs on: a file that begins with the UTF-16LE byte-order mark converted
// whole (its whole code units after the mark), any other file as it is.
inline std::string ReferenceFileText(const std::string& raw, const Utf16ToAnsi& toAnsi) {
  if (raw.size() < 2 || raw[0] != '\xFF' || raw[1] != '\xFE') return raw;
  std::u16string units((raw.size() - 2) / 2, u'\0');
  std::memcpy(units.data(), raw.data() + 2, units.size() * 2);
  std::string text(units.size() * kMaxAnsiBytesPerUnit, '\0');
  text.resize(toAnsi(units.data(), units.size(), text.data()));
  return text;
}

inline InfMarks ReferenceFileMarks(const std::string& raw, const InfSearchTerms& terms,
                                   const Utf16ToAnsi& toAnsi) {
  return ReferenceMarks(ReferenceFileText(raw, toAnsi), terms);
}

inline bool ReferenceIsKitInf(const InfMarks& m, bool expertMode) {
  return m.classFound && m.usbFound && (m.identFound || expertMode);
}

}  // namespace korva::testing
