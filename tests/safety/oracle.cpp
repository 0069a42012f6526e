#include "oracle.h"

#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <sstream>

#include "base/os_kind.h"
#include "winsim_registry.h"

namespace safety {

namespace {

const DWORD kValueCapacity = 1024;  // bytes the program reads of a registry text
const size_t kRowTextLimit = 1023;  // characters a row text can hold

std::string Utf8OrBytes(const std::string& sjis) {
  try {
    return winsim::Utf8(sjis);
  } catch (...) {
    std::string out;
    for (unsigned char c : sjis) out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    return out;
  }
}

std::string Short(const std::string& sjis, size_t limit = 160) {
  std::string u = Utf8OrBytes(sjis);
  return u.size() > limit ? u.substr(0, limit) + "...(" + std::to_string(sjis.size()) + " bytes)" : u;
}

// ---- reading the registry as the program would, before the run ----

bool KeyOpens(const Machine& m, const RegistrySnapshot& rb, HKEY root, const std::string& key, REGSAM access) {
  const std::string id = KeyId(root, key);
  if (!rb.keys.count(id)) return false;
  auto denied = m.deniedKeys.find(id);
  return denied == m.deniedKeys.end() || (denied->second & access) == 0;
}

// A value as the program reads it: at most kValueCapacity bytes, the text up to its first zero.
std::optional<std::string> QueryText(HKEY root, const std::string& key, const std::string& name) {
  if (!winsim::ValueExists(root, key, name)) return std::nullopt;
  std::string bytes = winsim::ValueBytes(root, key, name);
  if (bytes.size() > kValueCapacity) return std::nullopt;
  size_t zero = bytes.find('\0');
  return zero == std::string::npos ? bytes : bytes.substr(0, zero);
}

// ---- the text rules of install location discovery ----

// The part between the first two double quotes, or after the only one; all of it without quotes.
std::string QuotedPart(const std::string& text) {
  size_t open = text.find('"');
  if (open == std::string::npos) return text;
  size_t close = text.find('"', open + 1);
  return text.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

size_t FindNoCase(const std::string& text, const std::string& pattern) {
  auto fold = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 0x20 : c; };
  for (size_t at = 0; at + pattern.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < pattern.size() && fold(text[at + i]) == fold(pattern[i])) ++i;
    if (i == pattern.size()) return at;
  }
  return std::string::npos;
}

// One final backslash off, never the second byte of a double-byte character.
std::string StripOneSeparator(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsLead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if (path[i] == '\\') last = i;
  }
  return (last != std::string::npos && last + 1 == path.size()) ? path.substr(0, last) : path;
}

// From the last "X:\\" (a single-byte letter) after the first character on: an unquoted line
// names the uninstaller before the install folder.
std::string FromLastDrive(const std::string& text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsLead(c) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (i > 0 && std::isalpha(c) && text.compare(i + 1, 2, ":\\") == 0) start = i;
  }
  return text.substr(start);
}

bool ForbiddenInName(unsigned char c) { return c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr; }

bool OnlyDotsAndBlanks(const std::string& part) { return part.find_first_not_of(". ") == std::string::npos; }

// A name Windows would read otherwise than it is written: made only of dots and blanks ("."
// or ".." to Windows), or ending in a dot or a blank (which Windows drops).
bool EndsInDotOrBlank(const std::string& part) {
  bool last = false;
  for (size_t i = 0; i < part.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(part[i]);
    if (IsLead(c) && i + 1 < part.size()) {
      ++i;
      last = false;
      continue;
    }
    last = c == '.' || c == ' ';
  }
  return last;
}

// Whether a folder read from the registry may be composed from, judged by its text alone: an
// absolute folder on a drive (a share never), not a root, at most 259 characters, every name
// plausible (no control characters or characters Windows forbids, none ending in a dot or a
// blank). Doubled separators may be taken either way.
enum class Verdict { Usable, Either, Unusable };

Verdict JudgeText(const std::string& f) {
  if (f.empty() || f.size() > 259) return Verdict::Unusable;
  for (size_t i = 0; i < f.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(f[i]);
    if (IsLead(c)) {
      if (i + 1 >= f.size()) return Verdict::Unusable;
      ++i;
    } else if (c < 0x20) {
      return Verdict::Unusable;
    }
  }
  auto sep = [](char c) { return c == '\\' || c == '/'; };
  const unsigned char first = static_cast<unsigned char>(f[0]);
  const bool drive =
      ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) && f.size() >= 3 && f[1] == ':' && sep(f[2]);
  if (!drive) return Verdict::Unusable;
  bool trailing = false;
  std::vector<std::string> parts = SplitSeparators(f.substr(3), nullptr, &trailing);
  if (trailing) parts.pop_back();
  Verdict v = Verdict::Usable;
  int count = 0;
  for (const std::string& part : parts) {
    if (part.empty()) {
      v = Verdict::Either;
      continue;
    }
    for (size_t i = 0; i < part.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(part[i]);
      if (IsLead(c) && i + 1 < part.size()) {
        ++i;
        continue;
      }
      if (ForbiddenInName(c)) return Verdict::Unusable;
    }
    if (EndsInDotOrBlank(part)) return Verdict::Unusable;
    ++count;
  }
  if (count < 1) return Verdict::Unusable;
  return v;
}

// A path as Windows compares paths by their text: letters without case, "/" as "\", separators
// in a row as one, no final separator.
std::string ComparableText(const std::string& path) {
  std::string out;
  bool lastWasSeparator = false;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLead(c) && i + 1 < path.size()) {
      out += path.substr(i++, 2);
      lastWasSeparator = false;
    } else if (c == '\\' || c == '/') {
      if (!lastWasSeparator) out += '\\';
      lastWasSeparator = true;
    } else {
      out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
      lastWasSeparator = false;
    }
  }
  if (lastWasSeparator && !out.empty()) out.pop_back();
  return out;
}

// `folder` is `other` or a folder above it, by comparable text.
bool SameOrAbove(const std::string& folder, const std::string& other) {
  if (folder.empty()) return false;
  return other == folder ||
         (other.size() > folder.size() && other.compare(0, folder.size(), folder) == 0 && other[folder.size()] == '\\');
}

// "C:\A", "C:\A\B", ... for "C:\A\B": every folder on the way to `path`, and the path itself.
std::vector<std::string> FoldersOnTheWay(const std::string& path) {
  std::vector<std::string> out;
  if (path.size() < 2 || path[1] != ':') return out;
  std::string at = path.substr(0, 2);
  for (const std::string& part : SplitSeparators(path.size() > 2 ? path.substr(3) : "")) {
    if (part.empty()) continue;
    at += "\\" + part;
    out.push_back(at);
  }
  return out;
}

// The shell's folder functions come from shell32, loaded by its full path in the system folder:
// a system folder that leaves no room for "\shell32.dll" in MAX_PATH (or is not reported) gives
// no shell folder at all.
bool ShellLoadable(const Machine& m) {
  return !m.systemDir.empty() && m.systemDir.size() + sizeof "\\shell32.dll" <= MAX_PATH;
}

// The folders the system names on this machine, as it reports them: the Windows and system
// folders, every shell folder with a path (of the four the plans use and all the others the
// tool's rules name), and the registry's Program Files and Common Files. With `reportableOnly`,
// only those the system can hand the program in a MAX_PATH buffer.
std::vector<std::string> SystemNamedFolders(const Machine& m, bool reportableOnly) {
  std::vector<std::string> out;
  for (const std::string& f : {m.windowsDir, m.systemDir}) {
    if (!f.empty()) out.push_back(f);
  }
  for (const Machine::ShellFolder& f : m.shellFolders) {
    const bool reported =
        f.state == winsim::ShellFolderState::Resolvable && f.path.size() < MAX_PATH && ShellLoadable(m);
    if (!f.path.empty() && (reported || !reportableOnly)) out.push_back(f.path);
  }
  for (const char* name : kFolderValueNames) {
    std::optional<std::string> value = QueryText(HKEY_LOCAL_MACHINE, kCurrentVersionKey, name);
    if (value && !value->empty()) out.push_back(*value);
  }
  return out;
}

