// Placeholder until the stand-in's file system module is written.
#include <windows.h>

#include "modules.h"

namespace winsim::detail {
void ResetFileSystem() {}
}  // namespace winsim::detail

BOOL PathIsDirectoryEmptyA(LPCSTR) { return FALSE; }
