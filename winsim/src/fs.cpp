// The stand-in's file system, part one: the tree of drives, folders and files, how paths and
// names are read (the rules the Win32 calls share), open files and views, and the test side.
// The Win32 calls themselves are in fs_entries.cpp, fs_search.cpp and fs_handles.cpp.
#include <algorithm>
#include <cstring>

#include "fs_internal.h"
#include "modules.h"
#include "winsim.h"
#include "winsim_fs.h"

namespace winsim::fs {

FsState& State() {
  static FsState state;
  return state;
}

bool Enter(const char* api, DWORD* error) {
  FsState& s = State();
  if (!s.inHook) {
    // Collect first: an action may add hooks of its own.
    std::vector<std::function<void()>> due;
    for (Hook& hook : s.hooks) {
      if (hook.api == api && hook.remaining > 0 && --hook.remaining == 0) due.push_back(hook.action);
    }
    s.inHook = true;
    for (auto& action : due) action();
    s.inHook = false;
  }
  return InjectedFailure(api, error);
}

// ---- names ----

bool IsLead(unsigned char b) { return IsLeadByte(b); }

namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 0x20 : c; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Bytes of `s` up to `limit`, never cutting a double-byte character in two.
std::string CutAt(const std::string& s, size_t limit) {
  size_t i = 0;
  while (i < s.size()) {
    size_t step = (IsLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
    if (i + step > limit) break;
    i += step;
  }
  return s.substr(0, i);
}

// Characters that a long name may hold but a short name may not.
bool IsShortNameOnlyInvalid(unsigned char c) { return std::strchr("+,;=[] ", c) != nullptr; }

}  // namespace

std::string UpperName(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsLead(c) && i + 1 < name.size()) {
      out += name[i];
      out += name[++i];  // a trail byte is never folded: it would turn one character into another
    } else {
      out += static_cast<char>(FoldAscii(c));
    }
  }
  return out;
}

bool SameName(const std::string& a, const std::string& b) { return UpperName(a) == UpperName(b); }

bool IsValidShortName(const std::string& name) {
  if (name == "." || name == "..") return true;
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsLead(c) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (c == '.') {
      if (dot != std::string::npos) return false;
      dot = i;
    } else if (IsShortNameOnlyInvalid(c)) {
      return false;
    }
  }
  size_t baseLength = dot == std::string::npos ? name.size() : dot;
  size_t extLength = dot == std::string::npos ? 0 : name.size() - dot - 1;
  return baseLength >= 1 && baseLength <= 8 && extLength <= 3 &&
         (dot == std::string::npos || extLength > 0);
}

std::string MakeShortName(NodeId folder, const std::string& name) {
  if (IsValidShortName(name)) return "";
  size_t dot = name.rfind('.');
  std::string base = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
  std::string ext = (dot == std::string::npos || dot == 0) ? "" : name.substr(dot + 1);
  auto clean = [](const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (IsLead(c) && i + 1 < s.size()) {
        out += s[i];
        out += s[++i];
      } else if (c == '.' || c == ' ') {
        continue;
      } else if (IsShortNameOnlyInvalid(c)) {
        out += '_';
      } else {
        out += static_cast<char>(FoldAscii(c));
      }
    }
    return out;
  };
  base = clean(base);
  ext = CutAt(clean(ext), 3);
  if (base.empty()) base = "_";
  const Node* parent = Get(folder);
  for (int k = 1; k < 1000000; ++k) {
    std::string tail = "~" + std::to_string(k);
    std::string candidate = CutAt(base, std::min<size_t>(6, 8 - tail.size())) + tail;
    if (!ext.empty()) candidate += "." + ext;
    bool taken = false;
    if (parent != nullptr) {
      for (NodeId id : parent->children) {
        const Node* n = Get(id);
        if (SameName(n->shortName, candidate) || (!n->unrepresentable && SameName(n->name, candidate))) {
          taken = true;
          break;
        }
      }
    }
    if (!taken) return candidate;
  }
  return "";
}

// ---- paths ----

