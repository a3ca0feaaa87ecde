// The base of the wizards' pages: a child dialog with a page kind, on which Enter, Escape and
// the close command do nothing (a wizard ends only through its own buttons).
#pragma once

#include <windows.h>

#include "common/dialog.h"

namespace korva {

// Sent by a page to its frame, the page's parent, to have the frame recompute its buttons
// after a change on the page.
constexpr UINT WM_UPDATE_WIZARD_BUTTONS = WM_APP;

class WizardPage : public Dialog {
 public:
  WizardPage(int templateId, int kind) : Dialog(templateId), pageKind(kind) {}

  const int pageKind;

 protected:
  void OnOk() override {}
  void OnCancel() override {}
  // Sends WM_UPDATE_WIZARD_BUTTONS to the frame, which has recomputed them on return.
  void RequestButtonUpdate() const {
    if (HWND frame = GetParent(Window())) SendMessageA(frame, WM_UPDATE_WIZARD_BUTTONS, 0, 0);
  }
};

}  // namespace korva
