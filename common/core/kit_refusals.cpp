#include "common/core/kit_refusals.h"

namespace korva {

std::string ProgramPathNotAnsiMessage(const std::string& subject, const std::string& folder) {
  return subject + " cannot run from the folder\n" + folder +
         "\nThe system's ANSI code page cannot spell that name exactly (a ? stands for each "
         "character it has no form for), and the program would work in another folder of a "
         "similar name.\nMove the KORVA Development Kit into a folder whose name has only "
         "characters of that code page, such as C:\\Program Files\\KORVA.";
}

std::string LockNotTakenMessage(const std::string& programTitle, std::uint32_t code,
                                const std::string& codeText) {
  return "The " + programTitle + " could not take its single-instance lock (error " +
         std::to_string(code) + (codeText.empty() ? "" : ": " + codeText) +
         "); this one did nothing. Run it as an administrator.";
}

std::string KitNotTrustedMessage(const KitTrustProblem& problem) {
  const char* kind = problem.folder ? "folder" : "file";
  std::string text = "The KORVA Development Kit is not used: its " + std::string(kind) + "\n" +
                     problem.path + "\n";
  if (problem.principal.empty()) {
    text += "could not be checked (error " + std::to_string(problem.error) +
            (problem.errorText.empty() ? "" : ": " + problem.errorText) + ").\n";
  } else {
    text += "can be changed by " + problem.principal +
            (problem.rights.empty() ? "" : " (" + problem.rights + ")") +
            ", not by administrators alone, and whoever changes the kit has their code run with "
            "administrator rights.\n";
  }
  return text +
         "Move the kit into a folder that only administrators can change, such as one "
         "under C:\\Program Files, or correct the access list of that " +
         kind + ".";
}

std::vector<std::string> KitTrustLogFields(const KitTrustProblem& problem) {
  if (problem.principal.empty()) {
    return {problem.path, "",
            "error " + std::to_string(problem.error) +
                (problem.errorText.empty() ? "" : ": " + problem.errorText)};
  }
  return {problem.path, problem.principal, problem.rights};
}

}  // namespace korva
