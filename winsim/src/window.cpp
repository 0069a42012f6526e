// The stand-in's window manager: window classes, dialogs built from the real template, one
// thread's message queue, the list-view control, message boxes and the calls around them.
//
// Simplifications, each harmless to the program: windows have no geometry or painting;
// controls have no window procedures of their own (the stand-in answers their messages);
// deactivating a window sends nothing; a message box is recorded and answered at once.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "modules.h"
#include "resources.h"
#include "winsim.h"

namespace winsim {
namespace {

struct ListViewData {
  std::vector<ListColumn> columns;
  std::vector<std::vector<std::string>> rows;  // row, then sub-item
  std::vector<int> scrolls;
};

struct Window {
  HWND handle;
  HWND parent;
  std::string className;
  WNDPROC proc;  // null for controls
  int id;
  std::string text;
  DWORD style;
  bool enabled;
  bool visible;
  bool alive;
  int updateCalls;
  int lastShowCommand;  // -1 until ShowWindow is called
  short x, y, cx, cy;
  ListViewData list;
  std::vector<HWND> children;
};

struct WindowState {
  std::map<std::string, WNDCLASSA> classes;  // by lower-case name
  std::map<HWND, Window> windows;
  uintptr_t nextHandle = 0x10010;
  std::deque<MSG> queue;
  bool quitPending = false;
  int quitCode = 0;
  std::deque<std::function<void()>> actions;
  HWND active = nullptr;
  bool activationSuppressed = false;
  bool commonControlsLoaded = false;
  std::vector<MessageBoxCall> boxes;
  int boxAnswer = IDOK;
  // Messages other threads have sent, answered at the thread's next look at its queue.
  std::deque<MSG> sentByOthers;
  std::vector<AnsweredMessage> answered;
  std::vector<int> rowsAtSending;  // parallel to sentByOthers
  DWORD lastQueueCheckMs = 0;      // simulated time (the Sleep total) of the last look
  DWORD longestWithoutCheckMs = 0;
};

WindowState& State() {
  static WindowState state;
  return state;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
  }
  return s;
}

Window* Find(HWND hwnd) {
  auto it = State().windows.find(hwnd);
  return it == State().windows.end() || !it->second.alive ? nullptr : &it->second;
}

HWND NewHandle() {
  HWND h = reinterpret_cast<HWND>(State().nextHandle);
  State().nextHandle += 4;
  return h;
}

bool IsListView(const Window& w) { return Lower(w.className) == "syslistview32"; }

bool ShowCommandActivates(int command) {
  return command != SW_HIDE && command != SW_SHOWNOACTIVATE && command != SW_SHOWMINNOACTIVE &&
         command != SW_SHOWNA && command != SW_MINIMIZE;
}

Window* ListOfMainWindow() {
  HWND main = MainWindow();
  Window* w = Find(main);
  if (w == nullptr) return nullptr;
  for (HWND child : w->children) {
    Window* c = Find(child);
    if (c != nullptr && IsListView(*c)) return c;
  }
  return nullptr;
}

int RowsNow() {
  Window* list = ListOfMainWindow();
  return list == nullptr ? 0 : static_cast<int>(list->list.rows.size());
}

// What the thread does whenever it looks at its queue: the time since its last look is noted,
// and every message another thread sent meanwhile is handed to its window procedure.
void LookAtQueue() {
  WindowState& s = State();
  const DWORD now = SleptMilliseconds();
  if (now - s.lastQueueCheckMs > s.longestWithoutCheckMs) s.longestWithoutCheckMs = now - s.lastQueueCheckMs;
  s.lastQueueCheckMs = now;
  while (!s.sentByOthers.empty()) {
    MSG m = s.sentByOthers.front();
    const int rowsAtSending = s.rowsAtSending.front();
    s.sentByOthers.pop_front();
    s.rowsAtSending.erase(s.rowsAtSending.begin());
    SendMessageA(m.hwnd, m.message, m.wParam, m.lParam);
    s.answered.push_back(AnsweredMessage{m.message, rowsAtSending, RowsNow()});
  }
}

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
    case LVM_GETITEMCOUNT:
      return static_cast<LRESULT>(lv.rows.size());
    case LVM_SCROLL:
      lv.scrolls.push_back(static_cast<int>(lParam));
      return TRUE;
    default:
      return 0;
  }
}

LRESULT ControlMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsListView(w)) return ListViewMessage(w, message, wParam, lParam);
  switch (message) {
    case WM_SETTEXT:
      w.text = reinterpret_cast<const char*>(lParam);
      return TRUE;
    case WM_GETTEXT:
      lstrcpynA(reinterpret_cast<char*>(lParam), w.text.c_str(), static_cast<int>(wParam));
      return lstrlenA(reinterpret_cast<char*>(lParam));
    default:
      return 0;
  }
}

void Activate(HWND hwnd) {
  if (State().activationSuppressed || State().active == hwnd) return;
  State().active = hwnd;
  SendMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
}

}  // namespace

namespace detail {
void ResetWindows() { State() = WindowState(); }
}  // namespace detail

