// Drives the real uninstaller under Wine the way a user would: starts it, reads its window, presses
// Run, reads and dismisses the summary box, reads every row of the result list across processes,
// closes it and collects its exit code. It also answers questions about the machine (registry
// keys and values, the Windows version and folders) so that a scenario needs no other tool.
//
//   e2e_driver.exe STEPS REPORT
//
// STEPS is a UTF-8 file with one step per line, fields separated by tabs; REPORT receives one
// JSON object per step (UTF-8, texts converted from the program's code page 932). The driver
// gives 0 when every step ran, 1 when one failed (the failing step's line says why; later steps
// are skipped), 2 for bad arguments. Every wait has a deadline; a program that does not answer in
// time is ended, so a hung uninstaller can never hang a test.
//
// Steps:
//   start <exe> [<working folder>]    start the program, wait for its window and first activation
//   window                             title, version label, Run/Close state, list headings
//   run [ask-end-session]              press Run like a user (refused when disabled), wait for the
//                                      summary box, read and dismiss it; meanwhile watch from a
//                                      second thread whether the window answers (see RunWatch);
//                                      with ask-end-session, ask whether the session may end once
//                                      rows of the run show and again while its box is up
//   end-session                        ask whether the session may end (WM_QUERYENDSESSION), then
//                                      tell the window it goes on (WM_ENDSESSION with FALSE)
//   run-force [<seconds>]              post Run even when the button is disabled; report the box,
//                                      or none when the queue turned without one within the time
//   rows                               every row of the result list, both columns; the first
//                                      row in view and how many rows the view holds
//   close | close-window               the Close button | the window's system-menu Close; wait for
//                                      the process to end and report its exit code
//   hold <file> | release              open a file without any sharing and keep it open | close it
//   pause <marker>                     write <marker>.ready, wait for <marker>.go (screenshots)
//   key <root\path>                    whether a key exists, with its value and subkey names
//   value <root\path> <name>           one value (null when missing)
//   attributes <path>                  GetFileAttributesW of a path (null when it fails)
//   remove-folder <path>               RemoveDirectoryW, with the error code when it fails
//   version | folders                  GetVersionExA | the Windows, system and shell folders
//   drive-type <root>                  GetDriveTypeW of a drive's root ("D:\\")
//   deny-delayed-moves                 let nobody write the key of the delayed-move service, as
//                                      on Windows 9x; report whether a delayed move now fails
//   write-file <path> <hex>            create or replace a file with exactly these bytes
//   read-file <path>                   a file's bytes in hex (null when it cannot be opened)
//   short-name <path>                  GetShortPathNameA of the path in code page 932, in hex
//   wait <milliseconds>
// Roots are HKLM, HKCU and HKU.
#include <windows.h>
#include <aclapi.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kIdRun = 1012;
const int kIdResultList = 1071;
const int kIdOsLabel = 1073;
const int kIdClose = IDOK;

const DWORD kStartTimeoutMs = 60000;
const DWORD kRunTimeoutMs = 300000;
const DWORD kAnswerTimeoutMs = 10000;
const DWORD kExitTimeoutMs = 30000;
const DWORD kPauseTimeoutMs = 120000;

FILE* g_report = nullptr;
PROCESS_INFORMATION g_program = {};
HWND g_main = nullptr;
std::vector<HANDLE> g_held;

// ---- text ----------------------------------------------------------------------------------

std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

std::wstring FromCodePage(UINT codePage, const std::string& s) {
  if (s.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(codePage, 0, s.data(), (int)s.size(), &w[0], n);
  return w;
}

// The program is an ANSI program of code page 932: its list texts are those bytes.
std::string Cp932ToUtf8(const std::string& s) { return ToUtf8(FromCodePage(932, s)); }

std::string Json(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += (char)c;
        }
    }
  }
  return out + "\"";
}
std::string Json(const std::wstring& w) { return Json(ToUtf8(w)); }
std::string Json(bool b) { return b ? "true" : "false"; }
std::string Json(long long n) { return std::to_string(n); }

void Emit(const std::string& line) {
  fputs(line.c_str(), g_report);
  fputc('\n', g_report);
  fflush(g_report);
}

std::wstring WindowText(HWND window) {
  // For a window of another process this reads the text Windows keeps for it, without sending
  // a message, so it works while the program is busy in a run.
  wchar_t buf[4096];
  int n = GetWindowTextW(window, buf, 4096);
  return std::wstring(buf, n > 0 ? n : 0);
}

std::wstring ClassName(HWND window) {
  wchar_t buf[256];
  int n = GetClassNameW(window, buf, 256);
  return std::wstring(buf, n > 0 ? n : 0);
}

bool ProgramAlive() {
  return g_program.hProcess != nullptr && WaitForSingleObject(g_program.hProcess, 0) == WAIT_TIMEOUT;
}

// Sends a message that carries no pointer and waits for the answer; false when the program does
// not answer in time (busy in a run, or hung).
bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result, DWORD timeoutMs) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &r)) return false;
  if (result) *result = r;
  return true;
}

// Asks the window what the system asks every top-level window before a log-off or shutdown:
// may the session end? Then tells it, as the system does when some window said no, that the
// session goes on. The answer is the window procedure's return value: FALSE to refuse.
std::string AskEndSession(HWND window) {
  DWORD_PTR answer = 0;
  const DWORD begin = GetTickCount();
  const bool answered = Ask(window, WM_QUERYENDSESSION, 0, 0, &answer, kAnswerTimeoutMs);
  const DWORD took = GetTickCount() - begin;
  Ask(window, WM_ENDSESSION, FALSE, 0, nullptr, kAnswerTimeoutMs);
  return "{\"answered\":" + Json(answered) + ",\"answer\":" + Json((long long)answer) +
         ",\"ms\":" + Json((long long)took) + "}";
}

