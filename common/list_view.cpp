#include "common/list_view.h"

namespace korva {

void ReportListView::SetColumns(const ColumnSpec* table) {
  HWND header = ListView_GetHeader(window_);
  for (int count = Header_GetItemCount(header); count > 0; --count) {
    ListView_DeleteColumn(window_, 0);
  }
  RECT client{};
  GetClientRect(window_, &client);
  int widthLeft = client.right - client.left;
  for (int column = 0; table[column].heading; ++column) {
    const ColumnSpec& wanted = table[column];
    int width = wanted.width == -1 ? widthLeft : wanted.width;
    widthLeft -= width;
    LVCOLUMNA entry{};
    entry.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    entry.fmt = wanted.format;
    entry.cx = width;
    entry.pszText = const_cast<char*>(wanted.heading);
    entry.iSubItem = wanted.subitem;
    SendMessageA(window_, LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&entry));
  }
}

int ReportListView::AppendRow(const std::vector<std::string>& texts, int position) {
  if (texts.empty()) return -1;
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = position == -1 ? ListView_GetItemCount(window_) : position;
  item.pszText = const_cast<char*>(texts[0].c_str());
  int row =
      static_cast<int>(SendMessageA(window_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (row < 0) return row;
  for (size_t subitem = 1; subitem < texts.size(); ++subitem) {
    LVITEMA cell{};
    cell.iSubItem = static_cast<int>(subitem);
    cell.pszText = const_cast<char*>(texts[subitem].c_str());
    SendMessageA(window_, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&cell));
  }
  return row;
}

int ReportListView::FirstSelectedRow() const {
  return ListView_GetNextItem(window_, -1, LVNI_SELECTED);
}

void ReportListView::SetItemData(int row, LPARAM data) const {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  item.lParam = data;
  SendMessageA(window_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

LPARAM ReportListView::ItemData(int row) const {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageA(window_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.lParam;
}

}  // namespace korva
