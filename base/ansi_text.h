// Text in the system's ANSI code page, as every path and registry name of the program is: on a
// double-byte code page (932) a character is one or two bytes, and a second byte may equal "\"
// or a letter, so text is walked character by character, never byte by byte.
#pragma once

#include <windows.h>

// The lead-byte ranges of the ANSI code page, read once for an operation.
struct AnsiCodePage {
  CPINFO info;
  BOOL known;  // the system described its code page; without that no text can be walked safely
};

// Reads the ranges; false (and `known` clear) when the system cannot describe the code page.
BOOL LoadAnsiCodePage(AnsiCodePage* codePage);

BOOL IsLeadByteIn(const AnsiCodePage* codePage, BYTE b);

// Whether `b` separates the components of a path: Windows reads "/" as "\". Only a byte that
// starts a character can be one (a second byte may be 0x5C).
BOOL IsSeparator(BYTE b);

// The width in bytes of the character at `p`: 2 for a lead byte followed by a second byte,
// otherwise 1 (also for a lead byte cut short by the terminator). 0 at the terminator.
int CharWidth(const AnsiCodePage* codePage, const char* p);

// The first occurrence of `pattern` in `text`, byte for byte; null when there is none.
const char* FindText(const char* text, const char* pattern);

// The first occurrence of `pattern` in `text`, the letters A-Z compared without case, every
// other byte as it is (also inside double-byte characters); null when there is none.
const char* FindTextNoCase(const char* text, const char* pattern);

// Copies as much of `source` as fits `capacity` bytes (terminator included) to the end of
// `buffer`, never splitting a double-byte character. Without the code page's description a
// possible lead byte is not copied at the end of the room.
void AppendTruncated(char* buffer, int capacity, const char* source);

// Removes one final backslash from `path`, never the second byte of a double-byte character;
// leaves the path alone when the code page cannot be described.
void StripTrailingSeparator(char* path);

// Whether `folder` names `path` or a folder above it, as Windows compares names: letters of
// single-byte characters without case, "\" and "/" alike, one final separator ignored.
BOOL IsSameFolderOrAbove(const AnsiCodePage* codePage, const char* folder, const char* path);
