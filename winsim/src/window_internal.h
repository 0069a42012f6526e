// Internal to the stand-in's window manager: the windows, the one thread's message queue, and
// what the list view holds. Classes, dialogs and the calls on windows are in window_dialogs.cpp,
// the queue in window_messages.cpp, the list view in window_list_view.cpp and message boxes in
// window_message_box.cpp.
//
// Simplifications, each harmless to the program: windows have no geometry or painting;
// controls have no window procedures of their own (the stand-in answers their messages);
// deactivating a window sends nothing; a message box is recorded and answered at once.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "calls.h"
#include "winsim.h"

namespace winsim::wm {

using detail::Call;
using detail::Fail;

struct ListViewData {
  std::vector<ListColumn> columns;
  std::vector<std::vector<std::string>> rows;  // row, then sub-item
  int topIndex = 0;                            // the first row in view
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
  // Messages other threads have sent, answered at the thread's next look at its queue, each
  // with the rows the list had when it was sent.
  struct SentMessage {
    MSG message;
    int rowsWhenSent;
  };
  std::deque<SentMessage> sentByOthers;
  std::vector<AnsweredMessage> answered;
  DWORD lastQueueCheckMs = 0;  // simulated time (the Sleep total) of the last look
  DWORD longestWithoutCheckMs = 0;
};

WindowState& State();

// Class names compare without regard to case.
std::string Lower(std::string s);
// The live window of `hwnd`, or null (also for one that was destroyed).
Window* Find(HWND hwnd);

// What the thread does whenever it looks at its queue (GetMessageA, PeekMessageA, the modal loop
// of a message box): the time since its last look is noted, and every message another thread
// sent meanwhile is handed to its window procedure.
void LookAtQueue();

// The messages the stand-in answers for a control, which has no window procedure of its own.
LRESULT ControlMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam);

bool IsListView(const Window& w);
LRESULT ListViewMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam);
// The rows of the main window's result list now (0 without one).
int RowsNow();
// A message record for the queue.
MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace winsim::wm
