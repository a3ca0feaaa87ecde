// The frame of a wizard: the main window whose pages take turns above its buttons. What both
// wizards' frames share: the icon, the About item of the window menu, the drawing while
// minimised, the accept and dismiss commands that do nothing, the pages and which of them is
// shown, the clicks of Back, Next and Cancel, and the buttons' states (recomputed also when a
// page asks with WM_UPDATE_WIZARD_BUTTONS).
#pragma once

#include <windows.h>

#include <vector>

#include "common/core/wizard_buttons.h"
#include "common/dialog.h"
#include "common/wizard_page.h"

namespace korva {

// The control ids of a frame's three buttons.
struct WizardButtonIds {
  int back;
  int next;
  int cancel;
};

class WizardFrame : public Dialog {
 public:
  // The index of the page shown, in the wizard's order of the pages.
  int CurrentPage() const { return currentPage_; }

 protected:
  WizardFrame(int templateId, int iconId, int aboutTextId, const char* title,
              WizardButtonIds buttons);

  // The pages in the wizard's order, given by the frame's constructor; the frame makes them as
  // its children when it initialises.
  void SetPages(std::vector<WizardPage*> pages) { pages_ = std::move(pages); }
  WizardPage& Current() const { return *pages_[static_cast<size_t>(currentPage_)]; }
  // Shows the page of that index, alone, and recomputes the buttons for it.
  void GoTo(int page);

  // What Back, Next and Cancel do, and which of them the page shown and the choices allow.
  virtual void OnNext() = 0;
  virtual void OnBack() = 0;
  virtual void OnCancelButton() = 0;
  virtual WizardButtonStates ButtonStates() const = 0;
  virtual void ShowAbout() = 0;

  // The About item (string `aboutTextId`) in the window menu when there is one, the program's
  // icon as the frame's large and small icon, the pages, the title; then the first page.
  bool OnInitDialog() override;
  void OnCommand(int id, int code) override;
  void OnOk() override {}
  void OnCancel() override {}
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void UpdateButtons();

  HICON icon_;
  int aboutTextId_;
  const char* title_;
  WizardButtonIds buttons_;
  std::vector<WizardPage*> pages_;
  int currentPage_ = 0;
};

}  // namespace korva
