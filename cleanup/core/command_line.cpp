#include "cleanup/core/command_line.h"

#include "common/core/text.h"

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

bool EveryTokenIsKnown(const std::string& commandLine, const std::vector<std::string>& options,
                       const std::vector<std::string>& valueOptions) {
  auto isOneOf = [](const std::string& token, const std::vector<std::string>& list) {
    for (const std::string& option : list) {
      if (EqualsIgnoreCaseMultibyte(token, option)) return true;
    }
    return false;
  };
  size_t pos = 0;
  bool isValue = false;
  for (;;) {
    std::string token = NextToken(commandLine, pos);
    if (token.empty()) return true;
    if (!isValue && !isOneOf(token, options)) return false;
    isValue = isOneOf(token, valueOptions);
  }
}

}  // namespace korva
