#include "common/dialog.h"

#include <vector>

namespace korva {

Dialog::~Dialog() {
  if (window_ && !modal_) DestroyWindow(window_);
}

INT_PTR Dialog::RunModal(HWND owner) {
  modal_ = true;
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), owner,
                                   Procedure, reinterpret_cast<LPARAM>(this));
  window_ = nullptr;
  modal_ = false;
  return result;
}

bool Dialog::Create(HWND parent) {
  modal_ = false;
  return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), parent,
                            Procedure, reinterpret_cast<LPARAM>(this)) != nullptr;
}

std::string Dialog::ItemText(int id) const {
  HWND item = Item(id);
  int length = GetWindowTextLengthA(item);
  std::vector<char> text(static_cast<size_t>(length) + 1, '\0');
  GetWindowTextA(item, text.data(), length + 1);
  return text.data();
}

void Dialog::SetItemText(int id, const std::string& text) const {
  SetDlgItemTextA(window_, id, text.c_str());
}

void Dialog::EndModal(INT_PTR result) {
  if (modal_) EndDialog(window_, result);
}

INT_PTR CALLBACK Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    self->window_ = window;
    SetWindowLongPtrA(window, DWLP_USER, lParam);
  } else {
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
  }
  if (!self) return FALSE;
  INT_PTR result = self->Dispatch(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    self->window_ = nullptr;
  }
  return result;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND: {
      int id = LOWORD(wParam);
      int code = HIWORD(wParam);
      if (id == IDOK) {
        OnOk();
      } else if (id == IDCANCEL) {
        OnCancel();
      } else {
        OnCommand(id, code);
      }
      return TRUE;
    }
    case WM_NOTIFY: {
      LRESULT result = 0;
      if (!OnNotify(*reinterpret_cast<const NMHDR*>(lParam), result)) return FALSE;
      SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
      return TRUE;
    }
    case WM_SHOWWINDOW:
      OnShowWindow(wParam != FALSE);
      return FALSE;  // the default handling follows
    default: {
      INT_PTR result = 0;
      if (OnMessage(message, wParam, lParam, result)) return result;
      return FALSE;
    }
  }
}

}  // namespace korva
