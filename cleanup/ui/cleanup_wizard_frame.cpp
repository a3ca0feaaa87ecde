#include "cleanup/ui/cleanup_wizard_frame.h"

#include "cleanup/cleanup_wizard_app.h"
#include "res/cleanup_resource.h"

namespace korva {

CleanupWizardFrame::CleanupWizardFrame(CleanupWizardApp& app)
    : WizardFrame(IDD_CLEANUP_FRAME, IDR_MAINFRAME, IDS_ABOUTBOX),
      app_(app),
      welcomeTaskPage_(app),
      deviceInstanceListPage_(app),
      infFileListPage_(app),
      cleanupResultsPage_(app) {}

bool CleanupWizardFrame::OnInitDialog() {
  PrepareFrame();

  std::array<CleanupWizardPage*, kCleanupPageCount> ordered{};
  ordered[kWelcomeTaskPageIndex] = &welcomeTaskPage_;
  ordered[kDeviceInstanceListPageIndex] = &deviceInstanceListPage_;
  ordered[kInfFileListPageIndex] = &infFileListPage_;
  ordered[kCleanupResultsPageIndex] = &cleanupResultsPage_;
  for (CleanupWizardPage* page : ordered) page->Create(Window());
  pages_ = ordered;

  SetWindowTextA(Window(), kCleanupWizardTitle);
  currentPage_ = kWelcomeTaskPageIndex;
  ShowCurrentPage();
  UpdateButtons();
  return true;
}

void CleanupWizardFrame::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  if (id == IDC_NEXT) OnNext();
  if (id == IDC_BACK) OnBack();
  if (id == IDC_CANCEL_BUTTON) OnCancelButton();
}

void CleanupWizardFrame::ShowAbout() {
  CleanupAboutBox about;
  about.RunModal(Window());
}

void CleanupWizardFrame::ShowCurrentPage() {
  CleanupWizardPage* current = pages_[static_cast<size_t>(currentPage_)];
  ShowOnly(pages_, current ? current->Window() : nullptr);
}

void CleanupWizardFrame::UpdateButtons() {
  WizardButtonStates states = CleanupButtonStates(
      Current().pageKind, welcomeTaskPage_.CleanupRegistry(), welcomeTaskPage_.CleanupInfFiles());
  EnableWindow(Item(IDC_BACK), states.back);
  EnableWindow(Item(IDC_NEXT), states.next);
  EnableWindow(Item(IDC_CANCEL_BUTTON), states.cancel);
  // Never set back: the results page is the last and can't be left backwards.
  if (states.nextReadsFinish) SetItemText(IDC_NEXT, "Finish");
}

void CleanupWizardFrame::OnNext() {
  if (busy_) return;
  if (currentPage_ >= kCleanupResultsPageIndex) {
    EndModal(IDCANCEL);  // Finish: the removals have run
    return;
  }
  currentPage_ = NextCleanupPage(currentPage_, welcomeTaskPage_.CleanupRegistry(),
                                 welcomeTaskPage_.CleanupInfFiles());
  ShowCurrentPage();
  UpdateButtons();
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
  ShowCurrentPage();
  UpdateButtons();
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
    app_.InfFiles().RemoveSelected();
  }
  cleanupResultsPage_.BuildReport();
}

void CleanupWizardFrame::OnBack() {
  if (busy_ || currentPage_ <= kWelcomeTaskPageIndex) return;
  currentPage_ = PreviousCleanupPage(currentPage_, welcomeTaskPage_.CleanupRegistry(),
                                     welcomeTaskPage_.CleanupInfFiles());
  ShowCurrentPage();
  UpdateButtons();
}

void CleanupWizardFrame::OnCancelButton() { EndModal(IDCANCEL); }

}  // namespace korva
