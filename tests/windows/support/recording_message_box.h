// A message-box seam that records every box instead of showing it.
#pragma once

#include <string>
#include <vector>

#include "common/message_box.h"

namespace korva::testing {

struct ShownBox {
  HWND owner = nullptr;
  std::string text;
  std::string caption;
  UINT style = 0;
};

class RecordingMessageBox : public MessageBoxSeam {
 public:
  int Show(HWND owner, const std::string& text, const std::string& caption, UINT style) override {
    boxes.push_back({owner, text, caption, style});
    return IDOK;
  }
  std::vector<ShownBox> boxes;
};

// Records every box; shows it for real too while `real` is set.
class TeeMessageBox : public RecordingMessageBox {
 public:
  bool real = false;
  int Show(HWND owner, const std::string& text, const std::string& caption, UINT style) override {
    RecordingMessageBox::Show(owner, text, caption, style);
    return real ? MessageBoxA(owner, text.c_str(), caption.c_str(), style) : IDOK;
  }
};

}  // namespace korva::testing
