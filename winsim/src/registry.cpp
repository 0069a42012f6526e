// Placeholder until the stand-in's registry module is written: every call fails as unsupported.
#include <windows.h>

#include "modules.h"

namespace winsim::detail {
void ResetRegistry() {}
}  // namespace winsim::detail

LONG RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegCreateKeyExA(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
LONG RegEnumKeyExA(HKEY, DWORD, LPSTR, LPDWORD, LPDWORD, LPSTR, LPDWORD, LPFILETIME) {
  return ERROR_CALL_NOT_IMPLEMENTED;
}
LONG RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegDeleteKeyA(HKEY, LPCSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegDeleteValueA(HKEY, LPCSTR) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegCloseKey(HKEY) { return ERROR_CALL_NOT_IMPLEMENTED; }
LONG RegFlushKey(HKEY) { return ERROR_CALL_NOT_IMPLEMENTED; }
