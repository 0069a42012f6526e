#include "base/system_library.h"

HMODULE LoadSystemLibrary(const char* name) {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  // A result at or above the capacity is the room the folder would need, not a path.
  if (length == 0 || length >= MAX_PATH) return nullptr;
  if (length + 1 + static_cast<UINT>(lstrlenA(name)) >= MAX_PATH) return nullptr;
  lstrcatA(path, "\\");
  lstrcatA(path, name);
  return LoadLibraryA(path);
}