enum class Relation { None, Possible, Certain };

// A folder the system names, as the comparisons below need it: its comparable text and 8.3 form,
// the keys of the folders on its way, and where it really lies.
struct NamedFolder {
  std::string text, shortText;
  std::vector<std::string> wayKeys;
  std::string key;
};

std::vector<NamedFolder> NamedFolders(const Machine& m, const DiskSnapshot& before) {
  std::vector<NamedFolder> out;
  for (const std::string& named : SystemNamedFolders(m, true)) {
    NamedFolder f{ComparableText(named), "", {}, before.Resolve(named)};
    const std::string shortForm = before.ShortForm(named);
    if (!shortForm.empty()) f.shortText = ComparableText(shortForm);
    for (const std::string& on : FoldersOnTheWay(named)) f.wayKeys.push_back(before.Resolve(on));
    out.push_back(f);
  }
  return out;
}

// Whether `folder` is the folder `named`, or lies above it, as the program can tell: by the
// text, or by the 8.3 forms when both exist (Certain); or only by where they really lie, through
// a junction or a missing folder's alias (Possible).
Relation RelationTo(const DiskSnapshot& before, const std::string& folder, const NamedFolder& named) {
  if (SameOrAbove(ComparableText(folder), named.text)) return Relation::Certain;
  const std::string shortFolder = before.ShortForm(folder);
  if (!shortFolder.empty() && !named.shortText.empty() && SameOrAbove(ComparableText(shortFolder), named.shortText)) {
    return Relation::Certain;
  }
  const std::string key = before.Resolve(folder);
  if (key.empty()) return Relation::None;
  for (const std::string& on : named.wayKeys) {
    if (on == key) return Relation::Possible;
  }
  return !named.key.empty() && DiskSnapshot::IsWithin(named.key, key) ? Relation::Possible : Relation::None;
}

// Whether a folder read from the registry is one the plans may compose paths from, by the
// tool's rules: its text must do (JudgeText), no junction may be the folder or lie on the way
// to it, and it must be neither a folder the system names nor one above such a folder.
Verdict JudgeFolder(const std::vector<NamedFolder>& named, const DiskSnapshot& before, const std::string& f) {
  Verdict v = JudgeText(f);
  if (v == Verdict::Unusable) return v;
  for (const std::string& on : FoldersOnTheWay(f)) {
    const DiskEntry* e = before.Find(before.Resolve(on));
    if (e == nullptr) break;
    if (e->isLink) return Verdict::Unusable;
  }
  for (const NamedFolder& n : named) {
    const Relation r = RelationTo(before, f, n);
    if (r == Relation::Certain) return Verdict::Unusable;
    if (r == Relation::Possible) v = Verdict::Either;
  }
  return v;
}

struct Possible {
  bool found;
  std::string folder;
  std::string how;
};

std::vector<Possible> DiscoverInstallFolder(const Machine& m, const DiskSnapshot& before, const RegistrySnapshot& rb,
                                            const std::vector<NamedFolder>& named) {
  std::vector<Possible> out;
  auto add = [&](bool found, const std::string& folder, const std::string& how) {
    for (const Possible& p : out) {
      if (p.found == found && p.folder == folder) return;
    }
    out.push_back({found, folder, how});
  };
  // The first registration that opens for reading; the second only when the first does not.
  for (const char* key : kUninstallKeys) {
    if (!KeyOpens(m, rb, HKEY_LOCAL_MACHINE, key, KEY_READ)) continue;
    std::optional<std::string> text = QueryText(HKEY_LOCAL_MACHINE, key, kUninstallValue);
    if (text) {
      const std::string quoted = QuotedPart(*text);
      for (const char* marker : kUninstallMarkers) {
        size_t at = FindNoCase(quoted, marker);
        if (at == std::string::npos) continue;
        const std::string folder = StripOneSeparator(FromLastDrive(quoted.substr(0, at)));
        Verdict v = JudgeFolder(named, before, folder);
        if (v == Verdict::Usable) {
          add(true, folder, "from UninstallString");
          return out;
        }
        if (v == Verdict::Either) add(true, folder, "from UninstallString (either way)");
        break;
      }
    }
    break;
  }
  if (!IsWin9xFamily(m.osKind)) {
    add(false, "", "not found");
    return out;
  }
  if (KeyOpens(m, rb, HKEY_LOCAL_MACHINE, kDocLocationKey, KEY_READ)) {
    std::optional<std::string> text = QueryText(HKEY_LOCAL_MACHINE, kDocLocationKey, kDocLocationValue);
    if (text) {
      const std::string folder = StripOneSeparator(QuotedPart(*text));
      Verdict v = JudgeFolder(named, before, folder);
      if (v != Verdict::Unusable) add(true, folder, "from OEMDocLocation");
      if (v == Verdict::Usable) return out;
    }
  }
  add(false, "", "not found");
  return out;
}

// Every folder a source of the install folder names, whichever source a failing call leaves the
// program with: each uninstall registration on its own and, on the 9x family, the documents
// location.
std::vector<Possible> EveryInstallCandidate(const Machine& m, const DiskSnapshot& before,
                                            const std::vector<NamedFolder>& named) {
  std::vector<Possible> out;
  for (const char* key : kUninstallKeys) {
    std::optional<std::string> text = QueryText(HKEY_LOCAL_MACHINE, key, kUninstallValue);
    if (!text) continue;
    const std::string quoted = QuotedPart(*text);
    for (const char* marker : kUninstallMarkers) {
      size_t at = FindNoCase(quoted, marker);
      if (at == std::string::npos) continue;
      const std::string folder = StripOneSeparator(FromLastDrive(quoted.substr(0, at)));
      if (JudgeFolder(named, before, folder) != Verdict::Unusable)
        out.push_back({true, folder, "from an uninstall key (under a fault)"});
      break;
    }
  }
  if (IsWin9xFamily(m.osKind)) {
    std::optional<std::string> text = QueryText(HKEY_LOCAL_MACHINE, kDocLocationKey, kDocLocationValue);
    if (text) {
      const std::string folder = StripOneSeparator(QuotedPart(*text));
      if (JudgeFolder(named, before, folder) != Verdict::Unusable)
        out.push_back({true, folder, "from OEMDocLocation (under a fault)"});
    }
  }
  return out;
}

// A path plain enough that the outcome of its removal can be foretold: absolute on a drive,
// shorter than MAX_PATH, no control characters or characters Windows forbids.
bool IsPlainPath(const std::string& text, size_t limit = MAX_PATH) {
  if (text.size() >= limit || text.size() < 3 || text[1] != ':') return false;
  for (size_t i = 2; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsLead(c) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (ForbiddenInName(c)) return false;
  }
  for (const std::string& part : SplitSeparators(text.substr(2))) {
    if (!part.empty() && OnlyDotsAndBlanks(part)) return false;
  }
  return true;
}

// An "InfPath" that names a file inside the INF folder: relative, and every component a name
// (no ".", "..", drive or empty component).
bool IsContainedInfPath(const std::string& inf) {
  if (inf.empty()) return false;
  bool leading = false, trailing = false;
  std::vector<std::string> parts = SplitSeparators(inf, &leading, &trailing);
  if (leading || trailing) return false;
  for (const std::string& part : parts) {
    if (part.empty() || OnlyDotsAndBlanks(part)) return false;
    for (size_t i = 0; i < part.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(part[i]);
      if (IsLead(c) && i + 1 < part.size()) {
        ++i;
        continue;
      }
      if (ForbiddenInName(c)) return false;
    }
  }
  return true;
}

bool HasRegistrySeparator(const std::string& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (IsLead(static_cast<unsigned char>(name[i])) && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (name[i] == '\\') return true;
  }
  return false;
}

const Machine::ShellFolder* ShellFolderOf(const Machine& m, int csidl) {
  for (const Machine::ShellFolder& f : m.shellFolders) {
    if (f.csidl == csidl) return &f;
  }
  return nullptr;
}

