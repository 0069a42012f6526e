// The stand-in's core: last error, fault injection, handle accounting, the machine reset, and
// the small kernel32 helpers (string functions, modules, start-up information, error mode, Sleep).
#include <windows.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "modules.h"
#include "winsim.h"

namespace winsim {
namespace {

struct FaultRule {
  int remainingBefore;  // calls still to pass before the failing one; -1 once used
  bool every;
  DWORD error;
};

struct CallHook {
  int remainingBefore;  // calls still to pass before the one that runs the action; -1 once run
  std::function<void()> action;
};

struct CoreState {
  DWORD lastError = 0;
  std::map<std::string, int> callCounts;
  std::vector<std::string> callLog;
  std::map<std::string, std::vector<FaultRule>> faults;
  std::map<std::string, std::vector<CallHook>> hooks;
  int open[static_cast<int>(Resource::kCount)] = {};
  DWORD sleptMs = 0;
  int sleepCalls = 0;
  UINT errorMode = 0;
  std::vector<UINT> errorModes;
  bool startupUseShowWindow = false;
  WORD startupShowWindow = SW_SHOWNORMAL;
  bool shlwapiPresent = true;
  bool shlwapiHasFunction = true;
};

CoreState& State() {
  static CoreState state;
  return state;
}

// Distinct, recognisable module handles.
HMODULE const kProgramModule = reinterpret_cast<HMODULE>(0x00400000);
HMODULE const kShlwapiModule = reinterpret_cast<HMODULE>(0x70000000);

}  // namespace

namespace detail {
void ResetCore() { State() = CoreState(); }
}  // namespace detail

void Reset() {
  detail::ResetCore();
  detail::ResetVersion();
  detail::ResetWindows();
  detail::ResetFileSystem();
  detail::ResetRegistry();
  detail::ResetShell();
}

void FailCall(const std::string& api, int nth, DWORD error) {
  State().faults[api].push_back(FaultRule{nth - 1, false, error});
}

void FailEveryCall(const std::string& api, DWORD error) {
  State().faults[api].push_back(FaultRule{0, true, error});
}

void WhenCalled(const std::string& api, int nth, std::function<void()> action) {
  State().hooks[api].push_back(CallHook{nth - 1, std::move(action)});
}

int CallCount(const std::string& api) {
  auto it = State().callCounts.find(api);
  return it == State().callCounts.end() ? 0 : it->second;
}

const std::vector<std::string>& CallLog() { return State().callLog; }

bool InjectedFailure(const char* api, DWORD* error) {
  CoreState& s = State();
  s.callCounts[api]++;
  s.callLog.emplace_back(api);
  auto hooks = s.hooks.find(api);
  if (hooks != s.hooks.end()) {
    std::vector<std::function<void()>> due;
    for (CallHook& hook : hooks->second) {
      if (hook.remainingBefore == 0) due.push_back(hook.action);
      if (hook.remainingBefore >= 0) hook.remainingBefore--;
    }
    for (auto& action : due) action();  // may add hooks or faults of their own
  }
  auto it = s.faults.find(api);
  if (it == s.faults.end()) return false;
  bool fail = false;
  for (FaultRule& rule : it->second) {
    if (rule.every) {
      fail = true;
      *error = rule.error;
    } else if (rule.remainingBefore == 0) {
      fail = true;
      *error = rule.error;
      rule.remainingBefore = -1;
    } else if (rule.remainingBefore > 0) {
      rule.remainingBefore--;
    }
  }
  return fail;
}

const char* ResourceName(Resource r) {
  switch (r) {
    case Resource::Search: return "search";
    case Resource::Key: return "registry key";
    case Resource::File: return "file";
    case Resource::Mapping: return "file mapping";
    case Resource::View: return "mapped view";
    case Resource::ItemList: return "shell item list";
    case Resource::Allocator: return "shell allocator reference";
    case Resource::Library: return "loaded library";
    case Resource::kCount: break;
  }
  return "?";
}

void Acquired(Resource r) { State().open[static_cast<int>(r)]++; }
void Released(Resource r) { State().open[static_cast<int>(r)]--; }
int OpenCount(Resource r) { return State().open[static_cast<int>(r)]; }

std::string LeakReport() {
  std::string report;
  for (int i = 0; i < static_cast<int>(Resource::kCount); ++i) {
    int n = State().open[i];
    if (n != 0) {
      report += std::to_string(n) + " " + ResourceName(static_cast<Resource>(i)) + "(s) still open\n";
    }
  }
  return report;
}

DWORD SleptMilliseconds() { return State().sleptMs; }
int SleepCalls() { return State().sleepCalls; }
const std::vector<UINT>& ErrorModeHistory() { return State().errorModes; }
UINT CurrentErrorMode() { return State().errorMode; }

void SetStartupShowWindow(bool useShowWindow, WORD showWindow) {
  State().startupUseShowWindow = useShowWindow;
  State().startupShowWindow = showWindow;
}

void SetShlwapiPresent(bool dllPresent, bool functionPresent) {
  State().shlwapiPresent = dllPresent;
  State().shlwapiHasFunction = functionPresent;
}

HINSTANCE ProgramInstance() { return reinterpret_cast<HINSTANCE>(kProgramModule); }

}  // namespace winsim

