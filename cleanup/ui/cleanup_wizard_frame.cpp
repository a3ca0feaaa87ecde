#include "cleanup/ui/cleanup_wizard_frame.h"

#include "cleanup/cleanup_wizard_app.h"
#include "cleanup/ui/cleanup_wizard_texts.h"
#include "res/cleanup_resource.h"

namespace korva {

CleanupWizardFrame::CleanupWizardFrame(CleanupWizardApp& app)
    : WizardFrame(IDD_CLEANUP_FRAME, IDR_MAINFRAME, IDS_ABOUTBOX),
      welcomeTaskPage(app),
      deviceInstanceListPage(app),
      infFileListPage(app),
      cleanupResultsPage(app),
      app_(app) {}

bool CleanupWizardFrame::OnInitDialog() {
  app_.mainWindow = Window();
  PrepareFrame();

  CleanupWizardPage* ordered[] = {&welcomeTaskPage, &deviceInstanceListPage, &infFileListPage,
                                  &cleanupResultsPage};
  for (CleanupWizardPage* page : ordered) page->Create(Window());
  for (size_t i = 0; i < pages.size(); ++i) pages[i] = ordered[i];

  SetWindowTextA(Window(), kCleanupWizardTitle);
  currentPage = 0;
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
  CleanupWizardPage* current = pages[static_cast<size_t>(currentPage)];
  ShowOnly(pages, current ? current->Window() : nullptr);
}

void CleanupWizardFrame::UpdateButtons() {
  WizardButtonStates states =
      CleanupButtonStates(Current().pageKind, welcomeTaskPage.cleanupRegistry != 0,
                          welcomeTaskPage.cleanupInfFiles != 0);
  EnableWindow(Item(IDC_BACK), states.back);
  EnableWindow(Item(IDC_NEXT), states.next);
  EnableWindow(Item(IDC_CANCEL_BUTTON), states.cancel);
  // Never set back: the results page is the last and can't be left backwards.
  if (states.nextReadsFinish) SetItemText(IDC_NEXT, "Finish");
}

void CleanupWizardFrame::OnNext() {
  if (currentPage >= 3) {
    EndModal(IDCANCEL);  // Finish: the removals have run
    return;
  }
  currentPage = NextCleanupPage(currentPage, welcomeTaskPage.cleanupRegistry != 0,
                                welcomeTaskPage.cleanupInfFiles != 0);
  ShowCurrentPage();
  UpdateButtons();
  switch (Current().pageKind) {
    case kDeviceInstanceListPageKind:
      deviceInstanceListPage.ScanAndFill();
      break;
    case kInfFileListPageKind:
      infFileListPage.ScanAndFill();
      break;
    case kCleanupResultsPageKind:
      RunRemovals();
      break;
    default:
      break;
  }
  ShowCurrentPage();
  UpdateButtons();
}

void CleanupWizardFrame::RunRemovals() {
  // A list whose task is unchecked now stays out of the run, even if it was scanned before the
  // user went back and unchecked it.
  if (welcomeTaskPage.cleanupRegistry) {
    deviceInstanceListPage.StoreCheckStates();
    app_.DeviceInstances().RemoveSelected();
  }
  if (welcomeTaskPage.cleanupInfFiles) {
    infFileListPage.StoreCheckStates();
    app_.InfFiles().RemoveSelected();
  }
  cleanupResultsPage.BuildReport();
}

void CleanupWizardFrame::OnBack() {
  if (currentPage < 1) return;
  currentPage = PreviousCleanupPage(currentPage, welcomeTaskPage.cleanupRegistry != 0,
                                    welcomeTaskPage.cleanupInfFiles != 0);
  ShowCurrentPage();
  UpdateButtons();
}

void CleanupWizardFrame::OnCancelButton() { EndModal(IDCANCEL); }

}  // namespace korva