// The path the shell gives for `csidl`, or "" when the step is skipped.
std::string ResolvedShellFolder(const Machine& m, int csidl) {
  const Machine::ShellFolder* f = ShellFolderOf(m, csidl);
  if (f == nullptr || f->state != winsim::ShellFolderState::Resolvable || !ShellLoadable(m)) return "";
  if (f->path.empty() || f->path.size() >= MAX_PATH) return "";
  return f->path;
}

Outcome BuildRunOutcome(const Machine& m, const DiskSnapshot& before, const RegistrySnapshot& rb,
                        const Possible& install) {
  const FamilyTables& t = TablesFor(m.osKind);
  const bool nt = IsNtFamily(m.osKind);
  Outcome o;
  o.installFound = install.found;
  o.installFolder = install.folder;
  o.description =
      install.found ? "run, install folder \"" + Short(install.folder) + "\" " + install.how : "run, no install folder";
  auto add = [&](RowKind kind, const std::string& text, bool mandatory) -> ExpectedRow& {
    ExpectedRow r;
    r.kind = kind;
    r.text = text;
    r.mandatory = mandatory;
    if (kind == RowKind::Section || kind == RowKind::Detect) {
      r.removable = false;
    } else if (kind == RowKind::Key || kind == RowKind::Value) {
      r.removable = true;
    } else {
      r.id = before.Resolve(text);
      r.simpleText = IsPlainPath(text);
    }
    o.rows.push_back(r);
    return o.rows.back();
  };
  const std::string systemBase = m.systemDir + "\\";
  const std::string windowsBase = m.windowsDir + "\\";
  const std::string infBase = windowsBase + "inf\\";
  auto files = [&](const std::string& base, const std::vector<std::string>& names, bool mandatory) {
    for (const std::string& n : names) add(RowKind::FileDefer, base + n, mandatory);
  };
  auto menus = [&](int csidl) {
    const std::string programs = ResolvedShellFolder(m, csidl);
    if (programs.empty()) return;
    for (const std::string& n : t.menuFolders) add(RowKind::MenuTree, programs + "\\" + n, false);
  };
  auto shortcuts = [&](int csidl) {
    const std::string startup = ResolvedShellFolder(m, csidl);
    if (startup.empty()) return;
    for (const std::string& n : t.startupShortcuts) add(RowKind::FileDefer, startup + "\\" + n, false);
  };
  auto detect = [&] { add(RowKind::Detect, InstallFolderText(), false); };
  auto installFiles = [&] {
    for (const std::string& n : t.installFiles)
      add(RowKind::FileDefer, install.folder + "\\" + n, false).fromInstallFolder = true;
  };
  auto installFolder = [&] { add(RowKind::InstallFolder, install.folder, false).fromInstallFolder = true; };

  add(RowKind::Section, FilesSectionText(), true);
  files(systemBase, t.systemFiles, true);
  if (nt) {
    files(windowsBase, t.windowsFiles, true);
    menus(CSIDL_COMMON_PROGRAMS);
    menus(CSIDL_PROGRAMS);
    shortcuts(CSIDL_COMMON_STARTUP);
    shortcuts(CSIDL_STARTUP);
    if (!install.found) {
      detect();
    } else {
      installFiles();
      installFolder();
    }
  } else {
    if (install.found) {
      installFiles();
    } else {
      detect();
    }
    files(windowsBase, t.windowsFiles, true);
    menus(CSIDL_COMMON_PROGRAMS);
    menus(CSIDL_PROGRAMS);
    if (install.found) installFolder();
    shortcuts(CSIDL_COMMON_STARTUP);
    shortcuts(CSIDL_STARTUP);
    if (m.osKind != OsWin95) {
      add(RowKind::FileDefer, infBase + kWin9xInfFile, true);
    } else if (KeyOpens(m, rb, HKEY_LOCAL_MACHINE, kPenClassKey, DELETE | KEY_ENUMERATE_SUB_KEYS)) {
      // Every instance of the pen class, in the order the registry lists them.
      const std::vector<std::string> tree = winsim::KeyTree(HKEY_LOCAL_MACHINE, kPenClassKey);
      const std::string infFolderKey = before.Resolve(infBase);
      for (size_t i = 1; i < tree.size(); ++i) {
        const std::string rest = tree[i].substr(tree[0].size() + 1);
        if (HasRegistrySeparator(rest) || rest.size() >= 255) continue;  // deeper keys; names too long to list
        const std::string instance = tree[i];
        auto denied = m.deniedKeys.find(KeyId(HKEY_LOCAL_MACHINE, instance));
        if (denied != m.deniedKeys.end() && denied->second != 0) continue;
        std::optional<std::string> desc = QueryText(HKEY_LOCAL_MACHINE, instance, "DriverDesc");
        if (!desc || desc->find(kDriverDescMatch) == std::string::npos) continue;
        std::optional<std::string> inf = QueryText(HKEY_LOCAL_MACHINE, instance, "InfPath");
        if (!inf) continue;
        ExpectedRow& r = add(RowKind::FileNoDefer, infBase + *inf, false);
        r.prefixMayBeShown = r.text.size() > kRowTextLimit;
        // Only a file inside the INF folder may go: an "InfPath" that leads out of it is no
        // INF file of this driver, whatever the registry says.
        r.removable = IsContainedInfPath(*inf) && !r.id.empty() && r.id != infFolderKey &&
                      DiskSnapshot::IsWithin(r.id, infFolderKey);
        r.simpleText = r.removable && IsPlainPath(r.text);
      }
    }
  }
  add(RowKind::Section, RegistrySectionText(), true);
  for (const TableKey& k : t.keys) {
    ExpectedRow& r = add(RowKind::Key, RootPrefix(k.root) + k.subkey, true);
    r.id = KeyId(k.root, k.subkey);
  }
  for (size_t i = 0; i < t.valueKeys.size(); ++i) {
    const TableKey& k = t.valueKeys[i];
    ExpectedRow& r = add(RowKind::Value, RootPrefix(k.root) + k.subkey + "\\" + t.valueNames[i], true);
    r.id = KeyId(k.root, k.subkey) + "|" + Fold(t.valueNames[i]);
  }
  return o;
}

// On the NT family, a question of the user's rights that cannot be answered refuses the run.
Outcome RefusedOutcome() {
  Outcome o;
  o.description = "refused for want of an administrator's rights";
  o.refused = true;
  o.faultOnly = true;
  return o;
}

// The calls that ask whether the token holds the Administrators group.
bool AsksForRights(const std::string& api) {
  static const char* const kApis[] = {"GetProcAddress", "OpenProcessToken", "GetTokenInformation",
                                      "AllocateAndInitializeSid", "EqualSid"};
  for (const char* a : kApis) {
    if (api == a) return true;
  }
  return false;
}

Outcome StopOutcome(const std::string& label, bool faultOnly) {
  Outcome o;
  o.description = "stop with the box for \"" + label + "\"";
  o.stops = true;
  o.stopLabel = label;
  o.faultOnly = faultOnly;
  ExpectedRow r;
  r.kind = RowKind::Section;
  r.text = FilesSectionText();
  r.mandatory = true;
  r.removable = false;
  o.rows.push_back(r);
  return o;
}

// ---- the rename file ----

const char* const kHeadings[] = {"[rename]\r\n", "[Rename]\r\n", "[RENAME]\r\n"};

bool EndsWithHeading(const std::string& b, size_t p) {
  if (p < 10) return false;
  for (const char* h : kHeadings) {
    if (b.compare(p - 10, 10, h) == 0) return true;
  }
  return false;
}

// Whether `ins` is whole lines "NUL=<path>\r\n" (after a heading) or, at the end of the file, a
// new heading followed by such lines (repeated when the old text hides every heading).
bool ParseInsertion(const std::string& ins, bool afterHeading, bool atEnd, std::vector<std::string>* paths) {
  paths->clear();
  size_t at = 0;
  bool underHeading = afterHeading;
  while (at < ins.size()) {
    if (atEnd && ins.compare(at, 10, "[rename]\r\n") == 0) {
      at += 10;
      underHeading = true;
      continue;
    }
    if (!underHeading) return false;
    size_t end = ins.find("\r\n", at);
    if (end == std::string::npos) return false;
    const std::string line = ins.substr(at, end - at);
    if (line.size() + 2 > kRowTextLimit || line.compare(0, 4, "NUL=") != 0 || line.size() == 4) return false;
    for (unsigned char c : line) {
      if (c < 0x20) return false;
    }
    paths->push_back(line.substr(4));
    at = end + 2;
  }
  return true;
}

