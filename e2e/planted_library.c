// A library of a system library's name (PLANTED_NAME, "comctl32" or "shlwapi") as a web page can
// drop it into the download folder the program is started from. It does nothing but leave a mark
// when a process loads it: C:\planted-PLANTED_NAME.txt, holding that process's exe path. Built
// without the C runtime, with DllMain as its entry, so it needs nothing but KERNEL32 to load.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) {
    char exe[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, exe, MAX_PATH);
    HANDLE mark = CreateFileA("C:\\planted-" PLANTED_NAME ".txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (mark != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(mark, exe, length, &written, NULL);
      CloseHandle(mark);
    }
  }
  return TRUE;
}
