// The stand-in's file system: the calls on one entry by its path: its attributes, deleting a
// file, and moving or renaming an entry (or leaving that to the restart). Results and error
// codes follow Windows (Wine's conformance tests in dlls/kernel32/tests/file.c show them).
#include <cstring>

#include "fs_internal.h"
#include "winsim.h"
#include "winsim_fs.h"

using namespace winsim::fs;

namespace {

const DWORD kSettableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | 0x1000 /* offline */ |
                                  0x2000 /* not content indexed */;

}  // namespace

DWORD GetFileAttributesA(LPCSTR path) {
  if (Call call("GetFileAttributesA"); call.Failed()) return call.FailWithLastError(INVALID_FILE_ATTRIBUTES);
  Resolved r;
  if (DWORD e = Locate(path, true, true, &r)) return Fail(e, INVALID_FILE_ATTRIBUTES);
  const Node& n = *Get(r.node);
  if (n.denied & winsim::DenyReadAttributes) return Fail(ERROR_ACCESS_DENIED, INVALID_FILE_ATTRIBUTES);
  return ReportedAttributes(n);  // a link reports its own attributes, not its target's
}

// The directory and reparse-point bits belong to the entry and cannot be set or cleared; a file
// left without any bit is FILE_ATTRIBUTE_NORMAL. Simplification: on a link the link's own
// attributes change.
BOOL SetFileAttributesA(LPCSTR path, DWORD attributes) {
  if (Call call("SetFileAttributesA"); call.Failed()) return call.FailWithLastError(FALSE);
  Resolved r;
  if (DWORD e = Locate(path, true, true, &r)) return Fail(e, FALSE);
  Node& n = *Get(r.node);
  if (n.denied & winsim::DenySetAttributes) return Fail(ERROR_ACCESS_DENIED, FALSE);
  DWORD kept = n.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
  DWORD set = attributes & kSettableAttributes;
  n.attributes = kept | set;
  if (n.attributes == 0) n.attributes = FILE_ATTRIBUTE_NORMAL;
  return TRUE;
}

// Simplification: a file opened with FILE_SHARE_DELETE leaves the folder at once (Windows keeps
// the name until the last handle is closed); its handles go on working.
BOOL DeleteFileA(LPCSTR path) {
  if (Call call("DeleteFileA"); call.Failed()) return call.FailWithLastError(FALSE);
  Resolved r;
  if (DWORD e = Locate(path, true, true, &r)) return Fail(e, FALSE);
  const Node& n = *Get(r.node);
  if (n.IsFolder()) return Fail(ERROR_ACCESS_DENIED, FALSE);  // folders and folder links alike
  if (n.denied & winsim::DenyDelete) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (n.attributes & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED, FALSE);
  // Windows 9x "deletes a file even if it is open for normal I/O or as a memory-mapped file":
  // only the NT family refuses a file another opener does not share for deletion.
  if (!winsim::IsWin9xPlatform() &&
      !SharingAllows(r.node, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    return Fail(ERROR_SHARING_VIOLATION, FALSE);
  }
  Detach(r.node);
  return TRUE;
}

// With MOVEFILE_DELAY_UNTIL_REBOOT the NT family records the request (Windows keeps it in the
// registry and does not look at the files now); the 9x family has no such service and fails
// with ERROR_CALL_NOT_IMPLEMENTED. Without it, an entry is renamed or moved on its drive;
// simplification: no copying between drives.
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags) {
  if (Call call("MoveFileExA"); call.Failed()) return call.FailWithLastError(FALSE);
  if (existing == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    if (winsim::IsWin9xPlatform()) return Fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (std::strlen(existing) >= MAX_PATH || (newName != nullptr && std::strlen(newName) >= MAX_PATH)) {
      return Fail(ERROR_FILENAME_EXCED_RANGE, FALSE);
    }
    State().delayedMoves.push_back(
        winsim::DelayedMove{existing, newName != nullptr ? newName : "", newName == nullptr, flags});
    return TRUE;
  }
  if (newName == nullptr) return DeleteFileA(existing);

  Resolved from;
  if (DWORD e = Locate(existing, true, true, &from)) return Fail(e, FALSE);
  ParsedPath toPath;
  Resolved to;
  DWORD e = ParsePath(newName, false, true, &toPath);
  if (e == 0) e = Resolve(toPath, &to);
  if (e != 0) return Fail(e, FALSE);
  Node& source = *Get(from.node);
  if (source.IsRoot() || (source.denied & winsim::DenyDelete)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!SharingAllows(from.node, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    return Fail(ERROR_SHARING_VIOLATION, FALSE);
  }
  for (NodeId up = to.parent; up != 0; up = Get(up)->parent) {
    if (up == from.node) return Fail(ERROR_ACCESS_DENIED, FALSE);  // into itself
  }
  NodeId fromRoot = from.node, toRoot = to.parent;
  while (Get(fromRoot)->parent != 0) fromRoot = Get(fromRoot)->parent;
  while (Get(toRoot)->parent != 0) toRoot = Get(toRoot)->parent;
  if (fromRoot != toRoot) return Fail(ERROR_NOT_SAME_DEVICE, FALSE);
  if (to.node != 0 && to.node != from.node) {
    const Node& target = *Get(to.node);
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS, FALSE);
    if (target.IsFolder() || (target.attributes & FILE_ATTRIBUTE_READONLY) ||
        !SharingAllows(to.node, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
      return Fail(ERROR_ACCESS_DENIED, FALSE);
    }
    Detach(to.node);
  }
  if (Node* oldParent = Get(source.parent)) {
    auto& c = oldParent->children;
    for (size_t i = 0; i < c.size(); ++i) {
      if (c[i] == from.node) {
        c.erase(c.begin() + static_cast<long>(i));
        break;
      }
    }
  }
  source.parent = to.parent;
  source.name = to.leaf;
  source.unrepresentable = false;
  source.shortName = MakeShortName(to.parent, to.leaf);
  Get(to.parent)->children.push_back(from.node);
  return TRUE;
}
