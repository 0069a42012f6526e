#include "plans/guarded_folders.h"

#include <windows.h>
#include <shlobj.h>

#include "plans/locations.h"
#include "plans/registry_text.h"
#include "primitives/file_removal.h"
#include "base/ansi_text.h"

namespace {

// Every check below asks the system something. A question the system cannot answer must not
// let a folder through: only an answer that the thing asked about does not exist counts as
// "not guarded"; any other failure refuses the folder.
enum Answer { NotGuarded, Guarded };

// The errors that say a path reaches nothing, so no file there can be lost: the codes with which
// a removal reports an item as not there, and beyond them those of a path that cannot reach a
// file at all (a drive that is not there or has no medium, a share that does not answer, a name
// Windows cannot take). A removal does not count these as "not there": its row must not say an
// item is absent from a drive it could not read.
BOOL MeansNoSuchPath(DWORD error) {
  if (IsNotThereCode(error)) return TRUE;
  switch (error) {
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE: return TRUE;
    default: return FALSE;
  }
}

// Where the shell itself records the special folders, for when it cannot give one itself: the
// same key under HKEY_CURRENT_USER for the user's and under HKEY_LOCAL_MACHINE for the shared.
const char ShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The special folders the shell may name, each a folder of the user, of all users or of
// programs, never of one package (Programs and Startup are the ones the plans use themselves),
// with the name under which the shell records it in the registry.
struct GuardedShellFolder {
  int csidl;
  BOOL common;             // recorded for all users (HKEY_LOCAL_MACHINE) or for the user
  const char* recordName;  // null: the program folders, which the registry names elsewhere
};

// clang-format off
const GuardedShellFolder GuardedShellFolders[] = {
    {CSIDL_PROGRAMS, FALSE, "Programs"},
    {CSIDL_COMMON_PROGRAMS, TRUE, "Common Programs"},
    {CSIDL_STARTUP, FALSE, "Startup"},
    {CSIDL_COMMON_STARTUP, TRUE, "Common Startup"},
    {CSIDL_STARTMENU, FALSE, "Start Menu"},
    {CSIDL_COMMON_STARTMENU, TRUE, "Common Start Menu"},
    {CSIDL_DESKTOPDIRECTORY, FALSE, "Desktop"},
    {CSIDL_COMMON_DESKTOPDIRECTORY, TRUE, "Common Desktop"},
    {CSIDL_PERSONAL, FALSE, "Personal"},
    {CSIDL_COMMON_DOCUMENTS, TRUE, "Common Documents"},
    {CSIDL_PROGRAM_FILES, TRUE, nullptr},
    {CSIDL_PROGRAM_FILES_COMMON, TRUE, nullptr},
};
// clang-format on

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

enum ShortForm { ShortFormFound, NoSuchFolder, ShortFormUnknown };

ShortForm LookUpShortForm(const char* path, char* shortPath) {
  if (GetShortForm(path, shortPath)) return ShortFormFound;
  return MeansNoSuchPath(GetLastError()) ? NoSuchFolder : ShortFormUnknown;
}

// Guarded when the candidate is `guarded` or a folder above it, by name or by 8.3 form (the
// forms of both, so "C:\PROGRA~1" is Program Files and "C:\Program Files\COMMON~1" Common
// Files). A guarded folder that is not there has no 8.3 form to be reached by.
Answer IsAtOrAbove(const Candidate& candidate, const char* guarded) {
  if (guarded == nullptr || guarded[0] == '\0') return NotGuarded;
  if (IsSameFolderOrAbove(candidate.codePage, candidate.name, guarded)) return Guarded;
  char shortGuarded[MAX_PATH];
  switch (LookUpShortForm(guarded, shortGuarded)) {
    case NoSuchFolder: return NotGuarded;
    case ShortFormUnknown: return Guarded;
    case ShortFormFound: break;
  }
  if (IsSameFolderOrAbove(candidate.codePage, candidate.name, shortGuarded)) return Guarded;
  return candidate.hasShortName && IsSameFolderOrAbove(candidate.codePage, candidate.shortName, shortGuarded)
             ? Guarded
             : NotGuarded;
}

Answer IsSystemFolderOrAbove(const Candidate& candidate) {
  char folder[MAX_PATH];
  UINT length = GetWindowsDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || IsAtOrAbove(candidate, folder) == Guarded) return Guarded;
  length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return Guarded;
  return IsAtOrAbove(candidate, folder);
}

