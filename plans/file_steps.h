// The steps both file plans are made of: a list of files under one folder, the Start-menu
// folders under a Programs folder, the shortcuts in a Startup folder, and the row that reports
// a missing install folder. Each step adds one row per item, after the item has been processed.
#pragma once

#include "plans/file_tables.h"
#include "plans/locations.h"

// Deletes (or defers) each entry of `table` under `base`: 1, or 0 after the buffer-error box when
// the length guard refuses an entry (the rows added so far stay). With `deferred`, bit i tells
// that entry i (of the first 32) was put off until restart.
int RemoveListedFiles(char* pathBuffer, const char* base, const FileTable* table, SeparatorMode mode,
                      DWORD* deferred = nullptr);

// The install folder's own row, after its files: the folder goes when it is empty (nothing below
// it is entered). When it holds nothing but files of `files` that this run put off until restart
// (bits of `deferred`, as RemoveListedFiles gives them: the running Remove.exe), it is put off
// too, after them, where the system takes folders (the delayed-move service; the 9x family's
// rename file takes none). Anything else in it keeps it, and the row says so.
void RemoveInstallFolder(const char* installFolder, const FileTable* files, DWORD deferred);

// Removes each folder of `table`, contents and subfolders included, under the shell folder
// `csidl`; a folder the shell cannot resolve skips the step. 1, or 0 after the buffer-error box.
int RemoveMenuFolders(char* pathBuffer, int csidl, const FileTable* table);

// Deletes (or defers) each shortcut of `table` in the shell folder `csidl`, if it resolves.
void RemoveStartupShortcuts(char* pathBuffer, int csidl, const FileTable* table);

// The "install folder" row with StatusDetectError.
void AddInstallFolderNotFoundRow();
