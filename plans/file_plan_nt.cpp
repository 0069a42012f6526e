// The file phase on Windows NT 4.0, 2000 and XP: system and Windows files, the Start-menu
// folders, the start-up shortcuts, then the install folder's files and the folder itself.
#include <windows.h>
#include <shlobj.h>

#include "plans/file_plans.h"
#include "plans/file_steps.h"
#include "plans/install_location.h"
#include "plans/locations.h"
#include "plans/phases.h"
#include "report/result_list.h"
#include "base/run_state.h"

int RemoveFilesNt() { return RemoveFilesNtWith(&NtFilePlan); }

int RemoveFilesNtWith(const NtFileTables* tables) {
  BaseFolders folders;
  char installFolder[INSTALL_FOLDER_SIZE];
  char pathBuffer[PATH_BUFFER_SIZE];

  if (!ResolveBaseFolders("System32", &folders)) return 0;
  RunState.installDirFound = FindInstallDirectory(installFolder);

  if (!RemoveListedFiles(pathBuffer, folders.systemFolder, &tables->systemFiles, SeparatorInBase)) return 0;
  if (!RemoveListedFiles(pathBuffer, folders.windowsFolder, &tables->windowsFiles, SeparatorInBase)) return 0;
  if (!RemoveMenuFolders(pathBuffer, CSIDL_COMMON_PROGRAMS, &tables->menuFolders)) return 0;
  if (!RemoveMenuFolders(pathBuffer, CSIDL_PROGRAMS, &tables->menuFolders)) return 0;
  RemoveStartupShortcuts(pathBuffer, CSIDL_COMMON_STARTUP, &tables->startupShortcuts);
  RemoveStartupShortcuts(pathBuffer, CSIDL_STARTUP, &tables->startupShortcuts);

  // On this family a missing install folder is the last row of the phase.
  if (!RunState.installDirFound) {
    AddInstallFolderNotFoundRow();
    return 1;
  }
  DWORD deferred;
  if (!RemoveListedFiles(pathBuffer, installFolder, &tables->installFiles, SeparatorCounted, &deferred)) return 0;
  // Only an emptied folder goes: anything the user added to it stays, and the row says so.
  RemoveInstallFolder(installFolder, &tables->installFiles, deferred);
  return 1;
}
