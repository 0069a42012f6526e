// Where the driver package put its own folder: read back from its uninstall registration, or on
// the 9x family from its documents-location setting.
#pragma once

#include <windows.h>

// FindTextNoCase and StripTrailingSeparator, which the discovery is made of.
#include "base/ansi_text.h"

// Size of the caller's buffer for the install folder: up to 259 characters and the terminator.
const int INSTALL_FOLDER_SIZE = MAX_PATH;

// Writes the install folder (no final backslash) to `out` and returns 1; returns 0 with `out`
// untouched when no usable folder is registered (see IsUsableFolder) or the folder registered
// cannot be the package's (see IsGuardedFolder).
int FindInstallDirectory(char* out);

// Turns an uninstall command line into the folder of the file it names, in place: the quoted
// part if there is one, cut where the first of the markers is found (in marker order), from its
// last drive designator after the first character on (an unquoted line names the uninstaller
// first), less one final backslash. 0 when no marker is found (the text is then the quoted part).
int TakeFolderFromCommandLine(char* commandLine);
