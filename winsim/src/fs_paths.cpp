// The stand-in's file system: how the Win32 calls read names and paths. Names compare without
// regard to the case of ASCII letters and have 8.3 aliases; a path is parsed as Windows parses it
// (double-byte characters, trailing dots and blanks, the MAX_PATH limit of the ANSI calls) and
// walked through folders and directory links. GetShortPathNameA reports a path by its aliases.
#include <algorithm>
#include <cstring>

#include "fs_internal.h"
#include "winsim.h"

namespace winsim::fs {

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
  return baseLength >= 1 && baseLength <= 8 && extLength <= 3 && (dot == std::string::npos || extLength > 0);
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

UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
  UINT length = static_cast<UINT>(text.size());
  if (buffer == nullptr || size <= length) return length + 1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return length;
}

}  // namespace winsim::fs

using namespace winsim::fs;

// Each component by its 8.3 alias where it has one; the entry must exist.
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR shortPath, DWORD size) {
  if (Call call("GetShortPathNameA"); call.Failed()) return call.FailWithLastError(0u);
  if (longPath == nullptr) return Fail(ERROR_INVALID_PARAMETER, 0u);
  ParsedPath p;
  Resolved r;
  if (DWORD e = Locate(longPath, true, true, &r)) return Fail(e, 0u);
  ParsePath(longPath, false, true, &p);
  // As Windows and Wine do, a component that is a DOS name already (it has no alias) is given
  // as the caller wrote it, letter case included; only aliases come from the disk.
  std::string out = std::string(1, longPath[1] == ':' ? longPath[0] : p.drive) + ":";
  if (r.chain.empty()) out += "\\";
  for (size_t i = 0; i < r.chain.size(); ++i) {
    const Node& n = *Get(r.chain[i]);
    const bool asWritten = n.shortName.empty() && i < p.parts.size();
    out += "\\" + (!n.shortName.empty() ? n.shortName : asWritten ? p.parts[i] : n.name);
  }
  if (p.trailingSeparator) out += "\\";
  return CopyOut(out, shortPath, size);
}
