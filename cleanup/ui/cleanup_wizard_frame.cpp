#include "cleanup/ui/cleanup_wizard_frame.h"

#include "cleanup/cleanup_wizard_app.h"
#include "cleanup/ui/cleanup_wizard_texts.h"
#include "res/cleanup_resource.h"

namespace korva {

namespace {

constexpr UINT kAboutCommand = 0x0010;

}  // namespace

CleanupWizardFrame::CleanupWizardFrame(CleanupWizardApp& app)
    : Dialog(IDD_CLEANUP_FRAME),
      welcomeTaskPage(app),
      deviceInstanceListPage(app),
      infFileListPage(app),
      cleanupResultsPage(app),
      app_(app),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

bool CleanupWizardFrame::OnInitDialog() {
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

bool CleanupWizardFrame::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (message) {
    case DM_GETDEFID:
      // No default command: Enter outside a button is the accept command, which does nothing.
      SetMessageResult(0);
      result = TRUE;
      return true;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != kAboutCommand) return false;
      {
        CleanupAboutBox about;
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
      DrawIcon(dc, (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2,
               (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
      EndPaint(Window(), &paint);
      result = TRUE;
      return true;
    }
    case WM_QUERYDRAGICON:
      result = reinterpret_cast<INT_PTR>(icon_);
      return true;
    default:
      return false;
  }
}

void CleanupWizardFrame::ShowCurrentPage() {
  for (CleanupWizardPage* page : pages) {
    if (page && page->Window()) ShowWindow(page->Window(), SW_HIDE);
  }
  if (CleanupWizardPage* page = pages[static_cast<size_t>(currentPage)]) {
    ShowWindow(page->Window(), SW_SHOW);
  }
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
