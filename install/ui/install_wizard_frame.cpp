#include "install/ui/install_wizard_frame.h"

#include "common/message_pump.h"
#include "install/engine/driver_staging.h"
#include "install/engine/inf_template.h"
#include "install/ui/install_wizard_texts.h"
#include "res/install_resource.h"

namespace korva {

InstallWizardFrame::InstallWizardFrame(InstallWizardApp& app)
    : WizardFrame(IDD_INSTALL_FRAME, IDR_MAINFRAME, IDS_ABOUTBOX),
      welcomePage(app),
      deviceSelectionPage(app),
      deviceDetailsPage(app),
      progressPage(),
      finishPage(app),
      app_(app) {}

InstallWizardFrame::~InstallWizardFrame() = default;

bool InstallWizardFrame::OnInitDialog() {
  app_.mainWindow = Window();

  PrepareFrame();

  InstallWizardPage* ordered[] = {&welcomePage, &deviceSelectionPage, &deviceDetailsPage,
                                  &progressPage, &finishPage};
  for (InstallWizardPage* page : ordered) page->Create(Window());
  for (size_t i = 0; i < pages.size(); ++i) pages[i] = ordered[i];

  SetWindowTextA(Window(), kInstallWizardName);
  currentPage = 0;
  ShowCurrentPage();
  UpdateButtons();
  return true;
}

void InstallWizardFrame::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case IDC_NEXT:
      OnNext();
      break;
    case IDC_BACK:
      OnBack();
      break;
    case IDC_CANCEL_BUTTON:
      OnCancelButton();
      break;
    default:
      break;
  }
}

bool InstallWizardFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  if (message != WM_UPDATE_WIZARD_BUTTONS) {
    return WizardFrame::OnMessage(message, wParam, lParam, result);
  }
  UpdateButtons();
  SetMessageResult(0);
  result = TRUE;
  return true;
}

void InstallWizardFrame::ShowAbout() {
  InstallAboutBox about;
  about.RunModal(Window());
}

void InstallWizardFrame::ShowCurrentPage() { ShowOnly(pages, Current().Window()); }

void InstallWizardFrame::UpdateButtons() {
  WizardButtonStates states =
      InstallButtonStates(Current().pageKind, deviceSelectionPage.HasSelection());
  EnableWindow(Item(IDC_BACK), states.back);
  EnableWindow(Item(IDC_NEXT), states.next);
  EnableWindow(Item(IDC_CANCEL_BUTTON), states.cancel);
  // Never set back: no page follows the finish page.
  if (states.nextReadsFinish) SetItemText(IDC_NEXT, "Finish");
}

void InstallWizardFrame::OnNext() {
  InstallWizardPage& leaving = Current();
  if (currentPage < 4) ++currentPage;
  switch (leaving.pageKind) {
    case kWelcomePageKind:
      deviceSelectionPage.FillDeviceList();
      break;
    case kDeviceDetailsPageKind: {
      ShowCurrentPage();
      UpdateButtons();
      PumpPendingMessages();
      HCURSOR kept = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
      InstallPaths paths{app_.programFolder, app_.installFolder, app_.templatePath, app_.infPath,
                         app_.alternateFolder};
      int result = StageAndInstall(paths, app_.stagedDriverFiles, app_.deviceList,
                                   [this](const std::string& text) { app_.ShowErrorBox(text); });
      SetCursor(kept);
      if (result != 0) app_.ShowErrorBox(InstallFailedMessage(result));
      ++currentPage;
      finishPage.installResult = result;
      ShowCurrentPage();
      UpdateButtons();
      // The button that had the focus was disabled for the install step: give it to Finish, so
      // that Enter ends the wizard.
      SendMessageA(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_NEXT)), TRUE);
      return;
    }
    case kFinishPageKind:
      PostQuitMessage(kInstallExitFinished);
      return;
    default:
      break;
  }
  ShowCurrentPage();
  UpdateButtons();
}

void InstallWizardFrame::OnBack() {
  if (currentPage <= 0) return;
  --currentPage;
  ShowCurrentPage();
  UpdateButtons();
}

void InstallWizardFrame::OnCancelButton() { EndModal(IDCANCEL); }

}  // namespace korva