// ---- memory in the program's process --------------------------------------------------------

// A page in the program's address space: list-view messages carry pointers, which the program
// can only follow into its own memory.
struct RemoteBuffer {
  HANDLE process = nullptr;
  char* base = nullptr;
  SIZE_T size = 0;
  explicit RemoteBuffer(HANDLE p, SIZE_T n) : process(p), size(n) {
    base = (char*)VirtualAllocEx(p, nullptr, n, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  ~RemoteBuffer() {
    if (base) VirtualFreeEx(process, base, 0, MEM_RELEASE);
  }
  bool Write(SIZE_T offset, const void* data, SIZE_T n) {
    SIZE_T done = 0;
    return WriteProcessMemory(process, base + offset, data, n, &done) && done == n;
  }
  bool Read(SIZE_T offset, void* data, SIZE_T n) {
    SIZE_T done = 0;
    return ReadProcessMemory(process, base + offset, data, n, &done) && done == n;
  }
};

const int kRemoteText = 4096;

// Reads one cell of the list: an LVITEMA in the program's memory, its text buffer right after it.
bool ReadCell(RemoteBuffer& remote, HWND list, int row, int column, std::string* text) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = remote.base + sizeof(LVITEMA);
  item.cchTextMax = kRemoteText;
  char zero = 0;
  if (!remote.Write(0, &item, sizeof item) || !remote.Write(sizeof item, &zero, 1)) return false;
  DWORD_PTR length = 0;
  if (!Ask(list, LVM_GETITEMTEXTA, row, (LPARAM)remote.base, &length, kAnswerTimeoutMs)) return false;
  std::vector<char> buf(kRemoteText + 1, 0);
  if (!remote.Read(sizeof item, buf.data(), kRemoteText)) return false;
  buf[kRemoteText] = 0;
  *text = buf.data();
  return true;
}

bool ReadColumn(RemoteBuffer& remote, HWND list, int column, std::string* text, int* width) {
  LVCOLUMNA col = {};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.pszText = remote.base + sizeof(LVCOLUMNA);
  col.cchTextMax = kRemoteText;
  char zero = 0;
  if (!remote.Write(0, &col, sizeof col) || !remote.Write(sizeof col, &zero, 1)) return false;
  DWORD_PTR ok = 0;
  if (!Ask(list, LVM_GETCOLUMNA, column, (LPARAM)remote.base, &ok, kAnswerTimeoutMs) || !ok) return false;
  LVCOLUMNA back = {};
  std::vector<char> buf(kRemoteText + 1, 0);
  if (!remote.Read(0, &back, sizeof back) || !remote.Read(sizeof col, buf.data(), kRemoteText)) return false;
  *text = buf.data();
  *width = back.cx;
  return true;
}

// ---- finding windows -----------------------------------------------------------------------

struct FindBox {
  DWORD pid;
  HWND owner;
  HWND found;
};

BOOL CALLBACK FindBoxProc(HWND window, LPARAM param) {
  FindBox* f = (FindBox*)param;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == f->pid && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == f->owner &&
      ClassName(window) == L"#32770") {
    f->found = window;
    return FALSE;
  }
  return TRUE;
}

// The message box owned by the main window, if one is up.
HWND FindOwnedBox() {
  FindBox f = {g_program.dwProcessId, g_main, nullptr};
  EnumWindows(FindBoxProc, (LPARAM)&f);
  return f.found;
}

struct FindMain {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindMainProc(HWND window, LPARAM param) {
  FindMain* f = (FindMain*)param;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == f->pid && ClassName(window) == L"GDUINST") {
    f->found = window;
    return FALSE;
  }
  return TRUE;
}

// ---- the box's icon ------------------------------------------------------------------------

struct IconChild {
  HWND found;
};

BOOL CALLBACK FindIconChildProc(HWND window, LPARAM param) {
  LONG style = GetWindowLongW(window, GWL_STYLE);
  if (ClassName(window) == L"Static" && (style & SS_TYPEMASK) == SS_ICON) {
    ((IconChild*)param)->found = window;
    return FALSE;
  }
  return TRUE;
}

// The pixels of a bitmap as 0xRRGGBB values, top row first.
std::vector<DWORD> BitmapPixels(HDC dc, HBITMAP bitmap, int w, int h) {
  std::vector<DWORD> pixels(w * h, 0);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  GetDIBits(dc, bitmap, 0, h, pixels.data(), &info, DIB_RGB_COLORS);
  for (DWORD& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

// Grabs a rectangle of the screen.
std::vector<DWORD> GrabScreen(int x, int y, int w, int h) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, x, y, SRCCOPY);
  SelectObject(memory, old);
  std::vector<DWORD> pixels = BitmapPixels(memory, bitmap, w, h);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Draws a system icon on the given background (0xRRGGBB) and gives its pixels.
std::vector<DWORD> RenderIcon(LPCWSTR id, DWORD background, int w, int h) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  HBRUSH brush = CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
  RECT r = {0, 0, w, h};
  FillRect(memory, &r, brush);
  DeleteObject(brush);
  DrawIconEx(memory, 0, 0, LoadIconW(nullptr, id), w, h, 0, nullptr, DI_NORMAL);
  SelectObject(memory, old);
  std::vector<DWORD> pixels = BitmapPixels(memory, bitmap, w, h);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Which standard icon the box shows: its icon control is compared, pixel by pixel, with each
// standard icon drawn here on the same background. "none" when the box shows no icon.
std::string BoxIconKind(HWND box) {
  IconChild child = {nullptr};
  EnumChildWindows(box, FindIconChildProc, (LPARAM)&child);
  if (child.found == nullptr || !IsWindowVisible(child.found)) return "none";
  RECT r;
  GetWindowRect(child.found, &r);
  const int w = GetSystemMetrics(SM_CXICON), h = GetSystemMetrics(SM_CYICON);
  struct Candidate {
    const char* name;
    LPCWSTR id;
  } candidates[] = {
      {"information", IDI_ASTERISK},
      {"exclamation", IDI_EXCLAMATION},
      {"error", IDI_HAND},
      {"question", IDI_QUESTION},
  };
  std::string best = "unknown";
  // The box may not have painted yet: look again for up to two seconds.
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::vector<DWORD> shown = GrabScreen(r.left, r.top, w, h);
    size_t bestDiff = shown.size();
    for (const Candidate& c : candidates) {
      std::vector<DWORD> drawn = RenderIcon(c.id, shown[0], w, h);
      size_t diff = 0;
      for (size_t i = 0; i < shown.size(); ++i) diff += shown[i] != drawn[i];
      if (diff < bestDiff) {
        bestDiff = diff;
        best = c.name;
      }
    }
    // A few pixels of tolerance for anti-aliased edges; an unpainted control differs widely.
    if (bestDiff <= shown.size() / 50) return best;
    Sleep(100);
  }
  return "unknown";
}

