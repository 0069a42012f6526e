// The steps both file plans are made of: a list of files under one folder, the Start-menu
// folders under a Programs folder, the shortcuts in a Startup folder, and the row that reports
// a missing install folder. Each step adds one row per item, after the item has been processed.
#pragma once

#include "plans/file_tables.h"
#include "plans/locations.h"

// Deletes (or defers) each entry of `table` under `base`: 1, or 0 after the buffer-error box when
// the length guard refuses an entry (the rows added so far stay).
int RemoveListedFiles(char* pathBuffer, const char* base, const FileTable* table, SeparatorMode mode);

// Removes each folder of `table`, contents and subfolders included, under the shell folder
// `csidl`; a folder the shell cannot resolve skips the step. 1, or 0 after the buffer-error box.
int RemoveMenuFolders(char* pathBuffer, int csidl, const FileTable* table);

// Deletes (or defers) each shortcut of `table` in the shell folder `csidl`, if it resolves.
void RemoveStartupShortcuts(char* pathBuffer, int csidl, const FileTable* table);

// The "install folder" row with StatusDetectError.
void AddInstallFolderNotFoundRow();
