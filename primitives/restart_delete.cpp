// Deleting (or renaming) a file at the next start of Windows. The NT family has a delayed-move
// service (MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT) and never reads the rename file; the 9x
// family has no such service, and its WININIT.EXE carries out the [rename] section of
// "wininit.ini" instead, before long file names are available, so the lines hold 8.3 paths.
#include "primitives/restart_delete.h"

#include "primitives/file_removal.h"
#include "primitives/rename_file.h"
#include "base/ansi_text.h"
#include "base/os_kind.h"
#include "base/run_state.h"

namespace {

// The rename file, in the Windows folder.
const char* const RenameFileName = "wininit.ini";
// What a deletion line names as the new name: the null device.
const char* const DeletionTarget = "NUL";
const char* const RenameLineFormat = "%hs=%hs\r\n";

// A control character in a path would break the line or start a new one in the file.
BOOL HasControlCharacter(const char* text) {
  for (; *text != '\0'; ++text) {
    // Trail bytes of double-byte characters are 0x40 and above, so a byte test is exact.
    if (static_cast<unsigned char>(*text) < 0x20) return TRUE;
  }
  return FALSE;
}

// True when `name` is already a DOS name: one to eight characters, then optionally a dot and
// one to three more, none of them a blank or one of + , ; = [ ] (a double-byte character counts
// as two).
BOOL IsDosName(const AnsiCodePage* codePage, const char* name) {
  int base = 0, ext = 0;
  BOOL dot = FALSE;
  for (const char* p = name; *p != '\0'; p += CharWidth(codePage, p)) {
    const BYTE b = static_cast<BYTE>(*p);
    const int width = CharWidth(codePage, p);
    if (width == 1 && b == '.') {
      if (dot) return FALSE;
      dot = TRUE;
      continue;
    }
    if (width == 1 && (b == ' ' || b == '+' || b == ',' || b == ';' || b == '=' || b == '[' || b == ']')) {
      return FALSE;
    }
    if (dot) {
      ext += width;
    } else {
      base += width;
    }
  }
  return base >= 1 && base <= 8 && ext <= 3 && (!dot || ext >= 1);
}

// The 8.3 form of a new name, which usually does not exist yet: the short form of its folder
// followed by its last component, which must already be a DOS name.
BOOL GetShortFormOfNewName(const char* newName, char* shortPath) {
  if (GetShortForm(newName, shortPath)) return TRUE;
  AnsiCodePage codePage;
  if (!LoadAnsiCodePage(&codePage)) return FALSE;
  int split = -1;
  // Character by character: a second byte of 0x5C is no backslash.
  for (const char* p = newName; *p != '\0'; p += CharWidth(&codePage, p)) {
    if (*p == '\\') split = static_cast<int>(p - newName);
  }
  if (split <= 0 || split >= MAX_PATH) return FALSE;
  const char* name = newName + split + 1;
  if (!IsDosName(&codePage, name)) return FALSE;
  // A name at a drive's root keeps the root's backslash with its folder ("C:\").
  BOOL atRoot = split == 2 && newName[1] == ':';
  char folder[MAX_PATH];
  lstrcpynA(folder, newName, atRoot ? split + 2 : split + 1);
  if (!GetShortForm(folder, shortPath)) return FALSE;
  if (lstrlenA(shortPath) + 1 + lstrlenA(name) >= MAX_PATH) return FALSE;
  if (!atRoot) lstrcatA(shortPath, "\\");
  lstrcatA(shortPath, name);
  return TRUE;
}

// The rename file's line for the request, or false when no sound line can be written: a folder
// (WININIT.EXE deletes files only), a path without a short form, a control character, or a line
// the formatter would cut.
BOOL FormatRenameLine(const char* existing, const char* newName, char* line, DWORD* lineLength) {
  if (HasControlCharacter(existing) || (newName != nullptr && HasControlCharacter(newName))) return FALSE;
  DWORD attributes = GetFileAttributesA(existing);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FALSE;

  char shortExisting[MAX_PATH];
  char shortNew[MAX_PATH];
  if (!GetShortForm(existing, shortExisting)) return FALSE;
  const char* target = DeletionTarget;
  if (newName != nullptr) {
    if (!GetShortFormOfNewName(newName, shortNew)) return FALSE;
    target = shortNew;
  }
  // Name, "=", path, CR LF: it must fit the formatter whole, line end included.
  int expected = lstrlenA(target) + 1 + lstrlenA(shortExisting) + 2;
  if (expected > RenameLineCapacity - 1) return FALSE;
  int length = wsprintfA(line, RenameLineFormat, target, shortExisting);
  if (length != expected) return FALSE;
  *lineLength = static_cast<DWORD>(length);
  return TRUE;
}

// The Windows folder followed by "\wininit.ini", in a MAX_PATH buffer; false when the folder
// cannot be had or leaves no room for the name.
BOOL ComposeRenameFilePath(char* path) {
  UINT length = GetWindowsDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return FALSE;  // unreadable, or longer than the buffer
  // A Windows folder at the root of a drive is reported with its backslash ("C:\").
  BOOL root = length == 3 && path[1] == ':' && path[2] == '\\';
  UINT needed = length + (root ? 0 : 1) + static_cast<UINT>(lstrlenA(RenameFileName)) + 1;
  if (needed > MAX_PATH) return FALSE;
  if (!root) lstrcatA(path, "\\");
  lstrcatA(path, RenameFileName);
  return TRUE;
}

}  // namespace

BOOL WriteRenameFileRequest(const char* existing, const char* newName) {
  char line[RenameLineCapacity];
  DWORD lineLength = 0;
  if (!FormatRenameLine(existing, newName, line, &lineLength)) return FALSE;
  char renameFile[MAX_PATH];
  if (!ComposeRenameFilePath(renameFile)) return FALSE;
  return AddRenameLine(renameFile, line, lineLength);
}

BOOL ScheduleDeleteAtRestart(const char* existing, const char* newName) {
  BOOL moved = MoveFileExA(existing, newName, MOVEFILE_DELAY_UNTIL_REBOOT);
  if (moved) return moved;
  // NT/2000/XP never read the rename file: a line there would never be carried out. On a
  // Windows the tool has not classified nothing is written either.
  if (!IsWin9xFamily(RunState.osKind)) return FALSE;
  return WriteRenameFileRequest(existing, newName);
}
