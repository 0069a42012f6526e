// Deleting one file, with its outcome as a status, and putting it off until restart when it
// cannot be deleted now.
#pragma once

#include <windows.h>

#include "base/removal_status.h"

// True for the codes that mean an item is not there (file, folder on the way, malformed path):
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_BAD_PATHNAME. Never a failure.
BOOL IsNotThereCode(DWORD code);

// Makes `path` deletable: a read-only or hidden item gets plain normal attributes. True when it
// may now be deleted or is not there at all.
BOOL ClearProtectiveAttributes(const char* path);

// Deletes the file at `path`: StatusDeleted, StatusNoFile or StatusError. Never defers.
RemovalStatus DeleteFileStatus(const char* path);

// Deletes the file at `path`, or schedules its deletion at the next restart when that is not
// possible now (raising RunState.restartPending): StatusDeleted, StatusNoFile,
// StatusDeleteAtRestart or StatusError. A folder whose deletion cannot be scheduled is removed
// at once when it is empty (StatusDeleted).
RemovalStatus DeleteOrDefer(const char* path);
