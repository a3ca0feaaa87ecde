// korvaapp: the KORVA demo application. One dialog that lists the kit's devices and whether
// each is connected; it only reads, so any user may run it.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/system_library.h"
#include "kit/korvaapp/kit_devices.h"
#include "kit/korvaapp/korvaapp_resource.h"

namespace korva::demo {
namespace {

enum Column { kDescriptionColumn, kHardwareIdColumn, kConnectedColumn };

std::string StatusText(DWORD error, size_t count) {
  char text[128];
  if (error != 0) {
    std::snprintf(text, sizeof(text), "The device list could not be read (error 0x%08lX).",
                  static_cast<unsigned long>(error));
  } else if (count == 0) {
    return "No KORVA device is installed.";
  } else {
    std::snprintf(text, sizeof(text), "%lu KORVA device(s) found.",
                  static_cast<unsigned long>(count));
  }
  return text;
}

class DemoDialog {
 public:
  // Shows the dialog until it is closed; false when it could not be shown.
  bool Run(HINSTANCE instance) {
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_KORVAAPP), nullptr, &DemoDialog::Proc,
                           reinterpret_cast<LPARAM>(this)) != -1;
  }

 private:
  static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrA(window, DWLP_USER, lParam);
      auto* self = reinterpret_cast<DemoDialog*>(lParam);
      self->window_ = window;
      return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<DemoDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    if (self == nullptr) return FALSE;
    if (message == WM_COMMAND) return self->OnCommand(LOWORD(wParam));
    return FALSE;
  }

  INT_PTR OnInitDialog() {
    list_ = GetDlgItem(window_, IDC_DEVICE_LIST);
    SendMessageA(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    AddColumns();
    OnRefresh();
    return TRUE;  // the dialog manager puts the focus on the first control
  }

  INT_PTR OnCommand(WORD id) {
    switch (id) {
      case IDC_REFRESH:
        OnRefresh();
        return TRUE;
      case IDCANCEL:
        OnClose();
        return TRUE;
      default:
        return FALSE;
    }
  }

  void OnRefresh() {
    HCURSOR previous = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    std::vector<KitDevice> devices;
    DWORD error = ListKitDevices(devices);
    ShowDevices(devices);
    SetDlgItemTextA(window_, IDC_STATUS, StatusText(error, devices.size()).c_str());
    SetCursor(previous);
  }

  void OnClose() { EndDialog(window_, IDCANCEL); }

  void AddColumns() {
    RECT client{};
    GetClientRect(list_, &client);
    const int width = client.right - client.left - GetSystemMetrics(SM_CXVSCROLL);
    AddColumn(kDescriptionColumn, "Description", width * 40 / 100);
    AddColumn(kHardwareIdColumn, "Hardware ID", width * 45 / 100);
    AddColumn(kConnectedColumn, "Connected", width * 15 / 100);
    // The last column takes what is left of the list's width.
    SendMessageA(list_, LVM_SETCOLUMNWIDTH, kConnectedColumn, LVSCW_AUTOSIZE_USEHEADER);
  }

  void AddColumn(int index, std::string title, int width) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = title.data();
    column.cx = width;
    column.iSubItem = index;
    SendMessageA(list_, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
  }

  void ShowDevices(const std::vector<KitDevice>& devices) {
    // One repaint for the whole list instead of one per row.
    SendMessageA(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list_, LVM_DELETEALLITEMS, 0, 0);
    int row = 0;
    for (const KitDevice& device : devices) {
      std::string description = device.description;
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = description.data();
      row = static_cast<int>(
          SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
      if (row < 0) break;
      SetCell(row, kHardwareIdColumn, device.hardwareId);
      SetCell(row, kConnectedColumn, device.connected ? "Yes" : "No");
      ++row;
    }
    SendMessageA(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
  }

  void SetCell(int row, int column, std::string text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = text.data();
    SendMessageA(list_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  }

  HWND window_ = nullptr;
  HWND list_ = nullptr;
};

}  // namespace
}  // namespace korva::demo

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // The Installation Wizard starts it with its own rights: no library from beside it either.
  korva::RestrictLibrarySearchToSystemFolder();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&controls);
  korva::demo::DemoDialog dialog;
  return dialog.Run(instance) ? 0 : 1;
}