// Compares the candidate with the folder value `name` of `key`. A key or value that is not
// there names no folder; one that cannot be read may name any.
Answer IsRecordedFolderOrAbove(const Candidate& candidate, HKEY root, const char* keyName, const char* name) {
  HKEY key;
  LONG status = RegOpenKeyExA(root, keyName, 0, KEY_QUERY_VALUE, &key);
  if (status == ERROR_FILE_NOT_FOUND) return NotGuarded;
  if (status != ERROR_SUCCESS) return Guarded;
  char value[REGISTRY_TEXT_CAPACITY + 1];
  DWORD type = REG_SZ;
  DWORD size = REGISTRY_TEXT_CAPACITY;
  status = RegQueryValueExA(key, name, NULL, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) return NotGuarded;
  if (status != ERROR_SUCCESS) return Guarded;
  value[size <= REGISTRY_TEXT_CAPACITY ? size : REGISTRY_TEXT_CAPACITY] = '\0';
  return IsAtOrAbove(candidate, value);
}

// Each special folder as the shell gives it; where the shell gives no path (a folder its
// version does not know, a failure), as the shell last recorded it in the registry.
Answer IsShellFolderOrAbove(const Candidate& candidate) {
  for (const GuardedShellFolder& folder : GuardedShellFolders) {
    // The shell's one buffer is used up before the next call.
    const char* path = GetShellFolderPath(folder.csidl);
    Answer answer = NotGuarded;
    if (path != nullptr) {
      answer = IsAtOrAbove(candidate, path);
    } else if (folder.recordName != nullptr) {
      answer = folder.common
                   ? IsRecordedFolderOrAbove(candidate, HKEY_LOCAL_MACHINE, ShellFoldersKey, folder.recordName)
                   : IsRecordedFolderOrAbove(candidate, HKEY_CURRENT_USER, ShellFoldersKey, folder.recordName);
    }
    if (answer == Guarded) return Guarded;
  }
  return NotGuarded;
}

Answer IsRegisteredProgramFolderOrAbove(const Candidate& candidate) {
  for (const char* name : GuardedFolderValues) {
    if (IsRecordedFolderOrAbove(candidate, HKEY_LOCAL_MACHINE, CurrentVersionKey, name) == Guarded) return Guarded;
  }
  return NotGuarded;
}

// Guarded on a network drive: like a share, its files may serve other machines. A drive whose
// type cannot be told is guarded too; one that is not there holds nothing to lose.
Answer IsOnNetworkDrive(const char* folder) {
  const char root[] = {folder[0], ':', '\\', '\0'};  // a usable folder starts with its drive
  switch (GetDriveTypeA(root)) {
    case DRIVE_REMOTE:
    case DRIVE_UNKNOWN: return Guarded;
    default: return NotGuarded;
  }
}

// Guarded when the folder or a folder on its way is a junction or folder link: what lies there
// belongs to the folder it points at. A folder on the way that is not there ends the look:
// nothing below it can be reached either.
Answer IsOnALink(const AnsiCodePage* codePage, const char* folder) {
  char path[MAX_PATH];
  const int length = lstrlenA(folder);
  if (length >= MAX_PATH) return Guarded;
  // From the first folder below the root ("C:\A", "C:\A\B", ...) to the folder itself.
  for (int at = 3; at <= length;) {
    int end = at;
    while (end < length && !IsSeparator(static_cast<BYTE>(folder[end]))) end += CharWidth(codePage, folder + end);
    lstrcpynA(path, folder, end + 1);
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return MeansNoSuchPath(GetLastError()) ? NotGuarded : Guarded;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Guarded;
    at = end + 1;
  }
  return NotGuarded;
}

}  // namespace

int IsGuardedFolder(const char* folder) {
  AnsiCodePage codePage;
  // A folder that cannot be compared cannot be cleared either.
  if (!LoadAnsiCodePage(&codePage) || lstrlenA(folder) >= MAX_PATH) return 1;
  // The drive's type first: it is known without asking the drive, whereas the 8.3 lookup may
  // wait for a server that no longer answers.
  if (IsOnNetworkDrive(folder) == Guarded) return 1;
  Candidate candidate;
  candidate.codePage = &codePage;
  candidate.name = folder;
  switch (LookUpShortForm(folder, candidate.shortName)) {
    case ShortFormFound: candidate.hasShortName = TRUE; break;
    case NoSuchFolder: candidate.hasShortName = FALSE; break;
    case ShortFormUnknown: return 1;
  }
  if (IsOnALink(&codePage, folder) == Guarded) return 1;
  if (IsSystemFolderOrAbove(candidate) == Guarded) return 1;
  if (IsShellFolderOrAbove(candidate) == Guarded) return 1;
  return IsRegisteredProgramFolderOrAbove(candidate) == Guarded ? 1 : 0;
}
