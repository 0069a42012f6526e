// Times one whole run of the real program under Wine, as a user starts it: the program is
// started, Run is pressed once the window is up, and the time until the summary box appears is
// taken. The program is never sent a message while it runs (the box is looked for among the
// windows, every 2 ms), so the watching costs the run nothing. Afterwards the rows are counted,
// the box is dismissed and the program closed.
//
//   bench_full_run.exe PROGRAM.exe WORKING_FOLDER
//
// Prints one line: rows=N run_ms=X start_ms=Y exit=Z (exit 0 when every step worked).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace {

const int kIdRun = 1012;
const int kIdResultList = 1071;
const DWORD kTimeoutMs = 300000;

struct Search {
  DWORD pid;
  HWND owner;
  const char* className;
  HWND found;
};

BOOL CALLBACK FindProc(HWND window, LPARAM param) {
  Search* s = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char name[64];
  if (pid == s->pid && GetClassNameA(window, name, sizeof name) && lstrcmpA(name, s->className) == 0 &&
      IsWindowVisible(window) && (s->owner == nullptr || GetWindow(window, GW_OWNER) == s->owner)) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND Find(DWORD pid, HWND owner, const char* className) {
  Search s = {pid, owner, className, nullptr};
  EnumWindows(FindProc, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

double NowMs() {
  static LARGE_INTEGER frequency = {};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int Fail(const char* why, PROCESS_INFORMATION* pi) {
  printf("error=\"%s\"\n", why);
  if (pi->hProcess) TerminateProcess(pi->hProcess, 255);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: bench_full_run PROGRAM.exe WORKING_FOLDER\n");
    return 2;
  }
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  char command[MAX_PATH + 2];
  wsprintfA(command, "\"%s\"", argv[1]);
  const double started = NowMs();
  if (!CreateProcessA(argv[1], command, nullptr, nullptr, FALSE, 0, nullptr, argv[2], &si, &pi)) {
    return Fail("cannot start the program", &pi);
  }
  // The window, then its first activation (the list's columns): then Run can be pressed.
  HWND main = nullptr;
  HWND header = nullptr;
  while (NowMs() - started < kTimeoutMs) {
    if (main == nullptr) main = Find(pi.dwProcessId, nullptr, "GDUINST");
    if (main != nullptr) {
      DWORD_PTR r = 0;
      HWND list = GetDlgItem(main, kIdResultList);
      if (header == nullptr && SendMessageTimeoutA(list, LVM_GETHEADER, 0, 0, SMTO_NORMAL, 1000, &r)) {
        header = reinterpret_cast<HWND>(r);
      }
      DWORD_PTR columns = 0;
      if (header != nullptr && SendMessageTimeoutA(header, HDM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 1000, &columns) &&
          columns > 0) {
        break;
      }
    }
    Sleep(20);
  }
  if (header == nullptr) return Fail("the window did not come up", &pi);
  const double startMs = NowMs() - started;
  // Posted, as a click arrives; the run starts as soon as the program's loop takes it.
  const double began = NowMs();
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(kIdRun, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(main, kIdRun)));
  HWND box = nullptr;
  while ((box = Find(pi.dwProcessId, main, "#32770")) == nullptr) {
    if (NowMs() - began > kTimeoutMs) return Fail("no summary box", &pi);
    if (WaitForSingleObject(pi.hProcess, 2) == WAIT_OBJECT_0) return Fail("the program ended during the run", &pi);
  }
  const double runMs = NowMs() - began;
  DWORD_PTR rows = 0;
  SendMessageTimeoutA(GetDlgItem(main, kIdResultList), LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 10000, &rows);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  while (IsWindow(box)) Sleep(20);
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(main, IDOK)));
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) return Fail("the program did not end", &pi);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  printf("rows=%u run_ms=%.1f start_ms=%.0f exit=%u\n", static_cast<unsigned>(rows), runMs, startMs,
         static_cast<unsigned>(code));
  fflush(stdout);
  return 0;
}
