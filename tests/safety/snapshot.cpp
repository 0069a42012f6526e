#include "snapshot.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "winsim.h"
#include "winsim_fs.h"
#include "winsim_registry.h"

namespace safety {

bool IsLead(unsigned char b) { return winsim::IsLeadByte(b); }

std::string Fold(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsLead(c) && i + 1 < name.size()) {
      out += name[i];
      out += name[++i];
    } else {
      out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
    }
  }
  return out;
}

namespace {

std::vector<std::string> Split(const std::string& path, bool slashToo, bool* leading, bool* trailing) {
  std::vector<std::string> parts;
  std::string current;
  bool lastWasSeparator = false;
  if (leading != nullptr) *leading = false;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    lastWasSeparator = false;
    if (IsLead(c) && i + 1 < path.size()) {
      current += path[i];
      current += path[++i];
    } else if (c == '\\' || (slashToo && c == '/')) {
      if (i == 0 && leading != nullptr) *leading = true;
      parts.push_back(current);
      current.clear();
      lastWasSeparator = true;
    } else {
      current += path[i];
    }
  }
  parts.push_back(current);
  if (trailing != nullptr) *trailing = lastWasSeparator;
  return parts;
}

bool IsForbidden(unsigned char c) { return c < 0x20 || std::strchr("<>:\"|*?", c) != nullptr; }

std::string Printable(const std::string& ansi) {
  try {
    return winsim::Utf8(ansi);
  } catch (...) {
    std::string out;
    char hex[8];
    for (unsigned char c : ansi) {
      if (c >= 0x20 && c < 0x7F) {
        out += static_cast<char>(c);
      } else {
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
      }
    }
    return out;
  }
}

std::string LastComponent(const std::string& path) {
  std::vector<std::string> parts = Split(path, true, nullptr, nullptr);
  return parts.empty() ? "" : parts.back();
}

}  // namespace

std::vector<std::string> SplitSeparators(const std::string& path, bool* leadingSeparator, bool* trailingSeparator) {
  return Split(path, true, leadingSeparator, trailingSeparator);
}

// ---- disk ----

DiskSnapshot DiskSnapshot::Take(const DiskKnowledge& knowledge, bool withShortNames) {
  DiskSnapshot s;
  struct Walker {
    DiskSnapshot& s;
    const DiskKnowledge& k;
    bool shortNames;
    // `folderShort` is the folder's path by 8.3 aliases, through which an entry whose long
    // path passes MAX_PATH can still be named (and asked for its alias).
    void Add(const std::string& folderPath, const std::string& folderShort, const std::string& folderKey,
             const std::string& name, bool shown) {
      const std::string path = folderPath + "\\" + name;
      DiskEntry e;
      e.attributes = winsim::Attributes(path);
      if (e.attributes == INVALID_FILE_ATTRIBUTES) return;
      e.path = path;
      e.longName = shown ? name : "";
      e.parentKey = folderKey;
      e.isFolder = (e.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      e.isLink = e.isFolder && (e.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      const std::string key = folderKey + "\\" + Fold(name);
      if (!shown) e.shortName = name;
      const std::string probe = folderShort + "\\" + name;
      if (shown && shortNames && probe.size() < MAX_PATH) {
        char buffer[MAX_PATH];
        DWORD n = GetShortPathNameA(probe.c_str(), buffer, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
          std::string shortName = LastComponent(buffer);
          if (Fold(shortName) != Fold(name)) e.shortName = shortName;
        }
      }
      if (e.isLink) {
        auto t = k.linkTargets.find(key);
        e.linkTarget = t != k.linkTargets.end() ? t->second : "";
      } else if (!e.isFolder) {
        e.bytes = winsim::FileBytes(path);
      }
      const bool descend = e.isFolder && !e.isLink;
      const std::string shortPath = folderShort + "\\" + (e.shortName.empty() ? name : e.shortName);
      s.entries_[key] = e;
      s.children_[folderKey].push_back(key);
      if (descend) Walk(path, shortPath, key);
    }
    void Walk(const std::string& folderPath, const std::string& folderShort, const std::string& folderKey) {
      const std::string listed = folderPath.size() == 2 ? folderPath + "\\" : folderPath;
      for (const std::string& name : winsim::FolderEntries(listed)) {
        if (name.find('?') != std::string::npos) continue;  // unshowable: reached by its short name below
        Add(folderPath, folderShort, folderKey, name, true);
      }
      for (const DiskKnowledge::Unshowable& u : k.unshowable) {
        if (u.folderKey == folderKey) Add(folderPath, folderShort, folderKey, u.shortName, false);
      }
    }
  };
  Walker walker{s, knowledge, withShortNames};
  for (char drive : knowledge.drives) {
    const std::string root = std::string(1, drive) + ":";
    DiskEntry e;
    e.path = root;
    e.attributes = FILE_ATTRIBUTE_DIRECTORY;
    e.isFolder = true;
    s.entries_[root] = e;
    walker.Walk(root, root, root);
  }
  return s;
}

const DiskEntry* DiskSnapshot::Find(const std::string& key) const {
  auto it = entries_.find(key);
  return it == entries_.end() ? nullptr : &it->second;
}

std::vector<std::string> DiskSnapshot::ChildrenOf(const std::string& key) const {
  auto it = children_.find(key);
  return it == children_.end() ? std::vector<std::string>() : it->second;
}

bool DiskSnapshot::IsWithin(const std::string& key, const std::string& ancestor) {
  if (ancestor.empty() || key.size() < ancestor.size()) return false;
  if (key.compare(0, ancestor.size(), ancestor) != 0) return false;
  return key.size() == ancestor.size() || key[ancestor.size()] == '\\';
}

std::string DiskSnapshot::ChildKey(const std::string& folderKey, const std::string& name) const {
  const std::string wanted = Fold(name);
  for (const std::string& key : ChildrenOf(folderKey)) {
    const DiskEntry& e = entries_.at(key);
    if ((!e.longName.empty() && Fold(e.longName) == wanted) || (!e.shortName.empty() && Fold(e.shortName) == wanted)) {
      return key;
    }
  }
  return "";
}

std::string DiskSnapshot::Resolve(const std::string& path) const { return ResolveDepth(path, 0, nullptr); }

std::vector<std::string> DiskSnapshot::ResolveChain(const std::string& path) const {
  std::vector<std::string> chain;
  if (ResolveDepth(path, 0, &chain).empty()) chain.clear();
  return chain;
}

std::string DiskSnapshot::ShortForm(const std::string& path) const {
  const std::vector<std::string> chain = ResolveChain(path);
  if (chain.empty() || !Has(chain.back())) return "";
  std::string out = chain.front().substr(0, 2);
  for (const std::string& key : chain) {
    const DiskEntry* e = Find(key);
    if (e == nullptr) return "";
    out += "\\" + (e->shortName.empty() ? LastComponent(e->path) : e->shortName);
  }
  return out;
}

std::string DiskSnapshot::ResolveDepth(const std::string& path, int depth, std::vector<std::string>* chain) const {
  if (depth > 8 || path.size() < 2) return "";
  const unsigned char letter = static_cast<unsigned char>(path[0]);
  if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) || path[1] != ':') return "";
  if (path.size() > 2 && path[2] != '\\' && path[2] != '/') return "";  // drive-relative
  std::string folder(1, static_cast<char>(letter >= 'a' ? letter - 0x20 : letter));
  folder += ":";
  if (!Has(folder)) return "";

  std::vector<std::string> parts;
  for (std::string part : Split(path.substr(2), true, nullptr, nullptr)) {
    for (size_t i = 0; i < part.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(part[i]);
      if (IsLead(c) && i + 1 < part.size()) {
        ++i;
        continue;
      }
      if (IsForbidden(c)) return "";
    }
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    if (part.empty()) continue;
    if (part.size() > 255) return "";
    parts.push_back(part);
  }
  if (parts.empty()) return folder;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    std::string child = ChildKey(folder, parts[i]);
    if (child.empty()) return "";
    if (chain != nullptr) chain->push_back(child);
    for (int hops = 0; hops < 8; ++hops) {
      const DiskEntry* e = Find(child);
      if (e == nullptr || !e->isFolder) return "";
      if (!e->isLink) break;
      child = ResolveDepth(e->linkTarget, depth + 1, nullptr);
      if (child.empty()) return "";
    }
    const DiskEntry* e = Find(child);
    if (e == nullptr || !e->isFolder || e->isLink) return "";
    folder = child;
  }
  std::string last = ChildKey(folder, parts.back());
  last = last.empty() ? folder + "\\" + Fold(parts.back()) : last;
  if (chain != nullptr) chain->push_back(last);
  return last;
}

