// Decides whether the text of an INF file is one of the kit's. Platform-free.
//
// The rule: the file is read as the C library reads it in text mode (CR LF becomes LF, a
// Ctrl+Z ends the text) in pieces of at most 1999 characters, a piece ending after a line
// feed or when full. Each piece is cut at its first ';' (and, being a C string, at its first
// NUL), upper-cased with the current locale, and searched for three marks:
//   class: "CLASSGUID" and the class GUID text in the same piece;
//   ident: the ident value name and the ident string in the same piece, each as a whole
//          field: the characters just before and after it are the piece's start or end or
//          no field character (a letter or digit of the current locale, '_' or '-');
//   USB:   "USB\".
// The file is the kit's when class and USB are found and ident is found or expert mode is on.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace korva {

constexpr size_t kInfPieceLength = 1999;

// A character that continues a field (of the ident test) under the current locale: a letter,
// a digit, '_' or '-'. The ident {...} is not found in {...}-V2.
inline bool IsFieldCharacter(unsigned char c) {
  return std::isalnum(c) != 0 || c == '_' || c == '-';
}

struct InfSearchTerms {
  std::string classGuidText;      // upper-case
  std::string identValueName;     // upper-case
  std::string deviceIdentString;  // upper-case
  bool expertMode = false;
};

struct InfMarks {
  bool classFound = false;
  bool identFound = false;
  bool usbFound = false;
};

// Byte source of one file, read from its start.
class InfSource {
 public:
  virtual ~InfSource() = default;
  // Reads up to `size` bytes; 0 at the end of the file or on a read error.
  virtual size_t Read(char* buffer, size_t size) = 0;
  // Goes back to the start of the file; false if it cannot.
  virtual bool Rewind() = 0;
};

class InfTextMatcher {
 public:
  // Captures the upper-casing table of the locale in force now.
  explicit InfTextMatcher(InfSearchTerms terms);

  // The three marks over the whole text.
  InfMarks ReadMarks(InfSource& source) const;

  // Whether the file is one of the kit's. Makes one fast pass for the class GUID text (a file
  // without it anywhere cannot match) and reads piece by piece only the files that have it,
  // stopping once the answer is certain. Same answer as IsKitInf(ReadMarks(...)).
  bool Matches(InfSource& source) const;

  bool IsKitInf(const InfMarks& marks) const;

 private:
  class PieceReader;

  // Finds the class GUID text anywhere in the raw bytes, case-insensitively.
  bool ContainsClassGuid(InfSource& source) const;
  InfMarks Read(InfSource& source, bool stopWhenDecided) const;
  void ExaminePiece(const char* piece, size_t length, InfMarks& marks) const;
  bool ContainsField(std::string_view text, const std::string& field) const;

  InfSearchTerms terms_;
  unsigned char upper_[256];
  bool fieldCharacter_[256];
  // The class GUID's search anchor: its position in the text and every byte that
  // upper-cases to the byte there.
  size_t anchor_ = 0;
  std::vector<unsigned char> anchorBytes_;
  // The read buffer, kept from file to file; a matcher serves one thread.
  mutable std::vector<char> buffer_;
};

}  // namespace korva
