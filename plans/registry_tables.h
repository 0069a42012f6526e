// The registry locations the two registry plans remove, in the order they are removed.
#pragma once

#include <windows.h>

// A key to remove with everything below it: a predefined root and the path below it.
struct KeyEntry {
  HKEY root;
  const char* subkey;
};

// A single value to remove: its key, as in KeyEntry, and its name.
struct ValueEntry {
  HKEY root;
  const char* subkey;
  const char* valueName;
};

// An ordered list of keys, and one of values.
struct KeyTable {
  const KeyEntry* entries;
  int count;
};
struct ValueTable {
  const ValueEntry* entries;
  int count;
};

// What each registry plan removes, in the order it is removed.
struct Win9xRegistryTables {
  KeyTable keys;      // on Windows 95, 95 OSR2, 98 and Me
  ValueTable values;  // after the keys
};
struct NtRegistryTables {
  KeyTable keys;  // on Windows NT 4.0, 2000 and XP
};

extern const Win9xRegistryTables Win9xRegistryPlan;
extern const NtRegistryTables NtRegistryPlan;

// The short root name that opens every row text ("HLM\", "HCU\", "HU\"); "" for another root.
const char* RootPrefix(HKEY root);
