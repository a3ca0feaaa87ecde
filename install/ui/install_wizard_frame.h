// The Installation Wizard's frame: the modal main window with Back, Next and Cancel under a
// line, above which one of the five pages is shown.
#pragma once

#include <windows.h>

#include "common/wizard_frame.h"
#include "install/ui/install_wizard_app.h"
#include "install/ui/install_wizard_pages.h"
#include "install/core/install_wizard_texts.h"

namespace korva {

class InstallWizardFrame : public WizardFrame {
 public:
  explicit InstallWizardFrame(InstallWizardApp& app);
  ~InstallWizardFrame() override;

  // CurrentPage() is an InstallPageIndex.
  const WelcomePage& Welcome() const { return welcomePage_; }
  const DeviceSelectionPage& Selection() const { return deviceSelectionPage_; }
  const DeviceDetailsPage& Details() const { return deviceDetailsPage_; }
  const ProgressPage& Progress() const { return progressPage_; }
  const FinishPage& Finishing() const { return finishPage_; }

 protected:
  void OnNext() override;
  void OnBack() override;
  void OnCancelButton() override;
  // The selection page asks for them again when the selection changes or the list is refilled.
  WizardButtonStates ButtonStates() const override;
  void ShowAbout() override;

 private:
  // Stages, generates and installs under the progress page, then shows the finish page; a
  // fatal failure ends the wizard after its messages.
  void RunInstallStep();

  InstallWizardApp& app_;
  WelcomePage welcomePage_;
  DeviceSelectionPage deviceSelectionPage_;
  DeviceDetailsPage deviceDetailsPage_;
  ProgressPage progressPage_;
  FinishPage finishPage_;
};

}  // namespace korva
