#include "common/save_as_dialog.h"

#include <commdlg.h>

#include <cstring>

namespace korva {

bool SystemSaveAsDialog::Ask(HWND owner, const SaveAsRequest& request, std::string& path) {
  // The dialog wants its pairs separated by NULs and ended by two.
  std::string filter = request.filter;
  for (char& c : filter) {
    if (c == '|') c = '\0';
  }
  filter.push_back('\0');
  char file[MAX_PATH] = {};
  std::strncpy(file, request.fileName.c_str(), MAX_PATH - 1);
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrDefExt = request.defaultExtension.c_str();
  dialog.Flags = request.flags;
  if (!GetSaveFileNameA(&dialog)) return false;
  path = file;
  return true;
}

}  // namespace korva
