// The record of a run for those who start it unattended: lines appended to a log file (ANSI
// code page text, CR LF) and, when standard output is a file or a pipe, written there too.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/last_error.h"
#include "common/unique_resource.h"

namespace korva {

// A log path that is a symbolic link or junction (ERROR_REPARSE_POINT_ENCOUNTERED of later
// headers); a file with a second name is refused with ERROR_TOO_MANY_LINKS.
constexpr DWORD kLogFileIsALink = kErrorIsALink;
// A log file that was there already and that someone who is not an administrator, the system
// or the user running the program owns or may change: whoever made it could read the run's
// lines, add lines of their own or hold the file.
constexpr DWORD kLogFileNotTrusted = ERROR_INVALID_OWNER;

class RunLog {
 public:
  RunLog() = default;
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Appends to the file at `path` from now on, creating it if missing. False, with the reason
  // in OpenError(), when it cannot be opened (or does not name a plain file); the run then goes
  // on without it.
  bool OpenFile(const std::string& path);
  DWORD OpenError() const { return openError_; }
  // The reason in words: the platform's text, or ours for the refusals of our own.
  std::string OpenErrorText() const;

  // Writes the lines to standard output as well when it is a file, a pipe or a character device
  // (IsRedirected), as under management tools; a console, or no standard output, gets nothing.
  // True when it does.
  bool UseStandardOutputIfRedirected();

  // One line (see FormatLogLine), written at once so that a run that ends abruptly keeps what
  // it wrote. A failed write to one place does not stop the others.
  void Write(const std::string& kind, const std::vector<std::string>& fields);

  // Whether any line goes anywhere.
  bool Active() const { return file_.Valid() || standardOutput_ != nullptr; }

  // The local date and time as "YYYY-MM-DD hh:mm:ss", for the line that opens a run.
  static std::string LocalTimeText();

 private:
  UniqueHandle file_;
  HANDLE standardOutput_ = nullptr;  // not ours: never closed
  DWORD openError_ = 0;
  std::string openChanger_;  // who may change a file refused for that
};

// Whether a standard handle is a file, a pipe or a character device other than a console (NUL),
// as a management tool's run or a script's redirection gives them: not a console, not missing.
// Nobody reads a box of a program whose output goes there.
bool IsRedirected(HANDLE handle);

// Whether this process's window station is one that someone can see: not that of a service, or
// of a task run without a logged-on user. In doubt, no.
bool WindowStationVisible();

// The platform's text for an error code, without its line end ("" when there is none).
std::string SystemErrorText(DWORD code);

}  // namespace korva