// ---- steps ---------------------------------------------------------------------------------

bool Fail(const std::string& step, const std::string& why) {
  Emit("{\"step\":" + Json(step) + ",\"error\":" + Json(why) + "}");
  return false;
}

void EndProgram() {
  if (ProgramAlive()) TerminateProcess(g_program.hProcess, 255);
}

bool StepStart(const std::wstring& exe, const std::wstring& folder) {
  if (g_program.hProcess) return Fail("start", "the program was already started");
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  std::wstring command = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &g_program)) {
    return Fail("start", "CreateProcessW failed with " + std::to_string(GetLastError()));
  }
  const DWORD begin = GetTickCount();
  while (GetTickCount() - begin < kStartTimeoutMs) {
    if (!ProgramAlive()) return Fail("start", "the program ended before showing its window");
    FindMain f = {g_program.dwProcessId, nullptr};
    EnumWindows(FindMainProc, (LPARAM)&f);
    if (f.found && IsWindowVisible(f.found)) {
      g_main = f.found;
      break;
    }
    Sleep(100);
  }
  if (!g_main) {
    EndProgram();
    return Fail("start", "no window of class GDUINST appeared");
  }
  // The first activation creates the list's columns and sets the version label: wait for it.
  HWND list = GetDlgItem(g_main, kIdResultList);
  bool activated = false;
  while (GetTickCount() - begin < kStartTimeoutMs) {
    HWND header = nullptr;
    DWORD_PTR r = 0;
    if (Ask(list, LVM_GETHEADER, 0, 0, &r, kAnswerTimeoutMs)) header = (HWND)r;
    DWORD_PTR columns = 0;
    if (header && Ask(header, HDM_GETITEMCOUNT, 0, 0, &columns, kAnswerTimeoutMs) && columns > 0) {
      activated = true;
      break;
    }
    Sleep(100);
  }
  Emit("{\"step\":\"start\",\"pid\":" + Json((long long)g_program.dwProcessId) + ",\"activated\":" + Json(activated) +
       ",\"seconds\":" + Json((long long)((GetTickCount() - begin) / 1000)) + "}");
  return true;
}

bool StepWindow() {
  if (!g_main) return Fail("window", "no program window");
  HWND run = GetDlgItem(g_main, kIdRun);
  HWND close = GetDlgItem(g_main, kIdClose);
  HWND list = GetDlgItem(g_main, kIdResultList);
  std::string columns = "[";
  RemoteBuffer remote(g_program.hProcess, sizeof(LVCOLUMNA) + kRemoteText + 16);
  if (!remote.base) return Fail("window", "VirtualAllocEx failed");
  for (int c = 0;; ++c) {
    std::string text;
    int width = 0;
    if (!ReadColumn(remote, list, c, &text, &width)) break;
    if (c) columns += ",";
    columns += "{\"text\":" + Json(Cp932ToUtf8(text)) + ",\"width\":" + Json((long long)width) + "}";
  }
  columns += "]";
  Emit("{\"step\":\"window\",\"title\":" + Json(WindowText(g_main)) +
       ",\"label\":" + Json(WindowText(GetDlgItem(g_main, kIdOsLabel))) + ",\"run\":" + Json(WindowText(run)) +
       ",\"run_enabled\":" + Json(run && IsWindowEnabled(run) != 0) + ",\"close\":" + Json(WindowText(close)) +
       ",\"columns\":" + columns + "}");
  return true;
}

// ---- the program's queue ----------------------------------------------------------------------

// A posted message is taken from the program's queue only by its own message loop (or by the
// loop of a box it shows), never while a run goes on, even once the program answers sent
// messages during a run. The list's hover time is a setting without anything to see that a
// sent message reads back: posting a new value and seeing it read back means the queue has
// turned. Each probe posts a value of its own (probes are taken in the order they were posted),
// and the list's own value is put back once the queue has taken them all.
const DWORD kProbeBase = 0x5EED0000;
DWORD g_probes = 0;
bool g_hoverKnown = false;
DWORD_PTR g_hoverOriginal = 0;

struct QueueProbe {
  HWND list = nullptr;
  DWORD value = 0;
  bool posted = false;
};

// The list's own hover time, read once while the program is idle (before the first probe).
bool KnowHoverTime() {
  if (!g_hoverKnown) {
    g_hoverKnown = Ask(GetDlgItem(g_main, kIdResultList), LVM_GETHOVERTIME, 0, 0, &g_hoverOriginal, kAnswerTimeoutMs);
  }
  return g_hoverKnown;
}

bool PostQueueProbe(QueueProbe* probe) {
  probe->list = GetDlgItem(g_main, kIdResultList);
  if (!KnowHoverTime()) return false;
  probe->value = kProbeBase + (++g_probes & 0xFFFF);
  probe->posted = PostMessageW(probe->list, LVM_SETHOVERTIME, 0, (LPARAM)probe->value) != FALSE;
  return probe->posted;
}

