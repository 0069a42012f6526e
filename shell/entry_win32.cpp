// The process entry of the Windows build, which has no C runtime: it derives the show command,
// runs WinMain and exits with its result. Also the three memory functions the compiler may call.
#include <windows.h>

#include "shell/main_window.h"

extern "C" void WinMainCRTStartup(void) { ExitProcess(static_cast<UINT>(StartProgram())); }

// The compiler may turn loops into calls of these even in a freestanding build. Written with
// volatile pointers so they cannot be turned into calls of themselves.
extern "C" void* memset(void* dst, int value, size_t count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dst);
  while (count-- != 0) *d++ = static_cast<unsigned char>(value);
  return dst;
}

extern "C" void* memcpy(void* dst, const void* src, size_t count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dst);
  const volatile unsigned char* s = static_cast<const unsigned char*>(src);
  while (count-- != 0) *d++ = *s++;
  return dst;
}

extern "C" void* memmove(void* dst, const void* src, size_t count) {
  volatile unsigned char* d = static_cast<unsigned char*>(dst);
  const volatile unsigned char* s = static_cast<const unsigned char*>(src);
  if (d < s) {
    while (count-- != 0) *d++ = *s++;
  } else {
    d += count;
    s += count;
    while (count-- != 0) *--d = *--s;
  }
  return dst;
}
