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

extern const KeyEntry Win9xKeys[];
extern const int Win9xKeyCount;
extern const ValueEntry Win9xValues[];
extern const int Win9xValueCount;
extern const KeyEntry NtKeys[];
extern const int NtKeyCount;

// The short root name that opens every row text ("HLM\", "HCU\", "HU\"); "" for another root.
const char* RootPrefix(HKEY root);