// Simplification: only absolute paths with a drive letter are understood; the stand-in has no
// current folder, so relative, drive-relative and UNC paths give ERROR_BAD_PATHNAME.
DWORD ParsePath(const char* path, bool wildcardsInLast, bool apiLimit, ParsedPath* out) {
  *out = ParsedPath();
  if (path == nullptr || path[0] == '\0') return ERROR_PATH_NOT_FOUND;
  size_t n = std::strlen(path);
  // The ANSI calls convert the path into a buffer of MAX_PATH characters.
  if (apiLimit && n >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
  unsigned char letter = FoldAscii(static_cast<unsigned char>(path[0]));
  if (letter < 'A' || letter > 'Z' || path[1] != ':') return ERROR_BAD_PATHNAME;
  if (path[2] != '\0' && !IsSeparator(path[2])) return ERROR_BAD_PATHNAME;
  out->drive = static_cast<char>(letter);

  std::vector<std::string> raw;
  std::string current;
  bool lastWasSeparator = false;
  for (size_t i = 2; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    lastWasSeparator = false;
    if (IsLead(c) && i + 1 < n) {  // a trail byte may be 0x5C and is no separator then
      current += path[i];
      current += path[++i];
    } else if (IsSeparator(static_cast<char>(c))) {
      if (!current.empty()) raw.push_back(current);
      current.clear();
      lastWasSeparator = true;
    } else {
      current += static_cast<char>(c);
    }
  }
  if (!current.empty()) raw.push_back(current);
  out->trailingSeparator = lastWasSeparator && !raw.empty();

  for (size_t k = 0; k < raw.size(); ++k) {
    std::string part = raw[k];
    bool last = k + 1 == raw.size();
    for (size_t i = 0; i < part.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(part[i]);
      if (IsLead(c) && i + 1 < part.size()) {
        ++i;
        continue;
      }
      if (c < 0x20 || std::strchr("<>:\"|", c) != nullptr) return ERROR_INVALID_NAME;
      if ((c == '*' || c == '?') && !(last && wildcardsInLast)) return ERROR_INVALID_NAME;
    }
    if (part == ".") continue;
    if (part == "..") {
      if (!out->parts.empty()) out->parts.pop_back();
      continue;
    }
    // Win32 drops trailing dots and blanks of every component.
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (part.empty()) continue;
    if (part.size() > 255) return ERROR_INVALID_NAME;
    out->parts.push_back(part);
  }
  return 0;
}

Node* Get(NodeId id) {
  auto it = State().nodes.find(id);
  return it == State().nodes.end() ? nullptr : &it->second;
}

NodeId FindChild(NodeId folder, const std::string& name) {
  const Node* f = Get(folder);
  if (f == nullptr) return 0;
  std::string wanted = UpperName(name);
  for (NodeId id : f->children) {
    const Node* n = Get(id);
    if (!n->unrepresentable && UpperName(n->name) == wanted) return id;
    if (!n->shortName.empty() && UpperName(n->shortName) == wanted) return id;
  }
  return 0;
}

NodeId FollowLink(NodeId node) {
  static int depth = 0;
  for (int hops = 0; hops < 8; ++hops) {
    const Node* n = Get(node);
    if (n == nullptr || n->detached) return 0;
    if (!n->IsLink()) return node;
    if (depth > 8) return 0;  // links that lead into each other
    ParsedPath target;
    Resolved r;
    ++depth;
    DWORD e = ParsePath(n->linkTarget.c_str(), false, false, &target);
    if (e == 0) e = Resolve(target, &r);
    --depth;
    if (e != 0 || r.node == 0) return 0;
    node = r.node;
  }
  return 0;
}

DWORD Resolve(const ParsedPath& path, Resolved* out) {
  *out = Resolved();
  auto drive = State().drives.find(path.drive);
  if (drive == State().drives.end()) return ERROR_PATH_NOT_FOUND;
  NodeId folder = drive->second;
  if (path.parts.empty()) {
    out->node = folder;
    return 0;
  }
  for (size_t i = 0; i + 1 < path.parts.size(); ++i) {
    NodeId child = FindChild(folder, path.parts[i]);
    if (child == 0) return ERROR_PATH_NOT_FOUND;
    out->chain.push_back(child);
    NodeId inside = FollowLink(child);
    if (inside == 0 || !Get(inside)->IsFolder()) return ERROR_PATH_NOT_FOUND;
    folder = inside;
  }
  out->parent = folder;
  out->leaf = path.parts.back();
  out->node = FindChild(folder, out->leaf);
  if (out->node != 0) out->chain.push_back(out->node);
  return 0;
}

DWORD Locate(const char* path, bool apiLimit, bool missingIsError, Resolved* out) {
  ParsedPath parsed;
  DWORD e = ParsePath(path, false, apiLimit, &parsed);
  if (e == 0) e = Resolve(parsed, out);
  if (e != 0) return e;
  if (out->node == 0) return missingIsError ? ERROR_FILE_NOT_FOUND : 0;
  // "name\" names a folder; after a file it is not a valid name.
  if (parsed.trailingSeparator && !Get(out->node)->IsFolder()) return ERROR_INVALID_NAME;
  return 0;
}

// ---- the tree ----

NodeId AddNode(NodeId folder, const std::string& name, DWORD attributes) {
  FsState& s = State();
  NodeId id = s.nextNode++;
  Node node;
  node.parent = folder;
  node.name = name;
  node.attributes = attributes;
  node.shortName = MakeShortName(folder, name);
  s.nodes[id] = node;
  Get(folder)->children.push_back(id);
  return id;
}

void Detach(NodeId id) {
  Node* n = Get(id);
  if (n == nullptr || n->detached) return;
  if (Node* parent = Get(n->parent)) {
    auto& c = parent->children;
    c.erase(std::remove(c.begin(), c.end(), id), c.end());
  }
  n->detached = true;
  for (NodeId child : std::vector<NodeId>(n->children)) Detach(child);
}

std::vector<NodeId> ListingOf(NodeId folder) {
  std::vector<NodeId> list = Get(folder)->children;
  switch (static_cast<ListingOrder>(State().listingOrder)) {
    case ListingOrder::Creation:
      break;
    case ListingOrder::ReverseCreation:
      std::reverse(list.begin(), list.end());
      break;
    case ListingOrder::ByName:
      std::stable_sort(list.begin(), list.end(), [](NodeId a, NodeId b) {
        return UpperName(Get(a)->name) < UpperName(Get(b)->name);
      });
      break;
  }
  return list;
}

DWORD ReportedAttributes(const Node& node) {
  return node.attributes == 0 ? FILE_ATTRIBUTE_NORMAL : node.attributes;
}

// ---- open files and views ----

namespace {
DWORD DataAccess(DWORD access) {
  if (access & GENERIC_ALL) access |= GENERIC_READ | GENERIC_WRITE;
  return access & (GENERIC_READ | GENERIC_WRITE | DELETE);
}
}  // namespace

// Windows checks sharing only for openings that ask for data or delete access.
bool SharingAllows(NodeId node, DWORD access, DWORD share) {
  access = DataAccess(access);
  if (access == 0) return true;
  for (const auto& entry : State().opens) {
    const OpenFile& o = entry.second;
    if (o.node != node) continue;
    DWORD theirs = DataAccess(o.access);
    if ((access & GENERIC_READ) && !(o.share & FILE_SHARE_READ)) return false;
    if ((access & GENERIC_WRITE) && !(o.share & FILE_SHARE_WRITE)) return false;
    if ((access & DELETE) && !(o.share & FILE_SHARE_DELETE)) return false;
    if ((theirs & GENERIC_READ) && !(share & FILE_SHARE_READ)) return false;
    if ((theirs & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return false;
    if ((theirs & DELETE) && !(share & FILE_SHARE_DELETE)) return false;
  }
  return true;
}

int OpenNode(NodeId node, DWORD access, DWORD share) {
  FsState& s = State();
  int id = s.nextOpen++;
  OpenFile o;
  o.node = node;
  o.access = DataAccess(access);
  o.share = share;
  o.refs = 1;
  s.opens[id] = o;
  return id;
}

void ReleaseOpen(int id) {
  auto it = State().opens.find(id);
  if (it != State().opens.end() && --it->second.refs <= 0) State().opens.erase(it);
}

namespace {
NodeId NodeOfView(const View& v) {
  auto m = State().mappings.find(v.mapping);
  if (m == State().mappings.end()) return 0;
  auto o = State().opens.find(m->second.open);
  return o == State().opens.end() ? 0 : o->second.node;
}
}  // namespace

// Simplification: a view has memory of its own, kept in step with the file whenever the file
// is read or written through a call; two views of one file do not see each other's writes
// before one of them is unmapped.
void FlushViews(NodeId node) {
  for (auto& entry : State().views) {
    View& v = entry.second;
    if (v.writable && NodeOfView(v) == node) {
      WriteBytes(*Get(node), v.offset, v.buffer.data(), v.buffer.size());
    }
  }
}

void RefreshViews(NodeId node) {
  for (auto& entry : State().views) {
    View& v = entry.second;
    if (NodeOfView(v) != node) continue;
    for (size_t i = 0; i < v.buffer.size(); ++i) v.buffer[i] = ByteAt(*Get(node), v.offset + i);
  }
}

bool HasViews(NodeId node) {
  for (auto& entry : State().views) {
    if (NodeOfView(entry.second) == node) return true;
  }
  return false;
}

char ByteAt(const Node& node, uint64_t offset) {
  return offset < node.bytes.size() ? node.bytes[offset] : '\0';
}

bool WriteBytes(Node& node, uint64_t offset, const char* data, size_t count) {
  if (offset + count > kStoreLimit) return false;
  if (node.bytes.size() < offset + count) {
    // Bytes between the stored part and the length read as zero, so storing them changes nothing.
    node.bytes.resize(offset + count, '\0');
  }
  if (count > 0) std::memcpy(&node.bytes[offset], data, count);
  node.length = std::max<uint64_t>(node.length, offset + count);
  return true;
}

void SetLength(Node& node, uint64_t length) {
  if (length < node.bytes.size()) node.bytes.resize(length);
  node.length = length;
}

HANDLE NewHandle(HandleKind kind, int object) {
  FsState& s = State();
  HANDLE h = reinterpret_cast<HANDLE>(s.nextHandle);
  s.nextHandle += 4;  // handles are never reused within a run, so a stale one is always caught
  s.handles[h] = HandleEntry{kind, object};
  return h;
}

}  // namespace winsim::fs

// ---- start state ----

namespace winsim::detail {
void ResetFileSystem() {
  using namespace winsim::fs;
  State() = FsState();
  AddDrive('C');
  // Both system folders exist, as on the NT family (which keeps an old SYSTEM folder too); the
  // one reported follows the version the test sets.
  MakeFolder("C:\\WINDOWS\\SYSTEM32");
  MakeFolder("C:\\WINDOWS\\SYSTEM");
}
}  // namespace winsim::detail

// ---- the test side ----

namespace winsim {

using namespace fs;

// Simplification: a root reports FILE_ATTRIBUTE_DIRECTORY alone (an NTFS root adds hidden and
// system).
void AddDrive(char letter) {
  FsState& s = State();
  char upper = static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 0x20 : letter);
  if (s.drives.count(upper)) return;
  NodeId id = s.nextNode++;
  Node root;
  root.name = std::string(1, upper) + ":";
  root.attributes = FILE_ATTRIBUTE_DIRECTORY;
  s.nodes[id] = root;
  s.drives[upper] = id;
}

namespace {
// The folder for a new entry at `path`, made with the folders on the way when `makeParents`.
NodeId PrepareParent(const std::string& path, bool makeParents, std::string* leaf) {
  ParsedPath p;
  if (ParsePath(path.c_str(), false, false, &p) != 0 || p.parts.empty()) return 0;
  auto drive = State().drives.find(p.drive);
  if (drive == State().drives.end()) return 0;
  NodeId folder = drive->second;
  for (size_t i = 0; i + 1 < p.parts.size(); ++i) {
    NodeId child = FindChild(folder, p.parts[i]);
    if (child == 0) {
      if (!makeParents) return 0;
      child = AddNode(folder, p.parts[i], FILE_ATTRIBUTE_DIRECTORY);
    }
    folder = FollowLink(child);
    if (folder == 0 || !Get(folder)->IsFolder()) return 0;
  }
  *leaf = p.parts.back();
  return folder;
}

NodeId Find(const std::string& path) {
  Resolved r;
  return Locate(path.c_str(), false, true, &r) == 0 ? r.node : 0;
}
}  // namespace

bool MakeFolder(const std::string& path) {
  std::string leaf;
  NodeId folder = PrepareParent(path, true, &leaf);
  if (folder == 0) return false;
  NodeId existing = FindChild(folder, leaf);
  if (existing != 0) return Get(existing)->IsFolder();
  AddNode(folder, leaf, FILE_ATTRIBUTE_DIRECTORY);
  return true;
}

bool MakeFile(const std::string& path, const std::string& bytes, DWORD attributes) {
  std::string leaf;
  NodeId folder = PrepareParent(path, true, &leaf);
  if (folder == 0 || FindChild(folder, leaf) != 0) return false;
  NodeId id = AddNode(folder, leaf, attributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  Node* n = Get(id);
  n->bytes = bytes;
  n->length = bytes.size();
  return true;
}

bool MakeUnrepresentableEntry(const std::string& folder, const std::string& shownName,
                              const std::string& shortName, bool isFolder) {
  NodeId parent = FollowLink(Find(folder));
  if (parent == 0 || !Get(parent)->IsFolder() || !IsValidShortName(shortName) ||
      FindChild(parent, shortName) != 0) {
    return false;
  }
  NodeId id = AddNode(parent, shownName, isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
  Get(id)->unrepresentable = true;
  Get(id)->shortName = shortName;
  return true;
}

bool MakeDirectoryLink(const std::string& link, const std::string& target) {
  std::string leaf;
  NodeId folder = PrepareParent(link, false, &leaf);
  if (folder == 0 || FindChild(folder, leaf) != 0) return false;
  NodeId id = AddNode(folder, leaf, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  Get(id)->linkTarget = target;
  return true;
}

bool SetShortName(const std::string& path, const std::string& shortName) {
  NodeId id = Find(path);
  if (id == 0 || !IsValidShortName(shortName)) return false;
  Get(id)->shortName = shortName;
  return true;
}

bool SetFileLength(const std::string& path, uint64_t length) {
  NodeId id = Find(path);
  if (id == 0 || Get(id)->IsFolder()) return false;
  SetLength(*Get(id), length);
  return true;
}

bool Remove(const std::string& path) {
  NodeId id = Find(path);
  if (id == 0 || Get(id)->parent == 0) return false;
  Detach(id);
  return true;
}

bool Exists(const std::string& path) { return Find(path) != 0; }

DWORD Attributes(const std::string& path) {
  NodeId id = Find(path);
  return id == 0 ? INVALID_FILE_ATTRIBUTES : ReportedAttributes(*Get(id));
}

std::string FileBytes(const std::string& path) {
  NodeId id = Find(path);
  if (id == 0) return "";
  FlushViews(id);
  const Node& n = *Get(id);
  std::string bytes = n.bytes;
  if (n.length <= kStoreLimit && n.length > bytes.size()) bytes.resize(n.length, '\0');
  return bytes;
}

uint64_t FileLength(const std::string& path) {
  NodeId id = Find(path);
  return id == 0 ? 0 : Get(id)->length;
}

std::vector<std::string> FolderEntries(const std::string& path) {
  std::vector<std::string> names;
  NodeId folder = FollowLink(Find(path));
  if (folder == 0 || !Get(folder)->IsFolder()) return names;
  for (NodeId id : ListingOf(folder)) names.push_back(Get(id)->name);
  return names;
}

void SetListingOrder(ListingOrder order) { State().listingOrder = static_cast<int>(order); }

int HoldFileOpen(const std::string& path, DWORD shareMode, DWORD access) {
  NodeId id = Find(path);
  if (id == 0 || Get(id)->IsFolder() || !SharingAllows(id, access, shareMode)) return 0;
  return OpenNode(id, access, shareMode);
}

void ReleaseFile(int id) { ReleaseOpen(id); }

bool DenyAccess(const std::string& path, unsigned denied) {
  NodeId id = Find(path);
  if (id == 0) return false;
  Get(id)->denied |= denied;
  return true;
}

void SetWindowsDirectory(const std::string& path) {
  State().windowsDirSet = true;
  State().windowsDir = path;
}

void SetSystemDirectory(const std::string& path) {
  State().systemDirSet = true;
  State().systemDir = path;
}

const std::vector<DelayedMove>& DelayedMoves() { return State().delayedMoves; }

void BeforeCall(const std::string& api, int nth, std::function<void()> action) {
  State().hooks.push_back(Hook{api, nth, std::move(action)});
}

}  // namespace winsim
