// The stand-in's file system: the openings behind file handles and the tests' held files, with
// Windows' sharing rules; the memory of mapped views kept in step with the files; a file's bytes
// as far as the host stores them; and the handle values.
#include <algorithm>
#include <cstring>

#include "fs_internal.h"

namespace winsim::fs {

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

char ByteAt(const Node& node, uint64_t offset) { return offset < node.bytes.size() ? node.bytes[offset] : '\0'; }

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