// Finds how `after` came from `before` by one insertion; false when it did not.
bool ExplainRenameFile(const std::string& before, std::string after, bool tolerateZeroTail,
                       std::vector<std::string>* paths, std::string* problem) {
  if (tolerateZeroTail) {
    while (after.size() > before.size() && !after.empty() && after.back() == '\0') after.pop_back();
  }
  if (after.size() < before.size()) {
    *problem = "the rename file lost bytes";
    return false;
  }
  const size_t d = after.size() - before.size();
  if (d == 0) {
    paths->clear();
    if (after != before) *problem = "the rename file's bytes changed";
    return after == before;
  }
  size_t lcp = 0;
  while (lcp < before.size() && before[lcp] == after[lcp]) ++lcp;
  size_t lcs = 0;
  while (lcs < before.size() && before[before.size() - 1 - lcs] == after[after.size() - 1 - lcs]) ++lcs;
  const size_t lowest = before.size() - lcs;
  int tries = 0;
  for (size_t p = lowest; p <= lcp && tries < 4096; ++p, ++tries) {
    if (ParseInsertion(after.substr(p, d), EndsWithHeading(before, p), p == before.size(), paths)) return true;
  }
  *problem = "the rename file gained something other than whole deletion lines under a heading";
  return false;
}

std::string NormalisedText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsLead(c) && i + 1 < text.size()) {
      out += text[i];
      out += text[++i];
      continue;
    }
    if (c == '\\' && !out.empty() && out.back() == '\\') continue;
    out += static_cast<char>(c);
  }
  if (out.size() > 3 && out.back() == '\\') out.pop_back();
  return Fold(out);
}

// The platform calls whose failure changes which items a run processes (or shows): a run with
// such a fault may show fewer rows than the run without it. Loading shell32 and looking up its
// functions are part of every shell folder lookup.
bool ChangesRows(const std::string& api) {
  static const char* const kApis[] = {
      "RegOpenKeyExA",        "RegQueryValueExA", "RegEnumKeyExA", "SHGetMalloc",          "SHGetSpecialFolderLocation",
      "SHGetPathFromIDListA", "GetCPInfo",        "LoadStringA",   "GetWindowsDirectoryA", "GetSystemDirectoryA",
      "LoadLibraryA",         "GetProcAddress"};
  for (const char* a : kApis) {
    if (api == a) return true;
  }
  return false;
}

// Calls that give back what the run acquired: when one fails, that one thing stays open.
const char* ReleasedKind(const std::string& api) {
  if (api == "FindClose") return "search";
  if (api == "RegCloseKey") return "registry key";
  if (api == "UnmapViewOfFile") return "mapped view";
  if (api == "FreeSid") return "SID";
  return nullptr;
}

// What is never the package's on this machine, from the machine itself: every folder its system
// names (shell folders whatever the shell answers for them), each folder on their way as named
// and every folder above where they really lie; and the folders of other programs and the
// user. The plan's fixed items (never composed from the install folder) are the exceptions.
void NeverThePackages(const Machine& m, const DiskSnapshot& before, Expectation* e) {
  for (const std::string& named : SystemNamedFolders(m, false)) {
    for (const std::string& on : FoldersOnTheWay(named)) {
      // The folder as reached, the drive's root and every folder above where it really lies.
      std::string key;
      for (const std::string& part : SplitSeparators(before.Resolve(on))) {
        key += (key.empty() ? "" : "\\") + part;
        if (key.size() >= 2) e->systemFolders.insert(key);
      }
    }
  }
  for (const std::string& folder : m.foreignFolders) {
    const std::string key = before.Resolve(folder);
    if (before.Has(key)) e->foreignTrees.push_back(key);
  }
  for (const Outcome& o : e->outcomes) {
    for (const ExpectedRow& r : o.rows) {
      if (r.fromInstallFolder || !r.removable || r.id.empty()) continue;
      (r.kind == RowKind::MenuTree ? e->fixedTrees : e->fixedNodes).insert(r.id);
    }
  }
  for (const std::string& name : TablesFor(m.osKind).installFiles) e->installNames.insert(Fold(name));
}

}  // namespace

// ---- expectations ----

Expectation Expect(const Machine& m, const DiskSnapshot& before) {
  Expectation e;
  const RegistrySnapshot rb = RegistrySnapshot::Take();
  const FamilyTables& t = TablesFor(m.osKind);
  const std::string systemLabel = IsNtFamily(m.osKind) ? "System32" : "System";
  e.renameFileKey = m.windowsDir.empty() ? "" : before.Resolve(m.windowsDir + "\\wininit.ini");

  // The base folders: a Windows folder the query cannot give whole (0, or 258 bytes and more
  // against the capacity of 258) stops the run; 255 to 257 bytes leave no room for "inf\" in
  // 260 bytes, so the program may refuse them too; a system folder stops the run only at 0 or
  // 258 bytes and more.
  const size_t lw = m.windowsDir.size(), ls = m.systemDir.size();
  bool mayRun = true;
  if (lw == 0 || lw >= 258) {
    e.outcomes.push_back(StopOutcome("Windows", false));
    mayRun = false;
  } else if (lw >= 255) {
    e.outcomes.push_back(StopOutcome("Windows", false));
  }
  if (mayRun && (ls == 0 || ls >= 258)) {
    e.outcomes.push_back(StopOutcome(systemLabel, false));
    mayRun = false;
  }
  const std::vector<NamedFolder> named = NamedFolders(m, before);
  std::vector<Possible> installs = DiscoverInstallFolder(m, before, rb, named);
  bool notFoundListed = false;
  for (const Possible& p : installs) {
    Outcome o = BuildRunOutcome(m, before, rb, p);
    o.faultOnly = !mayRun;
    notFoundListed = notFoundListed || !p.found;
    e.outcomes.push_back(o);
  }
  // What a failing platform call can lead to besides: another source of the install folder,
  // none at all, a stop.
  for (const Possible& p : EveryInstallCandidate(m, before, named)) {
    bool listed = false;
    for (const Possible& q : installs) listed = listed || (q.found && q.folder == p.folder);
    if (listed) continue;
    installs.push_back(p);
    Outcome o = BuildRunOutcome(m, before, rb, p);
    o.faultOnly = true;
    e.outcomes.push_back(o);
  }
  if (!notFoundListed) {
    Outcome o = BuildRunOutcome(m, before, rb, Possible{false, "", "not found"});
    o.faultOnly = true;
    e.outcomes.push_back(o);
  }
  e.outcomes.push_back(StopOutcome("Windows", true));
  e.outcomes.push_back(StopOutcome(systemLabel, true));
  if (IsNtFamily(m.osKind)) e.outcomes.push_back(RefusedOutcome());

  NeverThePackages(m, before, &e);

  for (const TableKey& k : t.keys) e.allowedKeyTrees.insert(KeyId(k.root, k.subkey));
  for (size_t i = 0; i < t.valueKeys.size(); ++i) {
    e.allowedValue = KeyId(t.valueKeys[i].root, t.valueKeys[i].subkey) + "|" + Fold(t.valueNames[i]);
    if (winsim::ValueExists(t.valueKeys[i].root, t.valueKeys[i].subkey, t.valueNames[i]))
      e.valueIdsBefore.insert(e.allowedValue);
  }
  for (const Machine::Value& v : m.values) {
    if (winsim::ValueExists(v.root, v.key, v.name)) {
      e.valuesBefore[{KeyId(v.root, v.key), Fold(v.name)}] = winsim::ValueBytes(v.root, v.key, v.name);
    }
  }
  return e;
}

// ---- checks ----

