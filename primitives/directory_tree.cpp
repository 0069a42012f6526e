// Removing one folder as a whole: only when empty, with its files, or with its whole subtree,
// with one status for the folder. Nothing inside is put off until restart, and the first
// failure ends the walk, keeping what was already deleted.
#include "primitives/directory_tree.h"

#include "primitives/file_removal.h"
#include "base/message_check.h"
#include "base/system_library.h"

BOOL IsDotEntry(const char* name) { return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')); }

BOOL ComposeChildPath(const char* folder, const char* name, char* workPath) {
  if (lstrlenA(folder) + 1 + lstrlenA(name) + 1 > MAX_PATH) return FALSE;
  lstrcpyA(workPath, folder);
  lstrcatA(workPath, "\\");
  lstrcatA(workPath, name);
  return TRUE;
}

ListingResult ListFolder(const char* folder, EntryTest test, const void* context, int* passed) {
  *passed = 0;
  char pattern[MAX_PATH];
  if (!ComposeChildPath(folder, "*", pattern)) return ListingBroken;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern, &entry);
  if (search == INVALID_HANDLE_VALUE) return ListingBroken;
  ListingResult result = ListingPassed;
  do {
    if (IsDotEntry(entry.cFileName)) continue;
    if (!test(entry, context)) {
      result = ListingRefused;
      break;
    }
    ++*passed;
  } while (FindNextFileA(search, &entry));
  // A listing cut short by a failure may have hidden anything.
  if (result == ListingPassed && GetLastError() != ERROR_NO_MORE_FILES) result = ListingBroken;
  FindClose(search);
  return result;
}

namespace {

typedef BOOL(WINAPI* PathIsDirectoryEmptyProc)(LPCSTR);

// shlwapi.dll is not there on Windows 95 and NT 4.0 without Internet Explorer 4: it is loaded
// from the system folder at run time, never imported.
const char* const ShlwapiLibrary = "shlwapi.dll";
const char* const PathIsDirectoryEmptyName = "PathIsDirectoryEmptyA";

// The name to reach an entry by. A long name the ANSI code page cannot show comes back with
// "?" for those characters, which no path may hold; the 8.3 alias reaches the entry instead.
const char* EntryName(const WIN32_FIND_DATAA& data) {
  for (const char* p = data.cFileName; *p != '\0'; ++p) {
    // "?" (0x3F) is never the trail byte of a double-byte character, which are 0x40 and above.
    if (*p == '?') return data.cAlternateFileName[0] != '\0' ? data.cAlternateFileName : data.cFileName;
  }
  return data.cFileName;
}

BOOL RefuseEveryEntry(const WIN32_FIND_DATAA&, const void*) { return FALSE; }

// Our own answer where shlwapi or its function is missing, to the same question: true only for
// an existing folder whose listing holds nothing but "." and "..".
BOOL IsEmptyFolderByOwnSearch(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return FALSE;
  int entries;
  return ListFolder(path, RefuseEveryEntry, nullptr, &entries) == ListingPassed;
}

BOOL IsFolderEmpty(const char* path) {
  HMODULE shlwapi = LoadSystemLibrary(ShlwapiLibrary);
  if (shlwapi == nullptr) return IsEmptyFolderByOwnSearch(path);
  PathIsDirectoryEmptyProc pathIsDirectoryEmpty;
  const BOOL empty = LookUpProcedure(shlwapi, PathIsDirectoryEmptyName, &pathIsDirectoryEmpty)
                         ? pathIsDirectoryEmpty(path)
                         : IsEmptyFolderByOwnSearch(path);
  FreeLibrary(shlwapi);
  return empty;
}

RemovalStatus RemoveFolderItself(const char* path) {
  if (RemoveDirectoryA(path)) return StatusDeleted;
  return IsNotThereCode(GetLastError()) ? StatusNoFolder : StatusError;
}

// Removes the entries the open search lists, from the one in `data` on. True when the listing
// ended; false with `*stop` when an entry ended the walk. `workPath` is this level's working
// path. The caller closes the search.
BOOL RemoveEntries(const char* path, HANDLE search, WIN32_FIND_DATAA* data, char* workPath, BOOL allowNonEmpty,
                   BOOL recurse, RemovalStatus* stop) {
  for (;;) {
    if (!IsDotEntry(data->cFileName)) {
      if (!ComposeChildPath(path, EntryName(*data), workPath)) {
        *stop = StatusError;  // a path the calls could not take: the entry cannot be removed
        return FALSE;
      }
      DWORD attributes = GetFileAttributesA(workPath);
      if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Listed, but gone since: nothing is left to remove there, and whether this folder can
        // go is decided by its own removal. Attributes that cannot be read for another reason
        // stop the walk: the entry is there and would stay.
        if (!IsNotThereCode(GetLastError())) {
          *stop = StatusError;
          return FALSE;
        }
      } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && recurse) {
        // A folder link is removed by the nested call as a link, without walking into it.
        RemovalStatus nested = RemoveDirectoryTree(workPath, allowNonEmpty, recurse);
        // StatusNoFile: the subfolder's walk met a file that had vanished; the subfolder keeps
        // what is left, and the removal of this folder decides.
        if (nested == StatusNoFolder || nested == StatusError) {
          *stop = nested;
          return FALSE;
        }
      } else {
        // Files; and folders when the subtree is not to be taken, which DeleteFileA refuses.
        if (!ClearProtectiveAttributes(workPath)) {
          *stop = StatusError;
          return FALSE;
        }
        if (!DeleteFileUnlessInUse(workPath)) {
          *stop = IsNotThereCode(GetLastError()) ? StatusNoFile : StatusError;
          return FALSE;
        }
      }
    }
    // A large tree can take seconds between two rows: the window keeps answering meanwhile.
    AnswerSentMessagesNowAndThen();
    // The search goes on after an entry deleted under it.
    if (!FindNextFileA(search, data)) {
      if (GetLastError() == ERROR_NO_MORE_FILES) return TRUE;
      *stop = StatusError;
      return FALSE;
    }
  }
}

}  // namespace

RemovalStatus RemoveDirectoryTree(const char* path, BOOL allowNonEmpty, BOOL recurse) {
  // The working path must hold "path\*" (and later "path\entry"): a longer folder path cannot
  // be walked, and nothing is written past the buffer.
  if (lstrlenA(path) + 2 + 1 > MAX_PATH) return StatusError;
  // False also for a path that is missing or no folder: in this mode those are errors.
  if (!allowNonEmpty && !IsFolderEmpty(path)) return StatusError;
  if (!ClearProtectiveAttributes(path)) return StatusError;

  // A link (junction) stands for a folder elsewhere: the link goes, its target stays untouched.
  // Attributes that cannot be read cannot tell a link from a folder, so nothing is walked then:
  // a folder that is simply not there is left to the removal to report, anything else is an error.
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return IsNotThereCode(GetLastError()) ? RemoveFolderItself(path) : StatusError;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return RemoveFolderItself(path);

  char workPath[MAX_PATH];
  WIN32_FIND_DATAA data;
  ComposeChildPath(path, "*", workPath);
  HANDLE search = FindFirstFileA(workPath, &data);
  if (search != INVALID_HANDLE_VALUE) {
    RemovalStatus stop = StatusError;
    BOOL finished = RemoveEntries(path, search, &data, workPath, allowNonEmpty, recurse, &stop);
    FindClose(search);  // exactly once, whatever ended the walk
    if (!finished) return stop;
  }
  return RemoveFolderItself(path);
}