// True once the program's queue has taken the probe; waits at most `timeoutMs` for the answer.
bool QueueProbeTaken(const QueueProbe& probe, DWORD timeoutMs) {
  DWORD_PTR now = 0;
  return probe.posted && Ask(probe.list, LVM_GETHOVERTIME, 0, 0, &now, timeoutMs) && now == probe.value;
}

// Only once every probe posted has been taken.
void RestoreHoverTime(const QueueProbe& probe) {
  if (g_hoverKnown) Ask(probe.list, LVM_SETHOVERTIME, 0, (LPARAM)g_hoverOriginal, nullptr, kAnswerTimeoutMs);
}

// Waits until the program's own loop has turned: every message posted before is handled.
bool WaitForQueue(DWORD timeoutMs) {
  QueueProbe probe;
  if (!PostQueueProbe(&probe)) return false;
  const DWORD begin = GetTickCount();
  bool taken = false;
  while (!(taken = QueueProbeTaken(probe, 200)) && GetTickCount() - begin < timeoutMs) Sleep(50);
  if (taken) RestoreHoverTime(probe);
  return taken;
}

// ---- watching a run from another thread ------------------------------------------------------

// While a run goes on, a second thread asks the main window every 100 ms whether it answers
// (as the system does before it calls a window "not responding") and asks the system whether it
// counts the window as hung; the thread that follows the run reads the list's row count. A
// program that handles no message during its run shows one long silence and never a row until
// it is over.
const DWORD kWatchPeriodMs = 100;
// A program that answers between rows answers a row count within one row's time.
const DWORD kRowCountTimeoutMs = 500;

struct RunWatch {
  HWND window = nullptr;
  HWND list = nullptr;
  volatile LONG stop = 0;
  DWORD begin = 0;       // when Run was posted
  DWORD lastAnswer = 0;  // the latest answer, or `begin`
  DWORD longestSilence = 0;
  long long sent = 0;
  long long answered = 0;
  bool hung = false;
  long long rowsBefore = -1;
  long long rowsMidRun = -1;  // the most rows read while no box was up; -1 when none was read
                              // (kept by the following thread, not the watching one)
  HANDLE thread = nullptr;
  // The end-of-session question, when asked (by the following thread): once rows of the run
  // show, with the row counts around the answer, and while the run's box is up.
  bool askEndSession = false;
  std::string endSessionMidRun = "null";
  std::string endSessionBox = "null";
};

DWORD WINAPI WatchRun(void* param) {
  RunWatch* w = (RunWatch*)param;
  DWORD next = w->begin;
  while (!w->stop) {
    ++w->sent;
    DWORD_PTR r = 0;
    const bool answered = SendMessageTimeoutA(w->window, WM_NULL, 0, 0, SMTO_NORMAL, kWatchPeriodMs, &r) != 0;
    if (answered) {
      const DWORD now = GetTickCount();
      if (now - w->lastAnswer > w->longestSilence) w->longestSilence = now - w->lastAnswer;
      w->lastAnswer = now;
      ++w->answered;
    }
    if (IsHungAppWindow(w->window)) w->hung = true;
    next += kWatchPeriodMs;
    const DWORD now = GetTickCount();
    if ((LONG)(next - now) > 0) {
      Sleep(next - now);
    } else {
      next = now;
    }
  }
  return 0;
}

// Reads the row count while the run goes on. An answer counts as mid-run only when no box was
// up afterwards: a box's own loop answers too.
void ReadRowsMidRun(RunWatch* w) {
  DWORD_PTR count = 0;
  if (Ask(w->list, LVM_GETITEMCOUNT, 0, 0, &count, kRowCountTimeoutMs) && !FindOwnedBox() &&
      (long long)count > w->rowsMidRun) {
    w->rowsMidRun = (long long)count;
  }
}

// Asks the end-of-session question once rows of the run have shown. The row counts read just
// before and just after the answer, with no box up, tell the scenario that the run was under way
// (rows of it shown, not yet all of them).
void AskEndSessionMidRun(RunWatch* w) {
  if (!w->askEndSession || w->endSessionMidRun != "null" || w->rowsMidRun <= w->rowsBefore) return;
  const long long before = w->rowsMidRun;
  std::string answer = AskEndSession(w->window);
  DWORD_PTR count = 0;
  const bool counted = Ask(w->list, LVM_GETITEMCOUNT, 0, 0, &count, kRowCountTimeoutMs);
  w->endSessionMidRun = answer.substr(0, answer.size() - 1) + ",\"rows_before\":" + Json(before) +
                        ",\"rows_after\":" + Json(counted ? (long long)count : -1LL) +
                        ",\"box_after\":" + Json(FindOwnedBox() != nullptr) + "}";
}

bool StartWatch(RunWatch* w) {
  w->window = g_main;
  w->list = GetDlgItem(g_main, kIdResultList);
  DWORD_PTR count = 0;
  if (Ask(w->list, LVM_GETITEMCOUNT, 0, 0, &count, kAnswerTimeoutMs)) w->rowsBefore = (long long)count;
  w->begin = w->lastAnswer = GetTickCount();
  w->thread = CreateThread(nullptr, 0, WatchRun, w, 0, nullptr);
  return w->thread != nullptr;
}

