// The stand-in's windows: classes, the main dialog built from the real template with its
// controls, showing, activating and destroying windows, the calls on dialog items, and the test
// side that finds the main window, presses its buttons and reads its controls.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "modules.h"
#include "window_internal.h"

namespace winsim::wm {

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

namespace {

HWND NewHandle() {
  HWND h = reinterpret_cast<HWND>(State().nextHandle);
  State().nextHandle += 4;
  return h;
}

bool ShowCommandActivates(int command) {
  return command != SW_HIDE && command != SW_SHOWNOACTIVATE && command != SW_SHOWMINNOACTIVE && command != SW_SHOWNA &&
         command != SW_MINIMIZE;
}

void Activate(HWND hwnd) {
  if (State().activationSuppressed || State().active == hwnd) return;
  State().active = hwnd;
  SendMessageA(hwnd, WM_ACTIVATE, WA_ACTIVE, 0);
}

}  // namespace
}  // namespace winsim::wm

namespace winsim::detail {
void ResetWindows() { wm::State() = wm::WindowState(); }
}  // namespace winsim::detail

// ---- the test side ----

namespace winsim {

using wm::Find;
using wm::State;
using wm::Window;

void SetActivationSuppressed(bool suppressed) { State().activationSuppressed = suppressed; }

const WNDCLASSA* RegisteredClass(const char* name) {
  auto it = State().classes.find(wm::Lower(name));
  return it == State().classes.end() ? nullptr : &it->second;
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

}  // namespace winsim

// ---- the API ----

using namespace winsim::wm;

void InitCommonControls(void) {
  winsim::detail::CountCall("InitCommonControls");
  State().commonControlsLoaded = true;
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (Call call("RegisterClassA"); call.Failed()) return call.FailWithLastError(static_cast<ATOM>(0));
  std::string key = Lower(wc->lpszClassName);
  if (State().classes.count(key) != 0) return Fail(ERROR_CLASS_ALREADY_EXISTS, static_cast<ATOM>(0));
  State().classes[key] = *wc;
  return static_cast<ATOM>(0xC000 + State().classes.size());
}

// Builds the dialog as Windows' dialog manager does for a template that names its own class:
// the window of that class (WM_CREATE to its procedure), then the controls in template order,
// then, for a WS_VISIBLE template, the window is shown and activated.
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) {
  (void)param;
  (void)proc;
  const HWND none = nullptr;
  if (Call call("CreateDialogParamA"); call.Failed()) return call.FailWithLastError(none);
  winsim::DialogTemplate tpl;
  if (instance != winsim::ProgramInstance() || !IS_INTRESOURCE(templateName) ||
      !winsim::LoadDialogTemplate(static_cast<int>(reinterpret_cast<ULONG_PTR>(templateName)), &tpl)) {
    return Fail(ERROR_RESOURCE_NAME_NOT_FOUND, none);
  }
  auto cls = State().classes.find(Lower(tpl.className));
  if (tpl.className.empty() || cls == State().classes.end()) return Fail(ERROR_CANNOT_FIND_WND_CLASS, none);
  // The dialog manager keeps its own data in the window's extra bytes.
  if (cls->second.cbWndExtra < DLGWINDOWEXTRA) return Fail(ERROR_INVALID_PARAMETER, none);
  // Controls of classes nobody registered cannot be created, and the whole dialog fails. The
  // list view's class exists only once the common controls library has been initialised.
  for (const winsim::DialogItem& item : tpl.items) {
    if (Lower(item.className) == "syslistview32" && !State().commonControlsLoaded) {
      return Fail(ERROR_CANNOT_FIND_WND_CLASS, none);
    }
  }
  HWND hwnd = NewHandle();
  Window& w = State().windows[hwnd];
  w = Window{hwnd,
             owner,
             cls->second.lpszClassName,
             cls->second.lpfnWndProc,
             0,
             tpl.caption,
             tpl.style & ~static_cast<DWORD>(WS_VISIBLE),
             true,
             false,
             true,
             0,
             -1,
             tpl.x,
             tpl.y,
             tpl.cx,
             tpl.cy,
             {},
             {}};
  if (SendMessageA(hwnd, WM_CREATE, 0, 0) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  for (const winsim::DialogItem& item : tpl.items) {
    HWND child = NewHandle();
    State().windows[child] = Window{child,
                                    hwnd,
                                    item.className,
                                    nullptr,
                                    item.id,
                                    item.text,
                                    item.style,
                                    (item.style & WS_DISABLED) == 0,
                                    (item.style & WS_VISIBLE) != 0,
                                    true,
                                    0,
                                    -1,
                                    item.x,
                                    item.y,
                                    item.cx,
                                    item.cy,
                                    {},
                                    {}};
    Find(hwnd)->children.push_back(child);
  }
  if (tpl.style & WS_VISIBLE) ShowWindow(hwnd, SW_SHOWNORMAL);
  return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (w == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
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
  if (w == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  BOOL wasVisible = w->visible ? TRUE : FALSE;
  w->visible = command != SW_HIDE;
  w->lastShowCommand = command;
  if (w->parent == nullptr && ShowCommandActivates(command)) Activate(hwnd);
  return wasVisible;
}

BOOL UpdateWindow(HWND hwnd) {
  Window* w = Find(hwnd);
  if (w == nullptr) return FALSE;
  w->updateCalls++;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  Window* w = Find(dialog);
  if (w != nullptr) {
    for (HWND child : w->children) {
      Window* c = Find(child);
      if (c != nullptr && static_cast<WORD>(c->id) == static_cast<WORD>(id)) return child;
    }
  }
  return Fail(1421, static_cast<HWND>(nullptr));  // ERROR_CONTROL_ID_NOT_FOUND
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
  return static_cast<UINT>(
      SendMessageA(control, WM_GETTEXT, static_cast<WPARAM>(capacity), reinterpret_cast<LPARAM>(buffer)));
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
