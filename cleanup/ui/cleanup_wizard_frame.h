// The Cleanup Wizard's frame: the modal main window with Back, Next and Cancel under a line,
// above which one of the four pages is shown.
#pragma once

#include <windows.h>

#include "cleanup/ui/cleanup_wizard_pages.h"
#include "cleanup/core/cleanup_wizard_texts.h"
#include "common/wizard_frame.h"

namespace korva {

class CleanupWizardFrame : public WizardFrame {
 public:
  explicit CleanupWizardFrame(CleanupWizardApp& app);

  // CurrentPage() is a CleanupPageIndex.
  const WelcomeTaskPage& WelcomeTask() const { return welcomeTaskPage_; }
  const DeviceInstanceListPage& DeviceInstancePage() const { return deviceInstanceListPage_; }
  const InfFileListPage& InfFilePage() const { return infFileListPage_; }
  const CleanupResultsPage& ResultsPage() const { return cleanupResultsPage_; }

 protected:
  void OnNext() override;
  void OnBack() override;
  void OnCancelButton() override;
  // The welcome page asks for them again when a task box changes.
  WizardButtonStates ButtonStates() const override;
  void ShowAbout() override;

 private:
  void RunRemovals();

  CleanupWizardApp& app_;
  // Set while Next's work runs: a scan pumps the messages already queued, and a second click
  // among them must not start the next page's work inside this one.
  bool busy_ = false;
  WelcomeTaskPage welcomeTaskPage_;
  DeviceInstanceListPage deviceInstanceListPage_;
  InfFileListPage infFileListPage_;
  CleanupResultsPage cleanupResultsPage_;
};

}  // namespace korva
