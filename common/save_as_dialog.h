// The common "Save As" dialog behind a seam, so that a test can answer it.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

struct SaveAsRequest {
  std::string defaultExtension;  // without the dot
  std::string fileName;          // proposed
  std::string filter;            // label|pattern|label|pattern||
  DWORD flags = 0;               // OFN_ options
};

class SaveAsSeam {
 public:
  virtual ~SaveAsSeam() = default;
  // True with the chosen full path when the user ended the dialog with OK.
  virtual bool Ask(HWND owner, const SaveAsRequest& request, std::string& path) = 0;
};

class SystemSaveAsDialog : public SaveAsSeam {
 public:
  bool Ask(HWND owner, const SaveAsRequest& request, std::string& path) override;
};

}  // namespace korva
