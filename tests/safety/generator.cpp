#include "generator.h"

#include <shlobj.h>

#include <cstdio>
#include <sstream>

#include "plan_tables.h"
#include "base/os_kind.h"
#include "tests/common/windows_versions.h"
#include "base/run_state.h"
#include "winsim.h"
#include "winsim_fs.h"
#include "winsim_registry.h"

namespace safety {

uint64_t Rng::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void SetWindowsVersion(int osKind) { SimulateWindows(osKind); }

std::string Machine::RealPath(const std::string& path) const {
  std::string p = path;
  for (int round = 0; round < 8; ++round) {
    bool changed = false;
    for (const auto& [link, target] : links) {
      const std::string fp = Fold(p), fl = Fold(link);
      if (fp == fl || (fp.size() > fl.size() && fp.compare(0, fl.size(), fl) == 0 && fp[fl.size()] == '\\')) {
        std::string rest = p.substr(link.size());
        std::string base = target;
        while (!base.empty() && base.back() == '\\') base.pop_back();
        p = base + rest;
        changed = true;
        break;
      }
    }
    if (!changed) break;
  }
  return p;
}

std::string Machine::KeyOf(const std::string& realPath) {
  if (realPath.size() < 2) return "";
  std::string key(1, static_cast<char>(realPath[0] >= 'a' && realPath[0] <= 'z' ? realPath[0] - 0x20 : realPath[0]));
  key += ":";
  for (const std::string& part : SplitSeparators(realPath.substr(2))) {
    if (!part.empty()) key += "\\" + Fold(part);
  }
  return key;
}

std::string Machine::Describe() const {
  std::ostringstream out;
  out << "machine of seed " << seed << ", OsKind " << osKind << "\n";
  for (const std::string& n : notes) {
    try {
      out << "  " << winsim::Utf8(n) << "\n";
    } catch (...) {
      out << "  (bytes) " << n << "\n";
    }
  }
  return out.str();
}

namespace {

const char* KindName(int osKind) {
  switch (osKind) {
    case OsWinNT4: return "Windows NT 4.0";
    case OsWin98: return "Windows 98";
    case OsWin95: return "Windows 95";
    case OsWin95Osr2: return "Windows 95 OSR2";
    case OsWin2000: return "Windows 2000";
    case OsWinMe: return "Windows Me";
    case OsWinXP: return "Windows XP";
    default: return "?";
  }
}

const REGSAM kAllRights = 0xF003F;  // KEY_ALL_ACCESS: no open of any kind succeeds

std::string S(const std::string& utf8) { return winsim::Sjis(utf8); }

// A path under `base` of exactly `length` bytes, made of folder names of up to 60 characters.
std::string PathOfLength(const std::string& base, size_t length) {
  std::string p = base;
  char letter = 'a';
  while (p.size() < length) {
    size_t room = length - p.size() - 1;  // one for the separator
    if (room == 0) {
      p += "x";
      break;
    }
    size_t take = room > 60 ? 60 : room;
    // Avoid leaving a single byte for the next round: it would be a separator alone.
    if (room > 60 && room - 60 < 2) take = room - 2;
    p += "\\" + std::string(take, letter);
    letter = letter == 'z' ? 'a' : static_cast<char>(letter + 1);
  }
  return p;
}

class Builder {
 public:
  Builder(Machine& m, uint64_t seed) : m_(m), r_(seed) {}

  Machine& m_;
  Rng r_;
  int counter_ = 0;
  std::string win_, sys_, inf_;  // real paths, no final backslash
  bool winExists_ = false;
  std::vector<std::string> programs_;  // real paths of resolvable, existing Programs folders
  std::vector<std::string> startups_;
  int pFiles_ = 100, pMenus_ = 100, pInstall_ = 100, pReg_ = 100;

