// The start-up rename file of the 9x family: WININIT.EXE carries out the lines of its [rename]
// section ("new=old", "NUL=old" to delete) before Windows starts. The file is edited in place
// through one mapping with room for the worst case (a new heading and the line), so it is read
// once and written once, and held without sharing while it is edited.
//
// A rename file can be large (a machine that never restarted keeps adding to it), and the
// processors of the target systems are slow: the view is searched and its tail moved a machine
// word (4 bytes) at a time, and the search ends at the first heading of the first variant.
#include "primitives/rename_file.h"

namespace {

// The headings recognised, in the order they are looked for: a variant found anywhere in the
// file wins over a later variant, whatever their positions. Each ends with its own CR LF.
const char* const RenameHeadings[] = {"[rename]\r\n", "[Rename]\r\n", "[RENAME]\r\n"};
const unsigned HeadingVariants = sizeof RenameHeadings / sizeof RenameHeadings[0];
const DWORD HeadingLength = 10;
// The heading written when the file has none.
const char* const NewHeading = "[rename]\r\n";

const DWORD NotFound = 0xFFFFFFFF;

// Four bytes of the view wherever they lie: the tail moves by the line's length, which is
// rarely a multiple of 4, so one side of its words is unaligned (the i386 takes that in its
// stride). Accessed through volatile pointers so that the compiler keeps the loops as written
// and never puts a call of a library copy in their place, which the shipped exe does not have.
typedef DWORD __attribute__((aligned(1), may_alias)) ViewWord;
const DWORD WordBytes = 4;
static_assert(sizeof(ViewWord) == WordBytes, "a machine word of the target is 4 bytes");

// The loops below test once per pass, at its end, and take several words per pass: the
// compiler at -Os keeps a loop as it is written, and a pass costs about as much as its words.
const DWORD SearchPass = 2 * WordBytes;
const DWORD MovePass = 4 * WordBytes;

const DWORD PageBytes = 4096;  // the smallest page of every system the editor runs on

const DWORD LowBits = 0x01010101;
const DWORD HighBits = 0x80808080;
const DWORD OpeningBrackets = 0x5B5B5B5B;  // '[' in every byte

// The high bit of a byte is set where the word has a zero byte or a '[' (and maybe above one:
// only whether any bit is set means something, so a word that has one is looked at bytewise).
__attribute__((always_inline)) inline DWORD StopBytes(DWORD word) {
  const DWORD brackets = word ^ OpeningBrackets;
  return ((word - LowBits) & ~word) | ((brackets - LowBits) & ~brackets);
}

BOOL IsHeadingAt(const char* at, const char* heading) {
  DWORD i = 0;
  while (i < HeadingLength && at[i] == heading[i]) ++i;
  return i == HeadingLength;
}

// The offset of the first pass of words at or after `at` (a multiple of SearchPass) that holds
// a zero byte or a '['. The zero byte at view[size] ends it there at the latest, so it reads
// no further than the pass that holds it, fewer than SearchPass bytes past the old ones: inside
// the room the view has after them. Out of line, so that its loop has the registers to itself.
__attribute__((noinline)) DWORD SkipPlainWords(const char* view, DWORD at) {
  const volatile ViewWord* word = reinterpret_cast<const volatile ViewWord*>(view + at);
  DWORD first, second;
  do {
    first = word[0];
    second = word[1];
    word += 2;
  } while (((StopBytes(first) | StopBytes(second)) & HighBits) == 0);
  return static_cast<DWORD>(reinterpret_cast<const volatile char*>(word) - view) - SearchPass;
}

// Offset of the heading the line goes below: the first "[rename]" of the text, else the first
// "[Rename]", else the first "[RENAME]"; NotFound when there is none. The text ends at the first
// zero byte or after the `size` old bytes: headings after a zero byte are not seen, and a heading
// lies wholly inside the text. One pass serves every variant, and it ends at the first heading
// of the first variant, which nothing later can outrank. view[size] must be a zero byte.
DWORD FindHeading(const char* view, DWORD size) {
  DWORD found = NotFound;
  unsigned foundVariant = HeadingVariants;
  DWORD at = 0;
  for (;;) {
    at = SkipPlainWords(view, at);
    // The bytes of that pass one by one.
    for (const DWORD stop = at + SearchPass; at < stop; ++at) {
      if (view[at] == '\0') return found;  // view[size] at the latest
      // A heading holds no zero byte, so one that starts here lies before the text's end.
      if (view[at] == '[' && size - at >= HeadingLength) {
        for (unsigned v = 0; v < foundVariant; ++v) {
          if (IsHeadingAt(view + at, RenameHeadings[v])) {
            if (v == 0) return at;
            found = at;
            foundVariant = v;
            break;
          }
        }
      }
    }
  }
}

void CopyBytes(char* to, const char* from, DWORD count) {
  for (DWORD i = 0; i < count; ++i) to[i] = from[i];
}

// Writes to each page of view[from, to) before anything reads it, changing no byte: an OR of 0
// into its first byte inside the range's pages, in one instruction that reads and writes. A
// page first read is mapped for reading and takes a second fault at its first write; a page
// first written is mapped writable at once. Where the system caches a file in large pages
// (Linux under Wine) that goes for the whole large page: one read anywhere in it makes every
// later first write to one of its 4 KiB pages a fault of its own (`bench/run.sh views`).
// Only pages the edit writes anyway are touched, and the first one, so no more than one other
// page of the file is written back.
__attribute__((noinline)) void TouchForWriting(char* view, DWORD from, DWORD to) {
  for (DWORD page = from & ~(PageBytes - 1); page < to; page += PageBytes) {
    __atomic_fetch_or(view + page, 0, __ATOMIC_RELAXED);
  }
}

// Moves view[from, end) up by `distance` bytes, which source and destination may overlap by:
// copied from the end down, each word read before any word below it is written. The words are
// stored at aligned offsets (the view starts at a page); the bytes above the highest aligned
// word and those left below the last whole word go singly. Out of line like SkipPlainWords.
__attribute__((noinline)) void MoveTailUp(char* view, DWORD from, DWORD end, DWORD distance) {
  volatile char* const source = view;
  volatile char* const target = view + distance;
  while (end > from && ((end + distance) & (WordBytes - 1)) != 0) {
    --end;
    target[end] = source[end];
  }
  const volatile ViewWord* sourceWord = reinterpret_cast<const volatile ViewWord*>(source + end);
  volatile ViewWord* targetWord = reinterpret_cast<volatile ViewWord*>(target + end);
  const DWORD count = end - from;
  DWORD passes = count / MovePass;
  if (passes != 0) {
    do {
      sourceWord -= 4;
      targetWord -= 4;
      targetWord[3] = sourceWord[3];
      targetWord[2] = sourceWord[2];
      targetWord[1] = sourceWord[1];
      targetWord[0] = sourceWord[0];
    } while (--passes != 0);
  }
  for (DWORD words = count % MovePass / WordBytes; words != 0; --words) *--targetWord = *--sourceWord;
  for (end = from + count % WordBytes; end > from;) {
    --end;
    target[end] = source[end];
  }
}

// Puts the line into the view of the old `size` bytes (followed by room for a heading and the
// line) and gives the file's new length.
DWORD InsertLine(char* view, DWORD size, const char* line, DWORD lineLength) {
  // The end of the search, in the room after the old bytes: the heading or the moved tail
  // writes over it, or the file is cut before it (the mapping made it a zero byte anyway).
  view[size] = '\0';
  // The search reads from the start: the first page is written to first (see TouchForWriting).
  TouchForWriting(view, 0, 1);
  const DWORD heading = FindHeading(view, size);
  if (heading == NotFound) {
    // A new section at the very end, glued to a last line without line end, if there is one.
    CopyBytes(view + size, NewHeading, HeadingLength);
    CopyBytes(view + size + HeadingLength, line, lineLength);
    return size + HeadingLength + lineLength;
  }
  // Below the heading's own line feed, above the older lines: newest first. The bytes after
  // it move up by the line's length.
  const DWORD insertAt = heading + HeadingLength;
  TouchForWriting(view, insertAt, size + lineLength);
  MoveTailUp(view, insertAt, size, lineLength);
  CopyBytes(view + insertAt, line, lineLength);
  return size + lineLength;
}

// A view longer than 128 KiB goes at an address that is a multiple of LargePageBytes, as its
// file offset (0) is. A system that caches files in large pages (Linux, under Wine) then makes
// the view writable a large page at a time on the first write to it; at any other address it
// takes a fault for every 4 KiB page once the file's cache is in pages larger than the 64 KiB
// the address is aligned to anyway. Under Wine that took the 64 MiB edit with the heading near
// the start from about 210 ms, three times reading and rewriting the file, to under 10 ms
// (docs/PERFORMANCE.md). Finding the room costs two more calls, which views of 128 KiB and
// less, faulted in no faster at a large page, do not win back. Windows 9x puts views only in
// its shared arena and refuses the address; then, and whenever the address is taken or no room
// is found, the view goes wherever the system puts it.
const SIZE_T AlignedViewAbove = 0x20000;
const SIZE_T LargePageBytes = 0x200000;

char* MapForEditing(HANDLE mapping, SIZE_T length) {
  if (length > AlignedViewAbove && length <= ~static_cast<SIZE_T>(0) - LargePageBytes) {
    // Free room for the view at an aligned address, found by reserving it and given back at
    // once so that the view can take it.
    void* room = VirtualAlloc(nullptr, length + LargePageBytes, MEM_RESERVE, PAGE_NOACCESS);
    if (room != nullptr) {
      const ULONG_PTR start = reinterpret_cast<ULONG_PTR>(room);
      const ULONG_PTR aligned = (start + LargePageBytes - 1) & ~static_cast<ULONG_PTR>(LargePageBytes - 1);
      VirtualFree(room, 0, MEM_RELEASE);
      void* view = MapViewOfFileEx(mapping, FILE_MAP_WRITE, 0, 0, 0, reinterpret_cast<void*>(aligned));
      if (view != nullptr) return static_cast<char*>(view);
    }
  }
  return static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
}

}  // namespace

