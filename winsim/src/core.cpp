// The stand-in's core: the machine reset, the last error, and kernel32's process calls (error
// mode, Sleep, start-up information, modules and the run-time lookup of shlwapi).
#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <vector>

#include "calls.h"
#include "modules.h"
#include "winsim.h"

namespace winsim {
namespace {

struct CoreState {
  DWORD lastError = 0;
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
HMODULE const kAdvapiModule = reinterpret_cast<HMODULE>(0x77D00000);

}  // namespace

namespace detail {
void ResetCore() { State() = CoreState(); }
}  // namespace detail

void Reset() {
  detail::ResetCalls();
  detail::ResetCore();
  detail::ResetVersion();
  detail::ResetWindows();
  detail::ResetFileSystem();
  detail::ResetRegistry();
  detail::ResetShell();
  detail::ResetSecurity();
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
using winsim::detail::Call;
using winsim::detail::Fail;

HANDLE GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1)); }

DWORD GetLastError(void) { return State().lastError; }
void SetLastError(DWORD error) { State().lastError = error; }

UINT SetErrorMode(UINT mode) {
  winsim::detail::CountCall("SetErrorMode");
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
  return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
}

HMODULE LoadLibraryA(LPCSTR name) {
  if (Call call("LoadLibraryA"); call.Failed()) return call.FailWithLastError(static_cast<HMODULE>(nullptr));
  if (name != nullptr && lstrcmpiA(name, "shlwapi.dll") == 0 && State().shlwapiPresent) {
    winsim::detail::Acquired(winsim::Resource::Library);
    return winsim::kShlwapiModule;
  }
  // Loaded with the program on every version (it imports the registry calls from it).
  if (name != nullptr && lstrcmpiA(name, "advapi32.dll") == 0) {
    winsim::detail::Acquired(winsim::Resource::Library);
    return winsim::kAdvapiModule;
  }
  return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (Call call("GetProcAddress"); call.Failed()) return call.FailWithLastError(static_cast<FARPROC>(nullptr));
  if (module == winsim::kShlwapiModule && State().shlwapiHasFunction && !IS_INTRESOURCE(name) &&
      std::strcmp(name, "PathIsDirectoryEmptyA") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&PathIsDirectoryEmptyA));
  }
  if (module == winsim::kAdvapiModule && !IS_INTRESOURCE(name)) {
    if (FARPROC found = winsim::detail::AdvapiProcedure(name)) return found;
  }
  return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
}

BOOL FreeLibrary(HMODULE module) {
  if (module != winsim::kShlwapiModule && module != winsim::kAdvapiModule) return Fail(ERROR_INVALID_HANDLE, FALSE);
  winsim::detail::Released(winsim::Resource::Library);
  return TRUE;
}
