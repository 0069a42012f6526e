#include "plans/guarded_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "plans/locations.h"
#include "plans/registry_text.h"
#include "shell/ansi_text.h"

namespace {

// The special folders the shell may name, each a folder of the user, of all users or of
// programs, never of one package. Programs and Startup are the ones the plans use themselves.
const int GuardedShellFolders[] = {
    CSIDL_PROGRAMS,          CSIDL_COMMON_PROGRAMS,         CSIDL_STARTUP,     CSIDL_COMMON_STARTUP,
    CSIDL_STARTMENU,         CSIDL_COMMON_STARTMENU,        CSIDL_DESKTOPDIRECTORY,
    CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL,          CSIDL_COMMON_DOCUMENTS,
    CSIDL_PROGRAM_FILES,     CSIDL_PROGRAM_FILES_COMMON,
};

// Where Windows records the program folders, also on systems whose shell does not name them.
const char CurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const GuardedFolderValues[] = {"ProgramFilesDir", "CommonFilesDir"};

// What the candidate is compared with: its name as written and its 8.3 form, when it exists.
struct Candidate {
  const AnsiCodePage* codePage;
  const char* name;
  char shortName[MAX_PATH];
  BOOL hasShortName;
};

BOOL GetShortForm(const char* path, char* shortPath) {
  const DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
  return length != 0 && length < MAX_PATH;
}

// True when the candidate is `guarded` or a folder above it, by name or by 8.3 form (the forms
// of both, so "C:\PROGRA~1" is Program Files and "C:\Program Files\COMMON~1" Common Files).
BOOL IsAtOrAbove(const Candidate& candidate, const char* guarded) {
  if (guarded == nullptr || guarded[0] == '\0') return FALSE;
  if (IsSameFolderOrAbove(candidate.codePage, candidate.name, guarded)) return TRUE;
  char shortGuarded[MAX_PATH];
  if (!GetShortForm(guarded, shortGuarded)) return FALSE;
  if (IsSameFolderOrAbove(candidate.codePage, candidate.name, shortGuarded)) return TRUE;
  return candidate.hasShortName && IsSameFolderOrAbove(candidate.codePage, candidate.shortName, shortGuarded);
}

BOOL IsSystemFolderOrAbove(const Candidate& candidate) {
  char folder[MAX_PATH];
  UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
  if (length != 0 && length < MAX_PATH && IsAtOrAbove(candidate, folder)) return TRUE;
  length = GetSystemDirectoryA(folder, MAX_PATH);
  return length != 0 && length < MAX_PATH && IsAtOrAbove(candidate, folder);
}

BOOL IsShellFolderOrAbove(const Candidate& candidate) {
  for (unsigned i = 0; i < sizeof GuardedShellFolders / sizeof GuardedShellFolders[0]; ++i) {
    // The shell's one buffer is used up before the next call.
    if (IsAtOrAbove(candidate, GetShellFolderPath(GuardedShellFolders[i]))) return TRUE;
  }
  return FALSE;
}

BOOL IsRegisteredProgramFolderOrAbove(const Candidate& candidate) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CurrentVersionKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return FALSE;
  BOOL guarded = FALSE;
  char value[REGISTRY_TEXT_CAPACITY + 1];
  for (unsigned i = 0; i < sizeof GuardedFolderValues / sizeof GuardedFolderValues[0] && !guarded; ++i) {
    if (ReadRegistryText(key, GuardedFolderValues[i], value)) guarded = IsAtOrAbove(candidate, value);
  }
  RegCloseKey(key);
  return guarded;
}

// True when the folder or a folder on its way is a junction or folder link: what lies there
// belongs to the folder it points at. Attributes that cannot be read end the look: nothing
// below a folder that is not there can be reached either.
BOOL IsOnALink(const AnsiCodePage* codePage, const char* folder) {
  char path[MAX_PATH];
  const int length = lstrlenA(folder);
  if (length >= MAX_PATH) return TRUE;
  // From the first folder below the root ("C:\A", "C:\A\B", ...) to the folder itself.
  for (int at = 3; at <= length;) {
    int end = at;
    while (end < length && folder[end] != '\\' && folder[end] != '/') end += CharWidth(codePage, folder + end);
    lstrcpynA(path, folder, end + 1);
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return TRUE;
    at = end + 1;
  }
  return FALSE;
}

}  // namespace

int IsGuardedFolder(const char* folder) {
  AnsiCodePage codePage;
  // A folder that cannot be compared cannot be cleared either.
  if (!LoadAnsiCodePage(&codePage) || lstrlenA(folder) >= MAX_PATH) return 1;
  Candidate candidate;
  candidate.codePage = &codePage;
  candidate.name = folder;
  candidate.hasShortName = GetShortForm(folder, candidate.shortName);
  if (IsOnALink(&codePage, folder)) return 1;
  if (IsSystemFolderOrAbove(candidate)) return 1;
  if (IsShellFolderOrAbove(candidate)) return 1;
  return IsRegisteredProgramFolderOrAbove(candidate) ? 1 : 0;
}