BOOL AddRenameLine(const char* renameFile, const char* line, DWORD lineLength) {
  HANDLE file = CreateFileA(renameFile, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;

  // A length that cannot be read, a file of 4 GiB or more, or one whose length leaves no room
  // for the addition is left as it is. (A true length equal to the failure value would leave no
  // room either, so the failure value needs no second look.)
  DWORD sizeHigh = 0;
  DWORD size = GetFileSize(file, &sizeHigh);
  if (size == INVALID_FILE_SIZE || sizeHigh != 0 || size > 0xFFFFFFFF - lineLength - HeadingLength) {
    CloseHandle(file);
    return FALSE;
  }

  DWORD end = size;  // after a failure the file is cut back to its old length
  BOOL written = FALSE;
  // A mapping longer than the file grows it to the mapping's length: room for a heading and the
  // line.
  const DWORD mappedLength = size + lineLength + HeadingLength;
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, mappedLength, nullptr);
  if (mapping != nullptr) {
    char* view = MapForEditing(mapping, mappedLength);
    if (view != nullptr) {
      end = InsertLine(view, size, line, lineLength);
      UnmapViewOfFile(view);
      written = TRUE;
    }
    CloseHandle(mapping);
  }
  // Cut the file at its end, so that none of the bytes the mapping added stays; a new heading
  // and the line fill the room exactly, and then the file has its length already (a failure
  // leaves `end` at the old length, short of the room). A file that cannot be cut holds the
  // added bytes still: then the edit has not succeeded either.
  // An end of 4 GiB - 1 would have needed a view of that size, which a 32-bit process cannot
  // map, so the failure value is never a real position here. The high part is given so that an
  // end past 2 GiB is not taken for a negative distance.
  LONG endHigh = 0;
  const BOOL cut = end == mappedLength ||
                   (SetFilePointer(file, static_cast<LONG>(end), &endHigh, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
                    SetEndOfFile(file));
  CloseHandle(file);
  return written && cut;
}