// Stops the thread and gives what it saw as JSON fields; the silence still going on at the end
// counts too.
std::string StopWatch(RunWatch* w) {
  if (!w->thread) return std::string();
  InterlockedExchange(&w->stop, 1);
  WaitForSingleObject(w->thread, INFINITE);
  CloseHandle(w->thread);
  w->thread = nullptr;
  const DWORD end = GetTickCount();
  if (end - w->lastAnswer > w->longestSilence) w->longestSilence = end - w->lastAnswer;
  std::string out = ",\"watch\":{\"sent\":" + Json(w->sent) + ",\"answered\":" + Json(w->answered) +
                    ",\"longest_silence_ms\":" + Json((long long)w->longestSilence) + ",\"hung\":" + Json(w->hung) +
                    ",\"rows_before\":" + Json(w->rowsBefore) + ",\"rows_mid_run\":" + Json(w->rowsMidRun) +
                    ",\"run_ms\":" + Json((long long)(end - w->begin)) + "}";
  if (w->askEndSession) {
    out += ",\"end_session\":{\"mid_run\":" + w->endSessionMidRun + ",\"box\":" + w->endSessionBox + "}";
  }
  return out;
}

// Reads, reports and dismisses the box; then waits until the program is back in its loop.
bool HandleBox(const std::string& step, HWND box, DWORD begin, const std::string& extra) {
  const DWORD seconds = (GetTickCount() - begin + 500) / 1000;
  std::string icon = BoxIconKind(box);
  std::wstring caption = WindowText(box);
  std::wstring text = WindowText(GetDlgItem(box, 0xFFFF));
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)GetDlgItem(box, IDOK));
  const DWORD dismissed = GetTickCount();
  while (IsWindow(box) && GetTickCount() - dismissed < kAnswerTimeoutMs) Sleep(50);
  if (IsWindow(box)) {
    EndProgram();
    return Fail(step, "the box did not go away");
  }
  if (!WaitForQueue(kAnswerTimeoutMs)) {
    EndProgram();
    return Fail(step, "the program did not come back to its loop after the box");
  }
  Emit("{\"step\":" + Json(step) + ",\"box\":{\"caption\":" + Json(caption) + ",\"text\":" + Json(text) +
       ",\"icon\":" + Json(icon) + "},\"seconds\":" + Json((long long)seconds) + extra + "}");
  return true;
}

// Presses Run and follows the run to its end: a box owned by the main window, or the program's
// queue turning again without one (a run that stopped silently, or a Run that did nothing).
bool FollowRun(const std::string& step, DWORD timeoutMs, bool noBoxIsQuiet, bool askEndSession) {
  HWND run = GetDlgItem(g_main, kIdRun);
  if (!KnowHoverTime()) return Fail(step, "the list did not answer before the run");
  RunWatch watch;
  watch.askEndSession = askEndSession;
  if (!StartWatch(&watch)) return Fail(step, "cannot start the thread that watches the run");
  // Post, never send: a sent Run would keep this thread waiting for the whole run.
  PostMessageW(g_main, WM_COMMAND, MAKEWPARAM(kIdRun, BN_CLICKED), (LPARAM)run);
  // Posted after Run, so taken only once Run has been handled (or by the box's loop).
  QueueProbe probe;
  if (!PostQueueProbe(&probe)) {
    StopWatch(&watch);
    EndProgram();
    return Fail(step, "cannot post to the list");
  }
  const DWORD begin = watch.begin;
  bool queueTurned = false;
  while (GetTickCount() - begin < timeoutMs) {
    if (!ProgramAlive()) {
      StopWatch(&watch);
      return Fail(step, "the program ended during the run");
    }
    HWND box = FindOwnedBox();
    if (box) {
      // The box belongs to the run: the question goes to the main window through its loop.
      if (watch.askEndSession) watch.endSessionBox = AskEndSession(g_main);
      // The box's loop may not have taken the probe yet; HandleBox waits for the queue.
      return HandleBox(step, box, begin, StopWatch(&watch));
    }
    if (!queueTurned) {
      ReadRowsMidRun(&watch);
      AskEndSessionMidRun(&watch);
    }
    if (!queueTurned && QueueProbeTaken(probe, 200)) {
      queueTurned = true;
      RestoreHoverTime(probe);
    }
    // The queue has turned without a box: the run is over (a quiet Run is watched for half
    // the time, should a box still come).
    if (queueTurned && !FindOwnedBox() && (!noBoxIsQuiet || GetTickCount() - begin >= timeoutMs / 2)) {
      std::string extra = StopWatch(&watch);
      Emit("{\"step\":" + Json(step) +
           ",\"box\":null,\"seconds\":" + Json((long long)((GetTickCount() - begin) / 1000)) + extra + "}");
      return true;
    }
    Sleep(100);
  }
  std::string extra = StopWatch(&watch);
  if (noBoxIsQuiet) {
    Emit("{\"step\":" + Json(step) + ",\"box\":null,\"seconds\":" + Json((long long)(timeoutMs / 1000)) + extra + "}");
    return true;
  }
  EndProgram();
  return Fail(step, "no summary box within the time limit; the program was ended");
}

bool StepRun(const std::wstring& option) {
  if (!g_main) return Fail("run", "no program window");
  if (!option.empty() && option != L"ask-end-session") return Fail("run", "unknown option " + ToUtf8(option));
  HWND run = GetDlgItem(g_main, kIdRun);
  if (!run || !IsWindowEnabled(run)) {
    Emit("{\"step\":\"run\",\"disabled\":true}");
    return true;
  }
  return FollowRun("run", kRunTimeoutMs, false, !option.empty());
}

bool StepRunForce(const std::wstring& secondsText) {
  if (!g_main) return Fail("run-force", "no program window");
  DWORD seconds = secondsText.empty() ? 5 : (DWORD)_wtoi(secondsText.c_str());
  // A user cannot press a disabled button; a message from elsewhere can still arrive. Watch for
  // the whole time whether anything happens.
  return FollowRun("run-force", seconds * 1000, true, false);
}

