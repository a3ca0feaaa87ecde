// A thin class around a dialog of the dialog manager: one object per window, `this` kept with
// the window, messages dispatched to named handlers. Modal (RunModal) or modeless (Create).
#pragma once

#include <windows.h>

#include <string>

namespace korva {

class Dialog {
 public:
  explicit Dialog(int templateId) : templateId_(templateId) {}
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  // Runs the dialog modally; its end result, or -1 when it could not be made.
  INT_PTR RunModal(HWND owner);
  // Makes the dialog modeless (a page is a child of its frame); false when it could not be made.
  bool Create(HWND parent);

  HWND Window() const { return window_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  std::string ItemText(int id) const;
  void SetItemText(int id, const std::string& text) const;
  int TemplateId() const { return templateId_; }

 protected:
  // Ends a modal run with `result`.
  void EndModal(INT_PTR result);
  void SetMessageResult(LRESULT result) const {
    SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
  }

  // The handlers. OnInitDialog returns true to let the dialog manager set the focus.
  virtual bool OnInitDialog() { return true; }
  virtual void OnCommand(int /*id*/, int /*code*/) {}
  // Returns true when handled; `result` goes back to the sender.
  virtual bool OnNotify(const NMHDR& /*header*/, LRESULT& /*result*/) { return false; }
  virtual void OnShowWindow(bool /*shown*/) {}
  // The accept (Enter) and dismiss (Escape, close) commands.
  virtual void OnOk() { EndModal(IDOK); }
  virtual void OnCancel() { EndModal(IDCANCEL); }
  // Any other message; true when handled. `result` is what the dialog procedure returns: TRUE
  // for most messages (their own result then goes through SetMessageResult), the value
  // itself for the few the dialog manager passes on directly (WM_QUERYDRAGICON and the like).
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                         INT_PTR& /*result*/) {
    return false;
  }

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
  HWND window_ = nullptr;
  bool modal_ = false;
};

}  // namespace korva