  void Note(const std::string& text) { m_.notes.push_back(text); }
  // A hostile shape, counted as made only when `made` (what the stand-in's test side reads back
  // after the making) says it is on the machine.
  void Made(const std::string& text, bool made) {
    Note(made ? text : text + " (not made)");
    if (made) m_.made.push_back(text);
  }
  static bool IsLinkOnDisk(const std::string& path) {
    const DWORD a = winsim::Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }
  static bool IsFolderOnDisk(const std::string& path) {
    const DWORD a = winsim::Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  void Hostile(const std::string& path) { m_.hostileEntries.insert(Machine::KeyOf(m_.RealPath(path))); }

  DWORD RandomAttributes() {
    int a = r_.Below(100);
    if (a < 55) return FILE_ATTRIBUTE_ARCHIVE;
    if (a < 65) return FILE_ATTRIBUTE_READONLY;
    if (a < 73) return FILE_ATTRIBUTE_HIDDEN;
    if (a < 79) return FILE_ATTRIBUTE_SYSTEM;
    if (a < 87) return FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (a < 93) return 0;
    return FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  }

  // A file, with now and then something that makes it resist removal.
  bool File(const std::string& path, const std::string& bytes, int hostilePercent) {
    DWORD attributes = RandomAttributes();
    if (!winsim::MakeFile(path, bytes, attributes)) return false;
    if (r_.Percent(hostilePercent)) {
      int h = r_.Below(100);
      if (h < 60) {
        Made("in use: " + path, winsim::HoldFileOpen(path, 0) != 0);
      } else if (h < 80) {
        Made("delete denied: " + path, winsim::DenyAccess(path, winsim::DenyDelete));
      } else if (h < 92) {
        Made("attributes cannot be set: " + path, winsim::DenyAccess(path, winsim::DenySetAttributes));
      } else {
        Made("attributes cannot be read: " + path, winsim::DenyAccess(path, winsim::DenyReadAttributes));
      }
      Hostile(path);
    }
    return true;
  }

  void Canary(const std::string& path, const std::string& bytes = "canary") { winsim::MakeFile(path, bytes); }
  // Another program's folder holding `file`.
  void ForeignFolder(const std::string& folder, const std::string& file) {
    Canary(folder + "\\" + file);
    m_.foreignFolders.push_back(folder);
  }

  bool Link(const std::string& linkPath, const std::string& target) {
    const std::string text = "link " + linkPath + " -> " + target + (target.size() <= 3 ? " (a drive root)" : "");
    if (!winsim::MakeDirectoryLink(linkPath, target)) {
      Made(text, false);
      return false;
    }
    const std::string real = m_.RealPath(linkPath);
    m_.links.push_back({real, target});
    m_.disk.linkTargets[Machine::KeyOf(real)] = target;
    Made(text, IsLinkOnDisk(linkPath));
    return true;
  }

  void Unshowable(const std::string& folder, bool isFolder) {
    const std::string shortName = "UNI" + std::to_string(++counter_ % 1000) + "~1" + (isFolder ? "" : ".LNK");
    const std::string shown = isFolder ? "? folder" : "Help ?.lnk";
    if (!winsim::MakeUnrepresentableEntry(folder, shown, shortName, isFolder)) return;
    m_.disk.unshowable.push_back({Machine::KeyOf(m_.RealPath(folder)), shortName});
    if (isFolder) winsim::MakeFile(folder + "\\" + shortName + "\\inner.txt", "inner");
  }

  // A folder of things the tool must never touch, for links to point at.
  std::string CanaryFolder() {
    const bool onD = winsim::Exists("D:\\") && r_.Percent(30);
    const std::string path = std::string(onD ? "D:\\Precious\\T" : "C:\\Canary\\T") + std::to_string(++counter_);
    m_.foreignFolders.push_back(path);
    winsim::MakeFile(path + "\\important.doc", "precious");
    winsim::MakeFile(path + "\\Read Me.txt", "someone else's read me");
    winsim::MakeFile(path + "\\sub\\data.bin", std::string("\0\1\2", 3));
    if (r_.Percent(30)) winsim::MakeFile(path + "\\locked.dat", "held", FILE_ATTRIBUTE_READONLY);
    return path;
  }

  std::string LinkTarget(const std::string& containingFolder) {
    int t = r_.Below(100);
    if (t < 45) return CanaryFolder();
    if (t < 55 && winExists_) return win_;
    if (t < 65 && winsim::Exists(sys_)) return sys_;
    if (t < 72) return "C:\\";
    if (t < 80) return containingFolder;  // a loop back to where the link is
    if (t < 88) {
      const std::string sibling = "C:\\Canary\\Program " + std::to_string(++counter_);
      winsim::MakeFile(sibling + "\\Other.lnk", "another program's shortcut");
      m_.foreignFolders.push_back(sibling);
      return sibling;
    }
    return "C:\\Canary\\Missing" + std::to_string(++counter_);  // a link whose target is gone
  }

  std::string RandomName(bool folder) {
    static const std::vector<std::string> kAscii = {"Help",      "Manual",        "Readme", "Tools", "Driver",
                                                    "Setup",     "Online Manual", "Sample", "Data",  "Tablet Settings",
                                                    "Uninstall", "Pen",           "Mouse",  "Config"};
    static const std::vector<std::string> kDbcs = {
        "表示",   "ソフト",   "能力", "タブレット設定", "ヘルプ", "オンラインマニュアル",
        "予定表", "ゾルビク", "ソ",   "申込書"};
    static const std::vector<std::string> kExt = {".lnk", ".txt", ".pdf", ".url", ".exe", ".hlp", ""};
    std::string base = r_.Percent(35) ? S(r_.Pick(kDbcs)) : r_.Pick(kAscii);
    if (r_.Percent(40)) base += " " + std::to_string(r_.Below(100));
    return folder ? base : base + r_.Pick(kExt);
  }

  // A random Start-menu tree under the existing folder `folder`.
  void Tree(const std::string& folder, int depth, int* budget) {
    const int n = r_.Below(depth == 0 ? 7 : 4);
    for (int i = 0; *budget > 0 && i < n; ++i) {
      --*budget;
      const int kind = r_.Below(100);
      if (kind < 48) {
        File(folder + "\\" + RandomName(false), "shortcut", 8);
      } else if (kind < 68 && depth < 4) {
        const std::string sub = folder + "\\" + RandomName(true);
        if (!winsim::MakeFolder(sub)) continue;
        if (r_.Percent(12)) {
          // A read-only or hidden folder: the tree walk resets it first.
          DWORD a = r_.Percent(50) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_HIDDEN;
          SetAttributesOf(sub, a);
        }
        if (r_.Percent(3)) {
          Made("cannot be listed: " + sub, winsim::DenyAccess(sub, winsim::DenyList));
          Hostile(sub);
        }
        Tree(sub, depth + 1, budget);
      } else if (kind < 76) {
        Unshowable(folder, r_.Percent(30));
      } else if (kind < 86) {
        Link(folder + "\\" + (r_.Percent(50) ? std::string("Shared Docs") : S("共有表")) + std::to_string(++counter_),
             LinkTarget(folder));
      } else if (kind < 91) {
        // Names long enough that the paths below pass MAX_PATH.
        std::string p = folder;
        while (p.size() < 300) p += "\\" + std::string(40 + r_.Below(30), static_cast<char>('k' + r_.Below(10)));
        Made("deep path of " + std::to_string(p.size()) + " bytes under " + folder, File(p + "\\deep.lnk", "deep", 0));
      } else {
        File(folder + "\\" + S("表示ソフト能力.lnk"), "dbcs", 5);
      }
    }
  }

  // The attributes of an existing folder, set through the test side: a folder made read-only
  // or hidden by the user.
  void SetAttributesOf(const std::string& path, DWORD attributes) {
    // The test side has no setter; SetFileAttributesA is a Win32 call, made before any run.
    SetFileAttributesA(path.c_str(), attributes);
  }

  // ---- the parts of a machine ----

  void Version() {
    static const int kKinds[] = {OsWinNT4, OsWin98, OsWin95, OsWin95Osr2, OsWin2000, OsWinMe, OsWinXP};
    m_.osKind = kKinds[r_.Below(7)];
    SetWindowsVersion(m_.osKind);
    Made(std::string("Windows: ") + KindName(m_.osKind), winsim::IsWin9xPlatform() == IsWin9xFamily(m_.osKind));
    m_.disk.drives.push_back('C');
    if (r_.Percent(35)) {
      winsim::AddDrive('D');
      m_.disk.drives.push_back('D');
    }
  }

  // The length of the folder the system reports (a Win32 call, made before any run).
  static size_t ReportedLength(UINT (*query)(LPSTR, UINT)) {
    char buffer[1024];
    return query(buffer, sizeof buffer);
  }

  void BaseFolders() {
    const bool nt = IsNtFamily(m_.osKind);
    win_ = "C:\\WINDOWS";
    std::string reported = win_;
    int w = r_.Below(100);
    bool set = true, create = true;
    if (w < 57) {
      set = false;
    } else if (w < 62) {
      reported = win_ = "C:\\OS\\WINDOWS";  // a folder above it that is not a drive's root
    } else if (w < 69) {
      reported = win_ = "C:\\" + S("ウィンドウズ表");
    } else if (w < 75 && winsim::Exists("D:\\")) {
      reported = win_ = "D:\\WINNT";
    } else if (w < 84) {
      static const std::vector<size_t> kLengths = {200, 240, 247, 248, 250, 253, 254, 255, 256, 257, 258, 259, 300};
      reported = win_ = PathOfLength("C:\\WIN", r_.Pick(kLengths));
    } else if (w < 87) {
      reported = "";
      create = false;
    } else if (w < 91) {
      reported = "c:\\windows";
    } else if (w < 93) {
      reported = "C:\\";
      win_ = "C:";
    } else if (w < 96) {
      reported = "C:\\WINDOWS\\";
    } else {
      reported = win_ = "C:\\NoWindows";
      create = false;
    }
    if (set) winsim::SetWindowsDirectory(reported);
    if (create && win_.size() > 2) winsim::MakeFolder(win_);
    winExists_ = !reported.empty() && winsim::Exists(win_.size() == 2 ? win_ + "\\" : win_);
    m_.windowsDir = reported;
    Made("Windows folder reported as \"" + reported + "\" (" + std::to_string(reported.size()) + " bytes)",
         ReportedLength(GetWindowsDirectoryA) == reported.size());

    const std::string defaultSys = nt ? "C:\\WINDOWS\\SYSTEM32" : "C:\\WINDOWS\\SYSTEM";
    sys_ = defaultSys;
    reported = sys_;
    int s = r_.Below(100);
    set = true;
    create = true;
    if (s < 70) {
      set = false;
    } else if (s < 80 && win_.size() > 2 && win_.size() < 240) {
      reported = sys_ = win_ + (nt ? "\\System32" : "\\System");
    } else if (s < 87) {
      static const std::vector<size_t> kLengths = {250, 254, 256, 257, 258, 259, 280};
      reported = sys_ = PathOfLength("C:\\SYS", r_.Pick(kLengths));
    } else if (s < 90) {
      reported = "";
      create = false;
    } else if (s < 94 && winsim::Exists("D:\\")) {
      reported = sys_ = "D:\\SYS";
    } else {
      reported = nt ? "c:\\windows\\system32" : "c:\\windows\\system";
    }
    if (set) winsim::SetSystemDirectory(reported);
    if (create) winsim::MakeFolder(sys_);
    m_.systemDir = reported;
    Made("system folder reported as \"" + reported + "\" (" + std::to_string(reported.size()) + " bytes)",
         ReportedLength(GetSystemDirectoryA) == reported.size());

    inf_ = win_ + "\\inf";
    if (winExists_ && r_.Percent(90)) winsim::MakeFolder(inf_ + "\\other");
  }

  void ShellFolders() {
    static const int kCsidls[] = {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, CSIDL_COMMON_STARTUP, CSIDL_STARTUP};
    for (int csidl : kCsidls) {
      Machine::ShellFolder f{csidl, winsim::ShellFolderState::Resolvable, winsim::ShellFolderPath(csidl)};
      std::string real = f.path;
      bool create = r_.Percent(92);
      int x = r_.Below(100);
      if (x < 72) {
      } else if (x < 78) {
        f.state = winsim::ShellFolderState::NoLocation;
        winsim::SetShellFolderState(csidl, f.state);
      } else if (x < 83) {
        f.state = winsim::ShellFolderState::NoPath;
        winsim::SetShellFolderState(csidl, f.state);
      } else if (x < 86) {
        f.path = real = "";
        winsim::SetShellFolderPath(csidl, "");
      } else if (x < 91) {
        f.path = real = winsim::Exists("D:\\") ? "D:\\Menus\\" + std::to_string(csidl)
                                               : "C:\\" + S("スタートメニュー表") + "\\" + std::to_string(csidl);
        winsim::SetShellFolderPath(csidl, f.path);
      } else if (x < 95) {
        const std::string n = std::to_string(++counter_);
        winsim::MakeFolder("C:\\MenuStore" + n + "\\Programs");
        Link("C:\\LinkedMenu" + n, "C:\\MenuStore" + n);
        f.path = "C:\\LinkedMenu" + n + "\\Programs";
        real = "C:\\MenuStore" + n + "\\Programs";
        winsim::SetShellFolderPath(csidl, f.path);
      } else if (x < 98) {
        static const std::vector<size_t> kLengths = {230, 245, 250, 255, 259, 260, 270};
        f.path = real = PathOfLength("C:\\MENU" + std::to_string(csidl), r_.Pick(kLengths));
        winsim::SetShellFolderPath(csidl, f.path);
      } else {
        f.path = "C:\\";
        real = "C:";
        winsim::SetShellFolderPath(csidl, f.path);
      }
      const bool resolvable =
          f.state == winsim::ShellFolderState::Resolvable && !f.path.empty() && f.path.size() < MAX_PATH;
      if (resolvable && create && real.size() > 2) winsim::MakeFolder(real);
      const bool exists = resolvable && winsim::Exists(real.size() == 2 ? real + "\\" : real);
      if (exists) (csidl == CSIDL_COMMON_PROGRAMS || csidl == CSIDL_PROGRAMS ? programs_ : startups_).push_back(real);
      const char* state = f.state == winsim::ShellFolderState::NoLocation ? "no location"
                          : f.state == winsim::ShellFolderState::NoPath   ? "no path"
                                                                          : "resolvable";
      Made("shell folder " + std::to_string(csidl) + ": " + state + " \"" + f.path + "\"" + (exists ? "" : " (absent)"),
           winsim::ShellFolderPath(csidl) == f.path);
      m_.shellFolders.push_back(f);
    }
    OtherShellFolders();
  }

  // The shell folders the plans do not use (Start Menu, Desktop, documents, Program Files,
  // Common Files, the shared ones), where this family's shell keeps them, on disk as Windows
  // has them; and the registry's names for Program Files and Common Files, which the shells of
  // the 9x family lack. On the NT family the shell now and then lacks one too.
  void OtherShellFolders() {
    const bool nt = IsNtFamily(m_.osKind);
    for (int csidl : kGuardedCsidls) {
      if (csidl == CSIDL_COMMON_PROGRAMS || csidl == CSIDL_PROGRAMS || csidl == CSIDL_COMMON_STARTUP ||
          csidl == CSIDL_STARTUP) {
        continue;
      }
      const std::string path = winsim::ShellFolderPath(csidl);
      if (path.empty()) continue;  // this family's shell does not know it
      Machine::ShellFolder f{csidl, winsim::ShellFolderState::Resolvable, path};
      if (nt && (csidl == CSIDL_PROGRAM_FILES || csidl == CSIDL_PROGRAM_FILES_COMMON) && r_.Percent(8)) {
        f.state = winsim::ShellFolderState::NoLocation;
        winsim::SetShellFolderState(csidl, f.state);
        Made("shell folder " + std::to_string(csidl) + ": no location", true);
      }
      winsim::MakeFolder(path);
      m_.shellFolders.push_back(f);
    }
    const char* const defaults[] = {"C:\\Program Files", "C:\\Program Files\\Common Files"};
    for (int i = 0; i < 2; ++i) {
      winsim::MakeFolder(defaults[i]);
      if (r_.Percent(94)) {
        Made(std::string("the registry names ") + kFolderValueNames[i],
             SetRegValue(HKEY_LOCAL_MACHINE, kCurrentVersionKey, kFolderValueNames[i], Sz(defaults[i], "")));
      }
    }
  }

  int PresenceLevel() {
    static const std::vector<int> kLevels = {0, 30, 70, 95, 100, 100};
    return r_.Pick(kLevels);
  }

  void SystemAndWindowsFiles() {
    const FamilyTables& own = TablesFor(m_.osKind);
    const FamilyTables& other = TablesFor(IsNtFamily(m_.osKind) ? OsWin98 : OsWinXP);
    pFiles_ = PresenceLevel();
    Note("system and Windows files present at " + std::to_string(pFiles_) + "%");
    if (!winsim::Exists(sys_)) return;

    // "Ztablet" first: a folder, a link, a file of that name, or nothing.
    int z = r_.Below(100);
    if (r_.Percent(pFiles_)) {
      if (z < 80) {
        winsim::MakeFolder(sys_ + "\\Ztablet");
        if (r_.Percent(25)) Canary(sys_ + "\\Ztablet\\keep.txt", "the user's own file");
      } else if (z < 90) {
        Link(sys_ + "\\Ztablet", CanaryFolder());
      } else {
        File(sys_ + "\\Ztablet", "a file named like the folder", 0);
      }
    }
    for (const std::string& e : own.systemFiles) {
      if (e == "Ztablet" || !r_.Percent(pFiles_)) continue;
      const std::string path = sys_ + "\\" + e;
      int v = r_.Below(100);
      if (v < 4) {
        winsim::MakeFolder(path);
        Canary(path + "\\inside.txt");
        Made("folder in place of a file: " + path, IsFolderOnDisk(path));
      } else if (v < 6 && e.find('\\') == std::string::npos) {
        Link(path, CanaryFolder());
      } else {
        File(path, "driver file " + e, 10);
      }
    }
    // Neighbours with similar names, and what only the other family's tables name.
    for (const char* n : {"tablet.cpl.bak", "tablet.cp", "tablet", "hookdll.dl_", "wintab32.dll.old",
                          "Ztablet2\\TabUserZ.exe", "drivers\\penclass.sys.old", "drivers\\other.sys", "TABLET.INI"}) {
      if (r_.Percent(60)) Canary(sys_ + "\\" + n);
    }
    for (const std::string& e : other.systemFiles) {
      bool mine = false;
      for (const std::string& o : own.systemFiles) mine = mine || Fold(o) == Fold(e);
      if (!mine && e.find("Ztablet") == std::string::npos && r_.Percent(50)) Canary(sys_ + "\\" + e, "other family");
    }

    if (!winExists_ || win_.size() <= 2) return;
    for (const std::string& e : own.windowsFiles) {
      if (r_.Percent(pFiles_)) File(win_ + "\\" + e, "windows file " + e, 10);
    }
    for (const char* n : {"win.ini", "system.ini", "tabinst.dl_", "zorvik.dat.bak", "Read Me.txt", "License.txt"}) {
      if (r_.Percent(60)) Canary(win_ + "\\" + n);
    }
    for (const std::string& e : other.windowsFiles) {
      bool mine = false;
      for (const std::string& o : own.windowsFiles) mine = mine || Fold(o) == Fold(e);
      if (!mine) Canary(win_ + "\\" + e, "other family");
    }
  }

  void RootCanaries() {
    for (const char* n : {"Read Me.txt", "License.txt", "Remove.exe", "Uninst.isu", "tablet.cpl", "boot.ini",
                          "TabUserZ.lnk", "zorvik.dat", "Zorvik Tablet\\keep.txt", "inf\\OEM3.INF"}) {
      if (r_.Percent(60)) Canary(std::string("C:\\") + n);
    }
  }

  void MenuFolders() {
    const FamilyTables& t = TablesFor(m_.osKind);
    pMenus_ = PresenceLevel();
    Note("Start-menu folders present at " + std::to_string(pMenus_) + "%");
    std::vector<std::string> names;
    for (const std::string& n : t.menuFolders) {
      bool seen = false;
      for (const std::string& o : names) seen = seen || o == n;
      if (!seen) names.push_back(n);
    }
    for (const std::string& programs : programs_) {
      for (const std::string& name : names) {
        if (!r_.Percent(pMenus_)) continue;
        const std::string folder = programs + "\\" + name;
        int shape = r_.Below(100);
        if (shape < 6) {
          Link(folder, r_.Percent(70) ? CanaryFolder() : LinkTarget(programs));
          continue;
        }
        if (shape < 9) {
          Made("file in place of the menu folder: " + folder, File(folder, "a file named like the folder", 0));
          continue;
        }
        winsim::MakeFolder(folder);
        if (r_.Percent(10)) SetAttributesOf(folder, r_.Percent(50) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_HIDDEN);
        int budget = r_.Percent(10) ? 60 : 18;
        Tree(folder, 0, &budget);
      }
      // Neighbours the tool must leave alone.
      for (const char* n : {"Zorvik Tablet 2", "Zorvik Tablets", "Zorvik", "Other Program"}) {
        if (r_.Percent(40)) ForeignFolder(programs + "\\" + n, "Other.lnk");
      }
      if (r_.Percent(40)) Canary(programs + "\\Zorvik Tablet.lnk");
      if (r_.Percent(40)) ForeignFolder(programs + "\\" + S("タブレット2"), "Other.lnk");
      // ブ is 83 75 and ウ is 83 55: one folder to a walk that folded second bytes like letters.
      if (r_.Percent(40)) ForeignFolder(programs + "\\" + S("タウレット"), "Other.lnk");
      if (r_.Percent(30)) ForeignFolder(programs + "\\" + S("Zorvik タブレット (old)"), "Other.lnk");
    }
    for (const std::string& startup : startups_) {
      for (const std::string& sc : t.startupShortcuts) {
        if (r_.Percent(pMenus_)) File(startup + "\\" + sc, "shortcut", 6);
      }
      for (const char* n : {"TabUserZ.lnk.bak", "TabUserZ", "Other.lnk", "TabUserZ.exe.lnk.disabled"}) {
        if (r_.Percent(40)) Canary(startup + "\\" + n);
      }
    }
  }

  // ---- the install folder and its registration ----

  std::string installWritten_;  // how the installer wrote it

  // ---- folders the system names, which no install folder may be ----

  struct Guarded {
    std::string label;  // which folder, for the shapes' names
    std::string path;   // as the system reports it (or a folder above one)
  };

  // Every folder this machine's system names that exists on disk, and one folder above each
  // that is not a drive's root.
  std::vector<Guarded> GuardedFolders() {
    std::vector<Guarded> out;
    auto add = [&](const std::string& label, const std::string& path) {
      if (path.size() > 3 && path.size() < MAX_PATH && IsFolderOnDisk(path)) out.push_back({label, path});
    };
    if (winExists_ && win_.size() > 2) add("the Windows folder", win_);
    add("the system folder", sys_);
    for (const Machine::ShellFolder& f : m_.shellFolders) {
      if (f.state == winsim::ShellFolderState::Resolvable) add("shell folder " + std::to_string(f.csidl), f.path);
    }
    for (int i = 0; i < 2; ++i) {
      const std::string value = winsim::ValueBytes(HKEY_LOCAL_MACHINE, kCurrentVersionKey, kFolderValueNames[i]);
      add(std::string("the registry's ") + kFolderValueNames[i], value.c_str());
    }
    const size_t named = out.size();
    for (size_t i = 0; i < named; ++i) {
      std::vector<std::string> above;
      std::string p = out[i].path;
      for (size_t cut = p.rfind('\\'); cut != std::string::npos && cut > 2; cut = p.rfind('\\')) {
        p = p.substr(0, cut);
        above.push_back(p);
      }
      if (above.empty()) continue;
      const bool windows = out[i].label == "the Windows folder";
      add(windows ? "a folder above the Windows folder" : "a folder above " + out[i].label, r_.Pick(above));
    }
    return out;
  }

  // ASCII letters with their case turned over; double-byte characters kept whole.
  static std::string OtherCase(const std::string& path) {
    std::string out;
    for (size_t i = 0; i < path.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(path[i]);
      if (IsLead(c) && i + 1 < path.size()) {
        out += path.substr(i++, 2);
      } else {
        out += static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c >= 'A' && c <= 'Z' ? c + 0x20 : c);
      }
    }
    return out;
  }

