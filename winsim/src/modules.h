// Internal to the stand-in: the start-state functions of its modules, run by winsim::Reset.
#pragma once

#include <windows.h>

#include <string>

namespace winsim::detail {
void ResetCalls();
void ResetCore();
void ResetVersion();
void ResetWindows();
void ResetFileSystem();
void ResetRegistry();
void ResetShell();
void ResetSecurity();

// From the security module: the advapi32 functions a program may look up at run time (null for
// any other name), and CloseHandle of the process token (false for any other handle).
FARPROC AdvapiProcedure(const char* name);
bool CloseToken(HANDLE handle);

// From the file system: the system folder as GetSystemDirectoryA reports it, without counting a
// call of it.
std::string SystemFolder();
}  // namespace winsim::detail
