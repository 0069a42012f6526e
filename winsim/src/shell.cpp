// The stand-in's shell folders: SHGetMalloc with a counted task allocator, item lists for the
// Start-menu, desktop, documents and program folders the program asks for, and their paths.
//
// Simplifications: an item list here is one opaque identifier naming the CSIDL, not a chain of
// shell item ids; SHGetPathFromIDListA does not check that the folder exists on disk (the real
// shell builds the list from the folder, so a test that needs the folder creates it).
#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "calls.h"
#include "modules.h"
#include "winsim.h"
#include "winsim_shell.h"

namespace winsim {
namespace {

const HRESULT kNoInterface = static_cast<HRESULT>(0x80004002L);  // E_NOINTERFACE
// What SHGetSpecialFolderLocation gives for a folder the system does not have.
const HRESULT kFolderMissing = static_cast<HRESULT>(0x80070002L);  // HRESULT_FROM_WIN32(2)

struct FolderSetting {
  ShellFolderState state = ShellFolderState::Resolvable;
  bool pathSet = false;
  std::string path;
};

struct ShellState {
  std::map<int, FolderSetting> folders;
  std::set<void*> itemLists;  // handed out by SHGetSpecialFolderLocation, not yet freed
  std::set<void*> blocks;     // handed out by IMalloc::Alloc, not yet freed
  int freeCalls = 0;
  int releaseCalls = 0;
  int misuses = 0;
};

ShellState& State() {
  static ShellState state;
  return state;
}

// The folders where Windows itself puts them: the 9x family keeps the Start menu and the desktop
// in the Windows folder (shared folders under "All Users") and the documents in "C:\My
// Documents"; the NT family keeps them in the user profiles. The shells of the 9x family know no
// Program Files, Common Files or shared documents folder (the registry names the first two).
// "" for a folder the shell of that family does not know.
std::string DefaultPath(int csidl) {
  const bool win9x = IsWin9xPlatform();
  const std::string allUsers = win9x ? "C:\\WINDOWS\\All Users" : "C:\\Documents and Settings\\All Users";
  const std::string user = win9x ? "C:\\WINDOWS" : "C:\\Documents and Settings\\User";
  const std::string startup = win9x ? "\\StartUp" : "\\Startup";
  switch (csidl) {
    case CSIDL_COMMON_PROGRAMS: return allUsers + "\\Start Menu\\Programs";
    case CSIDL_PROGRAMS: return user + "\\Start Menu\\Programs";
    case CSIDL_COMMON_STARTUP: return allUsers + "\\Start Menu\\Programs" + startup;
    case CSIDL_STARTUP: return user + "\\Start Menu\\Programs" + startup;
    case CSIDL_COMMON_STARTMENU: return allUsers + "\\Start Menu";
    case CSIDL_STARTMENU: return user + "\\Start Menu";
    case CSIDL_COMMON_DESKTOPDIRECTORY: return allUsers + "\\Desktop";
    case CSIDL_DESKTOPDIRECTORY: return user + "\\Desktop";
    case CSIDL_PERSONAL: return win9x ? "C:\\My Documents" : user + "\\My Documents";
    case CSIDL_COMMON_DOCUMENTS: return win9x ? "" : allUsers + "\\Documents";
    case CSIDL_PROGRAM_FILES: return win9x ? "" : "C:\\Program Files";
    case CSIDL_PROGRAM_FILES_COMMON: return win9x ? "" : "C:\\Program Files\\Common Files";
    default: return "";
  }
}

// A CSIDL the shell knows: one with a default location on this family, or one a test placed.
bool KnownFolder(int csidl) {
  auto it = State().folders.find(csidl);
  return !DefaultPath(csidl).empty() || (it != State().folders.end() && it->second.pathSet);
}

// An item list: the size of its one id, the CSIDL it names, and the terminating empty id.
struct StandInItemList {
  WORD cb;
  int csidl;
  WORD terminator;
};

// The task allocator: one shared object, as the shell's is. Every reference handed out by
// SHGetMalloc is counted as acquired and every Release as released.
struct TaskAllocator final : IMalloc {
  HRESULT QueryInterface(REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return kNoInterface;
  }
  ULONG AddRef() override {
    detail::Acquired(Resource::Allocator);
    return 2;
  }
  ULONG Release() override {
    State().releaseCalls++;
    detail::Released(Resource::Allocator);
    return 1;
  }
  void* Alloc(SIZE_T bytes) override {
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block != nullptr) State().blocks.insert(block);
    return block;
  }
  void* Realloc(void*, SIZE_T) override { return nullptr; }  // the program never reallocates
  void Free(void* block) override {
    ShellState& s = State();
    s.freeCalls++;
    if (block == nullptr) return;  // freeing nothing is allowed
    if (s.itemLists.erase(block) == 1) {
      detail::Released(Resource::ItemList);
    } else if (s.blocks.erase(block) != 1) {
      s.misuses++;  // never handed out, or freed twice: not touched
      return;
    }
    std::free(block);
  }
  SIZE_T GetSize(void*) override { return static_cast<SIZE_T>(-1); }
  int DidAlloc(void* block) override {
    return State().itemLists.count(block) + State().blocks.count(block) != 0 ? 1 : 0;
  }
  void HeapMinimize() override {}
};

TaskAllocator& Allocator() {
  static TaskAllocator allocator;
  return allocator;
}

}  // namespace

