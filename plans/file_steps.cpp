// The steps shared by the NT and the 9x file plans.
#include "plans/file_steps.h"

#include <windows.h>

#include "primitives/directory_tree.h"
#include "primitives/file_removal.h"
#include "primitives/restart_delete.h"
#include "base/ansi_text.h"
#include "base/os_kind.h"
#include "resources/resource.h"
#include "report/result_list.h"
#include "base/run_state.h"

namespace {

const int kRowTextSize = 1024;
// RemoveListedFiles tells which of the first so many entries it put off until restart.
const int kDeferredBits = 32;

struct DeferredFiles {
  const FileTable* files;
  DWORD deferred;  // bit i: entry i of `files` was put off until restart
};

// A file named by one of the entries put off, the whole name, letters without case, as Windows
// matched it when it was deleted.
BOOL IsDeferredFile(const WIN32_FIND_DATAA& entry, const void* context) {
  const DeferredFiles* d = static_cast<const DeferredFiles*>(context);
  if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FALSE;
  const char* name = entry.cFileName;
  for (int i = 0; i < d->files->count && i < kDeferredBits; ++i) {
    if ((d->deferred & (1u << i)) != 0 && lstrlenA(name) == lstrlenA(d->files->entries[i]) &&
        FindTextNoCase(name, d->files->entries[i]) == name) {
      return TRUE;
    }
  }
  return FALSE;
}

// Whether `folder` holds at least one entry, and only files of `files` whose bits are set in
// `deferred`. A folder that cannot be listed holds something unknown.
BOOL HoldsOnlyDeferredFiles(const char* folder, const FileTable* files, DWORD deferred) {
  const DeferredFiles d = {files, deferred};
  int entries;
  return ListFolder(folder, IsDeferredFile, &d, &entries) == ListingPassed && entries > 0;
}

}  // namespace

int RemoveListedFiles(char* pathBuffer, const char* base, const FileTable* table, SeparatorMode mode, DWORD* deferred) {
  if (deferred != nullptr) *deferred = 0;
  for (int i = 0; i < table->count; ++i) {
    if (!ComposePath(pathBuffer, base, table->entries[i], mode)) {
      ShowBufferErrorBox();
      return 0;
    }
    const RemovalStatus status = DeleteOrDefer(pathBuffer);
    if (deferred != nullptr && status == StatusDeleteAtRestart && i < kDeferredBits) *deferred |= 1u << i;
    AddResultRow(pathBuffer, status);
  }
  return 1;
}

void RemoveInstallFolder(const char* installFolder, const FileTable* files, DWORD deferred) {
  RemovalStatus status = RemoveDirectoryTree(installFolder, FALSE, FALSE);
  // Only the NT family's delayed-move service takes a folder: the 9x family's rename file never
  // does, so there the folder is not even looked at.
  if (status == StatusError && deferred != 0 && IsNtFamily(RunState.osKind) &&
      HoldsOnlyDeferredFiles(installFolder, files, deferred) && ScheduleDeleteAtRestart(installFolder, nullptr)) {
    RunState.restartPending = TRUE;
    status = StatusDeleteAtRestart;
  }
  AddResultRow(installFolder, status);
}

int RemoveMenuFolders(char* pathBuffer, int csidl, const FileTable* table) {
  const char* programs = GetShellFolderPath(csidl);
  if (programs == NULL) return 1;
  for (int i = 0; i < table->count; ++i) {
    if (!ComposePath(pathBuffer, programs, table->entries[i], SeparatorCounted)) {
      ShowBufferErrorBox();
      return 0;
    }
    // The product's menu folders go with everything in them.
    AddResultRow(pathBuffer, RemoveDirectoryTree(pathBuffer, TRUE, TRUE));
  }
  return 1;
}

void RemoveStartupShortcuts(char* pathBuffer, int csidl, const FileTable* table) {
  const char* startup = GetShellFolderPath(csidl);
  if (startup == NULL) return;
  for (int i = 0; i < table->count; ++i) {
    // Shortcut names are short and the shell's folders shorter than MAX_PATH, so this never
    // refuses with the shipped tables; should it, the item is reported, not cut and deleted.
    if (!ComposePath(pathBuffer, startup, table->entries[i], SeparatorCounted)) {
      lstrcpyA(pathBuffer, startup);
      lstrcatA(pathBuffer, "\\");
      AppendTruncated(pathBuffer, PATH_BUFFER_SIZE, table->entries[i]);
      AddResultRow(pathBuffer, StatusError);
      continue;
    }
    AddResultRow(pathBuffer, DeleteOrDefer(pathBuffer));
  }
}

void AddInstallFolderNotFoundRow() {
  char text[kRowTextSize];
  LoadStringA(RunState.hInstance, IDS_INSTALL_FOLDER, text, kRowTextSize);
  AddResultRow(text, StatusDetectError);
}
