// Install location discovery: the package's uninstall command line names a file in its install
// folder; on the 9x family its settings key also names the folder where it put its documents.
#include "plans/install_location.h"

#include <windows.h>

#include "plans/guarded_folders.h"
#include "plans/locations.h"
#include "plans/package_keys.h"
#include "plans/registry_text.h"
#include "base/os_kind.h"
#include "base/run_state.h"

namespace {

// The package's uninstall registrations under HKEY_LOCAL_MACHINE, in the order they are tried.
const char* const UninstallKeys[] = {PACKAGE_UNINSTALL_KEY, GENERIC_UNINSTALL_KEY};
const char kUninstallValue[] = "UninstallString";

// Files of the install folder that an uninstall command line names, searched in this order.
const char* const UninstallMarkers[] = {
    "uninst.isu",
    "Remove.exe",
};

const char kFallbackKey[] = WIN9X_SETTINGS_KEY;
const char kFallbackValue[] = "OEMDocLocation";

// Keeps the part of `text` between its first two double quotes (or after the only one); text
// without quotes stays whole. Moves the kept part to the start of `text`.
void KeepQuotedPart(char* text) {
  char* start = text;
  for (char* p = text; *p != '\0'; ++p) {
    if (*p == '"') {
      start = p + 1;
      break;
    }
  }
  int length = 0;
  while (start[length] != '\0' && start[length] != '"') ++length;
  for (int i = 0; i < length; ++i) text[i] = start[i];
  text[length] = '\0';
}

// Moves the text from its last drive designator (a letter, a colon and a backslash) after its
// first character to its start: an unquoted command line names the uninstaller first and the
// file in the install folder after a switch (C:\WINDOWS\IsUninst.exe -fC:\Tablet\...).
// Character by character, so that a second byte that is a letter or 0x5C starts nothing.
// Without the code page's description the text stays as it is (and is refused as a folder).
void KeepFromLastDriveDesignator(char* text) {
  AnsiCodePage codePage;
  if (!LoadAnsiCodePage(&codePage)) return;
  int start = 0;
  int at = 0;
  for (int width; (width = CharWidth(&codePage, text + at)) != 0; at += width) {
    const BYTE letter = static_cast<BYTE>(text[at]);
    const BOOL isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    if (at > 0 && width == 1 && isLetter && text[at + 1] == ':' && text[at + 2] == '\\') start = at;
  }
  if (start == 0) return;
  int i = 0;
  do {
    text[i] = text[start + i];
  } while (text[i++] != '\0');
}

// Copies `folder` to `out` when the plans may use it: a sound folder name, and a folder that
// can be the package's own, not one of the system's, the shell's or another's through a link.
int AcceptFolder(const char* folder, char* out) {
  if (!IsUsableFolder(folder) || IsGuardedFolder(folder)) return 0;
  lstrcpyA(out, folder);
  return 1;
}

// The folder named by the first uninstall registration that opens; a second one is asked only
// when the first does not open at all.
int FindFromUninstallString(char* out) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKeys[0], 0, KEY_READ, &key) != ERROR_SUCCESS &&
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, UninstallKeys[1], 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return 0;
  }
  char value[REGISTRY_TEXT_CAPACITY + 1];
  int found = 0;
  if (ReadRegistryText(key, kUninstallValue, value) && TakeFolderFromCommandLine(value)) {
    found = AcceptFolder(value, out);
  }
  RegCloseKey(key);
  return found;
}

// The documents folder the package records on the 9x family: the folder itself, no marker.
int FindFromDocLocation(char* out) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFallbackKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
  char value[REGISTRY_TEXT_CAPACITY + 1];
  int found = 0;
  if (ReadRegistryText(key, kFallbackValue, value)) {
    KeepQuotedPart(value);
    StripTrailingSeparator(value);
    found = AcceptFolder(value, out);
  }
  RegCloseKey(key);
  return found;
}

}  // namespace

int FindInstallDirectory(char* out) {
  // A registration that names no usable folder (empty, relative, a drive root, too long) is
  // treated like one without a marker: the 9x fallback may still find the folder.
  if (FindFromUninstallString(out)) return 1;
  if (!IsWin9xFamily(RunState.osKind)) return 0;
  return FindFromDocLocation(out);
}

int TakeFolderFromCommandLine(char* commandLine) {
  KeepQuotedPart(commandLine);
  for (unsigned i = 0; i < sizeof UninstallMarkers / sizeof UninstallMarkers[0]; ++i) {
    const char* marker = FindTextNoCase(commandLine, UninstallMarkers[i]);
    if (marker != NULL) {
      commandLine[marker - commandLine] = '\0';
      KeepFromLastDriveDesignator(commandLine);
      StripTrailingSeparator(commandLine);
      return 1;
    }
  }
  return 0;
}
