// The stand-in's core: the machine reset, the last error, and kernel32's process calls (error
// mode, Sleep, start-up information, and the libraries loaded and looked up at run time).
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
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
  int refusedLoads = 0;
};

CoreState& State() {
  static CoreState state;
  return state;
}

// Distinct, recognisable module handles.
HMODULE const kProgramModule = reinterpret_cast<HMODULE>(0x00400000);
HMODULE const kShlwapiModule = reinterpret_cast<HMODULE>(0x70000000);
HMODULE const kCommonControlsModule = reinterpret_cast<HMODULE>(0x71000000);
HMODULE const kShellModule = reinterpret_cast<HMODULE>(0x7C000000);
HMODULE const kAdvapiModule = reinterpret_cast<HMODULE>(0x77D00000);

// The system's libraries the program may load, by file name in the system folder. shlwapi is
// there unless a test took it away.
HMODULE SystemModule(const char* fileName) {
  if (lstrcmpiA(fileName, "comctl32.dll") == 0) return kCommonControlsModule;
  if (lstrcmpiA(fileName, "shell32.dll") == 0) return kShellModule;
  if (lstrcmpiA(fileName, "advapi32.dll") == 0) return kAdvapiModule;
  if (lstrcmpiA(fileName, "shlwapi.dll") == 0 && State().shlwapiPresent) return kShlwapiModule;
  return nullptr;
}

template <typename Function>
FARPROC Procedure(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

// The functions the program looks up, by the library that exports them.
FARPROC ExportedProcedure(HMODULE module, const char* name) {
  if (module == kCommonControlsModule && std::strcmp(name, "InitCommonControls") == 0) {
    return Procedure(&InitCommonControls);
  }
  if (module == kShellModule) {
    if (std::strcmp(name, "SHGetMalloc") == 0) return Procedure(&SHGetMalloc);
    if (std::strcmp(name, "SHGetSpecialFolderLocation") == 0) return Procedure(&SHGetSpecialFolderLocation);
    if (std::strcmp(name, "SHGetPathFromIDListA") == 0) return Procedure(&SHGetPathFromIDListA);
  }
  if (module == kShlwapiModule && State().shlwapiHasFunction && std::strcmp(name, "PathIsDirectoryEmptyA") == 0) {
    return Procedure(&PathIsDirectoryEmptyA);
  }
  if (module == kAdvapiModule) return detail::AdvapiProcedure(name);
  return nullptr;
}

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

int RefusedLibraryLoads() { return State().refusedLoads; }

void EndProcess() {
  while (OpenCount(Resource::Library) > 0) detail::Released(Resource::Library);
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

// Only the program's own module and the libraries it imports are loaded at start.
HMODULE GetModuleHandleA(LPCSTR name) {
  if (name == nullptr) return winsim::kProgramModule;
  if (lstrcmpiA(name, "advapi32.dll") == 0 || lstrcmpiA(name, "advapi32") == 0) return winsim::kAdvapiModule;
  return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
}

// Windows searches for a library named without a full path in the program's own folder first,
// where anyone's file of that name may lie: the stand-in loads a library only by its full path
// in the system folder, and refuses and counts every other load, so that a test notices it.
HMODULE LoadLibraryA(LPCSTR name) {
  if (Call call("LoadLibraryA"); call.Failed()) return call.FailWithLastError(static_cast<HMODULE>(nullptr));
  const std::string folder = winsim::detail::SystemFolder() + "\\";
  const size_t length = name == nullptr ? 0 : std::strlen(name);
  if (length <= folder.size() || lstrcmpiA(std::string(name, folder.size()).c_str(), folder.c_str()) != 0 ||
      std::strchr(name + folder.size(), '\\') != nullptr) {
    State().refusedLoads++;
    return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
  }
  HMODULE module = winsim::SystemModule(name + folder.size());
  if (module == nullptr) return Fail(ERROR_MOD_NOT_FOUND, static_cast<HMODULE>(nullptr));
  winsim::detail::Acquired(winsim::Resource::Library);
  return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (Call call("GetProcAddress"); call.Failed()) return call.FailWithLastError(static_cast<FARPROC>(nullptr));
  if (!IS_INTRESOURCE(name)) {
    if (FARPROC found = winsim::ExportedProcedure(module, name)) return found;
  }
  return Fail(ERROR_PROC_NOT_FOUND, static_cast<FARPROC>(nullptr));
}

BOOL FreeLibrary(HMODULE module) {
  if (module != winsim::kShlwapiModule && module != winsim::kAdvapiModule && module != winsim::kCommonControlsModule &&
      module != winsim::kShellModule) {
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  winsim::detail::Released(winsim::Resource::Library);
  return TRUE;
}
