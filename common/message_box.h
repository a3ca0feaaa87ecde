// Message boxes go through this seam so that a test can read what would be shown.
#pragma once

#include <windows.h>

#include <string>

namespace korva {

class MessageBoxSeam {
 public:
  virtual ~MessageBoxSeam() = default;
  virtual int Show(HWND owner, const std::string& text, const std::string& caption, UINT style) = 0;
};

class SystemMessageBox : public MessageBoxSeam {
 public:
  int Show(HWND owner, const std::string& text, const std::string& caption, UINT style) override {
    return MessageBoxA(owner, text.c_str(), caption.c_str(), style);
  }
};

}  // namespace korva
