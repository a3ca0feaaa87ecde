#include "cleanup/core/cleanup_log.h"

namespace korva {

namespace {

std::string Flag(bool value) { return value ? "yes" : "no"; }

}  // namespace

std::vector<std::string> CleanupStartFields(const std::string& localTime,
                                            const std::string& program,
                                            const CleanupSettings& settings) {
  return {localTime,
          program,
          "class=" + settings.classGuidText,
          "ident=" + settings.deviceIdentString,
          "expert=" + Flag(settings.expertMode),
          "nogui=" + Flag(!settings.interactive),
          "list=" + Flag(settings.listOnly)};
}

std::vector<std::string> CleanupEndFields(const CleanupRunCounts& counts, int status) {
  return {"devices=" + std::to_string(counts.devicesFound),
          "inf=" + std::to_string(counts.infFilesFound),
          "removed=" + std::to_string(counts.removed),
          "failed=" + std::to_string(counts.failed),
          "not examined=" + std::to_string(counts.notExamined),
          "status=" + std::to_string(status)};
}

int UnattendedExitStatus(const CleanupRunCounts& counts, bool listOnly, bool logNotOpened) {
  if (counts.failed != 0 || counts.notExamined != 0) return kExitRemovalFailed;
  if (listOnly && counts.devicesFound + counts.infFilesFound != 0) return kExitItemsFound;
  if (counts.restartNeeded) return kExitRestartNeeded;
  if (logNotOpened) return kExitLogNotOpened;
  return kExitOk;
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