namespace {

struct Mapped {
  const ExpectedRow* expected;  // null when the row matched nothing
  Status status;
  std::string text;
};

bool TextMatches(const ExpectedRow& r, const std::string& shown, bool normalise, bool emptyAllowed) {
  if (shown == r.text) return true;
  if (emptyAllowed && shown.empty() && (r.kind == RowKind::Section || r.kind == RowKind::Detect)) return true;
  if (r.prefixMayBeShown && shown.size() >= 3 && r.text.compare(0, shown.size(), shown) == 0) return true;
  return normalise && NormalisedText(shown) == NormalisedText(r.text);
}

// Maps the rows onto the outcome: exactly (same count, same texts) or, under a fault that can
// take rows away, as an ordered subsequence that keeps every mandatory row.
bool MapRows(const Outcome& o, const std::vector<winsim::ListRow>& rows, bool subsequence, bool emptyAllowed,
             std::vector<Mapped>* mapped) {
  mapped->clear();
  if (!subsequence) {
    if (rows.size() != o.rows.size()) return false;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (!TextMatches(o.rows[i], rows[i].item, false, false)) return false;
      mapped->push_back({&o.rows[i], StatusFromText(rows[i].status), rows[i].item});
    }
    return true;
  }
  size_t j = 0;
  for (const winsim::ListRow& row : rows) {
    bool found = false;
    while (j < o.rows.size()) {
      const ExpectedRow& r = o.rows[j++];
      if (TextMatches(r, row.item, true, emptyAllowed)) {
        mapped->push_back({&r, StatusFromText(row.status), row.item});
        found = true;
        break;
      }
      if (r.mandatory) return false;
    }
    if (!found) return false;
  }
  for (; j < o.rows.size(); ++j) {
    if (o.rows[j].mandatory) return false;
  }
  return true;
}

class Checker {
 public:
  explicit Checker(const CheckContext& c) : c_(c), m_(*c.machine), e_(*c.expectation) {}

  std::vector<std::string> Run() {
    ChooseOutcome();
    CheckDisk();
    CheckRegistry();
    CheckHandles();
    if (outcome_ != nullptr) {
      CheckStatuses();
      CheckDeferrals();
      CheckBoxes();
    }
    return problems_;
  }

 private:
  const CheckContext& c_;
  const Machine& m_;
  const Expectation& e_;
  std::vector<std::string> problems_;
  const Outcome* outcome_ = nullptr;
  std::vector<Mapped> mapped_;
  std::set<std::string> allowedNodes_, allowedTrees_;

  void Problem(const std::string& p) { problems_.push_back(p); }
  bool Faulted(const char* api) const { return c_.fault != nullptr && c_.fault->api == api; }
  bool Vanished() const { return c_.fault != nullptr && c_.fault->vanished; }

  void Allow(const Outcome& o) {
    for (const ExpectedRow& r : o.rows) {
      if (r.id.empty() || !r.removable) continue;
      if (r.kind == RowKind::MenuTree) allowedTrees_.insert(r.id);
      if (r.kind == RowKind::FileDefer || r.kind == RowKind::FileNoDefer || r.kind == RowKind::InstallFolder) {
        allowedNodes_.insert(r.id);
      }
    }
  }

  // Why the entry `key` (of the machine before the run) is not the package's, whatever the
  // registry says and whatever the rows: it is a folder the system names or one above such a
  // folder; or, being no fixed item of the plan, it lies in another program's or the user's
  // folder, or directly in a folder the system names (or one above) and is a file, a junction
  // or named like an install file. "" when it may be the package's.
  std::string NotThePackages(const std::string& key) const {
    const DiskEntry* entry = c_.before->Find(key);
    if (entry == nullptr) return "";
    if (e_.systemFolders.count(key)) return "a folder the system names, or one above it";
    // What the fixed tables name relative to the folders the system reports is the plan's, even
    // through a junction on its way ("Ztablet\TabUserZ.exe" with "Ztablet" a junction).
    if (e_.fixedNodes.count(key)) return "";
    for (const std::string& tree : e_.fixedTrees) {
      if (DiskSnapshot::IsWithin(key, tree)) return "";
    }
    for (const std::string& tree : e_.foreignTrees) {
      if (DiskSnapshot::IsWithin(key, tree)) return "in another program's folder";
    }
    const std::vector<std::string> parts = SplitSeparators(entry->path);
    const bool installName = e_.installNames.count(Fold(parts.back())) != 0;
    if (e_.systemFolders.count(entry->parentKey) && (!entry->isFolder || entry->isLink || installName)) {
      return "directly in a folder the system names, or one above it";
    }
    return "";
  }

  bool Allowed(const std::string& key) const {
    if (allowedNodes_.count(key)) return true;
    for (const std::string& t : allowedTrees_) {
      if (DiskSnapshot::IsWithin(key, t)) return true;
    }
    return false;
  }

  void ChooseOutcome() {
    const std::vector<winsim::ListRow>& rows = c_.run->rows;
    const Fault* f = c_.fault;
    if (f == nullptr) {
      for (const Outcome& o : e_.outcomes) {
        if (!o.faultOnly && MapRows(o, rows, false, false, &mapped_)) {
          outcome_ = &o;
          break;
        }
      }
    } else {
      // Under a fault: a stop exactly when the base folders cannot be read, the rows of the run
      // without the fault when the failing call cannot change them, else a subsequence.
      const bool mustStop = (f->api == "GetWindowsDirectoryA" || f->api == "GetSystemDirectoryA") && f->ordinal == 1;
      const bool exact = !ChangesRows(f->api);
      if (exact && c_.cleanRun != nullptr) {
        bool same = c_.cleanRun->rows.size() == rows.size();
        for (size_t i = 0; same && i < rows.size(); ++i) same = rows[i].item == c_.cleanRun->rows[i].item;
        // The checks that refuse an install folder read attributes, 8.3 forms and drive types:
        // when one of them fails, the folder may be refused, and the rows must then be exactly
        // those of another outcome (no install folder, or the documents location).
        const bool refusalCheck =
            f->api == "GetFileAttributesA" || f->api == "GetShortPathNameA" || f->api == "GetDriveTypeA";
        // Those of the user's rights may refuse the whole run.
        if (!same && !refusalCheck && !(AsksForRights(f->api) && rows.empty())) {
          Problem("the rows differ from those of the run without the fault, though " + f->api + " cannot change them");
        }
      }
      for (const Outcome& o : e_.outcomes) {
        if (o.stops != mustStop) continue;
        if (mustStop &&
            o.stopLabel !=
                (f->api == "GetWindowsDirectoryA" ? "Windows" : (IsNtFamily(m_.osKind) ? "System32" : "System"))) {
          continue;
        }
        if (MapRows(o, rows, !exact, Faulted("LoadStringA"), &mapped_)) {
          outcome_ = &o;
          break;
        }
      }
    }
    if (outcome_ != nullptr) {
      Allow(*outcome_);
      return;
    }
    for (const Outcome& o : e_.outcomes) Allow(o);
    std::ostringstream out;
    out << "the rows match no outcome the rules allow (" << rows.size() << " rows shown)";
    for (const Outcome& o : e_.outcomes) {
      if (o.faultOnly && f == nullptr) continue;
      out << "\n    vs " << o.description << " (" << o.rows.size() << " rows)";
      for (size_t i = 0; i < std::max(o.rows.size(), rows.size()); ++i) {
        const std::string want = i < o.rows.size() ? o.rows[i].text : "(none)";
        const std::string got = i < rows.size() ? rows[i].item : "(none)";
        if (want != got) {
          out << ": first difference at row " << i << ": expected \"" << Short(want) << "\", shown \"" << Short(got)
              << "\"";
          break;
        }
      }
    }
    Problem(out.str());
  }

  // ---- what is on disk ----

