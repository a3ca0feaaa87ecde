#include "cleanup/ui/cleanup_wizard_frame.h"

#include "cleanup/cleanup_wizard_app.h"
#include "res/cleanup_resource.h"

namespace korva {

CleanupWizardFrame::CleanupWizardFrame(CleanupWizardApp& app)
    : WizardFrame(IDD_CLEANUP_FRAME, IDR_MAINFRAME, IDS_ABOUTBOX, kCleanupWizardTitle,
                  {IDC_BACK, IDC_NEXT, IDC_CANCEL_BUTTON}),
      app_(app),
      welcomeTaskPage_(app),
      deviceInstanceListPage_(app),
      infFileListPage_(app),
      cleanupResultsPage_(app) {
  // In the order of CleanupPageIndex.
  SetPages({&welcomeTaskPage_, &deviceInstanceListPage_, &infFileListPage_, &cleanupResultsPage_});
}

void CleanupWizardFrame::ShowAbout() {
  CleanupAboutBox about;
  about.RunModal(Window());
}

WizardButtonStates CleanupWizardFrame::ButtonStates() const {
  return CleanupButtonStates(Current().pageKind, welcomeTaskPage_.CleanupRegistry(),
                             welcomeTaskPage_.CleanupInfFiles());
}

void CleanupWizardFrame::OnNext() {
  if (busy_) return;
  if (CurrentPage() >= kCleanupResultsPageIndex) {
    EndModal(IDCANCEL);  // Finish: the removals have run
    return;
  }
  GoTo(NextCleanupPage(CurrentPage(), welcomeTaskPage_.CleanupRegistry(),
                       welcomeTaskPage_.CleanupInfFiles()));
  busy_ = true;
  switch (Current().pageKind) {
    case kDeviceInstanceListPageKind:
      deviceInstanceListPage_.ScanAndFill();
      break;
    case kInfFileListPageKind:
      infFileListPage_.ScanAndFill();
      break;
    case kCleanupResultsPageKind:
      RunRemovals();
      break;
    default:
      break;
  }
  busy_ = false;
  GoTo(CurrentPage());
}

void CleanupWizardFrame::RunRemovals() {
  // A list whose task is unchecked now stays out of the run, even if it was scanned before the
  // user went back and unchecked it.
  if (welcomeTaskPage_.CleanupRegistry()) {
    deviceInstanceListPage_.StoreCheckStates();
    app_.DeviceInstances().RemoveSelected();
  }
  if (welcomeTaskPage_.CleanupInfFiles()) {
    infFileListPage_.StoreCheckStates();
    DWORD devicesNotListed = 0;
    std::vector<std::string> inUse = app_.DeviceInstances().InfPathsStillInUse(devicesNotListed);
    app_.InfFiles().RemoveSelected(inUse, devicesNotListed);
    // Last: what made the kit's packages trusted goes once the packages are gone; the
    // certificate of one that stays stays too.
    app_.Certificates().RemoveSelected(app_.InfFiles().CatalogsOfPackagesLeft());
  }
  app_.FinishRemovals();
  cleanupResultsPage_.BuildReport(welcomeTaskPage_.CleanupRegistry(),
                                  welcomeTaskPage_.CleanupInfFiles());
}

void CleanupWizardFrame::OnBack() {
  if (busy_ || CurrentPage() <= kWelcomeTaskPageIndex) return;
  GoTo(PreviousCleanupPage(CurrentPage(), welcomeTaskPage_.CleanupRegistry(),
                           welcomeTaskPage_.CleanupInfFiles()));
}

void CleanupWizardFrame::OnCancelButton() { EndModal(IDCANCEL); }

}  // namespace korva
