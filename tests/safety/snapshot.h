// What a machine holds, read through the stand-in's test side only (no Win32 call counted, no
// handle opened): every file, folder and link of its drives, every registry key and value. The
// oracle compares the snapshot taken before a run with the one taken after it.
//
// Identity: an entry is named by its canonical path, the path of folders it really lies in
// (never through a link), with ASCII letters folded to upper case and double-byte characters
// kept whole ("C:\WINDOWS\SYSTEM32\TABLET.CPL"). A path the program composes is mapped to that
// identity by Resolve, which reads it the way Windows does.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace safety {

// ---- names in code page 932 ----

bool IsLead(unsigned char b);
// ASCII letters to upper case; the second byte of a double-byte character is never folded.
std::string Fold(const std::string& name);
// Splits at "\" and "/" that are characters of their own (a trail byte 0x5C is not).
std::vector<std::string> SplitSeparators(const std::string& path, bool* leadingSeparator = nullptr,
                                         bool* trailingSeparator = nullptr);

// ---- the disk ----

struct DiskEntry {
  std::string path;       // real path with the names' own case (short names for unshowable ones)
  std::string longName;   // "" for an entry whose long name the code page cannot show
  std::string shortName;  // 8.3 alias as GetShortPathNameA reports it, "" when not asked or none
  DWORD attributes = 0;
  bool isFolder = false;
  bool isLink = false;
  std::string linkTarget;  // for a link: the folder it stands for, as the machine recorded it
  std::string bytes;       // for a file
  std::string parentKey;   // "" for a drive's root
};

// The knowledge a snapshot needs beyond what the test side lists: where links point and which
// entries have unshowable long names (reachable by their short names only).
struct DiskKnowledge {
  std::vector<char> drives;
  std::map<std::string, std::string> linkTargets;  // canonical key of the link -> target path
  struct Unshowable {
    std::string folderKey;  // canonical key of the folder it is in
    std::string shortName;
  };
  std::vector<Unshowable> unshowable;
};

class DiskSnapshot {
 public:
  // `withShortNames` asks GetShortPathNameA for every entry (counted as Win32 calls; only for
  // the snapshot before a run, where 8.3 paths of the machine must be understood).
  static DiskSnapshot Take(const DiskKnowledge& knowledge, bool withShortNames);

  const DiskEntry* Find(const std::string& key) const;
  bool Has(const std::string& key) const { return Find(key) != nullptr; }
  const std::map<std::string, DiskEntry>& Entries() const { return entries_; }
  std::vector<std::string> ChildrenOf(const std::string& key) const;
  // True when `key` is `ancestor` or lies below it (by real path, links not followed).
  static bool IsWithin(const std::string& key, const std::string& ancestor);

  // The canonical key that `path` names on this machine, read as Windows reads it: drive and
  // separators, "." and "..", trailing dots and blanks, letter case, links in the folders on the
  // way, 8.3 aliases. The last component is not followed when it is a link. "" when the path
  // names nothing reachable (relative, UNC, malformed, a folder on the way missing or a file).
  std::string Resolve(const std::string& path) const;
  // The keys of the entries `path` passes through, one per component as named (a link itself,
  // not its target), the last one included; empty when Resolve gives "".
  std::vector<std::string> ResolveChain(const std::string& path) const;
  // The 8.3 form of an existing `path` as GetShortPathNameA gave it on this machine: each
  // component by its alias where it has one. "" when the path names nothing here.
  std::string ShortForm(const std::string& path) const;

  std::string Describe() const;  // a listing for failure messages (UTF-8 names)

 private:
  std::string ResolveDepth(const std::string& path, int depth, std::vector<std::string>* chain) const;
  std::string ChildKey(const std::string& folderKey, const std::string& name) const;
  std::map<std::string, DiskEntry> entries_;
  std::map<std::string, std::vector<std::string>> children_;
};

// ---- the registry ----

struct RegistrySnapshot {
  // "HKLM\FOLDED\PATH" for every key of the three roots.
  std::set<std::string> keys;
  // "HKLM\FOLDED\PATH|[Name] type T, N bytes" for every value, as the stand-in lists them.
  std::set<std::string> values;
  static RegistrySnapshot Take();
};

std::string RootName(HKEY root);                          // "HKLM", "HKCU", "HKU"
std::string KeyId(HKEY root, const std::string& subkey);  // "HKLM\" + folded subkey, separators tidied

}  // namespace safety
