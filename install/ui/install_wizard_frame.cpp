#include "install/ui/install_wizard_frame.h"

#include "common/message_pump.h"
#include "install/engine/driver_staging.h"
#include "install/core/inf_template.h"
#include "install/core/install_wizard_texts.h"
#include "res/install_resource.h"

namespace korva {

InstallWizardFrame::InstallWizardFrame(InstallWizardApp& app)
    : WizardFrame(IDD_INSTALL_FRAME, IDR_MAINFRAME, IDS_ABOUTBOX, kInstallWizardName,
                  {IDC_BACK, IDC_NEXT, IDC_CANCEL_BUTTON}),
      app_(app),
      welcomePage_(app),
      deviceSelectionPage_(app),
      deviceDetailsPage_(app),
      progressPage_(),
      finishPage_(app) {
  // In the order of InstallPageIndex.
  SetPages(
      {&welcomePage_, &deviceSelectionPage_, &deviceDetailsPage_, &progressPage_, &finishPage_});
}

InstallWizardFrame::~InstallWizardFrame() = default;

void InstallWizardFrame::ShowAbout() {
  InstallAboutBox about;
  about.RunModal(Window());
}

WizardButtonStates InstallWizardFrame::ButtonStates() const {
  return InstallButtonStates(Current().pageKind, deviceSelectionPage_.HasSelection());
}

void InstallWizardFrame::OnNext() {
  switch (Current().pageKind) {
    case kWelcomePageKind:
      // The list is rebuilt each time the welcome page is left.
      deviceSelectionPage_.FillDeviceList();
      GoTo(kDeviceSelectionPageIndex);
      break;
    case kDeviceSelectionPageKind:
      GoTo(kDeviceDetailsPageIndex);
      break;
    case kDeviceDetailsPageKind:
      RunInstallStep();
      break;
    case kFinishPageKind:
      EndModal(kInstallExitFinished);
      break;
    default:
      break;  // the progress page has no Next
  }
}

void InstallWizardFrame::RunInstallStep() {
  // All buttons disabled, and the progress page painted before the thread stops responding.
  GoTo(kProgressPageIndex);
  PumpPendingMessages();
  HCURSOR kept = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  InstallStepOutcome outcome = StageAndInstall(
      app_.Paths(), app_.StagedFiles(), app_.DeviceList(), app_.Signer(),
      [this](const std::string& text) { app_.ShowErrorBox(text); }, app_.Trust(), app_.Folder());
  SetCursor(kept);
  if (outcome.result != 0) app_.ShowErrorBox(InstallFailedMessage(outcome.result));
  finishPage_.SetInstallResult(outcome.result);
  finishPage_.SetRestartNeeded(outcome.restartNeeded);
  GoTo(kFinishPageIndex);
  if (outcome.fatal) {
    // Only now, after every message was read: a quit request posted earlier would have closed
    // the boxes still to come.
    EndModal(outcome.stage == InstallStage::kKitCheck ? kExitKitNotTrusted : kInstallExitFailed);
    return;
  }
  // The button that had the focus was disabled for the install step: give it to Finish, so
  // that Enter ends the wizard.
  SendMessageA(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_NEXT)), TRUE);
}

void InstallWizardFrame::OnBack() {
  // Back is usable on the selection and details pages only, and leads to the page before.
  if (CurrentPage() <= kWelcomePageIndex) return;
  GoTo(CurrentPage() - 1);
}

void InstallWizardFrame::OnCancelButton() { EndModal(kInstallExitCancelled); }

}  // namespace korva
