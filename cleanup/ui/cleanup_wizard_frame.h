// The Cleanup Wizard's frame: the modal main window with Back, Next and Cancel under a line,
// above which one of the four pages is shown.
#pragma once

#include <windows.h>

#include <array>

#include "cleanup/ui/cleanup_wizard_pages.h"
#include "common/wizard_frame.h"

namespace korva {

class CleanupWizardFrame : public WizardFrame {
 public:
  explicit CleanupWizardFrame(CleanupWizardApp& app);

  void OnNext();
  void OnBack();
  void OnCancelButton();
  void UpdateButtons();
  void ShowCurrentPage();

  int currentPage = 0;
  WelcomeTaskPage welcomeTaskPage;
  DeviceInstanceListPage deviceInstanceListPage;
  InfFileListPage infFileListPage;
  CleanupResultsPage cleanupResultsPage;
  std::array<CleanupWizardPage*, 4> pages{};

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int code) override;
  void ShowAbout() override;

 private:
  CleanupWizardPage& Current() { return *pages[static_cast<size_t>(currentPage)]; }
  void RunRemovals();

  CleanupWizardApp& app_;
};

}  // namespace korva