namespace detail {
void ResetShell() {
  ShellState& s = State();
  for (void* list : s.itemLists) std::free(list);
  for (void* block : s.blocks) std::free(block);
  s = ShellState();
}
}  // namespace detail

void SetShellFolderPath(int csidl, const std::string& path) {
  FolderSetting& f = State().folders[csidl];
  f.state = ShellFolderState::Resolvable;
  f.pathSet = true;
  f.path = path;
}

void SetShellFolderState(int csidl, ShellFolderState state) { State().folders[csidl].state = state; }

std::string ShellFolderPath(int csidl) {
  auto it = State().folders.find(csidl);
  if (it != State().folders.end() && it->second.pathSet) return it->second.path;
  return DefaultPath(csidl);
}

int ShellAllocatorFreeCalls() { return State().freeCalls; }
int ShellAllocatorReleaseCalls() { return State().releaseCalls; }
int ShellMisuses() { return State().misuses; }

}  // namespace winsim

using winsim::detail::Call;

HRESULT SHGetMalloc(LPMALLOC* allocator) {
  if (Call call("SHGetMalloc"); call.Failed()) {
    if (allocator != nullptr) *allocator = nullptr;
    return call.Hresult();
  }
  if (allocator == nullptr) return E_INVALIDARG;
  winsim::Allocator().AddRef();
  *allocator = &winsim::Allocator();
  return S_OK;
}

// A folder the system does not have gives a failure and no list; a CSIDL the shell does not
// know gives E_INVALIDARG.
HRESULT SHGetSpecialFolderLocation(HWND owner, int csidl, LPITEMIDLIST* list) {
  (void)owner;
  const Call call("SHGetSpecialFolderLocation");
  if (list == nullptr) return E_INVALIDARG;
  *list = nullptr;
  if (call.Failed()) return call.Hresult();
  if (!winsim::KnownFolder(csidl)) return E_INVALIDARG;
  auto it = winsim::State().folders.find(csidl);
  if (it != winsim::State().folders.end() && it->second.state == winsim::ShellFolderState::NoLocation) {
    return winsim::kFolderMissing;
  }
  auto* made = static_cast<winsim::StandInItemList*>(std::malloc(sizeof(winsim::StandInItemList)));
  if (made == nullptr) return E_OUTOFMEMORY;
  made->cb = static_cast<WORD>(sizeof(WORD) + sizeof(int));
  made->csidl = csidl;
  made->terminator = 0;
  winsim::State().itemLists.insert(made);
  winsim::detail::Acquired(winsim::Resource::ItemList);
  *list = reinterpret_cast<LPITEMIDLIST>(made);
  return S_OK;
}

// Writes at most MAX_PATH bytes, the terminator included; a path that would not fit fails, as
// a list that names no file-system folder does.
BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path) {
  // Like the real call, a failure says nothing more than FALSE.
  if (Call call("SHGetPathFromIDListA"); call.Failed()) {
    if (path != nullptr) path[0] = '\0';
    return FALSE;
  }
  if (path == nullptr) return FALSE;
  path[0] = '\0';
  void* key = const_cast<ITEMIDLIST*>(list);
  if (list == nullptr || winsim::State().itemLists.count(key) == 0) {
    winsim::State().misuses++;
    return FALSE;
  }
  const int csidl = reinterpret_cast<const winsim::StandInItemList*>(list)->csidl;
  auto it = winsim::State().folders.find(csidl);
  if (it != winsim::State().folders.end() && it->second.state == winsim::ShellFolderState::NoPath) {
    return FALSE;
  }
  const std::string folder = winsim::ShellFolderPath(csidl);
  if (folder.empty() || folder.size() >= MAX_PATH) return FALSE;
  std::memcpy(path, folder.c_str(), folder.size() + 1);
  return TRUE;
}
