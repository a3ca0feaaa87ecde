// The Installation Wizard's frame: the modal main window with Back, Next and Cancel under a
// line, above which one of the five pages is shown.
#pragma once

#include <windows.h>

#include <array>

#include "common/wizard_frame.h"
#include "install/ui/install_wizard_app.h"
#include "install/ui/install_wizard_pages.h"

namespace korva {

class InstallWizardFrame : public WizardFrame {
 public:
  explicit InstallWizardFrame(InstallWizardApp& app);
  ~InstallWizardFrame() override;

  void OnNext();
  void OnBack();
  void OnCancelButton();
  void UpdateButtons();
  void ShowCurrentPage();

  int currentPage = 0;
  WelcomePage welcomePage;
  DeviceSelectionPage deviceSelectionPage;
  DeviceDetailsPage deviceDetailsPage;
  ProgressPage progressPage;
  FinishPage finishPage;
  std::array<InstallWizardPage*, 5> pages{};

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int code) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
  void ShowAbout() override;

 private:
  InstallWizardPage& Current() { return *pages[static_cast<size_t>(currentPage)]; }

  InstallWizardApp& app_;
};

}  // namespace korva
