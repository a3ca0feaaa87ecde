#include "common/core/text.h"

#include <cctype>
#include <cstdlib>

namespace korva {

namespace {

int Upper(char c) { return std::toupper(static_cast<unsigned char>(c)); }

// Length of the multibyte character at text[pos]; 1 for anything the locale does not
// call a multibyte character (plain bytes, invalid sequences).
size_t CharLength(const std::string& text, size_t pos) {
  int length = std::mblen(text.data() + pos, text.size() - pos);
  return length > 1 ? static_cast<size_t>(length) : 1;
}

}  // namespace

void UpperCaseInPlace(std::string& text) {
  for (char& c : text) c = static_cast<char>(Upper(c));
}

void AsciiUpperCaseInPlace(std::string& text) {
  for (char& c : text) c = AsciiUpper(c);
}

bool EqualsIgnoreAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

bool EqualsIgnoreCaseMultibyte(const std::string& a, const std::string& b) {
  std::mblen(nullptr, 0);  // reset the shift state
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    size_t lengthA = CharLength(a, i);
    size_t lengthB = CharLength(b, j);
    if (lengthA != lengthB) return false;
    if (lengthA == 1) {
      if (Upper(a[i]) != Upper(b[j])) return false;
    } else if (a.compare(i, lengthA, b, j, lengthB) != 0) {
      return false;
    }
    i += lengthA;
    j += lengthB;
  }
  return i == a.size() && j == b.size();
}

bool IsLocaleSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

size_t FileNameStart(const std::string& path, const LeadBytePredicate& isLeadByte) {
  size_t nameStart = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (isLeadByte && isLeadByte(static_cast<unsigned char>(path[i]))) {
      ++i;  // its trail byte is no separator
    } else if (path[i] == '\\' || path[i] == '/') {
      nameStart = i + 1;
    }
  }
  return nameStart;
}

}  // namespace korva
