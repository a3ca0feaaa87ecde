#include "common/core/console_companion.h"

#include "common/core/kit_refusals.h"
#include "common/core/log_line.h"
#include "common/core/kit_identity.h"

namespace korva {

std::string CompanionProgramPath(const std::string& modulePath, const std::string& programName,
                                 const LeadBytePredicate& isLeadByte) {
  return modulePath.substr(0, FileNameStart(modulePath, isLeadByte)) + programName;
}

std::string CompanionFailureLine(const std::string& companionName, const std::string& path,
                                 unsigned long error, bool waitFailed) {
  std::string line = companionName + ": ";
  if (waitFailed) {
    line += "the end of " + path + " could not be awaited (error " + std::to_string(error) +
            "), and it was stopped.";
  } else if (error == 0) {
    line += path + " was not found. " + kReinstallLine;
  } else if (error == kErrorElevationRequired) {
    line += path + " could not be started (error 740): it runs only as an administrator. " +
            "Run the command again from a command prompt started as an administrator.";
  } else {
    line += path + " could not be started (error " + std::to_string(error) + ").";
  }
  return line + "\r\n";
}

std::string CompanionPathNotAnsiLine(const std::string& companionName, const std::string& folder) {
  return companionName + ": " +
         MessageAsLogField(ProgramPathNotAnsiMessage(companionName, folder)) + "\r\n";
}

size_t WholeCharactersLength(const std::string& bytes, const LeadBytePredicate& isLeadByte) {
  size_t at = 0;
  while (at < bytes.size()) {
    bool lead = isLeadByte && isLeadByte(static_cast<unsigned char>(bytes[at]));
    if (lead && at + 1 == bytes.size()) break;
    at += lead ? 2 : 1;
  }
  return at;
}

}  // namespace korva
