// The process entry of the Windows build, which has no C runtime: it derives the show command,
// runs WinMain and exits with its result. Also the three memory functions the compiler may call.
#include <windows.h>

#include "shell/main_window.h"

extern "C" void WinMainCRTStartup(void) { ExitProcess(static_cast<UINT>(StartProgram())); }

// The compiler may turn loops and copies of structures into calls of these even in a
// freestanding build. They work a machine word (4 bytes) at a time, four words a pass, with the
// stores aligned and single bytes only at the edges, and through volatile pointers, so that
// they cannot be turned into calls of themselves. Unaligned word reads are fine on every x86.
// Each loop tests once per pass, at its end: at -Os the compiler keeps loops as written.
namespace {

typedef unsigned int __attribute__((aligned(1), may_alias)) MemoryWord;
const size_t WordBytes = 4;
const size_t PassBytes = 4 * WordBytes;
static_assert(sizeof(MemoryWord) == WordBytes, "a machine word of the target is 4 bytes");

typedef volatile unsigned char* Bytes;
typedef const volatile unsigned char* ConstBytes;
typedef volatile MemoryWord* Words;
typedef const volatile MemoryWord* ConstWords;

bool IsAligned(Bytes p) { return (reinterpret_cast<size_t>(p) & (WordBytes - 1)) == 0; }

// From the first byte up: a destination below the source may overlap it, since each word is
// read before any word above it is written.
void CopyUp(Bytes d, ConstBytes s, size_t count) {
  while (count != 0 && !IsAligned(d)) {
    *d++ = *s++;
    --count;
  }
  Words dw = reinterpret_cast<Words>(d);
  ConstWords sw = reinterpret_cast<ConstWords>(s);
  size_t passes = count / PassBytes;
  if (passes != 0) {
    do {
      dw[0] = sw[0];
      dw[1] = sw[1];
      dw[2] = sw[2];
      dw[3] = sw[3];
      dw += 4;
      sw += 4;
    } while (--passes != 0);
  }
  for (size_t words = count % PassBytes / WordBytes; words != 0; --words) *dw++ = *sw++;
  d = reinterpret_cast<Bytes>(dw);
  s = reinterpret_cast<ConstBytes>(sw);
  for (count %= WordBytes; count != 0; --count) *d++ = *s++;
}

// From the last byte down, for a destination above the source.
void CopyDown(Bytes d, ConstBytes s, size_t count) {
  d += count;
  s += count;
  while (count != 0 && !IsAligned(d)) {
    *--d = *--s;
    --count;
  }
  Words dw = reinterpret_cast<Words>(d);
  ConstWords sw = reinterpret_cast<ConstWords>(s);
  size_t passes = count / PassBytes;
  if (passes != 0) {
    do {
      dw -= 4;
      sw -= 4;
      dw[3] = sw[3];
      dw[2] = sw[2];
      dw[1] = sw[1];
      dw[0] = sw[0];
    } while (--passes != 0);
  }
  for (size_t words = count % PassBytes / WordBytes; words != 0; --words) *--dw = *--sw;
  d = reinterpret_cast<Bytes>(dw);
  s = reinterpret_cast<ConstBytes>(sw);
  for (count %= WordBytes; count != 0; --count) *--d = *--s;
}

}  // namespace

extern "C" void* memset(void* dst, int value, size_t count) {
  Bytes d = static_cast<unsigned char*>(dst);
  const unsigned char byte = static_cast<unsigned char>(value);
  while (count != 0 && !IsAligned(d)) {
    *d++ = byte;
    --count;
  }
  const unsigned int word = byte * 0x01010101u;
  Words dw = reinterpret_cast<Words>(d);
  for (size_t words = count / WordBytes; words != 0; --words) *dw++ = word;
  d = reinterpret_cast<Bytes>(dw);
  for (count %= WordBytes; count != 0; --count) *d++ = byte;
  return dst;
}

extern "C" void* memcpy(void* dst, const void* src, size_t count) {
  CopyUp(static_cast<unsigned char*>(dst), static_cast<const unsigned char*>(src), count);
  return dst;
}

extern "C" void* memmove(void* dst, const void* src, size_t count) {
  Bytes d = static_cast<unsigned char*>(dst);
  ConstBytes s = static_cast<const unsigned char*>(src);
  if (d < s) {
    CopyUp(d, s, count);
  } else if (d != s) {
    CopyDown(d, s, count);
  }
  return dst;
}
