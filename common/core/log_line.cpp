#include "common/core/log_line.h"

#include <cctype>

namespace korva {

namespace {

void AppendField(std::string& line, const std::string& field) {
  for (char c : field) {
    unsigned char byte = static_cast<unsigned char>(c);
    line += (byte < 0x20 || byte == 0x7F) ? ' ' : c;
  }
}

bool StartsWithIgnoreCase(const std::string& text, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i) {
    if (i >= text.size() || std::toupper(static_cast<unsigned char>(text[i])) !=
                                std::toupper(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string FormatLogLine(const std::string& kind, const std::vector<std::string>& fields) {
  std::string line;
  AppendField(line, kind);
  for (const std::string& field : fields) {
    line += '\t';
    AppendField(line, field);
  }
  return line;
}

bool IsPlainFilePath(const std::string& path) {
  if (path.empty()) return false;
  // Either separator counts: the platform reads "//./" as "\\.\".
  std::string text = path;
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  // "\??\" passes an NT path through as it stands, devices and volumes included.
  if (StartsWithIgnoreCase(text, "\\\\.\\") || StartsWithIgnoreCase(text, "\\??\\")) return false;
  if (!StartsWithIgnoreCase(text, "\\\\?\\")) return true;
  std::string rest = text.substr(4);
  if (StartsWithIgnoreCase(rest, "UNC\\")) return rest.size() > 4;
  return rest.size() >= 3 && std::isalpha(static_cast<unsigned char>(rest[0])) && rest[1] == ':' &&
         rest[2] == '\\';
}

std::string ErrorCodeText(std::uint32_t code) {
  return std::to_string(static_cast<std::int32_t>(code));
}

std::string MessageAsLogField(const std::string& text) {
  std::string field;
  for (const std::string& line : NonEmptyLines(text)) {
    if (!field.empty()) field += ' ';
    field += line;
  }
  return field;
}

std::string LogNotOpenedMessage(const std::string& path, std::uint32_t code,
                                const std::string& codeText) {
  return "The log file could not be opened:\n" + path + "\nerror = " + ErrorCodeText(code) + ": " +
         codeText + "\nThe run goes on without it.";
}

std::vector<std::string> NonEmptyLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace korva
