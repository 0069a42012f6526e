// The result list is the tool's only log: nothing is written to a file.
#include "report/result_list.h"

#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"
#include "base/message_check.h"
#include "base/run_state.h"

namespace {

// Status text ids by RemovalStatus code; codes 4 and 7 use 17 and 16, in that order.
constexpr UINT StatusTextIds[] = {
    0,                         // StatusNone: no text
    IDS_ST_ERROR,              // StatusError
    IDS_ST_DELETED,            // StatusDeleted
    IDS_ST_NO_FILE,            // StatusNoFile
    IDS_ST_DELETE_AT_RESTART,  // StatusDeleteAtRestart
    IDS_ST_NO_KEY,             // StatusNoKey
    IDS_ST_NO_VALUE,           // StatusNoValue
    IDS_ST_NO_FOLDER,          // StatusNoFolder
    IDS_ST_DETECT_ERROR,       // StatusDetectError
};
// The table is indexed by the status code: one entry per code, each in its place.
static_assert(sizeof StatusTextIds / sizeof StatusTextIds[0] == StatusDetectError + 1, "one text per status");
static_assert(StatusTextIds[StatusError] == IDS_ST_ERROR && StatusTextIds[StatusDeleted] == IDS_ST_DELETED &&
                  StatusTextIds[StatusNoFile] == IDS_ST_NO_FILE &&
                  StatusTextIds[StatusDeleteAtRestart] == IDS_ST_DELETE_AT_RESTART &&
                  StatusTextIds[StatusNoKey] == IDS_ST_NO_KEY && StatusTextIds[StatusNoValue] == IDS_ST_NO_VALUE &&
                  StatusTextIds[StatusNoFolder] == IDS_ST_NO_FOLDER &&
                  StatusTextIds[StatusDetectError] == IDS_ST_DETECT_ERROR,
              "status texts out of order");

const int kColumnTextCapacity = 50;
const int kStatusTextCapacity = 256;

HWND ResultList() { return GetDlgItem(RunState.mainWindow, IDC_RESULT_LIST); }

}  // namespace

void SetupResultColumns() {
  char heading[kColumnTextCapacity];
  LVCOLUMNA column = {};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  column.fmt = LVCFMT_LEFT;
  column.pszText = heading;
  column.cchTextMax = kColumnTextCapacity;

  column.cx = 300;
  column.iSubItem = 0;
  LoadStringA(RunState.hInstance, IDS_COL_ITEM, heading, kColumnTextCapacity);
  SendMessageA(ResultList(), LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));

  column.cx = 200;
  column.iSubItem = 1;
  LoadStringA(RunState.hInstance, IDS_COL_STATUS, heading, kColumnTextCapacity);
  SendMessageA(ResultList(), LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
}

void AddResultRow(const char* text, RemovalStatus status) {
  HWND list = ResultList();

  LVITEMA item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
  item.iItem = RunState.rowIndex;
  item.iSubItem = 0;
  item.pszText = const_cast<char*>(text);
  item.cchTextMax = 256;
  SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));

  char statusText[kStatusTextCapacity];
  statusText[0] = '\0';
  if (status >= StatusError && status <= StatusDetectError) {
    LoadStringA(RunState.hInstance, StatusTextIds[status], statusText, kStatusTextCapacity);
    if (status == StatusError || status == StatusDetectError) RunState.errorSeen = TRUE;
  }

  LVITEMA sub = {};
  sub.iSubItem = 1;
  sub.pszText = statusText;
  SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(RunState.rowIndex), reinterpret_cast<LPARAM>(&sub));

  // Bring the new row into view, whole, and paint at once: the message loop does not turn while
  // a run lasts, so this is the only way the user sees progress. The row itself, not the end of
  // the list: a later run inserts its rows from the top, above those of the earlier runs.
  SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(RunState.rowIndex), FALSE);
  UpdateWindow(RunState.mainWindow);
  Sleep(100);
  // The window goes on answering the system and other programs between rows.
  AnswerSentMessages();
  RunState.rowIndex++;
}
