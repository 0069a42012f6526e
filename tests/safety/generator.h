// Installations of the driver package for the stand-in, generated from a seed: either Windows
// family and any known version, any mix of present and absent items, and hostile shapes
// everywhere (registry values that name odd folders, Start-menu trees with links to folders
// the tool must not touch, files in use, keys that refuse, paths near every limit), with canary
// files and keys beside everything the tool removes. The same seed gives the same machine.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "snapshot.h"
#include "winsim_shell.h"

namespace safety {

// splitmix64: small, fast, and the same sequence on every platform.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  int Below(int n) { return n <= 0 ? 0 : static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Percent(int p) { return Below(100) < p; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Below(static_cast<int>(items.size())))];
  }

 private:
  uint64_t state_;
};

struct Machine {
  uint64_t seed = 0;
  int osKind = 0;
  // What the system reports ("" when the call fails: the stand-in then answers 0).
  std::string windowsDir;
  std::string systemDir;
  struct ShellFolder {
    int csidl;
    winsim::ShellFolderState state;
    std::string path;
  };
  // CSIDL 23, 2, 24, 7 (the plans' folders) in this order, then every other shell folder this
  // family's shell knows: 11, 16, 5, 22, 25, and on the NT family 0x26, 0x2b, 0x2e.
  std::vector<ShellFolder> shellFolders;
  // Folders of other programs and of the user (canary folders among them): nothing in them is
  // ever the package's, whatever a registry value says.
  std::vector<std::string> foreignFolders;
  DiskKnowledge disk;
  // Links by their real path (generator's own record), for RealPath.
  std::vector<std::pair<std::string, std::string>> links;
  // Entries that resist removal (held open by another process, access denied): canonical keys.
  std::set<std::string> hostileEntries;
  // Registry keys that refuse opening with some rights, or their deletion: KeyId.
  std::map<std::string, REGSAM> deniedKeys;
  std::set<std::string> undeletableKeys;
  struct Value {
    HKEY root;
    std::string key;
    std::string name;
  };
  std::vector<Value> values;       // every value the machine was given
  std::vector<std::string> notes;  // what the generator chose, for a failure message
  // The hostile shapes that are really on the machine, as the stand-in's test side read them
  // back after making them (a subset of the notes).
  std::vector<std::string> made;

  // The real path of `path`: links the generator made are replaced by their targets.
  std::string RealPath(const std::string& path) const;
  // The canonical key of a real path (see snapshot.h).
  static std::string KeyOf(const std::string& realPath);
  std::string Describe() const;
};

// A random machine.
Machine Generate(uint64_t seed);
// A complete installation of the family of `osKind` with a few hostile touches that make a run
// use every kind of call it can make (a file in use, a folder link in the Start menu, an
// unshowable name, protected files, a rename file): the machine of the fault sweep.
Machine GenerateFull(int osKind);

// Sets the version that DetectOsKind classifies as `osKind`.
void SetWindowsVersion(int osKind);

}  // namespace safety