  // The 8.3 form of an existing path as the system gives it (a Win32 call before any run).
  static std::string ShortPathOf(const std::string& path) {
    char buffer[MAX_PATH];
    const DWORD n = path.size() < MAX_PATH ? GetShortPathNameA(path.c_str(), buffer, MAX_PATH) : 0;
    return n > 0 && n < MAX_PATH ? std::string(buffer) : "";
  }

  // A folder the system names, written as a registry value might name it. Foreign files with
  // the names of the package's install files are put into the folder itself, so a run that
  // took it for the install folder would show. `link` is where a junction goes if one is asked
  // for. Returns the text; "" when nothing could be made.
  std::string GuardedSpelling(const std::string& what, const std::string& link) {
    const std::vector<Guarded> guarded = GuardedFolders();
    if (guarded.empty()) {
      Made(what + ": no folder the system names is on disk", false);
      return "";
    }
    const Guarded& g = r_.Pick(guarded);
    for (const std::string& name : TablesFor(m_.osKind).installFiles) {
      if (r_.Percent(40)) Canary(m_.RealPath(g.path) + "\\" + name, "not the package's " + name);
    }
    std::string text = g.path, spelling = "as the system names it";
    bool made = IsFolderOnDisk(g.path);
    const std::string longShort = ShortPathOf(g.path);
    const int s = r_.Below(100);
    if (s < 12) {
    } else if (s < 24) {
      text = OtherCase(g.path), spelling = "in other letter case";
    } else if (s < 40) {
      // A folder whose names are all 8.3 already has no other form: its other case instead.
      const bool aliased = !longShort.empty() && Fold(longShort) != Fold(g.path);
      text = aliased ? longShort : OtherCase(g.path);
      spelling = aliased ? "by its 8.3 alias" : "in other letter case";
    } else if (s < 50) {
      text = g.path + ".", spelling = "with a trailing dot";
    } else if (s < 58) {
      text = g.path + " ", spelling = "with a trailing blank";
    } else if (s < 64) {
      text = g.path + ". .", spelling = "with trailing dots and blanks";
    } else if (s < 70 && g.path.find('\\', 3) != std::string::npos) {
      // "C:\Documents and Settings.\User": a folder on the way ends in a dot.
      const size_t cut = g.path.find('\\', 3);
      text = g.path.substr(0, cut) + "." + g.path.substr(cut), spelling = "with a dot ending a folder on the way";
    } else if (s < 85) {
      spelling = "through a junction";
      text = link;
      winsim::MakeFolder(link.substr(0, link.rfind('\\')));
      made = made && Link(link, m_.RealPath(g.path));
    } else {
      // A junction to the folder above, and the folder's own name after it.
      spelling = "below a junction";
      const size_t cut = g.path.rfind('\\');
      text = link + g.path.substr(cut);
      winsim::MakeFolder(link.substr(0, link.rfind('\\')));
      const std::string parent = m_.RealPath(cut > 2 ? g.path.substr(0, cut) : g.path.substr(0, 3));
      made = made && Link(link, parent);
    }
    // Whatever the spelling, it must reach the folder itself: the same folder, or through the
    // junction the same entries.
    const std::string reached = ShortPathOf(text);
    if (spelling == "through a junction" || spelling == "below a junction") {
      made = made && IsLinkOnDisk(link) && IsFolderOnDisk(text) &&
             winsim::FolderEntries(text) == winsim::FolderEntries(m_.RealPath(g.path));
    } else {
      made = made && !reached.empty() && Fold(reached) == Fold(longShort);
    }
    Made(what + ": " + g.label + ", " + spelling + " \"" + text + "\"", made);
    return text;
  }

