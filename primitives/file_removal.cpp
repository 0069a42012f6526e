// Deleting one file: clearing what protects it, deleting it with an outcome the plans can show,
// and putting the deletion off until restart when the file cannot go now.
#include "primitives/file_removal.h"

#include "base/os_kind.h"
#include "base/run_state.h"
#include "primitives/restart_delete.h"

namespace {

// Attributes that make DeleteFileA refuse (read-only) or that a user would not expect to stop a
// removal (hidden); either one has the whole attribute word replaced by "normal".
const DWORD ProtectiveAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

// Codes that mean the item is simply not there: file, folder on the way, or a malformed path.
const DWORD NotThereCodes[] = {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_BAD_PATHNAME};

}  // namespace

BOOL IsNotThereCode(DWORD code) {
  for (unsigned i = 0; i < sizeof NotThereCodes / sizeof NotThereCodes[0]; ++i) {
    if (NotThereCodes[i] == code) return TRUE;
  }
  return FALSE;
}

BOOL GetShortForm(const char* path, char* shortPath) {
  const DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
  if (length != 0 && length < MAX_PATH) return TRUE;
  // A form too long for the buffer is reported by its length, without an error of its own.
  if (length != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return FALSE;
}

BOOL ClearProtectiveAttributes(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & ProtectiveAttributes) == 0) return TRUE;
    if (SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL)) return TRUE;
  }
  // An item that is not there needs nothing cleared; the deletion will say so itself.
  return IsNotThereCode(GetLastError());
}

BOOL DeleteFileUnlessInUse(const char* path) {
  if (IsWin9xFamily(RunState.osKind)) {
    HANDLE probe = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
      CloseHandle(probe);
    } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
      return FALSE;
    }
    // Any other answer (not there, a folder, no access) is left to the deletion to give.
  }
  return DeleteFileA(path);
}

RemovalStatus DeleteFileStatus(const char* path) {
  if (!ClearProtectiveAttributes(path)) return StatusError;
  if (DeleteFileUnlessInUse(path)) return StatusDeleted;
  return IsNotThereCode(GetLastError()) ? StatusNoFile : StatusError;
}

RemovalStatus DeleteOrDefer(const char* path) {
  RemovalStatus status = DeleteFileStatus(path);
  if (status != StatusError) return status;
  if (ScheduleDeleteAtRestart(path, nullptr)) {
    RunState.restartPending = TRUE;
    return StatusDeleteAtRestart;
  }
  // A folder whose removal cannot be put off (the 9x family's rename file takes files only; on
  // the NT family the delayed-move service may refuse) goes now if it is empty. Anything left
  // in it stays, and the row says the folder was not removed.
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && RemoveDirectoryA(path)) {
    return StatusDeleted;
  }
  return StatusError;
}