void SetMessageBoxAnswer(int answer) { State().boxAnswer = answer; }
const std::vector<MessageBoxCall>& MessageBoxes() { return State().boxes; }
void SetActivationSuppressed(bool suppressed) { State().activationSuppressed = suppressed; }
void QueueAction(std::function<void()> action) { State().actions.push_back(std::move(action)); }

void SendFromOtherThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = window;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  State().sentByOthers.push_back(m);
  State().rowsAtSending.push_back(RowsNow());
}
const std::vector<AnsweredMessage>& AnsweredMessages() { return State().answered; }
int UnansweredMessages() { return static_cast<int>(State().sentByOthers.size()); }
DWORD LongestStretchWithoutQueueCheck() {
  const DWORD open = SleptMilliseconds() - State().lastQueueCheckMs;
  return open > State().longestWithoutCheckMs ? open : State().longestWithoutCheckMs;
}

HWND MainWindow() {
  for (auto& [handle, w] : State().windows) {
    if (w.alive && w.parent == nullptr && w.proc != nullptr) return handle;
  }
  return nullptr;
}

void PressButton(int controlId) {
  HWND main = MainWindow();
  Window* w = Find(main);
  HWND button = nullptr;
  if (w != nullptr) {
    for (HWND child : w->children) {
      Window* c = Find(child);
      if (c != nullptr && c->id == controlId) button = child;
    }
  }
  // A disabled button cannot be pressed: the click never reaches the window.
  Window* b = Find(button);
  if (b == nullptr || !b->enabled) return;
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void CloseFromSystemMenu() { PostMessageA(MainWindow(), WM_SYSCOMMAND, SC_CLOSE, 0); }

std::vector<Control> Controls(HWND dialog) {
  std::vector<Control> out;
  Window* w = Find(dialog);
  if (w == nullptr) return out;
  for (HWND child : w->children) {
    Window* c = Find(child);
    if (c == nullptr) continue;
    out.push_back(Control{child, c->id, c->className, c->text, c->style, c->x, c->y, c->cx, c->cy, c->enabled});
  }
  return out;
}

std::string WindowText(HWND window) {
  Window* w = Find(window);
  return w == nullptr ? "" : w->text;
}

bool WindowExists(HWND window) { return Find(window) != nullptr; }

bool WindowVisible(HWND window) {
  Window* w = Find(window);
  return w != nullptr && w->visible;
}

int LastShowCommand(HWND window) {
  Window* w = Find(window);
  return w == nullptr ? -1 : w->lastShowCommand;
}

int UpdateWindowCalls(HWND window) {
  auto it = State().windows.find(window);
  return it == State().windows.end() ? 0 : it->second.updateCalls;
}

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

std::vector<int> ListScrolls(HWND list) {
  Window* w = Find(list);
  return w == nullptr ? std::vector<int>() : w->list.scrolls;
}

}  // namespace winsim

using winsim::Find;
using winsim::State;
using winsim::Window;

void InitCommonControls(void) {
  DWORD error;
  winsim::InjectedFailure("InitCommonControls", &error);  // counted; it cannot fail
  State().commonControlsLoaded = true;
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
  DWORD error;
  if (winsim::InjectedFailure("RegisterClassA", &error)) {
    SetLastError(error);
    return 0;
  }
  std::string key = winsim::Lower(wc->lpszClassName);
  if (State().classes.count(key) != 0) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  State().classes[key] = *wc;
  return static_cast<ATOM>(0xC000 + State().classes.size());
}

const WNDCLASSA* winsim::RegisteredClass(const char* name) {
  auto it = State().classes.find(winsim::Lower(name));
  return it == State().classes.end() ? nullptr : &it->second;
}