bool StepRows() {
  if (!g_main) return Fail("rows", "no program window");
  HWND list = GetDlgItem(g_main, kIdResultList);
  DWORD_PTR count = 0;
  if (!Ask(list, LVM_GETITEMCOUNT, 0, 0, &count, kAnswerTimeoutMs)) return Fail("rows", "the list did not answer");
  RemoteBuffer remote(g_program.hProcess, sizeof(LVITEMA) + kRemoteText + 16);
  if (!remote.base) return Fail("rows", "VirtualAllocEx failed");
  std::string rows = "[";
  for (int i = 0; i < (int)count; ++i) {
    std::string item, status;
    if (!ReadCell(remote, list, i, 0, &item) || !ReadCell(remote, list, i, 1, &status)) {
      return Fail("rows", "row " + std::to_string(i) + " could not be read");
    }
    if (i) rows += ",";
    rows += "[" + Json(Cp932ToUtf8(item)) + "," + Json(Cp932ToUtf8(status)) + "]";
  }
  rows += "]";
  // Which rows the list shows: the first one in view and how many fit (wholly) below it.
  DWORD_PTR top = 0, perPage = 0;
  if (!Ask(list, LVM_GETTOPINDEX, 0, 0, &top, kAnswerTimeoutMs) ||
      !Ask(list, LVM_GETCOUNTPERPAGE, 0, 0, &perPage, kAnswerTimeoutMs)) {
    return Fail("rows", "the list did not tell which rows it shows");
  }
  Emit("{\"step\":\"rows\",\"rows\":" + rows + ",\"top\":" + Json((long long)top) +
       ",\"per_page\":" + Json((long long)perPage) + "}");
  return true;
}