  void CheckDisk() {
    const DiskSnapshot& b = *c_.before;
    const DiskSnapshot& a = *c_.after;
    const bool zeroTailTolerated = Faulted("SetEndOfFile") || Faulted("SetFilePointer") || Faulted("UnmapViewOfFile");
    for (const auto& [key, entry] : b.Entries()) {
      const DiskEntry* now = a.Find(key);
      const std::string notThePackages = NotThePackages(key);
      if (now == nullptr) {
        if (!Allowed(key)) Problem("removed outside the plan: " + Short(entry.path));
        if (!notThePackages.empty())
          Problem("removed what is not the package's (" + notThePackages + "): " + Short(entry.path));
        continue;
      }
      if (now->isFolder != entry.isFolder || now->isLink != entry.isLink) Problem("changed kind: " + Short(entry.path));
      if (key == e_.renameFileKey && !entry.isFolder) continue;  // checked below
      if (now->bytes != entry.bytes) Problem("bytes changed: " + Short(entry.path));
      if (now->attributes != entry.attributes && !Allowed(key)) {
        Problem("attributes changed outside the plan: " + Short(entry.path));
      } else if (now->attributes != entry.attributes && !notThePackages.empty()) {
        Problem("attributes changed of what is not the package's (" + notThePackages + "): " + Short(entry.path));
      }
    }
    for (const auto& [key, entry] : a.Entries()) {
      if (!b.Has(key) && key != e_.renameFileKey) Problem("appeared: " + Short(entry.path));
    }
    // The rename file: its old bytes in order, with only whole deletion lines added.
    renameLines_.clear();
    if (e_.renameFileKey.empty()) return;
    const DiskEntry* was = b.Find(e_.renameFileKey);
    const DiskEntry* is = a.Find(e_.renameFileKey);
    if (was != nullptr && was->isFolder) return;
    if (is == nullptr) return;
    if (is->isFolder) {
      Problem("a folder appeared in place of the rename file");
      return;
    }
    std::string problem;
    if (!ExplainRenameFile(was != nullptr ? was->bytes : "", is->bytes, zeroTailTolerated, &renameLines_, &problem)) {
      Problem(problem + " (" + std::to_string(was != nullptr ? was->bytes.size() : 0) + " bytes before, " +
              std::to_string(is->bytes.size()) + " after)");
    }
  }

  std::vector<std::string> renameLines_;

  // ---- the registry ----

  bool KeyAllowed(const std::string& id) const {
    for (const std::string& t : e_.allowedKeyTrees) {
      if (id == t || (id.size() > t.size() && id.compare(0, t.size(), t) == 0 && id[t.size()] == '\\')) return true;
    }
    return false;
  }

  static std::string ValueKeyOf(const std::string& line) { return line.substr(0, line.find('|')); }
  static std::string ValueNameOf(const std::string& line) {
    size_t open = line.find("|[");
    size_t close = line.rfind("] type ");
    return open == std::string::npos || close == std::string::npos ? "" : line.substr(open + 2, close - open - 2);
  }

  void CheckRegistry() {
    const RegistrySnapshot& b = *c_.registryBefore;
    const RegistrySnapshot& a = *c_.registryAfter;
    for (const std::string& k : b.keys) {
      if (!a.keys.count(k) && !KeyAllowed(k)) Problem("key removed outside the plan: " + Short(k));
    }
    for (const std::string& k : a.keys) {
      if (!b.keys.count(k)) Problem("key appeared: " + Short(k));
    }
    for (const std::string& v : b.values) {
      if (a.values.count(v)) continue;
      const std::string key = ValueKeyOf(v);
      if (!KeyAllowed(key) && key + "|" + Fold(ValueNameOf(v)) != e_.allowedValue) {
        Problem("value removed outside the plan: " + Short(v));
      }
    }
    for (const std::string& v : a.values) {
      if (!b.values.count(v)) Problem("value appeared or changed: " + Short(v));
    }
    for (const auto& [id, bytes] : e_.valuesBefore) {
      if (KeyAllowed(id.first) || id.first + "|" + id.second == e_.allowedValue) continue;
      for (const Machine::Value& v : m_.values) {
        if (KeyId(v.root, v.key) != id.first || Fold(v.name) != id.second) continue;
        if (!winsim::ValueExists(v.root, v.key, v.name)) {
          Problem("value gone: " + Short(id.first + "|" + v.name));
        } else if (winsim::ValueBytes(v.root, v.key, v.name) != bytes) {
          Problem("value changed: " + Short(id.first + "|" + v.name));
        }
        break;
      }
    }
  }

  // ---- handles ----

  void CheckHandles() {
    const std::string& leaks = c_.run->leaks;
    if (!leaks.empty()) {
      bool excused = false;
      if (c_.fault != nullptr) {
        // The one thing whose release failed stays open; nothing else may.
        const char* kind = ReleasedKind(c_.fault->api);
        if (kind != nullptr) excused = leaks == std::string("1 ") + kind + "(s) still open\n";
        if (c_.fault->api == "CloseHandle") {
          excused = leaks == "1 file(s) still open\n" || leaks == "1 file mapping(s) still open\n" ||
                    leaks == "1 process token(s) still open\n";
        }
      }
      if (!excused) Problem("left open after the run: " + leaks);
    }
    if (c_.run->shellMisuses != 0)
      Problem("the shell's allocator was misused " + std::to_string(c_.run->shellMisuses) + " time(s)");
  }

  // ---- the status of every row against what happened to its item ----

  // Whether an earlier row may have taken the item of row `i` away: the same item deleted, a
  // tree it lies in, or an entry on its path (a link the path went through, a folder on the way).
  bool ExplainedBefore(size_t i, const std::string& id) const {
    const std::vector<std::string> chain = c_.before->ResolveChain(mapped_[i].expected->text);
    for (size_t j = 0; j < i; ++j) {
      const ExpectedRow* r = mapped_[j].expected;
      if (r == nullptr || r->id.empty()) continue;
      const bool tree = r->kind == RowKind::MenuTree || r->kind == RowKind::InstallFolder;
      if ((r->kind == RowKind::FileDefer || r->kind == RowKind::FileNoDefer) && r->id == id &&
          mapped_[j].status == Status::Deleted) {
        return true;
      }
      if (tree && DiskSnapshot::IsWithin(id, r->id)) return true;
      for (const std::string& on : chain) {
        if (on == r->id || (tree && DiskSnapshot::IsWithin(on, r->id))) return true;
      }
    }
    return false;
  }

  // Gone before row `i` for certain: never there, or removed by an earlier row that says so.
  bool GoneBefore(size_t i, const std::string& id) const {
    if (!c_.before->Has(id)) return true;
    for (size_t j = 0; j < i; ++j) {
      const ExpectedRow* r = mapped_[j].expected;
      if (r == nullptr || r->id.empty() || mapped_[j].status != Status::Deleted) continue;
      if (r->id == id) return true;
      if ((r->kind == RowKind::MenuTree || r->kind == RowKind::InstallFolder) && DiskSnapshot::IsWithin(id, r->id))
        return true;
    }
    return false;
  }

  // Put off until restart by an earlier file row of this run.
  bool DeferredBefore(size_t i, const std::string& id) const {
    for (size_t j = 0; j < i; ++j) {
      const ExpectedRow* r = mapped_[j].expected;
      if (r != nullptr && r->id == id && r->kind == RowKind::FileDefer && mapped_[j].status == Status::AtRestart)
        return true;
    }
    return false;
  }

  bool CoveredLater(size_t i, const std::string& id) const {
    for (size_t j = i + 1; j < mapped_.size(); ++j) {
      const ExpectedRow* r = mapped_[j].expected;
      if (r == nullptr || r->id.empty()) continue;
      if (r->id == id ||
          ((r->kind == RowKind::MenuTree || r->kind == RowKind::InstallFolder) && DiskSnapshot::IsWithin(id, r->id))) {
        return true;
      }
    }
    return false;
  }

  // Nothing in the tree below `id` (links not entered) resists, and every path the walk builds
  // from `shownPath` stays within the working path of MAX_PATH bytes.
  bool TreeIsPlain(const std::string& id, const std::string& shownPath) const {
    const DiskSnapshot& b = *c_.before;
    const DiskEntry* root = b.Find(id);
    if (root == nullptr) return false;
    for (const auto& [key, entry] : b.Entries()) {
      if (!DiskSnapshot::IsWithin(key, id)) continue;
      if (m_.hostileEntries.count(key)) return false;
      const size_t shownLength = shownPath.size() + (entry.path.size() - root->path.size());
      if (shownLength > MAX_PATH - 3) return false;
    }
    return true;
  }