// Builds the dialog as Windows' dialog manager does for a template that names its own class:
// the window of that class (WM_CREATE to its procedure), then the controls in template order,
// then, for a WS_VISIBLE template, the window is shown and activated.
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
  (void)param;
  (void)proc;
  DWORD error;
  if (winsim::InjectedFailure("CreateDialogParamA", &error)) {
    SetLastError(error);
    return nullptr;
  }
  winsim::DialogTemplate tpl;
  if (instance != winsim::ProgramInstance() || !IS_INTRESOURCE(templateName) ||
      !winsim::LoadDialogTemplate(static_cast<int>(reinterpret_cast<ULONG_PTR>(templateName)), &tpl)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  auto cls = State().classes.find(winsim::Lower(tpl.className));
  if (tpl.className.empty() || cls == State().classes.end()) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  // The dialog manager keeps its own data in the window's extra bytes.
  if (cls->second.cbWndExtra < DLGWINDOWEXTRA) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Controls of classes nobody registered cannot be created, and the whole dialog fails. The
  // list view's class exists only once the common controls library has been initialised.
  for (const winsim::DialogItem& item : tpl.items) {
    if (winsim::Lower(item.className) == "syslistview32" && !State().commonControlsLoaded) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
  }
  HWND hwnd = winsim::NewHandle();
  Window& w = State().windows[hwnd];
  w = Window{hwnd, owner, cls->second.lpszClassName, cls->second.lpfnWndProc, 0, tpl.caption,
             tpl.style & ~static_cast<DWORD>(WS_VISIBLE), true, false, true, 0, -1, tpl.x, tpl.y, tpl.cx,
             tpl.cy, {}, {}};
  if (SendMessageA(hwnd, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  for (const winsim::DialogItem& item : tpl.items) {
    HWND child = winsim::NewHandle();
    State().windows[child] = Window{child, hwnd, item.className, nullptr, item.id, item.text, item.style,
                                    (item.style & WS_DISABLED) == 0, (item.style & WS_VISIBLE) != 0, true, 0,
                                    -1, item.x, item.y, item.cx, item.cy, {}, {}};
    Find(hwnd)->children.push_back(child);
  }
  if (tpl.style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOWNORMAL);
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  SendMessageA(hwnd, WM_DESTROY, 0, 0);
  w = Find(hwnd);
  for (HWND child : w->children) {
    Window* c = Find(child);
    if (c != nullptr) c->alive = false;
  }
  SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
  Find(hwnd)->alive = false;
  if (State().active == hwnd) State().active = nullptr;
  return TRUE;
}

BOOL ShowWindow(HWND hwnd, int command) {
  Window* w = Find(hwnd);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  w->visible = command != SW_HIDE;
  w->lastShowCommand = command;
  if (w->parent == nullptr && winsim::ShowCommandActivates(command)) winsim::Activate(hwnd);
  return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (w == nullptr) return FALSE;
  w->updateCalls++;
  return TRUE;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  (void)window;
  (void)filterMin;
  (void)filterMax;
  for (;;) {
    winsim::LookAtQueue();
    if (!State().queue.empty()) {
      *msg = State().queue.front();
      State().queue.pop_front();
      return TRUE;
    }
    if (State().quitPending) {
      State().quitPending = false;
      std::memset(msg, 0, sizeof *msg);
      msg->message = WM_QUIT;
      msg->wParam = static_cast<WPARAM>(State().quitCode);
      return FALSE;
    }
    if (State().actions.empty()) throw winsim::QueueStarved{};
    std::function<void()> action = std::move(State().actions.front());
    State().actions.pop_front();
    action();
  }
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  (void)window;
  (void)filterMin;
  (void)filterMax;
  DWORD error;
  if (winsim::InjectedFailure("PeekMessageA", &error)) return FALSE;
  winsim::LookAtQueue();
  if (State().queue.empty()) {
    if (!State().quitPending) return FALSE;
    std::memset(msg, 0, sizeof *msg);
    msg->message = WM_QUIT;
    msg->wParam = static_cast<WPARAM>(State().quitCode);
    if (removeFlags & PM_REMOVE) State().quitPending = false;
    return TRUE;
  }
  *msg = State().queue.front();
  if (removeFlags & PM_REMOVE) State().queue.pop_front();
  return TRUE;
}

BOOL TranslateMessage(const MSG* msg) { return msg->message == WM_KEYDOWN ? TRUE : FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg->hwnd == nullptr) return 0;
  return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (hwnd != nullptr && Find(hwnd) == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  MSG m{};
  m.hwnd = hwnd;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  State().queue.push_back(m);
  return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(hwnd);
  if (w == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (w->proc != nullptr) return w->proc(hwnd, message, wParam, lParam);
  return winsim::ControlMessage(*w, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  State().quitPending = true;
  State().quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  switch (message) {
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    default:
      return 0;
  }
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  DWORD error;
  if (winsim::InjectedFailure("MessageBoxA", &error)) {
    SetLastError(error);
    return 0;
  }
  // The box runs a modal loop of its own, which answers what other threads send.
  winsim::LookAtQueue();
  Window* list = winsim::ListOfMainWindow();
  State().boxes.push_back(winsim::MessageBoxCall{owner, text != nullptr ? text : "",
                                                 caption != nullptr ? caption : "Error", style,
                                                 list != nullptr ? static_cast<int>(list->list.rows.size()) : 0});
  return State().boxAnswer;
}

HWND GetDlgItem(HWND dialog, int id) {
  Window* w = Find(dialog);
  if (w != nullptr) {
    for (HWND child : w->children) {
      Window* c = Find(child);
      if (c != nullptr && static_cast<WORD>(c->id) == static_cast<WORD>(id)) return child;
    }
  }
  SetLastError(1421);  // ERROR_CONTROL_ID_NOT_FOUND
  return nullptr;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return FALSE;
  return static_cast<BOOL>(SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int capacity) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) {
    if (capacity > 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<UINT>(SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(capacity),
                                        reinterpret_cast<LPARAM>(buffer)));
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
  Window* w = Find(hwnd);
  if (w == nullptr) return FALSE;
  BOOL wasDisabled = w->enabled ? FALSE : TRUE;
  w->enabled = enable != FALSE;
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  Window* w = Find(hwnd);
  return w != nullptr && w->enabled ? TRUE : FALSE;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
  std::memset(paint, 0, sizeof *paint);
  if (Find(hwnd) == nullptr) return nullptr;
  paint->hdc = reinterpret_cast<HDC>(0x3000);
  return paint->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
  (void)paint;
  return Find(hwnd) != nullptr ? TRUE : FALSE;
}
