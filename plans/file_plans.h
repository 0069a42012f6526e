// The two file plans with their tables as a parameter: RemoveFilesNt and RemoveFilesWin9x run
// them with the compiled-in tables (NtFilePlan, Win9xFilePlan).
#pragma once

#include "plans/file_tables.h"

// Both return 1 when the plan ran to its end, 0 when it stopped (after an error box, or, for
// the INF file of the 9x plan, silently).
int RemoveFilesNtWith(const NtFileTables* tables);
int RemoveFilesWin9xWith(const Win9xFileTables* tables);

// Windows 95: deletes the INF file of every pen class instance whose "DriverDesc" names the
// product. No row unless a deletion was attempted or refused.
void RemovePenClassInfFiles(const Win9xFileTables* tables, const char* infFolder, char* pathBuffer);
