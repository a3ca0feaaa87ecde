// The console companions KORVAcw.com and KORVAwiz.com. A command prompt waits for a console
// program, not for a windowed one: the companion starts the windowed program of its folder with
// its own arguments, passes on what that program writes as it arrives, waits for its end and
// ends with its exit status.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

// Where the companion's output goes: a console gets the text converted from the ANSI code page
// (device names with accents come out right); a file or a pipe gets the bytes as they are.
class CompanionOutput {
 public:
  explicit CompanionOutput(HANDLE handle);
  CompanionOutput(const CompanionOutput&) = delete;
  CompanionOutput& operator=(const CompanionOutput&) = delete;
  ~CompanionOutput() { Finish(); }

  bool IsConsole() const { return console_; }
  // A character cut between two calls is written whole with the second.
  void Write(const char* bytes, size_t size);
  // Writes what is held back (a lone lead byte at the end).
  void Finish();

 private:
  void WriteConsoleText(const std::string& text);
  HANDLE handle_;
  bool console_ = false;
  bool broken_ = false;  // the reader went away: the rest is read and dropped
  std::string held_;
};

// The companion's whole run: starts `programName` from the companion's own folder and returns
// the status to end with.
int RunConsoleCompanion(const std::string& companionName, const std::string& programName);

}  // namespace korva
