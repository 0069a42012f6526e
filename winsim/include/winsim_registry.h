// The test side of the stand-in's registry: set-up that bypasses the API (no calls counted, no
// handles opened), keys that refuse access or deletion, and read-back of the whole tree.
// Paths are ANSI (CP932) with backslashes between levels, split as the registry splits them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace winsim {

// Creates `path` under `root` with any missing parents (case kept as written).
void CreateKey(HKEY root, const std::string& path);
// Creates the key if needed and sets the value `name` ("" for the default value) to `bytes`.
void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& bytes);
// A REG_SZ value: `text` and its terminator.
void SetStringValue(HKEY root, const std::string& path, const std::string& name, const std::string& text);

// From now on, opening the key with any right in `access` fails with ERROR_ACCESS_DENIED, as a
// key whose permissions withhold those rights does. False when the key does not exist.
bool DenyKeyAccess(HKEY root, const std::string& path, REGSAM access);
// From now on, RegDeleteKeyA of the key fails with ERROR_ACCESS_DENIED (it can still be opened
// with any access). False when the key does not exist.
bool DenyKeyDeletion(HKEY root, const std::string& path);

bool KeyExists(HKEY root, const std::string& path);
bool ValueExists(HKEY root, const std::string& path, const std::string& name);
// The bytes of a value, or "" when it does not exist.
std::string ValueBytes(HKEY root, const std::string& path, const std::string& name);

// Every key below `path` (the whole root when `path` is empty) and `path` itself, as paths from
// `root` with the names' own case, each parent before its children, siblings in enumeration
// order. Empty when `path` does not exist.
std::vector<std::string> KeyTree(HKEY root, const std::string& path = "");
// The whole registry as indented text (keys and values), for failure messages.
std::string DumpRegistry();

// Every handle passed to RegFlushKey since the last Reset, in call order, failed calls included.
const std::vector<HKEY>& FlushedKeys();

}  // namespace winsim
