// Where the driver package put its own folder: read back from its uninstall registration, or on
// the 9x family from its documents-location setting.
#pragma once

#include <windows.h>

// Size of the caller's buffer for the install folder: up to 259 characters and the terminator.
const int INSTALL_FOLDER_SIZE = MAX_PATH;

// Writes the install folder (no final backslash) to `out` and returns 1; returns 0 with `out`
// untouched when no usable folder is registered (see IsUsableFolder).
int FindInstallDirectory(char* out);

// Turns an uninstall command line into the folder of the file it names, in place: the quoted
// part if there is one, cut where the first of the markers is found (in marker order), less one
// final backslash. 0 when no marker is found (the text is then the quoted part).
int TakeFolderFromCommandLine(char* commandLine);

// The first occurrence of `pattern` in `text`, letters A-Z compared without case, every other
// byte as it is; null when there is none.
const char* FindTextNoCase(const char* text, const char* pattern);

// Removes one final backslash from `path`, never the second byte of a double-byte character;
// leaves the path alone when the code page cannot be described.
void StripTrailingSeparator(char* path);
