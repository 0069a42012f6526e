// Removing one folder, optionally with its files or its whole subtree, as one status.
#pragma once

#include <windows.h>

#include "base/removal_status.h"

// "." or "..", the entries every listing of a folder starts with.
BOOL IsDotEntry(const char* name);

// `folder`, a backslash and `name` in the MAX_PATH buffer `workPath`; false when they do not fit.
BOOL ComposeChildPath(const char* folder, const char* name, char* workPath);

// What a listing of a folder found: every entry passed the test, one did not, or the folder
// could not be listed whole (no search started, or the listing broke off): it may hold anything.
enum ListingResult { ListingPassed, ListingRefused, ListingBroken };
typedef BOOL (*EntryTest)(const WIN32_FIND_DATAA& entry, const void* context);

// Lists `folder`, "." and ".." left out, and asks `test` of each entry until one is refused.
// `*passed`: how many entries passed.
ListingResult ListFolder(const char* folder, EntryTest test, const void* context, int* passed);

// allowNonEmpty clear: only an existing, empty folder is removed. Set: its entries go first;
// subfolders are removed in turn only when `recurse` is set. Returns StatusDeleted,
// StatusNoFolder, StatusNoFile or StatusError.
RemovalStatus RemoveDirectoryTree(const char* path, BOOL allowNonEmpty, BOOL recurse);
