// The base of the wizards' pages: a child dialog with a page kind, on which Enter, Escape and
// the close command do nothing (a wizard ends only through its own buttons).
#pragma once

#include "common/dialog.h"

namespace korva {

class WizardPage : public Dialog {
 public:
  WizardPage(int templateId, int kind) : Dialog(templateId), pageKind(kind) {}

  const int pageKind;

 protected:
  void OnOk() override {}
  void OnCancel() override {}
};

}  // namespace korva
