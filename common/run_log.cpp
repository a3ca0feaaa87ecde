#include "common/run_log.h"

#include <cstdio>

#include "common/ansi_text.h"
#include "common/core/log_line.h"
#include "common/core/text.h"
#include "common/last_error.h"
#include "common/object_security.h"
#include "common/security_descriptor.h"

namespace korva {

namespace {

// The log folder the program makes: the administrators' and the system's alone.
bool MakeLogFolder(const std::string& folder) {
  TextSecurityDescriptor security(kAdministratorsOnlyFolder);
  return security.Get() && CreateDirectoryA(folder.c_str(), security.Attributes()) != FALSE;
}

void WriteAll(HANDLE handle, const std::string& text) {
  DWORD written = 0;
  WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

bool RunLog::OpenFile(const std::string& path) {
  file_.Reset();
  openError_ = 0;
  openChanger_.clear();
  if (!IsPlainFilePath(path)) {
    openError_ = ERROR_INVALID_NAME;
    return false;
  }
  // Append-only access: each line lands at the end even when another run writes the same
  // file, and nothing already in it can be overwritten.
  // A link is opened itself, never followed: see below.
  auto open = [&] {
    return CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE | READ_CONTROL,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  };
  HANDLE file = open();
  // The log's own folder (%SystemRoot%\Logs\KORVA) is made when it is missing, one level only,
  // the administrators' and the system's alone: no other user can make a file in it or read
  // one.
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PATH_NOT_FOUND) {
    size_t nameStart = FileNameStart(path, IsAnsiLeadByte);
    if (nameStart > 1 && MakeLogFolder(path.substr(0, nameStart - 1))) {
      file = open();
    } else {
      SetLastError(ERROR_PATH_NOT_FOUND);
    }
  }
  if (file == INVALID_HANDLE_VALUE) {
    openError_ = LastErrorOfFailure();
    return false;
  }
  const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
  file_.Reset(file);
  // A name that opens a device rather than a file (CON, NUL, COM1, a pipe) is no log.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    file_.Reset();
    openError_ = ERROR_INVALID_NAME;
    return false;
  }
  // Windows refuses to write a read-only file; Wine, run as root, would append to it. Refused
  // here as well, so that a log made read-only stays as it is everywhere.
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file, &information)) {
    openError_ = LastErrorOfFailure();
    file_.Reset();
    return false;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
    file_.Reset();
    openError_ = ERROR_ACCESS_DENIED;
    return false;
  }
  // In a folder every user can write (C:\Windows\Temp), a symbolic link or a second name of
  // another file would send the administrator's record into a file of the user's choosing.
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    file_.Reset();
    openError_ = kLogFileIsALink;
    return false;
  }
  if (information.nNumberOfLinks > 1) {
    file_.Reset();
    openError_ = ERROR_TOO_MANY_LINKS;
    return false;
  }
  // A file made here now is this process's own; one that was there may have been made first
  // by a user who can write the folder (C:\Windows\Temp), to read the administrator's lines,
  // forge some (an "end ... status=0") or hold the file.
  if (existed) {
    SecurityReader reader;
    ObjectSecurity security;
    if (DWORD error = reader.ReadFileSecurity(WideFromAnsi(path), file, security)) {
      file_.Reset();
      openError_ = error;
      return false;
    }
    TrustVerdict verdict = JudgeObjectSecurity(security, TrustedPrincipalsOfThisProcess());
    if (!verdict.trusted) {
      file_.Reset();
      openError_ = kLogFileNotTrusted;
      openChanger_ =
          verdict.principal.empty() ? std::string("nobody") : PrincipalName(verdict.principal);
      return false;
    }
  }
  return true;
}

std::string RunLog::OpenErrorText() const {
  switch (openError_) {
    case kLogFileIsALink:
      return "The log file is a symbolic link or a junction.";
    case kLogFileNotTrusted:
      return "The log file was there already, and " + openChanger_ +
             " can change it, not administrators alone.";
    default:
      return SystemErrorText(openError_);
  }
}

bool IsRedirected(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD type = GetFileType(handle);
  if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) return true;
  DWORD mode = 0;
  return type == FILE_TYPE_CHAR && !GetConsoleMode(handle, &mode);
}

bool WindowStationVisible() {
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  HWINSTA station = GetProcessWindowStation();
  return station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool RunLog::UseStandardOutputIfRedirected() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  standardOutput_ = IsRedirected(output) ? output : nullptr;
  return standardOutput_ != nullptr;
}

void RunLog::Write(const std::string& kind, const std::vector<std::string>& fields) {
  if (!Active()) return;
  std::string line = FormatLogLine(kind, fields) + "\r\n";
  if (file_.Valid()) WriteAll(file_.Get(), line);
  if (standardOutput_) WriteAll(standardOutput_, line);
}

std::string RunLog::LocalTimeText() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond);
  return text;
}

std::string SystemErrorText(DWORD code) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer), 0,
      nullptr);
  if (!buffer) return "";
  std::string text(buffer, length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

}  // namespace korva