  void InstallFolder() {
    const FamilyTables& t = TablesFor(m_.osKind);
    pInstall_ = PresenceLevel();
    const std::string usual = "C:\\Program Files\\Zorvik Tablet";
    std::string written = usual, real = written, shape = "plain";
    bool create = true;
    int l = r_.Below(100);
    if (l < 30) {
    } else if (l < 36) {
      written = real = "C:\\Program Files\\" + S("ゾルビク表"), shape = "double-byte";
    } else if (l < 41 && winsim::Exists("D:\\")) {
      written = real = "D:\\Tools\\Zorvik", shape = "on another drive";
    } else if (l < 46) {
      static const std::vector<size_t> kLengths = {200, 240, 250, 255, 257, 258, 259, 260, 265};
      written = real = PathOfLength("C:\\Program Files\\Zorvik", r_.Pick(kLengths)), shape = "long";
    } else if (l < 49 && !programs_.empty()) {
      written = real = programs_[0] + "\\Zorvik Tablet\\Install", shape = "inside a Start-menu folder";
    } else if (l < 54) {
      written = "C:\\Program Files\\Zorvik Link";
      real = CanaryFolder();
      winsim::MakeFolder("C:\\Program Files");
      Link(written, real);
      create = false, shape = "a junction to a canary folder";
    } else if (l < 57) {
      written = real = "C:\\Program Files\\Gone", shape = "missing";
      create = false;
    } else if (l < 60) {
      written = "C:\\Program Files\\Zorvik.", real = "C:\\Program Files\\Zorvik", shape = "written with a trailing dot";
    } else if (l < 63) {
      // The package's files where the share leads; the stand-in reaches no share, so a run that
      // took a share for the install folder shows in its rows.
      static const std::vector<std::string> kShares = {"\\\\server\\share\\Zorvik Tablet",
                                                       "\\\\localhost\\C$\\Program Files\\Zorvik Tablet",
                                                       "//server/share/Zorvik Tablet"};
      written = r_.Pick(kShares), real = usual, shape = "a share";
    } else if (l < 88) {
      written = GuardedSpelling("install folder", "C:\\Program Files\\Zorvik Link");
      if (written.empty()) written = usual;
      create = false, shape = "";
    }
    if (!shape.empty()) {
      bool made = shape == "missing" ? !winsim::Exists(written) : true;
      if (shape == "a junction to a canary folder") made = IsLinkOnDisk(written);
      if (create) made = made && winsim::MakeFolder(real) && IsFolderOnDisk(real);
      Made("install folder: " + shape + " \"" + written + "\" (" + std::to_string(written.size()) + " bytes)", made);
    }
    Note("install folder's files present at " + std::to_string(pInstall_) + "%");
    installWritten_ = written;
    if (create) {
      for (const std::string& e : t.installFiles) {
        if (r_.Percent(pInstall_)) File(real + "\\" + e, "install file " + e, 6);
      }
      if (r_.Percent(25)) Canary(real + "\\my notes.txt", "the user's own notes");
      if (r_.Percent(10)) Canary(real + "\\Docs\\guide.pdf", "a subfolder the plan does not name");
      if (r_.Percent(5)) SetAttributesOf(real, FILE_ATTRIBUTE_READONLY);
      if (r_.Percent(3)) {
        Made("install folder cannot be deleted", winsim::DenyAccess(real, winsim::DenyDelete));
        Hostile(real);
      }
    }
    for (const char* n : {"C:\\Program Files\\Zorvik Tablet 2", "C:\\Program Files\\Zorvik Tablet2"}) {
      if (r_.Percent(30)) ForeignFolder(n, "Read Me.txt");
    }
    if (r_.Percent(30)) Canary("C:\\Program Files\\Read Me.txt");
  }

