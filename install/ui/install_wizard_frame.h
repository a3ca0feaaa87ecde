// The Installation Wizard's frame: the modal main window with Back, Next and Cancel under a
// line, above which one of the five pages is shown.
#pragma once

#include <windows.h>

#include <array>

#include "common/wizard_frame.h"
#include "install/ui/install_wizard_app.h"
#include "install/ui/install_wizard_pages.h"
#include "install/core/install_wizard_texts.h"

namespace korva {

class InstallWizardFrame : public WizardFrame {
 public:
  explicit InstallWizardFrame(InstallWizardApp& app);
  ~InstallWizardFrame() override;

  void OnNext();
  void OnBack();
  void OnCancelButton();
  void ShowCurrentPage();

  // The index (InstallPageIndex) of the page shown.
  int CurrentPage() const { return currentPage_; }
  const WelcomePage& Welcome() const { return welcomePage_; }
  const DeviceSelectionPage& Selection() const { return deviceSelectionPage_; }
  const DeviceDetailsPage& Details() const { return deviceDetailsPage_; }
  const ProgressPage& Progress() const { return progressPage_; }
  const FinishPage& Finishing() const { return finishPage_; }

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int code) override;
  void ShowAbout() override;
  // The selection page asks for it when the selection changes or the list is refilled.
  void UpdateButtons() override;

 private:
  InstallWizardPage& Current() { return *pages_[static_cast<size_t>(currentPage_)]; }
  void GoTo(InstallPageIndex page);
  // Stages, generates and installs under the progress page, then shows the finish page; a
  // fatal failure ends the wizard after its messages.
  void RunInstallStep();

  InstallWizardApp& app_;
  int currentPage_ = kWelcomePageIndex;
  WelcomePage welcomePage_;
  DeviceSelectionPage deviceSelectionPage_;
  DeviceDetailsPage deviceDetailsPage_;
  ProgressPage progressPage_;
  FinishPage finishPage_;
  std::array<InstallWizardPage*, kInstallPageCount> pages_{};
};

}  // namespace korva
