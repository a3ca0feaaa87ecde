#include "common/program_path.h"

#include <windows.h>

#include <vector>

#include "common/ansi_text.h"
#include "common/core/text.h"

namespace korva {

std::string ProgramPath::Folder() const {
  size_t start = FileNameStart(ansi, IsAnsiLeadByte);
  return start == 0 ? ansi : ansi.substr(0, start - 1);
}

ProgramPath ReadProgramPath() {
  // The longest path the platform gives, so that a long one is seen as such, never cut.
  std::vector<wchar_t> buffer(32768);
  DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  ProgramPath path;
  if (length == 0 || length >= buffer.size()) {
    path.exact = false;
    return path;
  }
  std::wstring wide(buffer.data(), length);
  bool exact = false;
  path.ansi = AnsiFromWide(wide, &exact);
  // Every character has a form, and the form reads back as the same name: only then is the
  // ANSI path this file's own. The ANSI calls take no path of MAX_PATH characters or more.
  path.exact = exact && WideFromAnsi(path.ansi) == wide && path.ansi.size() < MAX_PATH;
  return path;
}

}  // namespace korva