bool StepClose(const std::string& step, bool systemMenu) {
  if (!g_main) return Fail(step, "no program window");
  if (systemMenu) {
    PostMessageW(g_main, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else {
    PostMessageW(g_main, WM_COMMAND, MAKEWPARAM(kIdClose, BN_CLICKED), (LPARAM)GetDlgItem(g_main, kIdClose));
  }
  if (WaitForSingleObject(g_program.hProcess, kExitTimeoutMs) != WAIT_OBJECT_0) {
    EndProgram();
    return Fail(step, "the program did not end; it was ended");
  }
  DWORD code = 0;
  GetExitCodeProcess(g_program.hProcess, &code);
  CloseHandle(g_program.hProcess);
  CloseHandle(g_program.hThread);
  g_program = PROCESS_INFORMATION();
  g_main = nullptr;
  Emit("{\"step\":" + Json(step) + ",\"exit\":" + Json((long long)code) + "}");
  return true;
}

bool StepHold(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return Fail("hold", "cannot open " + ToUtf8(path) + ": " + std::to_string(GetLastError()));
  g_held.push_back(h);
  Emit("{\"step\":\"hold\",\"path\":" + Json(path) + "}");
  return true;
}

void ReleaseHeld() {
  for (HANDLE h : g_held) CloseHandle(h);
  g_held.clear();
}

bool StepPause(const std::wstring& marker) {
  HANDLE ready = CreateFileW((marker + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready == INVALID_HANDLE_VALUE) return Fail("pause", "cannot write the ready marker");
  CloseHandle(ready);
  const DWORD begin = GetTickCount();
  while (GetFileAttributesW((marker + L".go").c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - begin > kPauseTimeoutMs) return Fail("pause", "nobody answered the pause");
    Sleep(100);
  }
  Emit("{\"step\":\"pause\"}");
  return true;
}

bool SplitRoot(const std::wstring& full, HKEY* root, std::wstring* subkey) {
  size_t slash = full.find(L'\\');
  std::wstring name = full.substr(0, slash);
  *subkey = slash == std::wstring::npos ? L"" : full.substr(slash + 1);
  if (name == L"HKLM") *root = HKEY_LOCAL_MACHINE;
  else if (name == L"HKCU") *root = HKEY_CURRENT_USER;
  else if (name == L"HKU") *root = HKEY_USERS;
  else return false;
  return true;
}

std::string ValueJson(DWORD type, const std::vector<BYTE>& data, DWORD size) {
  const wchar_t* w = (const wchar_t*)data.data();
  size_t chars = size / sizeof(wchar_t);
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::wstring s(w, chars);
      while (!s.empty() && s.back() == 0) s.pop_back();
      return Json(s);
    }
    case REG_MULTI_SZ: {
      // Strings one after another, each ending in a NUL, and one more NUL at the end. An empty
      // string may stand inside (the delayed-move list gives a deletion an empty new name), so
      // the list ends where the data ends, not at its first empty string.
      std::vector<std::wstring> items;
      for (size_t i = 0; i < chars;) {
        size_t n = 0;
        while (i + n < chars && w[i + n] != 0) ++n;
        items.push_back(std::wstring(w + i, n));
        i += n + 1;
      }
      if (!items.empty() && items.back().empty()) items.pop_back();
      std::string out = "[";
      for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + Json(items[i]);
      return out + "]";
    }
    case REG_DWORD: return Json((long long)*(const DWORD*)data.data());
    default: {
      std::string hex;
      for (DWORD i = 0; i < size; ++i) {
        char b[4];
        snprintf(b, sizeof b, "%02x", data[i]);
        hex += b;
      }
      return Json(hex);
    }
  }
}

bool StepKey(const std::wstring& path) {
  HKEY root;
  std::wstring subkey;
  if (!SplitRoot(path, &root, &subkey)) return Fail("key", "unknown root in " + ToUtf8(path));
  HKEY key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    Emit("{\"step\":\"key\",\"path\":" + Json(path) + ",\"exists\":false}");
    return true;
  }
  std::string subkeys = "[", values = "{";
  wchar_t name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD n = 1024;
    if (RegEnumKeyExW(key, i, name, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subkeys += (i ? "," : "") + Json(std::wstring(name, n));
  }
  for (DWORD i = 0;; ++i) {
    DWORD n = 1024, type = 0, size = 0;
    if (RegEnumValueW(key, i, name, &n, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    std::vector<BYTE> data(size + 4, 0);
    n = 1024;
    RegEnumValueW(key, i, name, &n, nullptr, &type, data.data(), &size);
    values += (i ? "," : "") + Json(std::wstring(name, n)) + ":" + ValueJson(type, data, size);
  }
  RegCloseKey(key);
  Emit("{\"step\":\"key\",\"path\":" + Json(path) + ",\"exists\":true,\"subkeys\":" + subkeys +
       "],\"values\":" + values + "}}");
  return true;
}

bool StepValue(const std::wstring& path, const std::wstring& name) {
  HKEY root;
  std::wstring subkey;
  if (!SplitRoot(path, &root, &subkey)) return Fail("value", "unknown root in " + ToUtf8(path));
  HKEY key;
  std::string data = "null";
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::vector<BYTE> buf(size + 4, 0);
      if (RegQueryValueExW(key, name.c_str(), nullptr, &type, buf.data(), &size) == ERROR_SUCCESS) {
        data = ValueJson(type, buf, size);
      }
    }
    RegCloseKey(key);
  }
  Emit("{\"step\":\"value\",\"path\":" + Json(path) + ",\"name\":" + Json(name) + ",\"data\":" + data + "}");
  return true;
}

bool StepAttributes(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  Emit("{\"step\":\"attributes\",\"path\":" + Json(path) + ",\"attributes\":" +
       (attributes == INVALID_FILE_ATTRIBUTES ? std::string("null") : Json((long long)attributes)) + "}");
  return true;
}

bool StepRemoveFolder(const std::wstring& path) {
  BOOL removed = RemoveDirectoryW(path.c_str());
  DWORD code = removed ? 0 : GetLastError();
  Emit("{\"step\":\"remove-folder\",\"path\":" + Json(path) + ",\"removed\":" + Json(removed != FALSE) +
       ",\"code\":" + Json((long long)code) + "}");
  return true;
}

bool StepVersion() {
  OSVERSIONINFOA v = {};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExA(&v);
  Emit("{\"step\":\"version\",\"major\":" + Json((long long)v.dwMajorVersion) +
       ",\"minor\":" + Json((long long)v.dwMinorVersion) + ",\"build\":" + Json((long long)v.dwBuildNumber) +
       ",\"platform\":" + Json((long long)v.dwPlatformId) + ",\"csd\":" + Json(Cp932ToUtf8(v.szCSDVersion)) +
       ",\"acp\":" + Json((long long)GetACP()) + "}");
  return true;
}

bool StepFolders() {
  wchar_t buf[MAX_PATH];
  std::string out = "{\"step\":\"folders\"";
  GetWindowsDirectoryW(buf, MAX_PATH);
  out += ",\"windows\":" + Json(std::wstring(buf));
  GetSystemDirectoryW(buf, MAX_PATH);
  out += ",\"system\":" + Json(std::wstring(buf));
  const struct {
    const char* name;
    int csidl;
  } shell[] = {{"common_programs", CSIDL_COMMON_PROGRAMS},
               {"programs", CSIDL_PROGRAMS},
               {"common_startup", CSIDL_COMMON_STARTUP},
               {"startup", CSIDL_STARTUP}};
  for (const auto& s : shell) {
    buf[0] = 0;
    bool ok = SHGetSpecialFolderPathW(nullptr, buf, s.csidl, FALSE) != FALSE;
    out += std::string(",\"") + s.name + "\":" + (ok ? Json(std::wstring(buf)) : "null");
  }
  Emit(out + "}");
  return true;
}

// ---- deferral and the rename file --------------------------------------------------------

const wchar_t kDelayedMoveKey[] = L"System\\CurrentControlSet\\Control\\Session Manager";

std::string Hex(const void* data, size_t size) {
  std::string hex;
  const BYTE* b = (const BYTE*)data;
  for (size_t i = 0; i < size; ++i) {
    char buf[4];
    snprintf(buf, sizeof buf, "%02x", b[i]);
    hex += buf;
  }
  return hex;
}

bool FromHex(const std::wstring& hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    int v = 0;
    for (size_t j = i; j < i + 2; ++j) {
      wchar_t c = hex[j];
      int d = (c >= L'0' && c <= L'9')   ? c - L'0'
              : (c >= L'a' && c <= L'f') ? c - L'a' + 10
              : (c >= L'A' && c <= L'F') ? c - L'A' + 10
                                         : -1;
      if (d < 0) return false;
      v = v * 16 + d;
    }
    bytes->push_back((char)v);
  }
  return true;
}

