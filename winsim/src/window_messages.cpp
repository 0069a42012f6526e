// The stand-in's message queue: one thread's posted messages, WM_QUIT, the messages other
// threads send (answered whenever the thread looks at its queue), the test's scripted actions
// that play the user when the queue is empty, and the calls that send, post and dispatch.
#include <windows.h>

#include <cstring>
#include <functional>
#include <vector>

#include "window_internal.h"

namespace winsim::wm {

void LookAtQueue() {
  WindowState& s = State();
  const DWORD now = SleptMilliseconds();
  if (now - s.lastQueueCheckMs > s.longestWithoutCheckMs) s.longestWithoutCheckMs = now - s.lastQueueCheckMs;
  s.lastQueueCheckMs = now;
  while (!s.sentByOthers.empty()) {
    const WindowState::SentMessage sent = s.sentByOthers.front();
    s.sentByOthers.pop_front();
    const MSG& m = sent.message;
    const LRESULT result = SendMessageA(m.hwnd, m.message, m.wParam, m.lParam);
    s.answered.push_back(AnsweredMessage{m.message, sent.rowsWhenSent, RowsNow(), result});
  }
}

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG m{};
  m.hwnd = hwnd;
  m.message = message;
  m.wParam = wParam;
  m.lParam = lParam;
  return m;
}

LRESULT ControlMessage(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsListView(w)) return ListViewMessage(w, message, wParam, lParam);
  switch (message) {
    case WM_SETTEXT: w.text = reinterpret_cast<const char*>(lParam); return TRUE;
    case WM_GETTEXT:
      lstrcpynA(reinterpret_cast<char*>(lParam), w.text.c_str(), static_cast<int>(wParam));
      return lstrlenA(reinterpret_cast<char*>(lParam));
    default: return 0;
  }
}

namespace {
// The WM_QUIT that PostQuitMessage left for the queue.
void QuitMessage(LPMSG msg) {
  std::memset(msg, 0, sizeof *msg);
  msg->message = WM_QUIT;
  msg->wParam = static_cast<WPARAM>(State().quitCode);
}
}  // namespace

}  // namespace winsim::wm

// ---- the test side ----

namespace winsim {

using wm::State;

void QueueAction(std::function<void()> action) { State().actions.push_back(std::move(action)); }

void SendFromOtherThread(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  State().sentByOthers.push_back({wm::MakeMessage(window, message, wParam, lParam), wm::RowsNow()});
}

const std::vector<AnsweredMessage>& AnsweredMessages() { return State().answered; }
int UnansweredMessages() { return static_cast<int>(State().sentByOthers.size()); }

DWORD LongestStretchWithoutQueueCheck() {
  const DWORD open = SleptMilliseconds() - State().lastQueueCheckMs;
  return open > State().longestWithoutCheckMs ? open : State().longestWithoutCheckMs;
}

}  // namespace winsim

// ---- the API ----

using namespace winsim::wm;

BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  (void)window;
  (void)filterMin;
  (void)filterMax;
  for (;;) {
    LookAtQueue();
    if (!State().queue.empty()) {
      *msg = State().queue.front();
      State().queue.pop_front();
      return TRUE;
    }
    if (State().quitPending) {
      State().quitPending = false;
      QuitMessage(msg);
      return FALSE;
    }
    if (State().actions.empty()) throw winsim::QueueStarved{};
    std::function<void()> action = std::move(State().actions.front());
    State().actions.pop_front();
    action();
  }
}

// An injected failure finds the queue empty: PeekMessageA reports nothing beyond FALSE.
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
  (void)window;
  (void)filterMin;
  (void)filterMax;
  if (Call call("PeekMessageA"); call.Failed()) return FALSE;
  LookAtQueue();
  if (State().queue.empty()) {
    if (!State().quitPending) return FALSE;
    QuitMessage(msg);
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
  if (hwnd != nullptr && Find(hwnd) == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  State().queue.push_back(winsim::wm::MakeMessage(hwnd, message, wParam, lParam));
  return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = Find(hwnd);
  if (w == nullptr) return Fail(ERROR_INVALID_HANDLE, static_cast<LRESULT>(0));
  if (w->proc != nullptr) return w->proc(hwnd, message, wParam, lParam);
  return ControlMessage(*w, message, wParam, lParam);
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
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_QUERYENDSESSION: return TRUE;  // the session may end
    default: return 0;
  }
}
