// Deleting one file, with its outcome as a status, and putting it off until restart when it
// cannot be deleted now; and two answers of the file system that the other operations share:
// what "not there" means, and a path's 8.3 form.
#pragma once

#include <windows.h>

#include "base/removal_status.h"

// True for the codes that mean an item is not there (file, folder on the way, malformed path):
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_BAD_PATHNAME. Never a failure.
BOOL IsNotThereCode(DWORD code);

// The 8.3 form of the existing `path`, in a MAX_PATH buffer. FALSE when it cannot be had; then
// GetLastError says why (ERROR_INSUFFICIENT_BUFFER for a form longer than the buffer).
BOOL GetShortForm(const char* path, char* shortPath);

// Makes `path` deletable: a read-only or hidden item gets plain normal attributes. True when it
// may now be deleted or is not there at all.
BOOL ClearProtectiveAttributes(const char* path);

// DeleteFileA, except for a file another program has open: the 9x family would delete that one
// under its holder (and free its clusters while it still writes to them), so there the file is
// first opened without sharing, and a sharing violation fails the deletion with that code, as
// the NT family's DeleteFileA fails by itself.
BOOL DeleteFileUnlessInUse(const char* path);

// Deletes the file at `path`: StatusDeleted, StatusNoFile or StatusError. Never defers.
RemovalStatus DeleteFileStatus(const char* path);

// Deletes the file at `path`, or schedules its deletion at the next restart when that is not
// possible now (raising RunState.restartPending): StatusDeleted, StatusNoFile,
// StatusDeleteAtRestart or StatusError. A folder whose deletion cannot be scheduled is removed
// at once when it is empty (StatusDeleted).
RemovalStatus DeleteOrDefer(const char* path);
