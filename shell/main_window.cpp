#include "shell/main_window.h"

#include <windows.h>

#include "resources/resource.h"
#include "shell/os_detect.h"
#include "report/result_list.h"
#include "shell/run_sequence.h"
#include "base/run_state.h"
#include "base/system_library.h"

namespace {

const char kMainClassName[] = "GDUINST";

// Makes the system folder the process's current folder. Windows does not remove a folder that
// is a process's current folder, and the program may be started inside the very folder it
// removes (the install folder's own Remove.exe, a command prompt there). A folder that cannot
// be entered leaves the current folder as it was.
void LeaveStartFolder() {
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length != 0 && length < MAX_PATH) SetCurrentDirectoryA(folder);
}

typedef void(WINAPI* InitCommonControlsProc)(void);

// The libraries the program keeps from its start to its end, loaded from the system folder by
// their full paths. shell32 imports comctl32 and shlwapi itself, and an import is satisfied by a
// module of that name already loaded: loaded after them, it binds to these copies, never to
// files of those names next to the program. Without comctl32 nothing more is loaded, since
// shell32's import would then search for it. The libraries go with the process, as imported
// ones do: the window, made with comctl32's list-view class, lives until the process ends.
// True when the common controls are initialised; without them the dialog, which names the
// list-view class, cannot be created.
BOOL LoadKeptLibraries() {
  HMODULE commonControls = LoadSystemLibrary("comctl32.dll");
  InitCommonControlsProc initCommonControls;
  if (commonControls == nullptr || !LookUpProcedure(commonControls, "InitCommonControls", &initCommonControls)) {
    return FALSE;
  }
  initCommonControls();
  LoadSystemLibrary("shlwapi.dll");  // not there on Windows 95 and NT 4.0 without Internet Explorer 4
  LoadSystemLibrary("shell32.dll");
  return TRUE;
}

}  // namespace

ATOM RegisterMainClass(HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.style = 0;
  wc.lpfnWndProc = MainWndProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = DLGWINDOWEXTRA;  // the dialog manager keeps its data there
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MAIN));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kMainClassName;
  return RegisterClassA(&wc);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: RunState.mainWindow = window; return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_ACTIVATE:
      // The columns and the version label are set up on the first activation, not at creation.
      if (RunState.firstActivation) {
        RunState.firstActivation = FALSE;
        SetupResultColumns();
        DetectOsKind(window);
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (BeginPaint(window, &paint) != nullptr) EndPaint(window, &paint);
      return 0;
    }
    case WM_QUERYENDSESSION:
      // A log-off or shutdown in the middle of the removal would leave the package half
      // removed, some deferrals written and others not. With the summary up (the files put off
      // are then registered for the restart the user may be about to make) it may end.
      return RunState.removing ? FALSE : TRUE;
    case WM_CLOSE:
      // While a run lasts the window answers what is sent to it, a close among them (another
      // program, the system menu of a ghost window): the run is finished first, then the
      // program ends.
      if (RunState.runActive) {
        RunState.closeRequested = TRUE;
        return 0;
      }
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:  // the Close button: the window goes with the process
          if (RunState.runActive) {
            RunState.closeRequested = TRUE;
          } else {
            PostQuitMessage(0);
          }
          break;
        case IDC_RUN:
          // Only a sent command can arrive during a run (clicks wait in the queue): it never
          // starts a second run inside the first. After a close asked for during a run, a click
          // that waited in the queue starts nothing: the program is about to end.
          if (RunState.runActive || RunState.closeRequested) break;
          RunState.runActive = TRUE;
          RunRemoval();
          RunState.runActive = FALSE;
          if (RunState.closeRequested) PostQuitMessage(0);
          break;
        default: break;
      }
      return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
  (void)commandLine;
  RunState.hInstance = instance;
  LeaveStartFolder();
  if (previous == nullptr && RegisterMainClass(instance) == 0) return 0;

  // The dialog template names the list-view class, which exists only once the common controls
  // library is loaded and initialised.
  HWND window =
      LoadKeptLibraries() ? CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, nullptr, 0) : nullptr;
  if (window == nullptr) {
    MessageBoxA(nullptr, "Can't create DialogBox", "Error", MB_OK);
    return 0;
  }
  ShowWindow(window, showCommand);

  // Plain loop: no dialog-message processing, so no keyboard navigation between controls.
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

int StartProgram() {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const int showCommand = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  return WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<char*>(""), showCommand);
}
