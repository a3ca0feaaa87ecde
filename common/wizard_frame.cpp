#include "common/wizard_frame.h"

namespace korva {

namespace {

constexpr UINT kAboutCommand = 0x0010;

}  // namespace

WizardFrame::WizardFrame(int templateId, int iconId, int aboutTextId, const char* title,
                         WizardButtonIds buttons)
    : Dialog(templateId),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconId))),
      aboutTextId_(aboutTextId),
      title_(title),
      buttons_(buttons) {}

bool WizardFrame::OnInitDialog() {
  if (HMENU systemMenu = GetSystemMenu(Window(), FALSE)) {
    char about[256] = {};
    LoadStringA(GetModuleHandleA(nullptr), aboutTextId_, about, sizeof(about));
    if (about[0]) {
      AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
      AppendMenuA(systemMenu, MF_STRING, kAboutCommand, about);
    }
  }
  SendMessageA(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(Window(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  for (WizardPage* page : pages_) page->Create(Window());
  SetWindowTextA(Window(), title_);
  GoTo(0);
  return true;
}

void WizardFrame::GoTo(int page) {
  currentPage_ = page;
  for (WizardPage* other : pages_) {
    if (other->Window()) ShowWindow(other->Window(), SW_HIDE);
  }
  if (HWND shown = Current().Window()) ShowWindow(shown, SW_SHOW);
  UpdateButtons();
}

void WizardFrame::UpdateButtons() {
  WizardButtonStates states = ButtonStates();
  EnableWindow(Item(buttons_.back), states.back);
  EnableWindow(Item(buttons_.next), states.next);
  EnableWindow(Item(buttons_.cancel), states.cancel);
  // Never set back: no page follows the one where Next reads Finish.
  if (states.nextReadsFinish) SetItemText(buttons_.next, "Finish");
}

void WizardFrame::OnCommand(int id, int code) {
  if (code != BN_CLICKED) return;
  if (id == buttons_.next) {
    OnNext();
  } else if (id == buttons_.back) {
    OnBack();
  } else if (id == buttons_.cancel) {
    OnCancelButton();
  }
}

bool WizardFrame::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
  switch (message) {
    case DM_GETDEFID:
      // No default command: Enter outside a button is the accept command, which does nothing.
      SetMessageResult(0);
      result = TRUE;
      return true;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) != kAboutCommand) return false;
      ShowAbout();
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
    case WM_UPDATE_WIZARD_BUTTONS:
      UpdateButtons();
      SetMessageResult(0);
      result = TRUE;
      return true;
    default:
      return false;
  }
}

}  // namespace korva
