// The stand-in's byte-string helpers, as kernel32 and user32 have them: the lstr* functions and
// wsprintfA. None of them is counted or can be made to fail.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

int lstrlenA(LPCSTR s) { return s == nullptr ? 0 : static_cast<int>(std::strlen(s)); }

LPSTR lstrcpyA(LPSTR dst, LPCSTR src) { return std::strcpy(dst, src); }

LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int count) {
  if (count <= 0) return dst;
  int i = 0;
  for (; i < count - 1 && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
  return dst;
}

LPSTR lstrcatA(LPSTR dst, LPCSTR src) { return std::strcat(dst, src); }

int lstrcmpA(LPCSTR a, LPCSTR b) { return std::strcmp(a, b); }

// Simplification: folds ASCII letters only (what the program's names need).
int lstrcmpiA(LPCSTR a, LPCSTR b) {
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca += 0x20;
    if (cb >= 'A' && cb <= 'Z') cb += 0x20;
    if (ca != cb) return ca < cb ? -1 : 1;
    if (ca == 0) return 0;
  }
}

// user32's formatter: at most 1024 bytes are written, the terminator included, and the result
// is the number of characters stored. Supports the conversions the program uses (%s, %hs, %d,
// %u, %x, %lu, %ld, %c, %%).
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  std::string out;
  va_list args;
  va_start(args, format);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    ++p;
    while (*p == 'h' || *p == 'l') ++p;
    char tmp[32];
    switch (*p) {
      case 's': {
        const char* s = va_arg(args, const char*);
        out += s != nullptr ? s : "(null)";
        break;
      }
      case 'd':
        std::snprintf(tmp, sizeof tmp, "%d", va_arg(args, int));
        out += tmp;
        break;
      case 'u':
        std::snprintf(tmp, sizeof tmp, "%u", va_arg(args, unsigned));
        out += tmp;
        break;
      case 'x':
        std::snprintf(tmp, sizeof tmp, "%x", va_arg(args, unsigned));
        out += tmp;
        break;
      case 'c': out += static_cast<char>(va_arg(args, int)); break;
      case '%': out += '%'; break;
      case '\0': --p; break;
      default: out += *p; break;
    }
  }
  va_end(args);
  if (out.size() > 1023) out.resize(1023);
  std::memcpy(buffer, out.c_str(), out.size() + 1);
  return static_cast<int>(out.size());
}
