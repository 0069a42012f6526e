// The start-up rename file of the 9x family ("wininit.ini"): one line added to its [rename]
// section, edited in place through a mapping of the file.
#pragma once

#include <windows.h>

// The line buffer: wsprintfA writes at most this many bytes, the terminator included, so a
// complete line has at most RenameLineCapacity - 1 characters.
const int RenameLineCapacity = 1024;

// Adds the `lineLength` bytes of `line` (a whole line with its CR LF) to the [rename] section of
// the file `renameFile`, making the file or the section when there is none; the newest line
// stands directly below the heading. Nonzero when the line was written and the file has its new
// length. On failure the file keeps its old length and bytes (a file that did not exist
// remains, empty).
BOOL AddRenameLine(const char* renameFile, const char* line, DWORD lineLength);
