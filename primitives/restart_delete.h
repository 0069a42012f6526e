// Deletion (or renaming) of a file at the next start of Windows.
#pragma once

#include <windows.h>

// Asks the system to delete `existing` (or move it to `newName`, when given) at the next
// restart; on the 9x family, where the system has no such service, writes the request into the
// start-up rename file instead. Nonzero when the request was handed over or written.
BOOL ScheduleDeleteAtRestart(const char* existing, const char* newName);