// Windows 9x has no delayed-move service, and an NT user who may not write its key cannot use
// it either: a protected access list that lets everyone read the key and nobody write it makes
// MoveFileEx(..., MOVEFILE_DELAY_UNTIL_REBOOT) fail. A probe file shows that it does.
bool StepDenyDelayedMoves() {
  const std::string step = "deny-delayed-moves";
  HKEY key;
  LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDelayedMoveKey, 0, READ_CONTROL | WRITE_DAC, &key);
  if (rc != ERROR_SUCCESS) return Fail(step, "cannot open the key: " + std::to_string(rc));
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
    RegCloseKey(key);
    return Fail(step, "cannot make the SID of Everyone");
  }
  EXPLICIT_ACCESS_A access = {};
  access.grfAccessPermissions = KEY_READ;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = NO_INHERITANCE;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
  access.Trustee.ptstrName = (LPSTR)everyone;
  PACL acl = nullptr;
  DWORD result = SetEntriesInAclA(1, &access, nullptr, &acl);
  if (result == ERROR_SUCCESS) {
    result = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                             nullptr, nullptr, acl, nullptr);
  }
  if (acl) LocalFree(acl);
  FreeSid(everyone);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return Fail(step, "cannot set the access list: " + std::to_string(result));

  const wchar_t probe[] = L"C:\\e2e\\delayed-move-probe.tmp";
  HANDLE h = CreateFileW(probe, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Fail(step, "cannot create the probe file");
  CloseHandle(h);
  const BOOL moved = MoveFileExW(probe, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  const DWORD code = moved ? 0 : GetLastError();
  DeleteFileW(probe);
  Emit("{\"step\":\"deny-delayed-moves\",\"refused\":" + Json(moved == FALSE) + ",\"code\":" + Json((long long)code) +
       "}");
  return true;
}

bool StepWriteFile(const std::wstring& path, const std::wstring& hex) {
  std::string bytes;
  if (!FromHex(hex, &bytes)) return Fail("write-file", "not hex: " + ToUtf8(hex));
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return Fail("write-file", "cannot create " + ToUtf8(path));
  DWORD done = 0;
  const BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &done, nullptr) && done == bytes.size();
  CloseHandle(h);
  if (!ok) return Fail("write-file", "cannot write " + ToUtf8(path));
  Emit("{\"step\":\"write-file\",\"path\":" + Json(path) + ",\"size\":" + Json((long long)bytes.size()) + "}");
  return true;
}

bool StepReadFile(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string data = "null";
  if (h != INVALID_HANDLE_VALUE) {
    std::string bytes;
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) bytes.append(buf, n);
    CloseHandle(h);
    data = Json(Hex(bytes.data(), bytes.size()));
  }
  Emit("{\"step\":\"read-file\",\"path\":" + Json(path) + ",\"hex\":" + data + "}");
  return true;
}

// The 8.3 form as an ANSI program of code page 932 gets it: the bytes a rename file holds.
bool StepShortName(const std::wstring& path) {
  int n = WideCharToMultiByte(932, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(n > 0 ? n : 1, '\0');
  WideCharToMultiByte(932, 0, path.c_str(), -1, &ansi[0], n, nullptr, nullptr);
  char shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameA(ansi.c_str(), shortPath, MAX_PATH);
  std::string data = "null";
  if (length != 0 && length < MAX_PATH) data = Json(Hex(shortPath, length));
  Emit("{\"step\":\"short-name\",\"path\":" + Json(path) + ",\"hex\":" + data + "}");
  return true;
}

std::vector<std::wstring> SplitTabs(const std::wstring& line) {
  std::vector<std::wstring> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find(L'\t', start);
    fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
    if (tab == std::wstring::npos) break;
    start = tab + 1;
  }
  return fields;
}

bool RunStep(const std::vector<std::wstring>& f) {
  const std::wstring& cmd = f[0];
  auto arg = [&](size_t i) { return i < f.size() ? f[i] : std::wstring(); };
  if (cmd == L"start") return StepStart(arg(1), arg(2));
  if (cmd == L"window") return StepWindow();
  if (cmd == L"run") return StepRun(arg(1));
  if (cmd == L"end-session") {
    if (!g_main) return Fail("end-session", "no program window");
    Emit("{\"step\":\"end-session\",\"end_session\":" + AskEndSession(g_main) + "}");
    return true;
  }
  if (cmd == L"run-force") return StepRunForce(arg(1));
  if (cmd == L"rows") return StepRows();
  if (cmd == L"close") return StepClose("close", false);
  if (cmd == L"close-window") return StepClose("close-window", true);
  if (cmd == L"hold") return StepHold(arg(1));
  if (cmd == L"release") {
    ReleaseHeld();
    Emit("{\"step\":\"release\"}");
    return true;
  }
  if (cmd == L"pause") return StepPause(arg(1));
  if (cmd == L"key") return StepKey(arg(1));
  if (cmd == L"value") return StepValue(arg(1), arg(2));
  if (cmd == L"attributes") return StepAttributes(arg(1));
  if (cmd == L"remove-folder") return StepRemoveFolder(arg(1));
  if (cmd == L"version") return StepVersion();
  if (cmd == L"folders") return StepFolders();
  if (cmd == L"drive-type") {
    Emit("{\"step\":\"drive-type\",\"root\":" + Json(arg(1)) +
         ",\"type\":" + Json((long long)GetDriveTypeW(arg(1).c_str())) + "}");
    return true;
  }
  if (cmd == L"deny-delayed-moves") return StepDenyDelayedMoves();
  if (cmd == L"write-file") return StepWriteFile(arg(1), arg(2));
  if (cmd == L"read-file") return StepReadFile(arg(1));
  if (cmd == L"short-name") return StepShortName(arg(1));
  if (cmd == L"wait") {
    Sleep((DWORD)_wtoi(arg(1).c_str()));
    Emit("{\"step\":\"wait\"}");
    return true;
  }
  return Fail(ToUtf8(cmd), "unknown step");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: e2e_driver STEPS REPORT\n");
    return 2;
  }
  FILE* steps = _wfopen(argv[1], L"rb");
  g_report = _wfopen(argv[2], L"wb");
  if (!steps || !g_report) {
    fprintf(stderr, "cannot open the steps or the report file\n");
    return 2;
  }
  std::string content;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, steps)) > 0) content.append(buf, n);
  fclose(steps);

  bool ok = true;
  size_t start = 0;
  while (ok && start < content.size()) {
    size_t end = content.find('\n', start);
    std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? content.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    ok = RunStep(SplitTabs(FromCodePage(CP_UTF8, line)));
  }
  // Whatever happened, leave nothing behind: a program still running is ended, held files closed.
  if (ProgramAlive()) {
    EndProgram();
    Emit("{\"step\":\"end\",\"error\":\"the program was still running and was ended\"}");
    ok = false;
  }
  ReleaseHeld();
  fclose(g_report);
  return ok ? 0 : 1;
}
