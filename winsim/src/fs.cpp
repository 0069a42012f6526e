// Placeholder until the stand-in's file system module is written: every call fails as unsupported.
#include <windows.h>

#include "modules.h"

namespace winsim::detail {
void ResetFileSystem() {}
}  // namespace winsim::detail

namespace {
template <typename T>
T Unsupported(T result) {
  SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
  return result;
}
}  // namespace

BOOL PathIsDirectoryEmptyA(LPCSTR) { return Unsupported(FALSE); }
DWORD GetFileAttributesA(LPCSTR) { return Unsupported(INVALID_FILE_ATTRIBUTES); }
BOOL SetFileAttributesA(LPCSTR, DWORD) { return Unsupported(FALSE); }
BOOL DeleteFileA(LPCSTR) { return Unsupported(FALSE); }
BOOL CreateDirectoryA(LPCSTR, LPSECURITY_ATTRIBUTES) { return Unsupported(FALSE); }
BOOL RemoveDirectoryA(LPCSTR) { return Unsupported(FALSE); }
HANDLE FindFirstFileA(LPCSTR, LPWIN32_FIND_DATAA) { return Unsupported(INVALID_HANDLE_VALUE); }
BOOL FindNextFileA(HANDLE, LPWIN32_FIND_DATAA) { return Unsupported(FALSE); }
BOOL FindClose(HANDLE) { return Unsupported(FALSE); }
BOOL MoveFileExA(LPCSTR, LPCSTR, DWORD) { return Unsupported(FALSE); }
HANDLE CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  return Unsupported(INVALID_HANDLE_VALUE);
}
DWORD GetFileSize(HANDLE, LPDWORD) { return Unsupported(INVALID_FILE_SIZE); }
BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) { return Unsupported(FALSE); }
BOOL WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { return Unsupported(FALSE); }
DWORD SetFilePointer(HANDLE, LONG, PLONG, DWORD) { return Unsupported(INVALID_SET_FILE_POINTER); }
BOOL SetEndOfFile(HANDLE) { return Unsupported(FALSE); }
HANDLE CreateFileMappingA(HANDLE, LPSECURITY_ATTRIBUTES, DWORD, DWORD, DWORD, LPCSTR) {
  return Unsupported(static_cast<HANDLE>(nullptr));
}
LPVOID MapViewOfFile(HANDLE, DWORD, DWORD, DWORD, SIZE_T) { return Unsupported(static_cast<LPVOID>(nullptr)); }
BOOL UnmapViewOfFile(LPCVOID) { return Unsupported(FALSE); }
BOOL CloseHandle(HANDLE) { return Unsupported(FALSE); }
UINT GetWindowsDirectoryA(LPSTR, UINT) { return Unsupported(0u); }
UINT GetSystemDirectoryA(LPSTR, UINT) { return Unsupported(0u); }
DWORD GetShortPathNameA(LPCSTR, LPSTR, DWORD) { return Unsupported(0u); }
