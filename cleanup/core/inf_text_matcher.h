// Decides whether the text of an INF file is one of the kit's. Platform-free.
//
// The rule: the file is read as the C library reads it in text mode (CR LF becomes LF, a
// Ctrl+Z ends the text) in pieces of at most 1999 characters, a piece ending after a line
// feed or when full. Each piece is cut at its first ';' (and, being a C string, at its first
// NUL) and searched for three marks:
//   class: "CLASSGUID" and the class GUID text in the same piece;
//   ident: the ident value name and the ident string in the same piece, each as a whole
//          field: the characters just before and after it are the piece's start or end or
//          no field character (a letter or digit of the current locale, '_' or '-');
//   USB:   "USB\".
// The class and USB marks are the format's own ASCII words: for them only the letters a to z
// are upper-cased, whatever the locale (under a Turkish one, toupper turns "classguid" into
// "CLASSGU\xDDD"). For the ident, the user's text, the piece is upper-cased with the locale.
// The file is the kit's when class and USB are found and ident is found or expert mode is on.
//
// A file that begins with the UTF-16LE byte-order mark holds UTF-16 text: what follows the mark
// (whole code units; an odd last byte is dropped) is converted to the ANSI code page, and the
// rule above runs on the converted text as if the file had held it (so a converted CR LF is a
// line end, a converted U+001A ends the text, a converted U+0000 cuts the piece). Every other
// file is read byte for byte.
#pragma once

#include <cctype>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace korva {

constexpr size_t kInfPieceLength = 1999;

// The most bytes the ANSI form of one UTF-16 code unit takes, in any ANSI code page (double-byte
// code pages take two, UTF-8 up to three, GB18030 four).
constexpr size_t kMaxAnsiBytesPerUnit = 4;

// The platform's conversion of UTF-16 text to the ANSI code page, handed in by the caller:
// writes the ANSI form of `count` code units to `out`, which has room for
// kMaxAnsiBytesPerUnit * count bytes, and returns the number of bytes written. Characters
// without an ANSI form become '?'. The matcher converts a file block by block and never
// splits a surrogate pair between blocks, so a conversion that takes each code unit (and each
// pair) on its own, as the platform's does, gives the same text as one of the whole file.
using Utf16ToAnsi = std::function<size_t(const char16_t* units, size_t count, char* out)>;

// A character that continues a field (of the ident test) under the current locale: a letter,
// a digit, '_' or '-'. The ident {...} is not found in {...}-V2.
inline bool IsFieldCharacter(unsigned char c) {
  return std::isalnum(c) != 0 || c == '_' || c == '-';
}

struct InfSearchTerms {
  std::string classGuidText;      // upper-case ASCII
  std::string identValueName;     // upper-case (locale)
  std::string deviceIdentString;  // upper-case (locale)
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
  InfTextMatcher(InfSearchTerms terms, Utf16ToAnsi toAnsi);

  // The three marks over the whole text.
  InfMarks ReadMarks(InfSource& source) const;

  // Whether the file is one of the kit's. Makes one fast pass for the class GUID text (a file
  // without it anywhere cannot match) and reads piece by piece only the files that have it,
  // stopping once the answer is certain. Same answer as IsKitInf(ReadMarks(...)).
  bool Matches(InfSource& source) const;

  bool IsKitInf(const InfMarks& marks) const;

 private:
  class PieceReader;
  class TextSource;

  // Finds the class GUID text anywhere in the raw bytes, case-insensitively.
  bool ContainsClassGuid(InfSource& source) const;
  InfMarks Read(InfSource& source, bool stopWhenDecided) const;
  // The piece upper-cased twice: with the locale (for the ident) and in ASCII (for the rest).
  void ExaminePiece(std::string_view localeUpper, std::string_view asciiUpper,
                    InfMarks& marks) const;
  bool ContainsField(std::string_view text, const std::string& field) const;
  // toAnsi_, with runs of ASCII copied here when the code page keeps ASCII as it is.
  size_t ToAnsi(const char16_t* units, size_t count, char* out) const;

  InfSearchTerms terms_;
  unsigned char upper_[256];
  unsigned char asciiUpper_[256];
  bool fieldCharacter_[256];
  // The class GUID's search anchor: its position in the text and every byte that
  // upper-cases (in ASCII) to the byte there.
  size_t anchor_ = 0;
  std::vector<unsigned char> anchorBytes_;
  Utf16ToAnsi toAnsi_;
  bool asciiIsItself_ = false;
  // The read buffer and, for UTF-16 files, the buffer of code units not yet converted; kept
  // from file to file. A matcher serves one thread.
  mutable std::vector<char> buffer_;
  mutable std::vector<char16_t> units_;
};

}  // namespace korva
