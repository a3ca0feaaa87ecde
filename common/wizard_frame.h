// The frame of a wizard: the main window whose pages take turns above its buttons. What both
// wizards' frames share: the icon, the About item of the window menu, the drawing while
// minimised, the accept and dismiss commands that do nothing, and the pages' requests to update
// the buttons (WM_UPDATE_WIZARD_BUTTONS).
#pragma once

#include <windows.h>

#include "common/dialog.h"

namespace korva {

class WizardFrame : public Dialog {
 protected:
  WizardFrame(int templateId, int iconId, int aboutTextId);

  // Adds the About item (string `aboutTextId`) to the window menu when there is one, and sets
  // the program's icon as the frame's large and small icon.
  void PrepareFrame();
  // Hides every page that exists, then shows `current`.
  template <typename Pages>
  static void ShowOnly(const Pages& pages, HWND current) {
    for (const auto* page : pages) {
      if (page && page->Window()) ShowWindow(page->Window(), SW_HIDE);
    }
    if (current) ShowWindow(current, SW_SHOW);
  }
  virtual void ShowAbout() = 0;
  // Recomputes Back, Next and Cancel for the page shown and the choices made.
  virtual void UpdateButtons() = 0;

  void OnOk() override {}
  void OnCancel() override {}
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  HICON icon_;

 private:
  int aboutTextId_;
};

}  // namespace korva