using winsim::State;

DWORD GetLastError(void) { return State().lastError; }
void SetLastError(DWORD error) { State().lastError = error; }

UINT SetErrorMode(UINT mode) {
  DWORD error;
  winsim::InjectedFailure("SetErrorMode", &error);  // counted; SetErrorMode cannot fail
  UINT previous = State().errorMode;
  State().errorMode = mode;
  State().errorModes.push_back(mode);
  return previous;
}

void Sleep(DWORD milliseconds) {
  State().sleptMs += milliseconds;
  State().sleepCalls++;
}

void GetStartupInfoA(LPSTARTUPINFOA info) {
  std::memset(info, 0, sizeof *info);
  info->cb = sizeof *info;
  if (State().startupUseShowWindow) {
    info->dwFlags = STARTF_USESHOWWINDOW;
    info->wShowWindow = State().startupShowWindow;
  }
}

HMODULE GetModuleHandleA(LPCSTR name) {
  if (name == nullptr) return winsim::kProgramModule;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

HMODULE LoadLibraryA(LPCSTR name) {
  DWORD error;
  if (winsim::InjectedFailure("LoadLibraryA", &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (name != nullptr && lstrcmpiA(name, "shlwapi.dll") == 0 && State().shlwapiPresent) {
    winsim::Acquired(winsim::Resource::Library);
    return winsim::kShlwapiModule;
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  DWORD error;
  if (winsim::InjectedFailure("GetProcAddress", &error)) {
    SetLastError(error);
    return nullptr;
  }
  if (module == winsim::kShlwapiModule && State().shlwapiHasFunction && !IS_INTRESOURCE(name) &&
      std::strcmp(name, "PathIsDirectoryEmptyA") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&PathIsDirectoryEmptyA));
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  if (module != winsim::kShlwapiModule) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  winsim::Released(winsim::Resource::Library);
  return TRUE;
}

// ---- string helpers: byte strings, as kernel32 has them ----

int lstrlenA(LPCSTR s) { return s == nullptr ? 0 : static_cast<int>(std::strlen(s)); }

LPSTR lstrcpyA(LPSTR dst, LPCSTR src) { return std::strcpy(dst, src); }

LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int count) {
  if (count <= 0) return dst;
  int i = 0;
  for (; i < count - 1 && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
  return dst;
}

LPSTR lstrcatA(LPSTR dst, LPCSTR src) { return std::strcat(dst, src); }

int lstrcmpA(LPCSTR a, LPCSTR b) { return std::strcmp(a, b); }

// Simplification: folds ASCII letters only (what the program's names need).
int lstrcmpiA(LPCSTR a, LPCSTR b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca += 0x20;
    if (cb >= 'A' && cb <= 'Z') cb += 0x20;
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

// user32's formatter: at most 1024 bytes are written, the terminator included, and the result
// is the number of characters stored. Supports the conversions the program uses (%s, %hs, %d,
// %u, %x, %lu, %ld, %c, %%).
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  std::string out;
  va_list args;
  va_start(args, format);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    ++p;
    while (*p == 'h' || *p == 'l') ++p;
    char tmp[32];
    switch (*p) {
      case 's': {
        const char* s = va_arg(args, const char*);
        out += s != nullptr ? s : "(null)";
        break;
      }
      case 'd': std::snprintf(tmp, sizeof tmp, "%d", va_arg(args, int)); out += tmp; break;
      case 'u': std::snprintf(tmp, sizeof tmp, "%u", va_arg(args, unsigned)); out += tmp; break;
      case 'x': std::snprintf(tmp, sizeof tmp, "%x", va_arg(args, unsigned)); out += tmp; break;
      case 'c': out += static_cast<char>(va_arg(args, int)); break;
      case '%': out += '%'; break;
      case '\0': --p; break;
      default: out += *p; break;
    }
  }
  va_end(args);
  if (out.size() > 1023) out.resize(1023);
  std::memcpy(buffer, out.c_str(), out.size() + 1);
  return static_cast<int>(out.size());
}
