// Where the file plans work: the Windows, INF and system folders, the shell's Start-menu
// folders, the composition of a full path under a length guard, the checks that keep a path
// taken from the registry inside the folder it names, and the two error boxes that stop a plan.
#pragma once

#include <windows.h>

// Folders reported by the system, each with one final backslash.
struct BaseFolders {
  char windowsFolder[MAX_PATH];
  char infFolder[MAX_PATH];  // windowsFolder followed by "inf\"
  char systemFolder[MAX_PATH];
};

// The composed path of one entry; also the text of its result row.
const int PATH_BUFFER_SIZE = 1024;
// The largest sum of lengths ComposePath lets through: with one uncounted separator and the
// terminator, a composed path never exceeds PATH_BUFFER_SIZE.
const int MAX_COMPOSED_PATH = 1022;

// Where the backslash that joins base and entry goes, relative to the length check.
enum SeparatorMode {
  SeparatorInBase,     // base already ends with "\": checks base + entry
  SeparatorCounted,    // appends "\" before the check: checks base + 1 + entry
  SeparatorUncounted,  // appends "\" after the check: checks base + entry
};

// Fills all three folders: 1, or 0 after the folder-not-found box ("Windows", or `systemLabel`
// for the system folder). A folder the system reports too long for its buffer counts as not
// reported.
int ResolveBaseFolders(const char* systemLabel, BaseFolders* folders);

// The path of shell special folder `csidl` (no final backslash) in the one shared buffer, valid
// until the next call; null when the folder cannot be resolved.
const char* GetShellFolderPath(int csidl);

// base + separator + entry into `pathBuffer` (PATH_BUFFER_SIZE bytes): 1, or 0 when the sum
// the mode checks exceeds MAX_COMPOSED_PATH (`pathBuffer` is then left as it was).
int ComposePath(char* pathBuffer, const char* base, const char* entry, SeparatorMode mode);

// "<label>ﾃﾞｨﾚｸﾄﾘが見つかりませんでした" and "ﾊﾞｯﾌｧｴﾗｰ": caption "Error", MB_OK | MB_ICONERROR,
// owned by the main window.
void ShowFolderNotFoundBox(const char* label);
void ShowBufferErrorBox();

// ---- folder and file names read from the registry ----

// A folder the plans may compose from and remove: 1 to 259 characters, on a drive (a letter
// with ":\"; never a share), and not the drive's root. Every component must be a plausible
// name: not empty, not ending in a dot or a space (which Windows drops, so the name would reach
// another folder), without control characters or characters that Windows forbids in names, and
// with every double-byte character whole. Whose folder it is, is not judged here.
int IsUsableFolder(const char* folder);

// A name relative to a folder that stays inside it: not empty, not absolute (no leading
// separator, no drive), and every component sound: not empty, not only dots and spaces, no
// forbidden characters, double-byte characters whole.
int IsContainedRelativeName(const char* name);
