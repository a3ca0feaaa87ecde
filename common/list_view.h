// A report-style list view with a column table, rows appended as texts, and the selection.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace korva {

// One column; a table ends with an entry whose heading is null.
struct ColumnSpec {
  const char* heading;
  int format;  // LVCFMT_LEFT and the like
  int width;   // pixels; -1: all the width the columns before it have left
  int subitem;
};

class ReportListView {
 public:
  ReportListView() = default;
  explicit ReportListView(HWND window) : window_(window) {}
  void Attach(HWND window) { window_ = window; }
  HWND Window() const { return window_; }

  // Replaces every column by those of the table, the last one sized to the client width.
  void SetColumns(const ColumnSpec* table);
  // Inserts a row (at `position`, -1 for the end) with the first text as its label and the
  // others as subitems 1, 2, ...; the new row's index, -1 for no texts, or the negative result
  // of a failed insertion.
  int AppendRow(const std::vector<std::string>& texts, int position = -1);
  // The first row in the selected state, or -1.
  int FirstSelectedRow() const;
  // The number a row carries besides its texts (its record's index, say).
  void SetItemData(int row, LPARAM data) const;
  LPARAM ItemData(int row) const;

 private:
  HWND window_ = nullptr;
};

}  // namespace korva