std::string DiskSnapshot::Describe() const {
  std::ostringstream out;
  struct Printer {
    const DiskSnapshot& s;
    std::ostringstream& out;
    void Print(const std::string& key, int depth) {
      const DiskEntry& e = s.entries_.at(key);
      out << std::string(2 * depth, ' ') << Printable(depth == 0 ? e.path : LastComponent(e.path));
      if (!e.shortName.empty()) out << " [" << e.shortName << "]";
      char attributes[16];
      std::snprintf(attributes, sizeof attributes, " %04lX", static_cast<unsigned long>(e.attributes));
      out << attributes;
      if (e.isLink) out << " -> " << Printable(e.linkTarget);
      if (!e.isFolder) out << " (" << e.bytes.size() << " bytes)";
      out << "\n";
      for (const std::string& child : s.ChildrenOf(key)) Print(child, depth + 1);
    }
  };
  Printer printer{*this, out};
  for (const auto& [key, e] : entries_) {
    if (e.parentKey.empty()) printer.Print(key, 0);
  }
  return out.str();
}

// ---- registry ----

std::string RootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "HKLM";
  if (root == HKEY_CURRENT_USER) return "HKCU";
  if (root == HKEY_USERS) return "HKU";
  return "?";
}

std::string KeyId(HKEY root, const std::string& subkey) {
  std::string id = RootName(root);
  for (const std::string& name : Split(subkey, false, nullptr, nullptr)) {
    if (!name.empty()) id += "\\" + Fold(name);
  }
  return id;
}

RegistrySnapshot RegistrySnapshot::Take() {
  RegistrySnapshot s;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS}) {
    for (const std::string& path : winsim::KeyTree(root)) s.keys.insert(KeyId(root, path));
  }
  // The stand-in's dump: a root name at the start of a line, then keys and values indented two
  // blanks per level, values as "[name] type T, N bytes".
  std::istringstream dump(winsim::DumpRegistry());
  std::string line, root;
  std::vector<std::string> stack;
  while (std::getline(dump, line)) {
    size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos) continue;
    if (indent == 0) {
      root = line == "HKEY_LOCAL_MACHINE" ? "HKLM" : line == "HKEY_CURRENT_USER" ? "HKCU" : "HKU";
      stack.clear();
      continue;
    }
    const size_t level = indent / 2;
    const std::string content = line.substr(indent);
    if (!content.empty() && content[0] == '[') {
      std::string key = root;
      for (size_t i = 0; i + 1 < level && i < stack.size(); ++i) key += "\\" + Fold(stack[i]);
      s.values.insert(key + "|" + content);
    } else {
      stack.resize(level - 1);
      stack.push_back(content);
    }
  }
  return s;
}

}  // namespace safety