  struct RegText {
    DWORD type;
    std::string bytes;
    std::string note;
  };

  static RegText Sz(const std::string& text, const std::string& note) {
    return RegText{REG_SZ, std::string(text.c_str(), text.size() + 1), note};
  }

  RegText UninstallShape(const std::string& f) {
    int s = r_.Below(100);
    if (s < 14) return Sz("\"" + f + "\\Uninst.isu\"", "quoted uninst.isu");
    if (s < 22) return Sz("C:\\WINDOWS\\IsUninst.exe -f\"" + f + "\\Uninst.isu\"", "installer command line");
    if (s < 26) return Sz("C:\\WINDOWS\\IsUninst.exe -f" + f + "\\Uninst.isu", "unquoted installer command line");
    if (s < 32) return Sz(f + "\\Remove.exe", "bare Remove.exe");
    if (s < 38) return Sz("\"" + f + "\\REMOVE.EXE\" /S", "quoted REMOVE.EXE with switch");
    if (s < 41) return Sz(f + "\\uninst.isu -a", "unquoted with switch after");
    if (s < 44) return Sz("-x -y \"" + f + "\\Uninst.isu\" -z", "switches before and after");
    if (s < 46) return Sz("", "empty");
    if (s < 48) return Sz("\"\"", "empty quotes");
    if (s < 50) return Sz("\"" + f + "\\Remove.exe", "unbalanced opening quote");
    if (s < 52) return Sz(f + "\\Remove.exe\"", "unbalanced closing quote");
    if (s < 54) return Sz("Zorvik Tablet\\Remove.exe", "relative path");
    if (s < 55) return Sz(".\\Remove.exe", "relative to the current folder");
    if (s < 57) return Sz("C:\\Remove.exe", "drive root");
    if (s < 58) return Sz("C:Remove.exe", "drive-relative");
    if (s < 60) return Sz("\\\\server\\share\\Remove.exe", "UNC root");
    if (s < 61) return Sz("\\\\server\\share\\Zorvik\\Remove.exe", "UNC folder");
    if (s < 64)
      return Sz(f + "\\..\\..\\" + (win_.size() > 3 ? win_.substr(3) : "WINDOWS") + "\\Remove.exe", "dot-dot");
    if (s < 66) return Sz(f + "\\\\Remove.exe", "two backslashes before the marker");
    if (s < 67) return Sz(f + "\\\\\\Remove.exe", "three backslashes before the marker");
    if (s < 69) return Sz(f + S("表") + "Remove.exe", "double-byte character ending in 0x5C right before the marker");
    if (s < 71) return Sz(f + "\\Zor\tvik\\Remove.exe", "control character");
    if (s < 73) {
      std::string v = "\"" + f + "\\Remove.exe\" ";
      v += std::string(1023 - std::min<size_t>(v.size(), 1023), 'x');
      return Sz(v.substr(0, 1023), "1023 characters and the terminator: exactly the capacity");
    }
    if (s < 75) {
      std::string v = "\"" + f + "\\Remove.exe\" ";
      v += std::string(1024 - std::min<size_t>(v.size(), 1024), 'x');
      return Sz(v.substr(0, 1024), "1024 characters and the terminator: past the capacity");
    }
    if (s < 76) {
      std::string v = "\"" + f + "\\Remove.exe\" ";
      v += std::string(1024 - std::min<size_t>(v.size(), 1024), 'y');
      return RegText{REG_SZ, v.substr(0, 1024), "1024 bytes without a terminator"};
    }
    if (s < 78) return Sz(r_.Percent(50) ? "Remove.exe /x" : "uninst.isu", "marker at the very start");
    if (s < 79) return Sz(f + "\\Remove.exe -f Other\\uninst.isu", "both markers, uninst.isu later");
    if (s < 81) {
      std::string slashed = f;
      for (char& c : slashed) c = c == '\\' ? '/' : c;
      return Sz(slashed + "/Remove.exe", "forward slashes");
    }
    if (s < 84) {
      char shortPath[MAX_PATH];
      DWORD n = f.size() < MAX_PATH ? GetShortPathNameA(f.c_str(), shortPath, MAX_PATH) : 0;
      if (n > 0 && n < MAX_PATH) return Sz(std::string(shortPath) + "\\UNINST.ISU", "8.3 path");
      return Sz("\"" + f + "\\Uninst.isu\"", "quoted uninst.isu");
    }
    if (s < 85) return Sz(f + "\\UnInSt.IsU", "marker in mixed case");
    if (s < 86) return Sz("C:\\...\\Remove.exe", "a component of dots only");
    if (s < 87) return Sz("C:\\Zor*\\Remove.exe", "wildcard");
    if (s < 89)
      return RegText{REG_EXPAND_SZ, std::string("%ProgramFiles%\\Zorvik\\Remove.exe\0", 34), "unexpanded variable"};
    if (s < 90) return Sz("  \"" + f + "\\Remove.exe\"", "blanks before the quote");
    if (s < 91) return Sz(f + "\\Remove.exeX", "marker inside a longer name");
    if (s < 92) return RegText{REG_BINARY, f + "\\Remove.exe", "binary type, no terminator"};
    if (s < 94)
      return Sz("C:\\\\" + (f.size() > 3 ? f.substr(3) : f) + "\\Remove.exe", "doubled separator after the drive");
    if (s < 95) return Sz("\\\\?\\" + f + "\\Remove.exe", "UNC long-path prefix");
    if (s < 96) return Sz("\\\\.\\" + f + "\\Remove.exe", "UNC device prefix");
    if (s < 97) return Sz("\\\\localhost\\C$\\" + (f.size() > 3 ? f.substr(3) : f) + "\\Remove.exe", "UNC admin share");
    if (s < 98) return Sz("//server/share/Zorvik/Remove.exe", "UNC with forward slashes");
    return Sz("\"" + f + "\\Uninst.isu\"", "quoted uninst.isu");
  }

  RegText DocLocationShape(const std::string& f) {
    int s = r_.Below(100);
    if (s < 35) return Sz(f, "the folder");
    if (s < 45) return Sz("\"" + f + "\"", "quoted");
    if (s < 52) return Sz(f + "\\", "trailing backslash");
    if (s < 57) return Sz(f + "\\\\", "two trailing backslashes");
    if (s < 60) return Sz("", "empty");
    if (s < 62) return Sz("\"\"", "empty quotes");
    if (s < 65) return Sz("Zorvik", "relative");
    if (s < 69) return Sz("C:\\", "drive root");
    if (s < 71) return Sz("\\\\server\\share", "UNC root");
    if (s < 74) return Sz(f + "\\..", "dot-dot");
    if (s < 76) return Sz(f + "\n", "control character");
    if (s < 79) return Sz(PathOfLength("C:\\Docs", 259 + r_.Below(3)), "long");
    if (s < 82) return Sz("C:\\Program Files\\" + S("ゾルビク表"), "ending in a double-byte character with 0x5C");
    if (s < 84) return Sz(std::string(1030, 'd'), "past the capacity");
    if (s < 87) return Sz("\\\\server\\share\\Zorvik", "UNC folder");
    if (s < 89) return Sz("\\\\?\\" + f, "UNC long-path prefix");
    return Sz(f, "the folder");
  }