  bool KeyTreeIsPlain(const std::string& id) const {
    for (const std::string& k : c_.registryBefore->keys) {
      if (k != id && !(k.size() > id.size() && k.compare(0, id.size(), id) == 0 && k[id.size()] == '\\')) continue;
      if (m_.deniedKeys.count(k) || m_.undeletableKeys.count(k)) return false;
      // The name of the key's last level, as RegEnumKeyExA must return it in 255 characters.
      size_t slash = k.rfind('\\');
      if (k != id && k.size() - slash - 1 >= 255) return false;
    }
    return true;
  }

  void CheckStatuses() {
    const bool firm = c_.fault == nullptr;  // without a fault, the status itself is foretold
    const DiskSnapshot& b = *c_.before;
    const DiskSnapshot& a = *c_.after;
    for (size_t i = 0; i < mapped_.size(); ++i) {
      const Mapped& row = mapped_[i];
      const ExpectedRow& r = *row.expected;
      const Status s = row.status;
      const std::string where = "row " + std::to_string(i) + " \"" + Short(row.text) + "\" (" + StatusName(s) + "): ";
      if (s == Status::Unknown) {
        Problem(where + "a status text no status has");
        continue;
      }
      if (s == Status::None && r.kind != RowKind::Section) {
        if (!Faulted("LoadStringA")) Problem(where + "an item row without a status");
        continue;
      }
      switch (r.kind) {
        case RowKind::Section:
          if (s != Status::None) Problem(where + "a section row with a status");
          break;
        case RowKind::Detect:
          if (s != Status::DetectError) Problem(where + "the missing install folder must be a detection error");
          break;
        case RowKind::FileDefer:
        case RowKind::FileNoDefer: {
          const bool existed = b.Has(r.id), exists = a.Has(r.id);
          const DiskEntry* entry = b.Find(r.id);
          const bool isFile = entry != nullptr && !entry->isFolder;
          if (s == Status::Deleted) {
            // A folder in a file list is removed at once when it is empty and cannot be put off.
            if (!(existed && !exists)) Problem(where + "claims a deletion that did not happen");
          } else if (s == Status::NoFile) {
            if (existed && !ExplainedBefore(i, r.id) && !Vanished()) Problem(where + "claims the file was not there");
          } else if (s == Status::AtRestart) {
            if (r.kind == RowKind::FileNoDefer) Problem(where + "a Windows 95 INF file is never put off until restart");
            if (existed && !exists && !ExplainedBefore(i, r.id) && !CoveredLater(i, r.id)) {
              Problem(where + "put off until restart, yet gone now");
            }
            // Under a fault a call may call a missing file inaccessible, and the request for the
            // restart is then made for nothing; without one that is a false report.
            if (!existed && c_.fault == nullptr) Problem(where + "put off until restart, though it was not there");
          } else if (s == Status::Error) {
            if (existed && !exists && !CoveredLater(i, r.id) && !ExplainedBefore(i, r.id)) {
              Problem(where + "an error, yet the item is gone");
            }
          } else {
            Problem(where + "a status a file never has");
          }
          if (firm && r.simpleText) {
            const bool hostile = m_.hostileEntries.count(r.id) != 0;
            if (GoneBefore(i, r.id) && s != Status::NoFile) {
              Problem(where + "a missing file must show \"no file\"");
            } else if (existed && isFile && !hostile && !ExplainedBefore(i, r.id) && s != Status::Deleted) {
              Problem(where + "a plain file must be deleted");
            } else if (existed && !isFile && !hostile && IsNtFamily(m_.osKind) && r.kind == RowKind::FileDefer &&
                       s != Status::AtRestart) {
              Problem(where + "a folder in a file's place is put off until restart on this family");
            }
          }
          if (!r.removable && s == Status::Deleted) Problem(where + "deleted an INF file outside the INF folder");
          break;
        }
        case RowKind::MenuTree:
        case RowKind::InstallFolder: {
          const bool existed = b.Has(r.id), exists = a.Has(r.id);
          const DiskEntry* entry = b.Find(r.id);
          const bool isFolder = entry != nullptr && entry->isFolder;
          if (s == Status::Deleted) {
            if (!(existed && !exists && isFolder)) Problem(where + "claims a removal that did not happen");
          } else if (s == Status::NoFolder) {
            if (existed && !ExplainedBefore(i, r.id) && !Vanished()) Problem(where + "claims the folder was not there");
          } else if (s == Status::NoFile) {
            if (!(existed && exists) && !Vanished()) Problem(where + "\"no file\" for a folder that did not stay");
          } else if (s == Status::Error) {
            if (existed && !exists && !CoveredLater(i, r.id) && !ExplainedBefore(i, r.id)) {
              Problem(where + "an error, yet the folder is gone");
            }
          } else if (s == Status::AtRestart && r.kind == RowKind::InstallFolder) {
            // Only an install folder left holding the files this run put off goes after them.
            if (!exists && !Vanished()) Problem(where + "put off until restart, yet gone now");
            const std::vector<std::string> left = a.ChildrenOf(r.id);
            if (left.empty() && !Vanished()) Problem(where + "put off until restart, though nothing in it was");
            for (const std::string& child : left) {
              if (!DeferredBefore(i, child)) Problem(where + "put off until restart, yet it holds " + Short(child));
            }
          } else {
            Problem(where + "a status a folder never has");
          }
          if (firm && r.kind == RowKind::MenuTree && r.simpleText && row.text.size() <= MAX_PATH - 3) {
            if (GoneBefore(i, r.id) && s != Status::NoFolder) {
              Problem(where + "a missing menu folder must show \"no folder\"");
            } else if (existed && isFolder && !ExplainedBefore(i, r.id) && TreeIsPlain(r.id, row.text) &&
                       s != Status::Deleted) {
              Problem(where + "a menu folder with nothing that resists must be removed");
            } else if (existed && !isFolder && s != Status::Error) {
              Problem(where + "a file in a menu folder's place must be an error");
            }
          }
          if (firm && r.kind == RowKind::InstallFolder && r.simpleText && exists && isFolder && !entry->isLink &&
              a.ChildrenOf(r.id).empty() && !m_.hostileEntries.count(r.id) && row.text.size() <= MAX_PATH - 3 &&
              !ExplainedBefore(i, r.id)) {
            Problem(where + "the emptied install folder stayed");
          }
          break;
        }
        case RowKind::Key: {
          const bool existed = c_.registryBefore->keys.count(r.id) != 0;
          const bool exists = c_.registryAfter->keys.count(r.id) != 0;
          if (s == Status::Deleted) {
            if (!(existed && !exists)) Problem(where + "claims a key removal that did not happen");
          } else if (s == Status::NoKey) {
            if (existed && !Vanished()) Problem(where + "claims the key was not there");
          } else if (s == Status::Error) {
            // Under a fault even a key that is not there may be an error (the open failed).
            if (existed && !exists) Problem(where + "an error, yet the key is gone");
            if (!existed && c_.fault == nullptr) Problem(where + "an error, yet the key was never there");
          } else {
            Problem(where + "a status a key never has");
          }
          if (firm && existed && KeyTreeIsPlain(r.id) && s != Status::Deleted)
            Problem(where + "a plain key tree must be removed");
          break;
        }
        case RowKind::Value: {
          const bool existed = e_.valueIdsBefore.count(r.id) != 0;
          const std::string keyId = r.id.substr(0, r.id.find('|'));
          const bool keyExisted = c_.registryBefore->keys.count(keyId) != 0;
          const FamilyTables& t = TablesFor(m_.osKind);
          const bool exists = winsim::ValueExists(t.valueKeys[0].root, t.valueKeys[0].subkey, t.valueNames[0]);
          if (s == Status::Deleted) {
            if (!(existed && !exists)) Problem(where + "claims a value removal that did not happen");
          } else if (s == Status::NoValue) {
            if ((existed || !keyExisted) && !Vanished()) {
              Problem(where + "\"no value\" is only for an existing key without the value");
            }
          } else if (s == Status::Error) {
            if (existed != exists) Problem(where + "an error, yet the value changed");
          } else {
            Problem(where + "a status a value never has");
          }
          if (firm) {
            const bool keyOpens = keyExisted && !m_.deniedKeys.count(keyId);
            if (!keyExisted && s != Status::Error) Problem(where + "a value under a missing key is an error");
            if (keyOpens && existed && s != Status::Deleted) Problem(where + "the value must be removed");
            if (keyOpens && !existed && s != Status::NoValue) Problem(where + "the value was not there");
          }
          break;
        }
      }
    }
  }

