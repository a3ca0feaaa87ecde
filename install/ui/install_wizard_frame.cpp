#include "install/ui/install_wizard_frame.h"

#include "common/message_pump.h"
#include "install/engine/driver_staging.h"
#include "install/ui/install_wizard_texts.h"
#include "res/install_resource.h"

namespace korva {

namespace {

constexpr UINT kAboutCommand = 0x0010;

}  // namespace

InstallWizardFrame::InstallWizardFrame(InstallWizardApp& app)
    : Dialog(IDD_INSTALL_FRAME),
      welcomePage(app),
      deviceSelectionPage(app),
      deviceDetailsPage(app),
      progressPage(),
      finishPage(app),
      app_(app),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

InstallWizardFrame::~InstallWizardFrame() = default;

bool InstallWizardFrame::OnInitDialog() {
  app_.mainWindow = Window();

  if (HMENU systemMenu = GetSystemMenu(Window(), FALSE)) {
    char about[256] = {};
    LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, about, sizeof(about));
    if (about[0]) {
      AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(systemMenu, MF_STRING, kAboutCommand, about);
    }
  }
  SendMessageA(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  InstallWizardPage* ordered[] = {&welcomePage, &deviceSelectionPage, &deviceDetailsPage,
                                  &progressPage, &finishPage};
  for (InstallWizardPage* page : ordered) page->Create(Window());
  for (size_t i = 0; i < pages.size(); ++i) pages[i] = ordered[i];

  SetWindowTextA(Window(), kInstallWizardTitle);
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
  switch (message) {
    case DM_GETDEFID:
      // No default command: Enter outside a button is the accept command, which does nothing.
      SetMessageResult(0);
      result = TRUE;
      return true;
    case WM_UPDATE_WIZARD_BUTTONS:
      UpdateButtons();
      SetMessageResult(0);
      result = TRUE;
      return true;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != kAboutCommand) return false;
      {
        InstallAboutBox about;
        about.RunModal(Window());
      }
      result = TRUE;
      return true;
    case WM_PAINT: {
      if (!IsIconic(Window())) return false;
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(Window(), &paint);
      SendMessageA(Window(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
      RECT client;
      GetClientRect(Window(), &client);
      int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
      int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
      DrawIcon(dc, x, y, icon_);
      EndPaint(Window(), &paint);
      result = TRUE;
      return true;
    }
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(icon_);
      return true;
    default:
      (void)lParam;
      return false;
  }
}

void InstallWizardFrame::ShowCurrentPage() {
  for (InstallWizardPage* page : pages) {
    if (page && page->Window()) ShowWindow(page->Window(), SW_HIDE);
  }
  ShowWindow(Current().Window(), SW_SHOW);
}

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
