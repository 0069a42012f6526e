// Windows' own libraries that the program does not import, taken from the system folder by
// their full paths, and the lookup of their functions.
#pragma once

#include <windows.h>

// Loads `name` (such as "comctl32.dll") from the system folder by its full path. For a library
// named without a path Windows looks in the program's own folder first, for every name that is
// not one of its known DLLs, and the program is started from download folders where anyone's
// file of that name may lie: it never loads a library by its name alone. Null when the library
// is not there, or when the system folder leaves no room for the name in MAX_PATH.
HMODULE LoadSystemLibrary(const char* name);

// The function `name` of `library` into `*proc`: true when the library has it.
template <typename Proc>
BOOL LookUpProcedure(HMODULE library, const char* name, Proc* proc) {
  *proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *proc != nullptr;
}