  // ---- deferrals: one request per "at restart" row, through the system or the rename file ----

  void CheckDeferrals() {
    std::multiset<std::string> pending;
    // Rows that may hide a deferral: an item row whose status text could not be loaded; and,
    // when the rename file could not be cut to its length (or its view not unmapped), the error
    // row of the item whose line is in the file all the same (a limit of editing in place).
    std::multiset<std::string> excused;
    const bool cutFailed = Faulted("SetEndOfFile") || Faulted("SetFilePointer") || Faulted("UnmapViewOfFile");
    for (const Mapped& row : mapped_) {
      if (row.status == Status::AtRestart) pending.insert(row.text);
      if (row.status == Status::None && row.expected->kind != RowKind::Section && Faulted("LoadStringA"))
        excused.insert(row.text);
      if (row.status == Status::Error && cutFailed) excused.insert(row.text);
    }
    auto excuse = [&](const std::string& path, bool shortForm) {
      for (auto it = excused.begin(); it != excused.end(); ++it) {
        if (shortForm ? Fold(c_.before->ShortForm(*it)) == Fold(path) : *it == path) {
          excused.erase(it);
          return true;
        }
      }
      return false;
    };
    for (const winsim::DelayedMove& d : c_.run->delayedMoves) {
      if (!d.deletion) Problem("a delayed move that is no deletion: " + Short(d.existing));
      auto it = pending.find(d.existing);
      if (it == pending.end()) {
        if (!excuse(d.existing, false)) Problem("a deletion at restart without its row: " + Short(d.existing));
      } else {
        pending.erase(it);
      }
      // A request for a path that names nothing can take nothing away; one for an entry must
      // name an entry of the plan.
      const std::string key = c_.before->Resolve(d.existing);
      if (c_.before->Has(key) && !Allowed(key)) Problem("a deletion at restart outside the plan: " + Short(d.existing));
      const std::string notThePackages = NotThePackages(key);
      if (!notThePackages.empty()) {
        Problem("a deletion at restart of what is not the package's (" + notThePackages + "): " + Short(d.existing));
      }
    }
    for (const std::string& line : renameLines_) {
      const std::string notThePackages = NotThePackages(c_.before->Resolve(line));
      if (!notThePackages.empty()) {
        Problem("a rename-file line deletes what is not the package's (" + notThePackages + "): " + Short(line));
      }
      bool matched = false;
      for (auto it = pending.begin(); it != pending.end(); ++it) {
        // The 8.3 form of the row's path on the machine as it was (a link on the way may be
        // gone by now).
        if (Fold(c_.before->ShortForm(*it)) == Fold(line)) {
          pending.erase(it);
          matched = true;
          break;
        }
      }
      if (!matched && !excuse(line, true)) Problem("a rename-file line without its row: " + Short(line));
    }
    for (const std::string& p : pending) Problem("\"at restart\" shown, but nothing was scheduled: " + Short(p));
  }

  // ---- the box that ends the run ----

  void CheckBoxes() {
    const auto& boxes = c_.run->boxes;
    const bool boxFailed = Faulted("MessageBoxA");
    const bool textMayBeEmpty = Faulted("LoadStringA");
    if (boxFailed && boxes.empty()) {
      if (std::count(c_.run->calls.begin(), c_.run->calls.end(), "MessageBoxA") == 0) Problem("no box was even tried");
      return;
    }
    if (boxes.size() != 1) {
      Problem(std::to_string(boxes.size()) + " message boxes instead of one");
      return;
    }
    const winsim::MessageBoxCall& box = boxes[0];
    if (box.owner != c_.run->mainWindow) Problem("the box is not owned by the main window");
    if (outcome_->refused) {
      if (box.caption != kTitle || box.style != (MB_OK | MB_ICONEXCLAMATION))
        Problem("the refusal's box is not its own");
      if (box.text != NeedsAdministratorText() && !(textMayBeEmpty && box.text.empty())) {
        Problem("the refusal's box says \"" + Short(box.text) + "\"");
      }
      return;
    }
    if (outcome_->stops) {
      if (box.caption != "Error" || box.style != (MB_OK | MB_ICONERROR)) Problem("the stop's box is not the error box");
      if (box.text != FolderNotFoundText(outcome_->stopLabel) && !(textMayBeEmpty && box.text.empty())) {
        Problem("the stop's box says \"" + Short(box.text) + "\"");
      }
      return;
    }
    bool error = c_.run->errorSeenBefore, restart = c_.run->restartPendingBefore, hiddenStatus = false;
    for (const Mapped& row : mapped_) {
      error = error || row.status == Status::Error || row.status == Status::DetectError;
      restart = restart || row.status == Status::AtRestart;
      hiddenStatus = hiddenStatus || (row.status == Status::None && row.expected->kind != RowKind::Section);
    }
    std::string text = SummaryDoneText();
    UINT style = MB_OK | MB_ICONINFORMATION;
    if (error) {
      text = SummaryPartialText();
      style = MB_OK | MB_ICONEXCLAMATION;
    } else if (restart) {
      text = SummaryRestartText();
    }
    if (box.caption != kTitle && !(textMayBeEmpty && box.caption.empty()))
      Problem("the summary's caption is \"" + Short(box.caption) + "\"");
    // A row whose status text could not be loaded may have been an error or a deferral.
    const bool excused =
        textMayBeEmpty && (box.text.empty() || (hiddenStatus && (box.text == SummaryPartialText() ||
                                                                 (!error && box.text == SummaryRestartText()))));
    if ((box.text != text || box.style != style) && !excused) {
      Problem(std::string("the summary says \"") + Short(box.text, 40) + "\" after " +
              (error     ? "an error row"
               : restart ? "a deferral"
                         : "a clean run"));
    }
  }
};

}  // namespace

std::vector<std::string> Check(const CheckContext& c) { return Checker(c).Run(); }

std::string DescribeRows(const std::vector<winsim::ListRow>& rows) {
  std::ostringstream out;
  for (size_t i = 0; i < rows.size(); ++i) {
    out << "  " << i << ": " << Short(rows[i].item, 200) << " | " << Utf8OrBytes(rows[i].status) << "\n";
  }
  return out.str();
}

void Tally::Add(const CheckContext& c) {
  ++runs;
  for (const winsim::ListRow& r : c.run->rows) {
    ++rows;
    statuses[StatusName(StatusFromText(r.status))]++;
  }
  if (c.run->rows.size() <= 1) ++stops;
  for (const auto& [key, entry] : c.before->Entries()) {
    if (c.after->Has(key)) {
      ++keptEntries;
    } else {
      ++removedEntries;
    }
  }
  for (const std::string& k : c.registryBefore->keys) {
    if (c.registryAfter->keys.count(k)) {
      ++keptKeys;
    } else {
      ++removedKeys;
    }
  }
  delayedMoves += static_cast<long>(c.run->delayedMoves.size());
}

std::string Tally::Describe() const {
  std::ostringstream out;
  out << runs << " runs (" << stops << " stopped by the base folders), " << rows << " rows; " << removedEntries
      << " files/folders removed and " << keptEntries << " kept; " << removedKeys << " keys removed and " << keptKeys
      << " kept; " << delayedMoves << " deletions handed to the system at restart; statuses:";
  for (const auto& [name, n] : statuses) out << " " << name << " " << n << ";";
  return out.str();
}

}  // namespace safety
