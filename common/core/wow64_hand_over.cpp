#include "common/core/wow64_hand_over.h"

#include "common/core/kit_identity.h"

namespace korva {

std::string Path64BitBuild(const std::string& modulePath, const LeadBytePredicate& isLeadByte) {
  size_t nameStart = FileNameStart(modulePath, isLeadByte);
  return modulePath.substr(0, nameStart) + k64BitBuildFolder + "\\" + modulePath.substr(nameStart);
}

std::string CommandLineArguments(const std::string& commandLine) {
  auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  size_t at = 0;
  bool quoted = false;
  while (at < commandLine.size() && (quoted || !isBlank(commandLine[at]))) {
    if (commandLine[at] == '"') quoted = !quoted;
    ++at;
  }
  while (at < commandLine.size() && isBlank(commandLine[at])) ++at;
  return commandLine.substr(at);
}

std::string HandOverCommandLine(const std::string& programPath, const std::string& arguments) {
  std::string line = "\"" + programPath + "\"";
  if (!arguments.empty()) line += " " + arguments;
  return line;
}

std::string No64BitBuildMessage(const std::string& programTitle, const std::string& work,
                                const std::string& path, unsigned long error, bool waitFailed) {
  std::string text =
      "This is 64-bit Windows, where only the 64-bit " + programTitle + " can " + work + ". ";
  if (waitFailed) {
    return text + "Its end could not be awaited (error " + std::to_string(error) +
           "), and it was stopped:\n" + path;
  }
  if (error == 0) return text + "It was not found:\n" + path + "\n" + kReinstallLine;
  return text + "It could not be started (error " + std::to_string(error) + "):\n" + path;
}

}  // namespace korva
