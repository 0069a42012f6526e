// Internal to the stand-in's file system: the tree of drives, folders and files, the objects
// behind file, mapping and search handles, and the path rules the Win32 calls share. The tree
// is in fs_tree.cpp, names and paths in fs_paths.cpp, open files and views in fs_open_files.cpp;
// the Win32 calls by area in fs_entries.cpp, fs_folders.cpp, fs_search.cpp and fs_handles.cpp.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "calls.h"
#include "winsim_fs.h"

namespace winsim::fs {

typedef uint64_t NodeId;  // 0 is "none"

struct Node {
  NodeId parent = 0;             // 0 for a drive's root
  bool detached = false;         // deleted while still open: no longer in any folder
  std::string name;              // long name, case preserved (ANSI bytes); "C:" for a root
  std::string shortName;         // 8.3 alias; "" when the long name is a valid short name itself
  bool unrepresentable = false;  // `name` is only how a search shows it; not usable in a path
  DWORD attributes = 0;
  std::string linkTarget;        // a directory link: the path of the folder it stands for
  std::vector<NodeId> children;  // in creation order
  std::string bytes;             // stored content; the file may be longer (zero bytes past it)
  uint64_t length = 0;
  unsigned denied = 0;  // winsim::Denied bits
  bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  bool IsLink() const { return !linkTarget.empty(); }
  bool IsRoot() const { return parent == 0 && !detached; }
};

// One opening of a file, shared by its handle and the mappings made from it (a mapping keeps
// the file open, with the opener's sharing, after the file handle is closed).
struct OpenFile {
  NodeId node = 0;
  DWORD access = 0;
  DWORD share = 0;
  uint64_t position = 0;
  int refs = 0;  // the handle (or a test's hold) plus every mapping made from it
};

struct Mapping {
  int open = 0;  // OpenFile id
  DWORD protect = 0;
  uint64_t size = 0;
  bool handleOpen = true;
  int views = 0;
};

struct View {
  HANDLE mapping = nullptr;
  uint64_t offset = 0;
  bool writable = false;
  std::vector<char> buffer;  // the view's memory; written back to the file when unmapped
};

struct SearchEntry {
  NodeId node;       // 0 for "." and ".."
  std::string dots;  // "." or ".." when node is 0
};
struct Search {
  NodeId folder = 0;
  std::vector<SearchEntry> entries;  // matching entries in listing order, taken at the start
  size_t next = 0;
};

enum class HandleKind { File, Mapping, Search };
struct HandleEntry {
  HandleKind kind;
  int object;  // OpenFile id for a file, Search id for a search; unused for a mapping
};

struct FsState {
  std::map<NodeId, Node> nodes;
  NodeId nextNode = 1;
  std::map<char, NodeId> drives;    // upper-case letter -> root
  std::map<char, UINT> driveTypes;  // upper-case letter -> GetDriveTypeA's answer, when not fixed
  NodeId currentFolder = 0;         // the process's current folder (0: the root of C:)
  std::map<int, OpenFile> opens;
  int nextOpen = 1;
  std::map<HANDLE, HandleEntry> handles;
  uintptr_t nextHandle = 0x40;
  std::map<HANDLE, Mapping> mappings;
  std::map<const void*, View> views;
  std::map<int, Search> searches;
  int nextSearch = 1;
  int listingOrder = 0;  // winsim::ListingOrder
  bool windowsDirSet = false, systemDirSet = false;
  std::string windowsDir, systemDir;
  std::vector<DelayedMove> delayedMoves;
};

FsState& State();

// From the stand-in's calls module: every Win32 call starts with a Call, the failure paths
// report through Fail, and handles are counted as acquired and released.
using detail::Acquired;
using detail::Call;
using detail::Fail;
using detail::Released;

// ---- names ----

bool IsLead(unsigned char b);
// Names compare without regard to the case of ASCII letters, as Windows compares them; the
// trail byte of a double-byte character is never folded.
bool SameName(const std::string& a, const std::string& b);
std::string UpperName(const std::string& name);
bool IsValidShortName(const std::string& name);
// A unique 8.3 alias for `name` among the entries of `folder`, or "" when the name needs none.
std::string MakeShortName(NodeId folder, const std::string& name);

// ---- paths ----

struct ParsedPath {
  char drive = 0;                  // upper-case letter
  std::vector<std::string> parts;  // components, "." and ".." resolved, trailing dots/blanks cut
  bool trailingSeparator = false;
};
// 0, or the code Windows gives for a malformed path. `wildcardsInLast` lets the last component
// hold "*" and "?" (a search pattern). `apiLimit` applies the ANSI calls' MAX_PATH limit.
DWORD ParsePath(const char* path, bool wildcardsInLast, bool apiLimit, ParsedPath* out);

struct Resolved {
  NodeId node = 0;            // the entry itself, or 0 when it does not exist
  NodeId parent = 0;          // the folder it is (or would be) in, links already followed
  std::string leaf;           // the last component as written
  std::vector<NodeId> chain;  // the entry of each component, as named (links not followed)
};
// Walks `path` through folders, following directory links on the way; the last component is
// not followed. 0, or ERROR_PATH_NOT_FOUND when a folder on the way is missing or is a file.
// A missing last component is not an error here (node = 0).
DWORD Resolve(const ParsedPath& path, Resolved* out);
// Parse and Resolve together; `missingIsError` turns a missing last component into
// ERROR_FILE_NOT_FOUND.
DWORD Locate(const char* path, bool apiLimit, bool missingIsError, Resolved* out);
// Copies `text` out as the ANSI calls that fill a caller's path buffer do: the length without
// the terminator when it fits, otherwise the size needed with the terminator and the buffer
// untouched.
UINT CopyOut(const std::string& text, LPSTR buffer, UINT size);
// The folder a link or folder stands for: the node itself, or its link's target (0 when the
// target is gone).
NodeId FollowLink(NodeId node);
NodeId FindChild(NodeId folder, const std::string& name);

// ---- the tree ----

Node* Get(NodeId id);
NodeId AddNode(NodeId folder, const std::string& name, DWORD attributes);
void Detach(NodeId id);  // takes the entry out of its folder (and the tree, with what is in it)
// Children in the listing order the test chose.
std::vector<NodeId> ListingOf(NodeId folder);
// The attributes a query reports: a file without any bit reports FILE_ATTRIBUTE_NORMAL.
DWORD ReportedAttributes(const Node& node);

// ---- open files ----

// Whether an opening with `access` and `share` may join the present openers of `node`.
bool SharingAllows(NodeId node, DWORD access, DWORD share);
int OpenNode(NodeId node, DWORD access, DWORD share);  // new OpenFile id with one reference
void ReleaseOpen(int id);
// Copies what open views hold into the file (before its bytes are read) ...
void FlushViews(NodeId node);
// ... and the file's bytes into the views (after they were written).
void RefreshViews(NodeId node);
bool HasViews(NodeId node);
char ByteAt(const Node& node, uint64_t offset);
// Writes into the stored bytes; false when the host's store limit would be passed.
bool WriteBytes(Node& node, uint64_t offset, const char* data, size_t count);
void SetLength(Node& node, uint64_t length);
const uint64_t kStoreLimit = 64u << 20;  // bytes a file may really hold in the stand-in

HANDLE NewHandle(HandleKind kind, int object);

}  // namespace winsim::fs
