// The full path of the running program, in the ANSI code page in which the programs hold their
// paths, and whether that form is exact. Where the code page cannot spell a character of it
// (a folder "C:\Kit-Łódź" under code page 1252), the ANSI calls would give a look-alike
// ("C:\Kit-Lódz"): a folder anyone may create, from which the program would take its kit.
#pragma once

#include <string>
#include <utility>

namespace korva {

struct ProgramPath {
  ProgramPath() = default;
  // A path known to be exact, as the tests give it.
  ProgramPath(std::string path) : ansi(std::move(path)) {}  // NOLINT: implicit on purpose

  std::string ansi;   // with '?' for a character the code page has no form for
  bool exact = true;  // false: unusable (no exact form, or too long for the ANSI calls)
  // The folder, for a message: the path up to its last separator.
  std::string Folder() const;
};

// The path of this process's program file.
ProgramPath ReadProgramPath();

}  // namespace korva
