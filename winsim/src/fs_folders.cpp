// The stand-in's file system: the calls on folders: making and removing one, shlwapi's
// PathIsDirectoryEmptyA, the process's current folder, the drive types, and the Windows and
// system folders the system reports. Results and
// error codes follow Windows (Wine's conformance tests in dlls/kernel32/tests/directory.c).
#include <shlwapi.h>

#include "fs_internal.h"
#include "modules.h"
#include "winsim.h"
#include "winsim_fs.h"

using namespace winsim::fs;

// Simplification: the NT family's lower limit for new folders (248 characters) is not applied;
// the MAX_PATH limit of every ANSI call is.
BOOL CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (Call call("CreateDirectoryA"); call.Failed()) return call.FailWithLastError(FALSE);
  ParsedPath p;
  Resolved r;
  DWORD e = ParsePath(path, false, true, &p);
  if (e == 0) e = Resolve(p, &r);
  if (e != 0) return Fail(e, FALSE);
  if (r.node != 0) return Fail(ERROR_ALREADY_EXISTS, FALSE);  // the root included
  if (Get(r.parent)->denied & winsim::DenyCreate) return Fail(ERROR_ACCESS_DENIED, FALSE);
  AddNode(r.parent, r.leaf, FILE_ATTRIBUTE_DIRECTORY);
  return TRUE;
}

// A folder link is removed as a link, whatever its target holds; the target stays.
BOOL RemoveDirectoryA(LPCSTR path) {
  if (Call call("RemoveDirectoryA"); call.Failed()) return call.FailWithLastError(FALSE);
  Resolved r;
  if (DWORD e = Locate(path, true, true, &r)) return Fail(e, FALSE);
  const Node& n = *Get(r.node);
  if (!n.IsFolder()) return Fail(ERROR_DIRECTORY, FALSE);
  if (n.IsRoot() || (n.denied & winsim::DenyDelete) || (n.attributes & FILE_ATTRIBUTE_READONLY)) {
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  }
  if (!n.IsLink() && !n.children.empty()) return Fail(ERROR_DIR_NOT_EMPTY, FALSE);
  // Simplification: the process's current folder is refused as Wine refuses it in every
  // version mode (Windows holds it open as the NT family does).
  if (r.node == State().currentFolder) return Fail(ERROR_SHARING_VIOLATION, FALSE);
  Detach(r.node);
  return TRUE;
}

BOOL SetCurrentDirectoryA(LPCSTR path) {
  if (Call call("SetCurrentDirectoryA"); call.Failed()) return call.FailWithLastError(FALSE);
  Resolved r;
  if (DWORD e = Locate(path, true, true, &r)) return Fail(e, FALSE);
  if (!Get(r.node)->IsFolder()) return Fail(ERROR_DIRECTORY, FALSE);
  State().currentFolder = r.node;
  return TRUE;
}

// "X:\\" only; a drive not set up is no root.
UINT GetDriveTypeA(LPCSTR rootPath) {
  if (Call call("GetDriveTypeA"); call.Failed()) return call.FailWithLastError(static_cast<UINT>(DRIVE_UNKNOWN));
  if (rootPath == nullptr || rootPath[0] == '\0' || rootPath[1] != ':' || rootPath[2] != '\\' || rootPath[3] != '\0') {
    return DRIVE_NO_ROOT_DIR;
  }
  const char letter = static_cast<char>(rootPath[0] >= 'a' && rootPath[0] <= 'z' ? rootPath[0] - 0x20 : rootPath[0]);
  if (State().drives.count(letter) == 0) return DRIVE_NO_ROOT_DIR;
  auto type = State().driveTypes.find(letter);
  return type == State().driveTypes.end() ? static_cast<UINT>(DRIVE_FIXED) : type->second;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  if (Call call("GetWindowsDirectoryA"); call.Failed()) return call.FailWithLastError(0u);
  return CopyOut(State().windowsDirSet ? State().windowsDir : "C:\\WINDOWS", buffer, size);
}

std::string winsim::detail::SystemFolder() {
  return State().systemDirSet        ? State().systemDir
         : winsim::IsWin9xPlatform() ? "C:\\WINDOWS\\SYSTEM"
                                     : "C:\\WINDOWS\\SYSTEM32";
}

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
  if (Call call("GetSystemDirectoryA"); call.Failed()) return call.FailWithLastError(0u);
  return CopyOut(winsim::detail::SystemFolder(), buffer, size);
}

// shlwapi: true only for an existing folder with nothing in it but "." and "..". A link is
// judged by its target, as a search through it would see it.
BOOL PathIsDirectoryEmptyA(LPCSTR path) {
  if (Call call("PathIsDirectoryEmptyA"); call.Failed()) return call.FailWithLastError(FALSE);
  Resolved r;
  if (DWORD e = Locate(path, true, true, &r)) return Fail(e, FALSE);
  NodeId folder = FollowLink(r.node);
  if (folder == 0) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
  const Node& n = *Get(folder);
  if (!n.IsFolder()) return Fail(ERROR_DIRECTORY, FALSE);
  if (n.denied & winsim::DenyList) return Fail(ERROR_ACCESS_DENIED, FALSE);
  return n.children.empty() ? TRUE : FALSE;
}