  // A documents location that is not the uninstall folder: the package's own documents folder,
  // a folder the system names, a share, a junction to a canary folder.
  std::string OtherDocFolder() {
    const std::string what = "OEMDocLocation differs from the uninstall folder";
    const std::string link = "C:\\Program Files\\Zorvik Docs Link";
    const int d = r_.Below(100);
    if (d < 40) {
      const std::string docs = "C:\\Program Files\\Zorvik Docs";
      winsim::MakeFolder(docs);
      for (const std::string& name : TablesFor(m_.osKind).installFiles) {
        if (r_.Percent(pInstall_)) File(docs + "\\" + name, "documents file " + name, 6);
      }
      Made(what + ": the package's documents folder", IsFolderOnDisk(docs));
      return docs;
    }
    if (d < 75) {
      const std::string text = GuardedSpelling(what, link);
      return text.empty() ? installWritten_ : text;
    }
    if (d < 85) {
      Made(what + ": a share", true);
      return "\\\\server\\share\\Zorvik Docs";
    }
    winsim::MakeFolder("C:\\Program Files");
    Made(what + ": a junction to a canary folder", Link(link, CanaryFolder()) && IsLinkOnDisk(link));
    return link;
  }

  // Sets the value and tells whether it now holds those bytes.
  bool SetRegValue(HKEY root, const std::string& key, const std::string& name, const RegText& v) {
    winsim::SetValue(root, key, name, v.type, v.bytes);
    m_.values.push_back({root, key, name});
    return winsim::ValueExists(root, key, name) && winsim::ValueBytes(root, key, name) == v.bytes;
  }

  void Registration() {
    const std::string f = installWritten_;
    int k = r_.Below(100);
    const bool key1 = k < 55 || (k >= 70 && k < 85);
    const bool key2 = k >= 55 && k < 85;
    for (int i = 0; i < 2; ++i) {
      if (!(i == 0 ? key1 : key2)) continue;
      const std::string key = kUninstallKeys[i];
      SetRegValue(HKEY_LOCAL_MACHINE, key, "DisplayName", Sz("Zorvik Tablet Driver", ""));
      if (r_.Percent(94)) {
        RegText v = UninstallShape(f);
        Made(std::string("uninstall key ") + (i == 0 ? "1" : "2") + ": " + v.note + ": \"" +
                 std::string(v.bytes.c_str(), std::min<size_t>(v.bytes.size(), 120)) + "\"",
             SetRegValue(HKEY_LOCAL_MACHINE, key, kUninstallValue, v));
      } else {
        Made(std::string("uninstall key ") + (i == 0 ? "1" : "2") + " without UninstallString",
             !winsim::ValueExists(HKEY_LOCAL_MACHINE, key, kUninstallValue));
      }
      if (r_.Percent(4)) {
        m_.deniedKeys[KeyId(HKEY_LOCAL_MACHINE, key)] |= kAllRights;
        Made(std::string("uninstall key ") + (i == 0 ? "1" : "2") + " refuses every access",
             winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, key, kAllRights));
      }
      if (r_.Percent(30)) SubTree(HKEY_LOCAL_MACHINE, key, 0);
    }
    if (!key1 && !key2) Note("no uninstall registration");
    if (r_.Percent(55)) {
      RegText v = DocLocationShape(r_.Percent(35) ? OtherDocFolder() : f);
      Made("OEMDocLocation: " + v.note + ": \"" + std::string(v.bytes.c_str(), std::min<size_t>(v.bytes.size(), 120)) +
               "\"",
           SetRegValue(HKEY_LOCAL_MACHINE, kDocLocationKey, kDocLocationValue, v));
    }
  }

  // ---- registry trees ----

  std::string KeyName() {
    int n = r_.Below(100);
    if (n < 60) return "Sub" + std::to_string(r_.Below(1000));
    if (n < 80) return S(r_.Percent(50) ? "表示" : "ソフト設定") + std::to_string(r_.Below(100));
    if (n < 86) return std::string(254, static_cast<char>('a' + r_.Below(26)));
    if (n < 90) return std::string(255, static_cast<char>('a' + r_.Below(26)));
    return "Key With Blanks " + std::to_string(r_.Below(100));
  }

  void Values(HKEY root, const std::string& key) {
    int n = r_.Below(3);
    for (int i = 0; i < n; ++i) {
      if (r_.Percent(50)) {
        SetRegValue(root, key, "Value" + std::to_string(i), Sz("data " + std::to_string(i), ""));
      } else {
        SetRegValue(root, key, "Number" + std::to_string(i), RegText{REG_DWORD, std::string("\1\0\0\0", 4), ""});
      }
    }
  }

  void SubTree(HKEY root, const std::string& key, int depth) {
    Values(root, key);
    int width = r_.Below(depth == 0 ? 5 : 3);
    if (depth == 0 && r_.Percent(4)) width = 40;
    for (int i = 0; i < width; ++i) {
      const std::string child = key + "\\" + KeyName();
      winsim::CreateKey(root, child);
      if (!winsim::KeyExists(root, child)) continue;
      if (r_.Percent(3)) {
        m_.deniedKeys[KeyId(root, child)] |= kAllRights;
        Made("key refuses every access: " + RootName(root) + "\\" + child,
             winsim::DenyKeyAccess(root, child, kAllRights));
      } else if (r_.Percent(3)) {
        m_.undeletableKeys.insert(KeyId(root, child));
        Made("key cannot be deleted: " + RootName(root) + "\\" + child, winsim::DenyKeyDeletion(root, child));
      }
      if (depth < 3 && r_.Percent(35)) SubTree(root, child, depth + 1);
    }
    if (depth == 0 && r_.Percent(4)) {
      std::string deep = key;
      int levels = 15 + r_.Below(25);
      for (int i = 0; i < levels; ++i) deep += "\\L" + std::to_string(i);
      winsim::CreateKey(root, deep);
      Values(root, deep);
      Made("key tree " + std::to_string(levels) + " levels deep under " + RootName(root) + "\\" + key,
           winsim::KeyExists(root, deep));
    }
  }

