// Removing registry key trees and single values, and flushing the registry to disk.
#pragma once

#include <windows.h>

#include "base/removal_status.h"

// Checks, without changing anything, that `subkey` and the chain of first subkeys below it can
// be opened for deletion: ERROR_NO_MORE_ITEMS at the bottom, otherwise the first failure code.
LONG ProbeKeyTree(HKEY root, const char* subkey);

// Deletes `subkey` and everything below it, children first: ERROR_SUCCESS or the first failure.
LONG DeleteKeyTree(HKEY root, const char* subkey);

// StatusDeleted, StatusNoKey or StatusError for the key `subkey` under `root` and its subtree.
RemovalStatus RemoveRegistryKey(HKEY root, const char* subkey);

// StatusDeleted, StatusNoValue or StatusError for the value `valueName` of `subkey`.
RemovalStatus RemoveRegistryValue(HKEY root, const char* subkey, const char* valueName);

// Flushes HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER; the results are not examined.
void FlushRegistryRoots();
