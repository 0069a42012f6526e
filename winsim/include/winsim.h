// The test side of the stand-in: how a test sets up the simulated machine, injects failures,
// drives the user interface and reads back what the program did. The program itself never
// includes this header; it sees only the Win32 headers.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace winsim {

// ---- the machine as a whole ----

// A fresh machine: every module back to its start state (Windows XP, code page 932, an empty
// C: drive with C:\WINDOWS and its system folder, an empty registry, no windows, no faults).
void Reset();

// ---- fault injection ----

// The nth call of `api` (1-based, counted from this request on) fails with `error`: the function
// returns its failure value and, for functions that report through GetLastError, sets it to
// `error`; registry functions return `error` itself.
void FailCall(const std::string& api, int nth, DWORD error);
// Every call of `api` from now on fails with `error`.
void FailEveryCall(const std::string& api, DWORD error);
// Calls of `api` since the last Reset.
int CallCount(const std::string& api);
// The names of every API called since the last Reset, in call order (one entry per call).
const std::vector<std::string>& CallLog();

// At the nth call of `api` (1-based, counted from this request on), `action` runs before the
// call does its work: a test's way of making something happen in the middle of a run (another
// thread sending a message, another process removing a file). The Win32 calls an action makes
// are counted and may fail, but run no hooks and do not count towards any hook's nth call.
void WhenCalled(const std::string& api, int nth, std::function<void()> action);

// ---- handle accounting ----

// What the machine hands out and counts: every kind must be given back by the end of a run.
enum class Resource { Search, Key, File, Mapping, View, ItemList, Allocator, Library, Token, Sid, kCount };
const char* ResourceName(Resource r);
int OpenCount(Resource r);
// "" when everything acquired has been released, otherwise a line per kind still open.
std::string LeakReport();

// ---- text ----

// UTF-8 to the ANSI code page 932 and back, through iconv (independent of the compiler's own
// conversion of the program's literals, so tests cross-check it).
std::string Sjis(const std::string& utf8);
std::string Utf8(const std::string& sjis);

// ---- version, code page, start-up ----

void SetVersion(DWORD major, DWORD minor, DWORD build, DWORD platform);
// True when the version set is of the 9x family (platform VER_PLATFORM_WIN32_WINDOWS), whose
// file system and registry calls behave differently in places.
bool IsWin9xPlatform();
// 932 (Japanese, the default) or a single-byte page such as 1252.
void SetCodePage(UINT codePage);
UINT CodePage();
// True when the current code page is a double-byte one and `b` is one of its lead bytes.
bool IsLeadByte(unsigned char b);
void SetStartupShowWindow(bool useShowWindow, WORD showWindow);
// Whether "shlwapi.dll" can be loaded, and whether it exports PathIsDirectoryEmptyA.
void SetShlwapiPresent(bool dllPresent, bool functionPresent = true);
// Libraries load only by their full path in the system folder (comctl32, shell32, shlwapi,
// advapi32 there); every other LoadLibraryA is refused with ERROR_MOD_NOT_FOUND and counted.
int RefusedLibraryLoads();
// What Windows does when the process ends: the libraries it still holds are given back.
void EndProcess();

// The Administrators group (S-1-5-32-544) in the process token on the NT family: enabled (an
// administrator: the start state, as under Wine), there for deny only, there but not enabled,
// or not there at all (a limited user). The 9x family has no token: OpenProcessToken fails there.
enum class AdministratorsGroup { Enabled, DenyOnly, Disabled, Absent };
void SetAdministratorsGroup(AdministratorsGroup group);

// ---- user interface ----

// Sleep never sleeps here: every call is counted and its time added up.
DWORD SleptMilliseconds();
int SleepCalls();
const std::vector<UINT>& ErrorModeHistory();  // every mode passed to SetErrorMode, in order
UINT CurrentErrorMode();

struct MessageBoxCall {
  HWND owner;
  std::string text;     // as the program passed it (CP932)
  std::string caption;  // as the program passed it (CP932)
  UINT style;
  int rowsAtThatTime;  // rows of the result list when the box was shown
};
const std::vector<MessageBoxCall>& MessageBoxes();
void SetMessageBoxAnswer(int answer);

// The class registered under `name`, or null.
const WNDCLASSA* RegisteredClass(const char* name);

// Activation: by default a window is activated (WM_ACTIVATE) when it is shown with a command
// that activates; with this set, no window is ever activated.
void SetActivationSuppressed(bool suppressed);

// When GetMessageA finds the queue empty it runs the next queued action (a test's stand-in for
// the user). With no action left the queue has starved: GetMessageA throws QueueStarved, so a
// test never hangs.
void QueueAction(std::function<void()> action);
struct QueueStarved {};

// Another thread sends `message` to `window`: it is answered (the window procedure runs) at the
// program thread's next look at its queue, GetMessageA, PeekMessageA or the modal loop of a
// message box, as Windows delivers messages sent across threads.
void SendFromOtherThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
struct AnsweredMessage {
  UINT message;
  int rowsWhenSent;      // rows of the result list when it was sent
  int rowsWhenAnswered;  // and when the program's thread answered it
  LRESULT result;        // what the window procedure answered
};
const std::vector<AnsweredMessage>& AnsweredMessages();
int UnansweredMessages();
// The longest simulated time (milliseconds slept) between two looks of the thread at its queue,
// the stretch still open included: what another process sees as the window not answering.
DWORD LongestStretchWithoutQueueCheck();

// Convenience actions on the program's main dialog (found by its class name).
HWND MainWindow();                // null when none exists
void PressButton(int controlId);  // posts WM_COMMAND(BN_CLICKED, id) to the main window
void CloseFromSystemMenu();       // posts WM_SYSCOMMAND(SC_CLOSE)

struct Control {
  HWND hwnd;
  int id;
  std::string className;  // "Button", "Static", "SysListView32", ...
  std::string text;       // CP932
  DWORD style;
  short x, y, cx, cy;
  bool enabled;
};
std::vector<Control> Controls(HWND dialog);
std::string WindowText(HWND window);  // CP932
bool WindowExists(HWND window);
bool WindowVisible(HWND window);
int UpdateWindowCalls(HWND window);
int LastShowCommand(HWND window);  // the command of the last ShowWindow call, -1 when none

struct ListColumn {
  std::string heading;  // CP932
  int width;
  int format;
  int subItem;
};
std::vector<ListColumn> ListColumns(HWND list);
struct ListRow {
  std::string item;    // CP932
  std::string status;  // CP932
};
std::vector<ListRow> ListRows(HWND list);  // top to bottom

// The instance handle the stand-in hands to the program (its resources are the real .res).
HINSTANCE ProgramInstance();

// ---- the program's compiled resources, for tests that check them ----

struct DialogItem {
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
  WORD id;
  std::string className;  // predefined classes by name ("Button", "Static", ...)
  std::string text;       // ANSI (CP932)
};
struct DialogTemplate {
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
  std::string menu;
  std::string className;
  std::string caption;  // ANSI (CP932)
  WORD pointSize;
  std::string font;  // ANSI (CP932)
  std::vector<DialogItem> items;
};
// Parses the classic dialog template `id`; false when there is none.
bool LoadDialogTemplate(int id, DialogTemplate* out);
// The raw data of resource (type, id), or null.
const std::vector<unsigned char>* ResourceData(int type, int id);

}  // namespace winsim