  void RegistryItems() {
    const FamilyTables& own = TablesFor(m_.osKind);
    const FamilyTables& other = TablesFor(IsNtFamily(m_.osKind) ? OsWin98 : OsWinXP);
    pReg_ = PresenceLevel();
    Note("registry keys present at " + std::to_string(pReg_) + "%");
    for (const TableKey& k : own.keys) {
      const std::string id = KeyId(k.root, k.subkey);
      const bool uninstall =
          id == KeyId(HKEY_LOCAL_MACHINE, kUninstallKeys[0]) || id == KeyId(HKEY_LOCAL_MACHINE, kUninstallKeys[1]);
      const bool penClass = id == KeyId(HKEY_LOCAL_MACHINE, kPenClassKey);
      if (uninstall || penClass || !r_.Percent(pReg_)) continue;
      winsim::CreateKey(k.root, k.subkey);
      SubTree(k.root, k.subkey, 0);
      int h = r_.Below(100);
      if (h < 3) {
        m_.deniedKeys[id] |= kAllRights;
        Made("plan key refuses every access: " + id, winsim::DenyKeyAccess(k.root, k.subkey, kAllRights));
      } else if (h < 6) {
        m_.deniedKeys[id] |= DELETE;
        Made("plan key refuses DELETE: " + id, winsim::DenyKeyAccess(k.root, k.subkey, DELETE));
      } else if (h < 9) {
        m_.undeletableKeys.insert(id);
        Made("plan key cannot be deleted: " + id, winsim::DenyKeyDeletion(k.root, k.subkey));
      }
    }
    for (const TableKey& k : other.keys) {
      bool mine = false;
      for (const TableKey& o : own.keys) mine = mine || KeyId(o.root, o.subkey) == KeyId(k.root, k.subkey);
      if (!mine && r_.Percent(50)) SetRegValue(k.root, k.subkey, "OtherFamily", Sz("keep", ""));
    }
    const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const std::vector<TableKey> neighbours = {
        {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A600"},
        {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A6"},
        {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A61"},
        {HKEY_LOCAL_MACHINE, "Enum\\SERENUM"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\Tablet2"},
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\TabletDriver"},
        {HKEY_LOCAL_MACHINE, S("SOFTWARE\\ゾルビク2")},
        {HKEY_LOCAL_MACHINE, S("SOFTWARE\\ゾルビ")},
        // ビ is 83 72 and コ is 83 52: the same name if a second byte were folded like a letter.
        {HKEY_LOCAL_MACHINE, S("SOFTWARE\\ゾルコク")},
        {HKEY_LOCAL_MACHINE, "SOFTWARE"},
        {HKEY_LOCAL_MACHINE, uninstall + "\\Zorvik Tablet Driver2"},
        {HKEY_LOCAL_MACHINE, uninstall + "\\Other Program"},
        {HKEY_LOCAL_MACHINE, uninstall},
        {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\PEN2"},
        {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\PENX"},
        {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class"},
        {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\TabletService2"},
        {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Penclass.old"},
        {HKEY_CURRENT_USER, "Control Panel\\Zorvik2"},
        {HKEY_CURRENT_USER, "Control Panel\\Zorvi"},
        {HKEY_CURRENT_USER, "Control Panel"},
        {HKEY_USERS, ".DEFAULT\\Control Panel\\Zorvik2"},
        {HKEY_USERS, ".DEFAULT\\Control Panel"},
        {HKEY_USERS, "S-1-5-21-1004\\Control Panel\\Zorvik"},
    };
    for (const TableKey& k : neighbours) {
      if (r_.Percent(55)) SetRegValue(k.root, k.subkey, r_.Percent(30) ? "Zorvik" : "Keep", Sz("canary", ""));
    }

    // The one value of the 9x plan, beside values that only look like it.
    const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
    int rs = r_.Below(100);
    if (rs < 94) {
      if (r_.Percent(pReg_)) SetRegValue(HKEY_LOCAL_MACHINE, run, "Tablet", Sz("tablet.exe", ""));
      for (const char* n : {"Tablet2", "TabletX", "SystemTray", "Tablet "}) {
        if (r_.Percent(50)) SetRegValue(HKEY_LOCAL_MACHINE, run, n, Sz("other.exe", ""));
      }
      winsim::CreateKey(HKEY_LOCAL_MACHINE, run);
      if (rs < 4) {
        m_.deniedKeys[KeyId(HKEY_LOCAL_MACHINE, run)] |= kAllRights;
        Made("RunServices refuses every access", winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, run, kAllRights));
      }
    } else {
      Made("no RunServices key", !winsim::KeyExists(HKEY_LOCAL_MACHINE, run));
    }
  }

  void PenClass() {
    if (!r_.Percent(m_.osKind == OsWin95 ? 85 : 40)) return;
    const std::string cls = kPenClassKey;
    SetRegValue(HKEY_LOCAL_MACHINE, cls, "Class", Sz("PEN", ""));
    int n = r_.Below(6);
    Made("pen class with " + std::to_string(n) + " instances", winsim::KeyExists(HKEY_LOCAL_MACHINE, cls));
    for (int i = 0; i < n; ++i) {
      char number[16];
      std::snprintf(number, sizeof number, "%04d", i);
      std::string name = number;
      int odd = r_.Below(100);
      if (odd < 4) name = std::string(254, 'p');
      else if (odd < 7) name = std::string(255, 'q');
      else if (odd < 10) name = S("表") + number;
      const std::string key = cls + "\\" + name;
      winsim::CreateKey(HKEY_LOCAL_MACHINE, key);

      int d = r_.Below(100);
      RegText desc = Sz("Ostrel Serial Tablet", "matching");
      if (d < 10) desc = Sz("OSTREL Tablet", "capitals only");
      else if (d < 22) desc = Sz("Standard pen", "another pen");
      else if (d < 28) desc = Sz("x Ostrel y", "name inside");
      else if (d < 32) desc = Sz("Ostrel " + std::string(1100, 'z'), "too long for the buffer");
      else if (d < 35) desc = RegText{REG_BINARY, "Ostrel", "binary"};
      else if (d < 37) desc = RegText{REG_SZ, std::string("Ost\0rel", 7), "zero byte inside"};
      if (d >= 95 || !SetRegValue(HKEY_LOCAL_MACHINE, key, "DriverDesc", desc)) desc.note = "absent";

      int p = r_.Below(100);
      std::string inf = "OEM" + std::to_string(i) + ".INF";
      std::string infNote = "plain";
      if (p < 8) inf = "other\\zorviktablet.inf", infNote = "the later versions' name";
      else if (p < 16) inf = "..\\win.ini", infNote = "escapes to the Windows folder";
      else if (p < 20) inf = "..\\..\\boot.ini", infNote = "escapes to the root";
      else if (p < 24) inf = "C:\\boot.ini", infNote = "absolute";
      else if (p < 27) inf = "\\boot.ini", infNote = "rooted";
      else if (p < 30) inf = "", infNote = "empty";
      else if (p < 33) inf = std::string(1100, 'i'), infNote = "too long for the buffer";
      else if (p < 36) inf = std::string(1000, 'j') + ".INF", infNote = "too long for the path";
      else if (p < 40) inf = S("表.INF"), infNote = "0x5C trail byte";
      else if (p < 42) inf = "OEM\t.INF", infNote = "control character";
      else if (p < 45) inf = "sub\\..\\OEM" + std::to_string(i) + ".INF", infNote = "dot-dot that stays inside";
      else if (p < 47) inf = "OEM" + std::to_string(i) + ".INF\\", infNote = "trailing backslash";
      else if (p < 49) inf = "..", infNote = "dot-dot alone";
      else if (p < 52) inf = "PEN.INF", infNote = "another driver's INF";
      if (p >= 97 || !SetRegValue(HKEY_LOCAL_MACHINE, key, "InfPath", Sz(inf, ""))) infNote = "absent";
      Made("instance " + (name.size() > 20 ? name.substr(0, 8) + "...(" + std::to_string(name.size()) + ")" : name) +
               ": DriverDesc " + desc.note + ", InfPath " + infNote,
           winsim::KeyExists(HKEY_LOCAL_MACHINE, key));
      if (r_.Percent(4)) {
        m_.deniedKeys[KeyId(HKEY_LOCAL_MACHINE, key)] |= kAllRights;
        Made("instance refuses every access", winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, key, kAllRights));
      }
      // The INF file itself, where a plain name says it is.
      if (winExists_ && inf.find('\\') == std::string::npos && inf.find('\t') == std::string::npos && !inf.empty() &&
          inf.size() < 100 && inf != ".." && r_.Percent(70)) {
        File(inf_ + "\\" + inf, "[Version]", 6);
      }
    }
    if (r_.Percent(4)) {
      m_.deniedKeys[KeyId(HKEY_LOCAL_MACHINE, cls)] |= kAllRights;
      Made("pen class key refuses every access", winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, cls, kAllRights));
    }
  }

  void InfFiles() {
    if (!winExists_ || !winsim::Exists(inf_)) return;
    if (m_.osKind != OsWin95 && r_.Percent(pFiles_)) File(inf_ + "\\" + kWin9xInfFile, "[Version]", 6);
    for (const char* n : {"PEN.INF", "OEM30.INF", "other\\zorviktablet.inf.bak", "other\\zorviktablet.pnf"}) {
      if (r_.Percent(50)) Canary(inf_ + "\\" + n);
    }
    if (m_.osKind == OsWin95 && r_.Percent(40)) Canary(inf_ + "\\" + kWin9xInfFile, "not the 95 plan's");
  }

  void RenameFile() {
    if (!winExists_) return;
    const std::string path = win_ + "\\wininit.ini";
    int v = r_.Below(100);
    std::string note = "absent";
    bool held = false;
    if (v < 40) {
    } else if (v < 45) {
      Canary(path, ""), note = "empty";
    } else if (v < 60) {
      Canary(path, "[rename]\r\nNUL=C:\\OLD.TXT\r\n"), note = "with [rename]";
    } else if (v < 65) {
      Canary(path, "[Rename]\r\nNUL=C:\\OLD.TXT\r\n"), note = "with [Rename]";
    } else if (v < 68) {
      Canary(path, "[RENAME]\r\n"), note = "with [RENAME]";
    } else if (v < 72) {
      Canary(path, "[Rename]\r\nA=B\r\n[boot]\r\n[rename]\r\nC=D\r\n"), note = "[Rename] before [rename]";
    } else if (v < 80) {
      Canary(path, "[boot]\r\nshell=x\r\n"), note = "no heading";
    } else if (v < 83) {
      Canary(path, "[rename]\nNUL=C:\\A.TXT\n"), note = "heading with a line feed alone";
    } else if (v < 87) {
      Canary(path, "[boot]\r\nlast line without end"), note = "last line without end";
    } else if (v < 90) {
      Canary(path, std::string("[boot]\r\n\0[rename]\r\nX=Y\r\n", 23)), note = "zero byte before the heading";
    } else if (v < 92) {
      Canary(path, S("; 表示\r\n[rename]\r\n")), note = "double-byte comment";
    } else if (v < 94) {
      Canary(path, ";x[rename]\r\nNUL=C:\\B.TXT\r\n"), note = "heading at the end of a longer line";
    } else if (v < 96) {
      winsim::MakeFolder(path), note = "a folder";
    } else if (v < 98) {
      winsim::MakeFile(path, "[rename]\r\n", FILE_ATTRIBUTE_READONLY), note = "read-only";
    } else {
      Canary(path, "[rename]\r\n");
      held = winsim::HoldFileOpen(path, 0) != 0;
      note = "held open";
    }
    const DWORD a = winsim::Attributes(path);
    bool made = a != INVALID_FILE_ATTRIBUTES &&
                (a & FILE_ATTRIBUTE_DIRECTORY) == (note == "a folder" ? FILE_ATTRIBUTE_DIRECTORY : 0u);
    if (note == "absent") made = a == INVALID_FILE_ATTRIBUTES;
    if (note == "read-only") made = made && (a & FILE_ATTRIBUTE_READONLY) != 0;
    if (note == "held open") made = made && held;
    Made("wininit.ini: " + note, made);
  }
};

}  // namespace

Machine Generate(uint64_t seed) {
  winsim::Reset();
  ResetRunState();
  Machine m;
  m.seed = seed;
  Builder b(m, seed);
  b.Version();
  b.BaseFolders();
  b.ShellFolders();
  b.SystemAndWindowsFiles();
  b.RootCanaries();
  b.MenuFolders();
  b.InstallFolder();
  b.Registration();
  b.RegistryItems();
  b.PenClass();
  b.InfFiles();
  b.RenameFile();
  return m;
}

Machine GenerateFull(int osKind) {
  winsim::Reset();
  ResetRunState();
  Machine m;
  m.seed = 0;
  m.osKind = osKind;
  Builder b(m, 1);
  SetWindowsVersion(osKind);
  b.Note(std::string("full installation on ") + KindName(osKind));
  m.disk.drives.push_back('C');
  const bool nt = IsNtFamily(osKind);
  const FamilyTables& t = TablesFor(osKind);
  b.win_ = "C:\\WINDOWS";
  b.winExists_ = true;
  b.sys_ = nt ? "C:\\WINDOWS\\SYSTEM32" : "C:\\WINDOWS\\SYSTEM";
  b.inf_ = "C:\\WINDOWS\\inf";
  m.windowsDir = b.win_;
  m.systemDir = b.sys_;
  winsim::MakeFolder(b.inf_ + "\\other");
  for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, CSIDL_COMMON_STARTUP, CSIDL_STARTUP}) {
    const std::string path = winsim::ShellFolderPath(csidl);
    m.shellFolders.push_back({csidl, winsim::ShellFolderState::Resolvable, path});
    winsim::MakeFolder(path);
  }
  b.OtherShellFolders();

  // System and Windows files: one in use, one protected, the "Ztablet" folder with its file.
  winsim::MakeFolder(b.sys_ + "\\Ztablet");
  for (const std::string& e : t.systemFiles) {
    if (e == "Ztablet") continue;
    DWORD attributes = e == "wintab.dll" ? FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_ARCHIVE;
    winsim::MakeFile(b.sys_ + "\\" + e, "driver file " + e, attributes);
  }
  winsim::HoldFileOpen(b.sys_ + "\\tablet.cpl", 0);
  b.Hostile(b.sys_ + "\\tablet.cpl");
  for (const std::string& e : t.windowsFiles) winsim::MakeFile(b.win_ + "\\" + e, "windows file " + e);
  b.Canary(b.sys_ + "\\tablet.cpl.bak");
  b.Canary(b.win_ + "\\win.ini");
  b.Canary("C:\\Read Me.txt");

  // Start menu: a tree per folder, a link out of the shared "Zorvik Tablet", an unshowable name.
  for (int programs : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
    const std::string base = winsim::ShellFolderPath(programs);
    for (size_t i = 0; i < 3; ++i) {
      const std::string folder = base + "\\" + t.menuFolders[i];
      winsim::MakeFile(folder + "\\TabUserZ.lnk", "shortcut", FILE_ATTRIBUTE_READONLY);
      winsim::MakeFile(folder + "\\" + S("オンラインマニュアル") + "\\Help.lnk", "shortcut", FILE_ATTRIBUTE_HIDDEN);
      winsim::MakeFile(folder + "\\" + S("オンラインマニュアル") + "\\Guide.pdf", "guide");
    }
    b.Canary(base + "\\Zorvik Tablet 2\\Other.lnk");
  }
  const std::string shared = winsim::ShellFolderPath(CSIDL_COMMON_PROGRAMS) + "\\Zorvik Tablet";
  b.Link(shared + "\\Shared", b.CanaryFolder());
  b.Unshowable(shared, false);
  for (int startup : {CSIDL_COMMON_STARTUP, CSIDL_STARTUP}) {
    for (const std::string& sc : t.startupShortcuts)
      winsim::MakeFile(winsim::ShellFolderPath(startup) + "\\" + sc, "lnk");
  }

  // The install folder with all its files, and its registration.
  const std::string install = "C:\\Program Files\\Zorvik Tablet";
  for (const std::string& e : t.installFiles) winsim::MakeFile(install + "\\" + e, "install file " + e);
  b.ForeignFolder("C:\\Program Files\\Zorvik Tablet 2", "Read Me.txt");
  b.SetRegValue(HKEY_LOCAL_MACHINE, kUninstallKeys[0], kUninstallValue,
                Builder::Sz("C:\\WINDOWS\\IsUninst.exe -f\"" + install + "\\Uninst.isu\"", ""));
  if (!nt) b.SetRegValue(HKEY_LOCAL_MACHINE, kDocLocationKey, kDocLocationValue, Builder::Sz(install, ""));

  // Every key of the registry plan with a small tree below it, and the 9x value.
  for (const TableKey& k : t.keys) {
    b.SetRegValue(k.root, k.subkey, "Installed", Builder::Sz("1", ""));
    b.SetRegValue(k.root, k.subkey + "\\Settings", "Mode", Builder::Sz("pen", ""));
    b.SetRegValue(k.root, k.subkey + "\\Settings\\" + S("表示"), "Size", Builder::Sz("2", ""));
  }
  const std::string run = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
  if (!nt) b.SetRegValue(HKEY_LOCAL_MACHINE, run, "Tablet", Builder::Sz("tablet.exe", ""));
  b.SetRegValue(HKEY_LOCAL_MACHINE, run, "Other", Builder::Sz("other.exe", ""));
  b.SetRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tablet2", "Keep", Builder::Sz("canary", ""));

  // The INF files, and a rename file with a section already in it.
  if (osKind == OsWin95) {
    const std::string cls = kPenClassKey;
    b.SetRegValue(HKEY_LOCAL_MACHINE, cls + "\\0000", "DriverDesc", Builder::Sz("Ostrel Serial Tablet", ""));
    b.SetRegValue(HKEY_LOCAL_MACHINE, cls + "\\0000", "InfPath", Builder::Sz("OEM3.INF", ""));
    b.SetRegValue(HKEY_LOCAL_MACHINE, cls + "\\0001", "DriverDesc", Builder::Sz("Standard pen", ""));
    b.SetRegValue(HKEY_LOCAL_MACHINE, cls + "\\0001", "InfPath", Builder::Sz("PEN.INF", ""));
    b.SetRegValue(HKEY_LOCAL_MACHINE, cls + "\\0002", "DriverDesc", Builder::Sz("Ostrel USB Tablet", ""));
    b.SetRegValue(HKEY_LOCAL_MACHINE, cls + "\\0002", "InfPath", Builder::Sz("OEM4.INF", ""));
    winsim::MakeFile(b.inf_ + "\\OEM3.INF", "[Version]");
    winsim::MakeFile(b.inf_ + "\\PEN.INF", "[Version]");
  } else if (!nt) {
    winsim::MakeFile(b.inf_ + "\\" + kWin9xInfFile, "[Version]");
    winsim::HoldFileOpen(b.inf_ + "\\" + kWin9xInfFile, 0);
    b.Hostile(b.inf_ + "\\" + kWin9xInfFile);
  }
  if (!nt) winsim::MakeFile(b.win_ + "\\wininit.ini", "[boot]\r\nx=1\r\n[rename]\r\nNUL=C:\\OLD.TXT\r\n");
  return m;
}

}  // namespace safety
