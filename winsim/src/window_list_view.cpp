// The stand-in's list-view control, report style, as the program drives it: columns, items with
// one sub-item, their texts, which rows are in view, and the test side's view of them.
//
// The view is a model of rows, not pixels: a page of kRowsPerPage whole rows from topIndex on.
// As in the real control, inserting a row keeps topIndex (the rows in view shift down under it).
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "window_internal.h"

namespace winsim::wm {

bool IsListView(const Window& w) { return Lower(w.className) == "syslistview32"; }

namespace {
const int kRowsPerPage = 7;  // what the dialog's list shows under Wine on Windows XP
const int kRowHeight = 15;   // pixels, for LVM_SCROLL

void ClampTopIndex(ListViewData& lv) {
  const int last = static_cast<int>(lv.rows.size()) - kRowsPerPage;
  if (lv.topIndex > last) lv.topIndex = last;
  if (lv.topIndex < 0) lv.topIndex = 0;
}
}  // namespace

LRESULT ListViewMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  ListViewData& lv = w.list;
  switch (message) {
    case LVM_INSERTCOLUMNA: {
      const LVCOLUMNA* col = reinterpret_cast<const LVCOLUMNA*>(lParam);
      ListColumn c{"", 0, LVCFMT_LEFT, 0};
      if (col->mask & LVCF_TEXT) c.heading = col->pszText != nullptr ? col->pszText : "";
      if (col->mask & LVCF_WIDTH) c.width = col->cx;
      if (col->mask & LVCF_FMT) c.format = col->fmt;
      if (col->mask & LVCF_SUBITEM) c.subItem = col->iSubItem;
      size_t at = wParam > lv.columns.size() ? lv.columns.size() : wParam;
      lv.columns.insert(lv.columns.begin() + static_cast<long>(at), c);
      return static_cast<LRESULT>(at);
    }
    case LVM_INSERTITEMA: {
      const LVITEMA* item = reinterpret_cast<const LVITEMA*>(lParam);
      if (item->iSubItem != 0) return -1;  // as the real control: items are inserted whole
      long at = item->iItem < 0 ? 0 : item->iItem;
      if (at > static_cast<long>(lv.rows.size())) at = static_cast<long>(lv.rows.size());
      std::vector<std::string> row(1);
      if ((item->mask & LVIF_TEXT) && item->pszText != nullptr) row[0] = item->pszText;
      lv.rows.insert(lv.rows.begin() + at, row);
      return at;
    }
    case LVM_SETITEMTEXTA: {
      const LVITEMA* item = reinterpret_cast<const LVITEMA*>(lParam);
      if (wParam >= lv.rows.size() || item->iSubItem < 0) return FALSE;
      std::vector<std::string>& row = lv.rows[wParam];
      if (row.size() <= static_cast<size_t>(item->iSubItem)) row.resize(item->iSubItem + 1);
      row[item->iSubItem] = item->pszText != nullptr ? item->pszText : "";
      return TRUE;
    }
    case LVM_GETITEMTEXTA: {
      LVITEMA* item = reinterpret_cast<LVITEMA*>(lParam);
      if (wParam >= lv.rows.size() || item->cchTextMax <= 0) return 0;
      const std::vector<std::string>& row = lv.rows[wParam];
      std::string text = static_cast<size_t>(item->iSubItem) < row.size() ? row[item->iSubItem] : "";
      lstrcpynA(item->pszText, text.c_str(), item->cchTextMax);
      return lstrlenA(item->pszText);
    }
    case LVM_GETITEMCOUNT: return static_cast<LRESULT>(lv.rows.size());
    case LVM_SCROLL:
      lv.topIndex += static_cast<int>(lParam) / kRowHeight;
      ClampTopIndex(lv);
      return TRUE;
    case LVM_ENSUREVISIBLE: {
      // lParam (partial rows allowed) makes no difference where every row in view is whole.
      const int row = static_cast<int>(wParam);
      if (row < 0 || row >= static_cast<int>(lv.rows.size())) return FALSE;
      if (row < lv.topIndex) lv.topIndex = row;
      if (row >= lv.topIndex + kRowsPerPage) lv.topIndex = row - kRowsPerPage + 1;
      return TRUE;
    }
    case LVM_GETTOPINDEX: return lv.topIndex;
    case LVM_GETCOUNTPERPAGE: return kRowsPerPage;
    default: return 0;
  }
}

namespace {
Window* ListOfMainWindow() {
  Window* w = Find(MainWindow());
  if (w == nullptr) return nullptr;
  for (HWND child : w->children) {
    Window* c = Find(child);
    if (c != nullptr && IsListView(*c)) return c;
  }
  return nullptr;
}
}  // namespace

int RowsNow() {
  Window* list = ListOfMainWindow();
  return list == nullptr ? 0 : static_cast<int>(list->list.rows.size());
}

}  // namespace winsim::wm

// ---- the test side ----

namespace winsim {

using wm::Find;
using wm::Window;

std::vector<ListColumn> ListColumns(HWND list) {
  Window* w = Find(list);
  return w == nullptr ? std::vector<ListColumn>() : w->list.columns;
}

std::vector<ListRow> ListRows(HWND list) {
  std::vector<ListRow> out;
  Window* w = Find(list);
  if (w == nullptr) return out;
  for (const auto& row : w->list.rows) {
    out.push_back(ListRow{row.size() > 0 ? row[0] : "", row.size() > 1 ? row[1] : ""});
  }
  return out;
}

}  // namespace winsim
