// The Cleanup Wizard's frame: the modal main window with Back, Next and Cancel under a line,
// above which one of the four pages is shown.
#pragma once

#include <windows.h>

#include <array>

#include "cleanup/ui/cleanup_wizard_pages.h"
#include "cleanup/core/cleanup_wizard_texts.h"
#include "common/wizard_frame.h"

namespace korva {

class CleanupWizardFrame : public WizardFrame {
 public:
  explicit CleanupWizardFrame(CleanupWizardApp& app);

  // The index of the page shown (CleanupPageIndex).
  int CurrentPage() const { return currentPage_; }
  const WelcomeTaskPage& WelcomeTask() const { return welcomeTaskPage_; }
  const DeviceInstanceListPage& DeviceInstancePage() const { return deviceInstanceListPage_; }
  const InfFileListPage& InfFilePage() const { return infFileListPage_; }
  const CleanupResultsPage& ResultsPage() const { return cleanupResultsPage_; }

 protected:
  bool OnInitDialog() override;
  void OnCommand(int id, int code) override;
  void ShowAbout() override;
  // The welcome page asks for it when a task box changes.
  void UpdateButtons() override;

 private:
  void OnNext();
  void OnBack();
  void OnCancelButton();
  void ShowCurrentPage();
  CleanupWizardPage& Current() { return *pages_[static_cast<size_t>(currentPage_)]; }
  void RunRemovals();

  CleanupWizardApp& app_;
  int currentPage_ = kWelcomeTaskPageIndex;
  // Set while Next's work runs: a scan pumps the messages already queued, and a second click
  // among them must not start the next page's work inside this one.
  bool busy_ = false;
  WelcomeTaskPage welcomeTaskPage_;
  DeviceInstanceListPage deviceInstanceListPage_;
  InfFileListPage infFileListPage_;
  CleanupResultsPage cleanupResultsPage_;
  // Filled when the pages' windows exist, in the order of CleanupPageIndex.
  std::array<CleanupWizardPage*, kCleanupPageCount> pages_{};
};

}  // namespace korva
