// Reading a registry value as text, as both file plans do: into a fixed buffer, always terminated.
#pragma once

#include <windows.h>

// What a value may hold to be read at all; a longer one fails the query.
const DWORD REGISTRY_TEXT_CAPACITY = 1024;

// Reads the value `name` of `key` into `value` (REGISTRY_TEXT_CAPACITY + 1 bytes) and terminates
// it, so a value stored without its terminator is still read in full. The type is not examined.
// 0 when the query fails.
int ReadRegistryText(HKEY key, const char* name, char* value);
