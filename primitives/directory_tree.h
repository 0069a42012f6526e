// Removing one folder, optionally with its files or its whole subtree, as one status.
#pragma once

#include <windows.h>

#include "base/removal_status.h"

// "." or "..", the entries every listing of a folder starts with.
BOOL IsDotEntry(const char* name);

// `folder`, a backslash and `name` in the MAX_PATH buffer `workPath`; false when they do not fit.
BOOL ComposeChildPath(const char* folder, const char* name, char* workPath);

// allowNonEmpty clear: only an existing, empty folder is removed. Set: its entries go first;
// subfolders are removed in turn only when `recurse` is set. Returns StatusDeleted,
// StatusNoFolder, StatusNoFile or StatusError.
RemovalStatus RemoveDirectoryTree(const char* path, BOOL allowNonEmpty, BOOL recurse);
