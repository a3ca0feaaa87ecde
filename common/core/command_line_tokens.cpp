#include "common/core/command_line_tokens.h"

#include "common/core/text.h"

namespace korva {

std::vector<std::string> CommandLineTokens(const std::string& commandLine) {
  std::vector<std::string> tokens;
  size_t pos = 0;
  const size_t size = commandLine.size();
  for (;;) {
    while (pos < size && IsLocaleSpace(commandLine[pos])) ++pos;
    if (pos == size) return tokens;
    bool logValue = !tokens.empty() && EqualsIgnoreCaseMultibyte(tokens.back(), "-log");
    if (logValue && commandLine[pos] == '"') {
      size_t close = commandLine.find('"', pos + 1);
      if (close != std::string::npos) {
        tokens.push_back(commandLine.substr(pos + 1, close - pos - 1));
        pos = close + 1;
        continue;
      }
    }
    size_t start = pos;
    while (pos < size && !IsLocaleSpace(commandLine[pos])) ++pos;
    tokens.push_back(commandLine.substr(start, pos - start));
  }
}

}  // namespace korva
