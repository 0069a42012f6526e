#include "plans/registry_text.h"

int ReadRegistryText(HKEY key, const char* name, char* value) {
  DWORD type = REG_SZ;  // preset; the type that comes back is not examined
  DWORD size = REGISTRY_TEXT_CAPACITY;
  if (RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS) {
    return 0;
  }
  value[size <= REGISTRY_TEXT_CAPACITY ? size : REGISTRY_TEXT_CAPACITY] = '\0';
  return 1;
}
