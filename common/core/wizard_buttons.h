// Which of a wizard's Back, Next and Cancel buttons are usable. Platform-free.
#pragma once

namespace korva {

struct WizardButtonStates {
  bool back = true;
  bool next = true;
  bool cancel = true;
  bool nextReadsFinish = false;
};

}  // namespace korva
