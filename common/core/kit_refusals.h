// Why a program refuses to use its own kit, and the exit statuses that say so; the same in
// both programs and their companions. Platform-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva {

// A folder or file of the kit (the template, a driver binary, the demo program, the 64-bit
// build) can be changed by someone who is not an administrator, or could not be checked:
// nothing was staged, trusted, installed or removed.
constexpr int kExitKitNotTrusted = 11;
// The program's own path has no exact form in the ANSI code page, in which the programs hold
// their paths: they would work in a folder of a similar name. Nothing was done.
constexpr int kExitProgramPathNotAnsi = 12;

// The box of a program whose folder `folder` (its ANSI form, a '?' for each character the code
// page has none for) cannot be spelt in the ANSI code page. `subject` names the program as the
// sentence's subject ("The KORVA Cleanup Wizard").
std::string ProgramPathNotAnsiMessage(const std::string& subject, const std::string& folder);

// The message of a run that could not take its single-instance lock where the platform keeps
// it for administrators (not run as one, say): `programTitle` is the program's full name.
std::string LockNotTakenMessage(const std::string& programTitle, std::uint32_t code,
                                const std::string& codeText);

// Who may change a part of the kit, for the box and the log.
struct KitTrustProblem {
  std::string path;  // the folder or file
  bool folder = false;
  std::string principal;    // who may change it, as people read the name; empty: not checked
  std::string rights;       // what that one may do ("write, delete")
  std::uint32_t error = 0;  // the platform's code when it could not be checked
  std::string errorText;
};

// The box of a kit that users who are not administrators can change (or that could not be
// checked): which folder or file, who may change it, and what to do.
std::string KitNotTrustedMessage(const KitTrustProblem& problem);

// The fields of the log line "untrusted": the path, who may change it (empty when it could not
// be checked), and what that one may do (or the error that stopped the check).
std::vector<std::string> KitTrustLogFields(const KitTrustProblem& problem);

}  // namespace korva
