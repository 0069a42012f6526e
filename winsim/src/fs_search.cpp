// The stand-in's file system: searches (FindFirstFileA, FindNextFileA, FindClose).
// A search takes the matching entries when it starts and then gives those that are still in
// the folder, so deleting the entry just listed (or any other) lets it go on with the entries
// after it, as Windows does. Entries made after the start are not listed (simplification).
#include <cstring>

#include "fs_internal.h"
#include "winsim.h"

using namespace winsim::fs;

namespace {

// Wildcard match without regard to case: "*" any run of characters, "?" one byte; "*.*" also
// matches names without a dot, as it does on Windows.
bool Matches(const std::string& pattern, const std::string& name) {
  if (pattern == "*" || pattern == "*.*") return true;
  std::string p = UpperName(pattern), n = UpperName(name);
  size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool StillListed(const Search& s, const SearchEntry& e) {
  if (e.node == 0) return true;
  const Node* n = Get(e.node);
  return n != nullptr && !n->detached && n->parent == s.folder;
}

void Fill(const Search& s, const SearchEntry& e, LPWIN32_FIND_DATAA data) {
  std::memset(data, 0, sizeof *data);
  const Node& n = *Get(e.node != 0 ? e.node : s.folder);
  data->dwFileAttributes = ReportedAttributes(n);
  if (e.node != 0 && !n.IsFolder()) {
    data->nFileSizeHigh = static_cast<DWORD>(n.length >> 32);
    data->nFileSizeLow = static_cast<DWORD>(n.length);
  }
  std::string name = e.node != 0 ? n.name : e.dots;
  std::strncpy(data->cFileName, name.c_str(), MAX_PATH - 1);
  if (e.node != 0 && !n.shortName.empty()) {
    std::strncpy(data->cAlternateFileName, n.shortName.c_str(), sizeof data->cAlternateFileName - 1);
  }
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (Call call("FindFirstFileA"); call.Failed()) return call.FailWithLastError(INVALID_HANDLE_VALUE);
  if (data == nullptr) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  ParsedPath p;
  if (DWORD e = ParsePath(pattern, true, true, &p)) return Fail(e, INVALID_HANDLE_VALUE);
  if (p.parts.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);  // "C:\" itself

  // The folder the pattern is looked up in.
  std::string wanted = p.parts.back();
  ParsedPath folderPath = p;
  folderPath.parts.pop_back();
  Resolved r;
  if (DWORD e = Resolve(folderPath, &r)) return Fail(e, INVALID_HANDLE_VALUE);
  if (r.node == 0) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (!Get(r.node)->IsFolder()) return Fail(ERROR_DIRECTORY, INVALID_HANDLE_VALUE);
  NodeId folder = FollowLink(r.node);
  if (folder == 0) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  if (p.trailingSeparator) {
    // "C:\folder\" asks for an entry with an empty name.
    return Fail(FindChild(folder, wanted) != 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
  }
  const Node& f = *Get(folder);
  if (f.denied & winsim::DenyList) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);

  Search search;
  search.folder = folder;
  if (!HasWildcard(wanted)) {
    NodeId child = FindChild(folder, wanted);
    if (child != 0) search.entries.push_back(SearchEntry{child, ""});
  } else {
    if (f.parent != 0) {  // a drive's root has no "." and ".."
      if (Matches(wanted, ".")) search.entries.push_back(SearchEntry{0, "."});
      if (Matches(wanted, "..")) search.entries.push_back(SearchEntry{0, ".."});
    }
    for (NodeId id : ListingOf(folder)) {
      const Node& n = *Get(id);
      if (Matches(wanted, n.name) || (!n.shortName.empty() && Matches(wanted, n.shortName))) {
        search.entries.push_back(SearchEntry{id, ""});
      }
    }
  }
  if (search.entries.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);

  Fill(search, search.entries[0], data);
  search.next = 1;
  FsState& s = State();
  int id = s.nextSearch++;
  s.searches[id] = search;
  Acquired(winsim::Resource::Search);
  return NewHandle(HandleKind::Search, id);
}

BOOL FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
  if (Call call("FindNextFileA"); call.Failed()) return call.FailWithLastError(FALSE);
  auto h = State().handles.find(handle);
  if (h == State().handles.end() || h->second.kind != HandleKind::Search || data == nullptr) {
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  Search& s = State().searches[h->second.object];
  while (s.next < s.entries.size()) {
    const SearchEntry& e = s.entries[s.next++];
    if (StillListed(s, e)) {
      Fill(s, e, data);
      return TRUE;
    }
  }
  return Fail(ERROR_NO_MORE_FILES, FALSE);
}

BOOL FindClose(HANDLE handle) {
  if (Call call("FindClose"); call.Failed()) return call.FailWithLastError(FALSE);
  auto h = State().handles.find(handle);
  if (h == State().handles.end() || h->second.kind != HandleKind::Search) {
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  State().searches.erase(h->second.object);
  State().handles.erase(h);
  Released(winsim::Resource::Search);
  return TRUE;
}
