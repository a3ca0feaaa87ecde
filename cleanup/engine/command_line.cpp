#include "cleanup/engine/command_line.h"

#include "common/text.h"

namespace korva {

namespace {

// Returns the next token at or after `pos` and moves `pos` past it; empty at the end.
std::string NextToken(const std::string& text, size_t& pos) {
  while (pos < text.size() && IsLocaleSpace(text[pos])) ++pos;
  size_t start = pos;
  while (pos < text.size() && !IsLocaleSpace(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

}  // namespace

bool FindCommandLineOption(const std::string& commandLine, const std::string& option,
                           std::string* value, bool ignoreCase) {
  if (value) value->clear();
  size_t pos = 0;
  for (;;) {
    std::string token = NextToken(commandLine, pos);
    if (token.empty()) return false;
    bool equal = ignoreCase ? EqualsIgnoreCaseMultibyte(token, option) : token == option;
    if (equal) break;
  }
  std::string next = NextToken(commandLine, pos);
  if (value && !next.empty()) *value = next;
  return true;
}

}  // namespace korva
