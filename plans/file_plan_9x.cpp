// The file phase on Windows 95, 95 OSR2, 98 and Me: system files, the install folder's files,
// Windows files, the Start-menu folders, the install folder, the start-up shortcuts, and the
// driver's INF file, found by name on the later versions and through the pen class on 95.
#include <windows.h>
#include <shlobj.h>

#include "plans/file_plans.h"
#include "plans/file_steps.h"
#include "plans/install_location.h"
#include "plans/locations.h"
#include "plans/registry_text.h"
#include "plans/phases.h"
#include "primitives/directory_tree.h"
#include "primitives/file_removal.h"
#include "base/ansi_text.h"
#include "base/os_kind.h"
#include "report/result_list.h"
#include "base/run_state.h"

namespace {

const DWORD kInstanceNameChars = 255;
// Pen class instances are named "0000" to "9999": no walk needs more indexes than that, so
// even a key that fails the same way at every index ends the walk.
const DWORD kMostInstances = 10000;

// One instance of the pen class: its INF file is deleted when its description names the
// product, byte for byte: the name counts only in its own spelling. An "InfPath" that could
// leave the INF folder (absolute, "..", a drive, control characters) or would not fit
// pathBuffer is never deleted; its row says it was not removed.
void RemoveInstanceInfFile(HKEY classKey, const char* instanceName, const Win9xFileTables* tables,
                           const char* infFolder, char* pathBuffer) {
  HKEY instance;
  // Opened for reading values: that is all the walk does with it.
  if (RegOpenKeyExA(classKey, instanceName, 0, KEY_QUERY_VALUE, &instance) != ERROR_SUCCESS) return;
  char value[REGISTRY_TEXT_CAPACITY + 1];
  if (ReadRegistryText(instance, "DriverDesc", value) && FindText(value, tables->driverDescMatch) != NULL &&
      ReadRegistryText(instance, "InfPath", value)) {
    lstrcpyA(pathBuffer, infFolder);
    if (IsContainedRelativeName(value) && lstrlenA(infFolder) + lstrlenA(value) < PATH_BUFFER_SIZE) {
      lstrcatA(pathBuffer, value);
      AddResultRow(pathBuffer, DeleteFileStatus(pathBuffer));
    } else {
      AppendTruncated(pathBuffer, PATH_BUFFER_SIZE, value);
      AddResultRow(pathBuffer, StatusError);
    }
  }
  RegCloseKey(instance);
}

}  // namespace

int RemoveFilesWin9x() { return RemoveFilesWin9xWith(&Win9xFilePlan); }

int RemoveFilesWin9xWith(const Win9xFileTables* tables) {
  BaseFolders folders;
  char installFolder[INSTALL_FOLDER_SIZE];
  char pathBuffer[PATH_BUFFER_SIZE];

  if (!ResolveBaseFolders("System", &folders)) return 0;
  RunState.installDirFound = FindInstallDirectory(installFolder);

  if (!RemoveListedFiles(pathBuffer, folders.systemFolder, &tables->systemFiles, SeparatorInBase)) return 0;
  // On this family a missing install folder is reported in place of its files, and the plan
  // goes on.
  DWORD deferred = 0;
  if (RunState.installDirFound) {
    if (!RemoveListedFiles(pathBuffer, installFolder, &tables->installFiles, SeparatorUncounted, &deferred)) {
      return 0;
    }
  } else {
    AddInstallFolderNotFoundRow();
  }
  if (!RemoveListedFiles(pathBuffer, folders.windowsFolder, &tables->windowsFiles, SeparatorInBase)) return 0;
  if (!RemoveMenuFolders(pathBuffer, CSIDL_COMMON_PROGRAMS, &tables->menuFolders)) return 0;
  if (!RemoveMenuFolders(pathBuffer, CSIDL_PROGRAMS, &tables->menuFolders)) return 0;
  // Only an empty folder goes, and no subfolder is entered.
  if (RunState.installDirFound) RemoveInstallFolder(installFolder, &tables->installFiles, deferred);
  RemoveStartupShortcuts(pathBuffer, CSIDL_COMMON_STARTUP, &tables->startupShortcuts);
  RemoveStartupShortcuts(pathBuffer, CSIDL_STARTUP, &tables->startupShortcuts);

  if (RunState.osKind == OsWin95) {
    RemovePenClassInfFiles(tables, folders.infFolder, pathBuffer);
  } else {
    // The later versions keep the driver's INF file under a fixed name. A refusal here ends the
    // run without a word.
    if (!ComposePath(pathBuffer, folders.infFolder, tables->infFile, SeparatorInBase)) return 0;
    AddResultRow(pathBuffer, DeleteOrDefer(pathBuffer));
  }
  return 1;
}

void RemovePenClassInfFiles(const Win9xFileTables* tables, const char* infFolder, char* pathBuffer) {
  HKEY classKey;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, tables->penClassKey, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &classKey) !=
      ERROR_SUCCESS) {
    return;
  }
  char name[kInstanceNameChars + 1];
  for (DWORD index = 0; index < kMostInstances; ++index) {
    DWORD nameChars = kInstanceNameChars;
    const LONG result = RegEnumKeyExA(classKey, index, name, &nameChars, NULL, NULL, NULL, NULL);
    if (result == ERROR_NO_MORE_ITEMS) break;
    // A name too long for the buffer is no instance of ours: skip it. Any other failure is a
    // failure of the class key itself (gone, unreadable), which the next index would meet too.
    if (result == ERROR_MORE_DATA) continue;
    if (result != ERROR_SUCCESS) break;
    RemoveInstanceInfFile(classKey, name, tables, infFolder, pathBuffer);
  }
  RegCloseKey(classKey);
}
