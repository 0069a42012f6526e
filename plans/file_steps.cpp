// The steps shared by the NT and the 9x file plans.
#include "plans/file_steps.h"

#include <windows.h>

#include "primitives/directory_tree.h"
#include "primitives/file_removal.h"
#include "base/ansi_text.h"
#include "resources/resource.h"
#include "shell/result_list.h"
#include "base/run_state.h"

namespace {
const int kRowTextSize = 1024;
}  // namespace

int RemoveListedFiles(char* pathBuffer, const char* base, const FileTable* table, SeparatorMode mode) {
  for (int i = 0; i < table->count; ++i) {
    if (!ComposePath(pathBuffer, base, table->entries[i], mode)) {
      ShowBufferErrorBox();
      return 0;
    }
    AddResultRow(pathBuffer, DeleteOrDefer(pathBuffer));
  }
  return 1;
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
