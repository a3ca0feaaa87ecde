#include "cleanup/core/command_line.h"

#include "common/core/command_line_tokens.h"
#include "common/core/text.h"

namespace korva {

bool FindCommandLineOption(const std::string& commandLine, const std::string& option,
                           std::string* value, bool ignoreCase) {
  if (value) value->clear();
  std::vector<std::string> tokens = CommandLineTokens(commandLine);
  for (size_t i = 0; i < tokens.size(); ++i) {
    bool equal = ignoreCase ? EqualsIgnoreCaseMultibyte(tokens[i], option) : tokens[i] == option;
    if (!equal) continue;
    if (value && i + 1 < tokens.size()) *value = tokens[i + 1];
    return true;
  }
  return false;
}

bool EveryTokenIsKnown(const std::string& commandLine, const std::vector<std::string>& options,
                       const std::vector<std::string>& valueOptions) {
  auto isOneOf = [](const std::string& token, const std::vector<std::string>& list) {
    for (const std::string& option : list) {
      if (EqualsIgnoreCaseMultibyte(token, option)) return true;
    }
    return false;
  };
  bool isValue = false;
  for (const std::string& token : CommandLineTokens(commandLine)) {
    if (!isValue && !isOneOf(token, options)) return false;
    isValue = isOneOf(token, valueOptions);
  }
  return true;
}

}  // namespace korva
