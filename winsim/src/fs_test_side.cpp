// The test side of the stand-in's file system (winsim_fs.h): building the disk without Win32
// calls, holding files open as another process, denying access, and reading back what is left.
#include <functional>

#include "fs_internal.h"
#include "winsim.h"
#include "winsim_fs.h"

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

void SetDriveType(char letter, UINT type) {
  AddDrive(letter);
  State().driveTypes[static_cast<char>(letter >= 'a' && letter <= 'z' ? letter - 0x20 : letter)] = type;
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

bool MakeUnrepresentableEntry(const std::string& folder, const std::string& shownName, const std::string& shortName,
                              bool isFolder) {
  NodeId parent = FollowLink(Find(folder));
  if (parent == 0 || !Get(parent)->IsFolder() || !IsValidShortName(shortName) || FindChild(parent, shortName) != 0) {
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
  WhenCalled(api, nth, std::move(action));
}

}  // namespace winsim
