// The test side of the stand-in's shell: which special folders a machine has, where they are,
// and how the program used the shell's task allocator. The program never includes this header.
#pragma once

#include <string>

namespace winsim {

// How SHGetSpecialFolderLocation and SHGetPathFromIDListA answer for one CSIDL.
enum class ShellFolderState {
  Resolvable,  // a location and a path (the default for every folder the family's shell knows)
  NoLocation,  // SHGetSpecialFolderLocation fails: the system has no such folder
  NoPath,      // a location is given, but SHGetPathFromIDListA fails for it
};

// Gives `csidl` the path `path` (code page 932, no final backslash) and makes it resolvable.
void SetShellFolderPath(int csidl, const std::string& path);
void SetShellFolderState(int csidl, ShellFolderState state);

// The path that `csidl` resolves to on this machine: the one a test set, otherwise the default
// of the family the version says (9x: under C:\WINDOWS, documents in C:\My Documents, no Program
// Files or Common Files; NT: under C:\Documents and Settings, and C:\Program Files). "" for a
// folder the stand-in does not know on that family.
std::string ShellFolderPath(int csidl);

// How the program used the allocator since the last Reset.
int ShellAllocatorFreeCalls();     // IMalloc::Free, of any block
int ShellAllocatorReleaseCalls();  // IMalloc::Release
// Frees of a block the shell never handed out or had already been freed, and item lists handed
// to SHGetPathFromIDListA that are not live: each is a fault of the caller.
int ShellMisuses();

}  // namespace winsim
