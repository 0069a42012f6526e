// The stand-in's file system: the calls on handles: opening files with their sharing rules,
// reading, writing, the file pointer and end, mappings and their views, CloseHandle. Every
// handle is counted as acquired and released, so a test can see that all were given back.
#include <cstring>

#include "fs_internal.h"
#include "modules.h"
#include "winsim.h"

using namespace winsim::fs;

namespace {

const DWORD kCreatableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;

// Views are placed at the allocation granularity, as MapViewOfFile requires of offsets.
const uint64_t kAllocationGranularity = 0x10000;

OpenFile* FileOf(HANDLE handle) {
  auto h = State().handles.find(handle);
  if (h == State().handles.end() || h->second.kind != HandleKind::File) return nullptr;
  auto o = State().opens.find(h->second.object);
  return o == State().opens.end() ? nullptr : &o->second;
}

DWORD Normalised(DWORD access) {
  if (access & GENERIC_ALL) access |= GENERIC_READ | GENERIC_WRITE;
  return access;
}

HANDLE OpenHandle(NodeId node, DWORD access, DWORD share) {
  int open = OpenNode(node, access, share);
  Acquired(winsim::Resource::File);
  return NewHandle(HandleKind::File, open);
}

}  // namespace

// Simplifications: a folder cannot be opened (as without FILE_FLAG_BACKUP_SEMANTICS); the
// flags other than the attributes are accepted and ignored.
HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
  if (Call call("CreateFileA"); call.Failed()) return call.FailWithLastError(INVALID_HANDLE_VALUE);
  access = Normalised(access);
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  Resolved r;
  if (DWORD e = Locate(path, true, false, &r)) return Fail(e, INVALID_HANDLE_VALUE);
  DWORD newAttributes = (flags & kCreatableAttributes) | FILE_ATTRIBUTE_ARCHIVE;

  if (r.node == 0) {
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
      return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    if (Get(r.parent)->denied & winsim::DenyCreate) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    NodeId id = AddNode(r.parent, r.leaf, newAttributes);
    SetLastError(ERROR_SUCCESS);
    return OpenHandle(id, access, shareMode);
  }

  Node& n = *Get(r.node);
  if (n.IsFolder()) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  if (disposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
  if (n.denied & winsim::DenyOpen) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
  if (disposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE)) {
    return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  if ((n.attributes & FILE_ATTRIBUTE_READONLY) && ((access & GENERIC_WRITE) || truncates)) {
    return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  // Overwriting a hidden or system file must keep those attributes.
  DWORD guarded = n.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (disposition == CREATE_ALWAYS && (newAttributes & guarded) != guarded) {
    return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  if (!SharingAllows(r.node, access, shareMode)) return Fail(ERROR_SHARING_VIOLATION, INVALID_HANDLE_VALUE);
  if (truncates) {
    if (HasViews(r.node) && n.length > 0) return Fail(ERROR_USER_MAPPED_FILE, INVALID_HANDLE_VALUE);
    SetLength(n, 0);
    if (disposition == CREATE_ALWAYS) n.attributes = newAttributes;
  }
  HANDLE h = OpenHandle(r.node, access, shareMode);
  SetLastError(disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

// Simplification: no overlapped reads or writes.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped) {
  if (Call call("ReadFile"); call.Failed()) return call.FailWithLastError(FALSE);
  OpenFile* o = FileOf(file);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (read == nullptr || overlapped != nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  if (!(o->access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  FlushViews(o->node);
  const Node& n = *Get(o->node);
  DWORD count = 0;
  char* out = static_cast<char*>(buffer);
  while (count < toRead && o->position < n.length) out[count++] = ByteAt(n, o->position++);
  *read = count;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped) {
  if (Call call("WriteFile"); call.Failed()) return call.FailWithLastError(FALSE);
  OpenFile* o = FileOf(file);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (written == nullptr || overlapped != nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *written = 0;
  if (!(o->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  FlushViews(o->node);
  if (!WriteBytes(*Get(o->node), o->position, static_cast<const char*>(buffer), toWrite)) {
    return Fail(ERROR_DISK_FULL, FALSE);
  }
  RefreshViews(o->node);
  o->position += toWrite;
  *written = toWrite;
  return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  if (Call call("GetFileSize"); call.Failed()) return call.FailWithLastError(INVALID_FILE_SIZE);
  OpenFile* o = FileOf(file);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  uint64_t length = Get(o->node)->length;
  if (sizeHigh != nullptr) *sizeHigh = static_cast<DWORD>(length >> 32);
  DWORD low = static_cast<DWORD>(length);
  // A true size whose low part looks like the failure value is told apart by the last error.
  if (low == INVALID_FILE_SIZE) SetLastError(NO_ERROR);
  return low;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  if (Call call("SetFilePointer"); call.Failed()) return call.FailWithLastError(INVALID_SET_FILE_POINTER);
  OpenFile* o = FileOf(file);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
  int64_t base;
  switch (method) {
    case FILE_BEGIN: base = 0; break;
    case FILE_CURRENT: base = static_cast<int64_t>(o->position); break;
    case FILE_END: base = static_cast<int64_t>(Get(o->node)->length); break;
    default: return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  }
  // Without a high part the distance is a signed 32-bit number.
  int64_t move = distanceHigh != nullptr
                     ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                            static_cast<uint32_t>(distance))
                     : static_cast<int64_t>(distance);
  int64_t position = base + move;
  if (position < 0) return Fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
  if (distanceHigh == nullptr && position > 0xFFFFFFFFll)
    return Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  o->position = static_cast<uint64_t>(position);
  if (distanceHigh != nullptr) *distanceHigh = static_cast<LONG>(o->position >> 32);
  DWORD low = static_cast<DWORD>(o->position);
  if (low == INVALID_SET_FILE_POINTER) SetLastError(NO_ERROR);
  return low;
}

// A file cannot be cut below what a mapped view shows (ERROR_USER_MAPPED_FILE).
BOOL SetEndOfFile(HANDLE file) {
  if (Call call("SetEndOfFile"); call.Failed()) return call.FailWithLastError(FALSE);
  OpenFile* o = FileOf(file);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(o->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  Node& n = *Get(o->node);
  if (o->position < n.length && HasViews(o->node)) return Fail(ERROR_USER_MAPPED_FILE, FALSE);
  SetLength(n, o->position);
  return TRUE;
}

// A mapping longer than a file opened for writing grows the file to that length with zero
// bytes. Simplifications: no page-file mappings (a file handle is required) and no names.
HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maxSizeHigh, DWORD maxSizeLow,
                          LPCSTR) {
  if (Call call("CreateFileMappingA"); call.Failed()) return call.FailWithLastError(static_cast<HANDLE>(nullptr));
  OpenFile* o = FileOf(file);
  if (o == nullptr) return Fail(ERROR_INVALID_HANDLE, static_cast<HANDLE>(nullptr));
  DWORD needed;
  if (protect == PAGE_READONLY) {
    needed = GENERIC_READ;
  } else if (protect == PAGE_READWRITE) {
    needed = GENERIC_READ | GENERIC_WRITE;
  } else {
    return Fail(ERROR_INVALID_PARAMETER, static_cast<HANDLE>(nullptr));
  }
  if ((o->access & needed) != needed) return Fail(ERROR_ACCESS_DENIED, static_cast<HANDLE>(nullptr));
  Node& n = *Get(o->node);
  uint64_t size = (static_cast<uint64_t>(maxSizeHigh) << 32) | maxSizeLow;
  if (size == 0) {
    if (n.length == 0) return Fail(ERROR_FILE_INVALID, static_cast<HANDLE>(nullptr));  // nothing to map
    size = n.length;
  }
  if (size > n.length) {
    if (protect == PAGE_READONLY) return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HANDLE>(nullptr));
    SetLength(n, size);
  }
  FsState& s = State();
  int open = s.handles[file].object;
  s.opens[open].refs++;  // the mapping keeps the file open, with its opener's sharing
  Mapping m;
  m.open = open;
  m.protect = protect;
  m.size = size;
  HANDLE h = NewHandle(HandleKind::Mapping, 0);
  s.mappings[h] = m;
  Acquired(winsim::Resource::Mapping);
  return h;
}

// Simplification: a view larger than the stand-in's store limit fails as a 32-bit process
// without that much address space would.
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes) {
  if (Call call("MapViewOfFile"); call.Failed()) return call.FailWithLastError(static_cast<LPVOID>(nullptr));
  FsState& s = State();
  auto h = s.handles.find(mapping);
  if (h == s.handles.end() || h->second.kind != HandleKind::Mapping) {
    return Fail(ERROR_INVALID_HANDLE, static_cast<LPVOID>(nullptr));
  }
  Mapping& m = s.mappings[mapping];
  bool writable = (access & FILE_MAP_WRITE) != 0;
  if (writable && m.protect != PAGE_READWRITE) return Fail(ERROR_ACCESS_DENIED, static_cast<LPVOID>(nullptr));
  uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
  if (offset % kAllocationGranularity != 0) return Fail(ERROR_MAPPED_ALIGNMENT, static_cast<LPVOID>(nullptr));
  if (offset >= m.size) return Fail(ERROR_ACCESS_DENIED, static_cast<LPVOID>(nullptr));
  uint64_t length = bytes != 0 ? bytes : m.size - offset;
  if (offset + length > m.size) return Fail(ERROR_ACCESS_DENIED, static_cast<LPVOID>(nullptr));
  if (length > kStoreLimit) return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<LPVOID>(nullptr));

  NodeId node = s.opens[m.open].node;
  FlushViews(node);
  View v;
  v.mapping = mapping;
  v.offset = offset;
  v.writable = writable;
  v.buffer.resize(length);
  const Node& n = *Get(node);
  for (uint64_t i = 0; i < length; ++i) v.buffer[i] = ByteAt(n, offset + i);
  void* address = v.buffer.data();
  s.views[address] = std::move(v);  // the vector's memory moves with it: the address stays
  m.views++;
  Acquired(winsim::Resource::View);
  return address;
}

BOOL UnmapViewOfFile(LPCVOID address) {
  if (Call call("UnmapViewOfFile"); call.Failed()) return call.FailWithLastError(FALSE);
  FsState& s = State();
  auto v = s.views.find(address);
  if (v == s.views.end()) return Fail(ERROR_INVALID_ADDRESS, FALSE);
  HANDLE mapping = v->second.mapping;
  Mapping& m = s.mappings[mapping];
  NodeId node = s.opens[m.open].node;
  if (v->second.writable) WriteBytes(*Get(node), v->second.offset, v->second.buffer.data(), v->second.buffer.size());
  s.views.erase(v);
  Released(winsim::Resource::View);
  if (--m.views == 0 && !m.handleOpen) {
    ReleaseOpen(m.open);
    s.mappings.erase(mapping);
  }
  return TRUE;
}

// Closes file and mapping handles; a search handle is closed with FindClose only.
BOOL CloseHandle(HANDLE handle) {
  if (Call call("CloseHandle"); call.Failed()) return call.FailWithLastError(FALSE);
  if (winsim::detail::CloseToken(handle)) return TRUE;
  FsState& s = State();
  auto h = s.handles.find(handle);
  if (h == s.handles.end() || h->second.kind == HandleKind::Search) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (h->second.kind == HandleKind::File) {
    ReleaseOpen(h->second.object);
    s.handles.erase(h);
    Released(winsim::Resource::File);
    return TRUE;
  }
  // A mapping lives on while views of it are mapped.
  s.handles.erase(h);
  Released(winsim::Resource::Mapping);
  Mapping& m = s.mappings[handle];
  m.handleOpen = false;
  if (m.views == 0) {
    ReleaseOpen(m.open);
    s.mappings.erase(handle);
  }
  return TRUE;
}
