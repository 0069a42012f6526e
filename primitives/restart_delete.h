// Deletion (or renaming) of a file at the next start of Windows.
#pragma once

#include <windows.h>

// Asks the system to delete `existing` (or move it to `newName`, when given) at the next
// restart; on the 9x family, where the system has no such service, writes the request into the
// start-up rename file instead. Nonzero when the request was handed over or written.
BOOL ScheduleDeleteAtRestart(const char* existing, const char* newName);

// The 9x family's way: writes the request into the [rename] section of "wininit.ini" in the
// Windows folder, as an 8.3 line that WININIT.EXE can carry out. Refuses (0) folders, paths
// without a short form, control characters and lines the formatter would cut.
BOOL WriteRenameFileRequest(const char* existing, const char* newName);
