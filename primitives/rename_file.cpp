// The start-up rename file of the 9x family: WININIT.EXE carries out the lines of its [rename]
// section ("new=old", "NUL=old" to delete) before Windows starts. The file is edited in place
// through one mapping with room for the worst case (a new heading and the line), so it is read
// once and written once, and held without sharing while it is edited. WININIT.EXE empties the
// file at every start, so it holds the requests of one session: a few KiB at most.
#include "primitives/rename_file.h"

namespace {

// The headings recognised, in the order they are looked for: a variant found anywhere in the
// file wins over a later variant, whatever their positions. Each ends with its own CR LF.
const char* const RenameHeadings[] = {"[rename]\r\n", "[Rename]\r\n", "[RENAME]\r\n"};
const DWORD HeadingLength = 10;
// The heading written when the file has none.
const char* const NewHeading = "[rename]\r\n";

const DWORD NotFound = 0xFFFFFFFF;

// Offset of the first `needleLength` bytes equal to `needle` inside text[0, textLength).
DWORD FindBytes(const char* text, DWORD textLength, const char* needle, DWORD needleLength) {
  if (textLength < needleLength) return NotFound;
  for (DWORD at = 0; at + needleLength <= textLength; ++at) {
    DWORD i = 0;
    while (i < needleLength && text[at + i] == needle[i]) ++i;
    if (i == needleLength) return at;
  }
  return NotFound;
}

void CopyBytes(char* to, const char* from, DWORD count) {
  for (DWORD i = 0; i < count; ++i) to[i] = from[i];
}

// Puts the line into the view of the old `size` bytes (followed by room for a heading and the
// line) and gives the file's new length.
DWORD InsertLine(char* view, DWORD size, const char* line, DWORD lineLength) {
  // The text ends at the first zero byte: headings after one are not seen.
  DWORD textLength = 0;
  while (textLength < size && view[textLength] != '\0') ++textLength;

  DWORD heading = NotFound;
  for (unsigned v = 0; v < sizeof RenameHeadings / sizeof RenameHeadings[0] && heading == NotFound; ++v) {
    heading = FindBytes(view, textLength, RenameHeadings[v], HeadingLength);
  }
  if (heading == NotFound) {
    // A new section at the very end, glued to a last line without line end, if there is one.
    CopyBytes(view + size, NewHeading, HeadingLength);
    CopyBytes(view + size + HeadingLength, line, lineLength);
    return size + HeadingLength + lineLength;
  }
  // Below the heading's own line feed, above the older lines: newest first. The bytes after
  // it move up, copied from the end down since source and destination overlap.
  DWORD insertAt = heading + HeadingLength;
  for (DWORD i = size; i > insertAt; --i) view[i - 1 + lineLength] = view[i - 1];
  CopyBytes(view + insertAt, line, lineLength);
  return size + lineLength;
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
  // A mapping longer than the file grows it with zero bytes: room for a heading and the line.
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, size + lineLength + HeadingLength, nullptr);
  if (mapping != nullptr) {
    char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    if (view != nullptr) {
      end = InsertLine(view, size, line, lineLength);
      UnmapViewOfFile(view);
      written = TRUE;
    }
    CloseHandle(mapping);
  }

  // Cut the file at its end, so that none of the zero bytes the mapping added stays. A file
  // that cannot be cut holds them still: then the edit has not succeeded either.
  // An end of 4 GiB - 1 would have needed a view of that size, which a 32-bit process cannot
  // map, so the failure value is never a real position here. The high part is given so that an
  // end past 2 GiB is not taken for a negative distance.
  LONG endHigh = 0;
  BOOL cut = SetFilePointer(file, static_cast<LONG>(end), &endHigh, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
             SetEndOfFile(file);
  CloseHandle(file);
  return written && cut;
}
