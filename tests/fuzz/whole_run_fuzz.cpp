// A whole run (Run pressed, once or twice, then Close) on a machine decoded from the input: the Windows version,
// which items of the package exist, what the registry says about the install folder and the
// pen class, Windows and shell folders that are odd or missing, files held open, entries and
// keys that refuse access, and failing calls. Whatever the machine, the run must not crash or
// leak, and it may remove only what the plans name:
// - files and folders: the listed names in the system and Windows folders, the INF file, the
//   product's Start-menu folders (with everything inside them, but never what a link inside
//   them leads to), the listed shortcuts, and in the install folder that the registry names its
//   listed files and the folder itself;
// - deletions put off until restart (the system's list and "wininit.ini") name only those;
// - registry: the family's keys with their subkeys, and the one value on the 9x family.
// The machine is seeded from the program's tables; what may go is worked out from the safety
// suite's own copy of them (tests/safety/plan_tables.h), so a name that slips into a program
// table shows as a removal no plan names. An install folder counts only when it can be the
// package's: never a folder the system names (the Windows and system folders, every shell
// folder, the registry's Program Files and Common Files) nor one above such a folder, a share,
// a junction or a folder below one, or a path with a name ending in a dot or a blank.
// Canaries (other programs' files, look-alike names and keys, files named like the package's in
// other folders and in the folders the system names, another program's folder behind a link in
// a menu folder) are seeded on every machine; each must be left intact unless the registry
// names its folder as an install folder that can be the package's. Whatever the registry says,
// nothing that lies in a folder the system names (or above one) goes unless a fixed table names
// it, and no such folder goes itself.
#include <shlobj.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "plan_tables.h"
#include "plans/file_tables.h"
#include "plans/registry_tables.h"
#include "resources/resource.h"
#include "shell/main_window.h"
#include "base/os_kind.h"
#include "base/run_state.h"
#include "winsim.h"
#include "winsim_fs.h"
#include "winsim_registry.h"
#include "winsim_shell.h"

namespace {

using std::string;
using std::vector;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvik Tablet Driver";
const char kSecondUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablet Driver";
const char kDocLocationKey[] = "SOFTWARE\\TABLET";
const char kDefaultInstallFolder[] = "C:\\Program Files\\Zorvik Tablet";
// A junction in Program Files to the Windows folder, for the registry to name.
const char kLinkToWindows[] = "C:\\Program Files\\Zorvik Link";
const int kShellFolders[] = {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, CSIDL_COMMON_STARTUP, CSIDL_STARTUP};

// Calls that may fail during the run, and the codes they fail with. The calls that give
// something back (FindClose, RegCloseKey, CloseHandle, UnmapViewOfFile, FreeLibrary) are left
// out: they fail only for a handle that is not valid, and a caller can do nothing more then.
const char* const kFaultApis[] = {
    "DeleteFileA",          "RemoveDirectoryA",    "FindFirstFileA",    "FindNextFileA",
    "SetFileAttributesA",   "GetFileAttributesA",  "MoveFileExA",       "CreateFileA",
    "GetFileSize",          "CreateFileMappingA",  "MapViewOfFile",     "SetEndOfFile",
    "GetWindowsDirectoryA", "GetSystemDirectoryA", "GetShortPathNameA", "PathIsDirectoryEmptyA",
    "RegOpenKeyExA",        "RegEnumKeyExA",       "RegQueryValueExA",  "RegDeleteKeyA",
    "RegDeleteValueA",      "RegFlushKey",         "SHGetMalloc",       "SHGetSpecialFolderLocation",
    "SHGetPathFromIDListA", "GetCPInfo",           "LoadLibraryA",      "GetProcAddress",
    "LoadStringA",          "SetFilePointer",
};
const DWORD kFaultCodes[] = {ERROR_FILE_NOT_FOUND,    ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED,
                             ERROR_SHARING_VIOLATION, ERROR_BAD_PATHNAME,   ERROR_DIR_NOT_EMPTY,
                             ERROR_NOT_ENOUGH_MEMORY, ERROR_NO_MORE_FILES,  ERROR_NO_MORE_ITEMS,
                             ERROR_INVALID_PARAMETER, ERROR_BADKEY,         ERROR_MORE_DATA};

template <typename T, size_t N>
constexpr size_t Count(const T (&)[N]) {
  return N;
}

unsigned char Fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 0x20 : c; }
bool SameText(const string& a, const string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return true;
}

// True when the last character of `path` is a backslash of its own (not a trail byte).
bool EndsWithSeparator(const string& path) {
  size_t last = string::npos;
  for (size_t i = 0; i < path.size();) {
    last = i;
    i += (winsim::IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) ? 2 : 1;
  }
  return last != string::npos && last == path.size() - 1 && (path[last] == '\\' || path[last] == '/');
}
string Join(const string& folder, const string& name) {
  return folder + (EndsWithSeparator(folder) ? "" : "\\") + name;
}
// `path` is `root` or lies below it.
bool IsAtOrBelow(const string& path, const string& root) {
  if (root.empty()) return false;
  if (SameText(path, root)) return true;
  const string prefix = EndsWithSeparator(root) ? root : root + "\\";
  return path.size() > prefix.size() && SameText(path.substr(0, prefix.size()), prefix);
}

// ---- what the registry names: the install folder, read as the rules say ----

string QuotedPart(const string& text) {
  const size_t open = text.find('"');
  const string from = open == string::npos ? text : text.substr(open + 1);
  return from.substr(0, from.find('"'));
}
string LessFinalBackslash(const string& path) {
  return EndsWithSeparator(path) && path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
}
size_t FindNoCase(const string& text, const string& pattern) {
  for (size_t at = 0; at + pattern.size() <= text.size(); ++at) {
    if (SameText(text.substr(at, pattern.size()), pattern)) return at;
  }
  return string::npos;
}
// The folder part of a stored uninstall string; "" when none.
string FolderFromUninstallString(const string& stored) {
  if (stored.size() > 1024) return "";
  const string candidate = QuotedPart(UpToZero(stored));
  for (const char* marker : {"uninst.isu", "Remove.exe"}) {
    const size_t at = FindNoCase(candidate, marker);
    if (at != string::npos) return LessFinalBackslash(candidate.substr(0, at));
  }
  return "";
}
// A folder text that names a place below a root by its own letters: absolute, and no component
// that Windows reads as the folder itself or its parent. Only such a folder may be trusted here:
// a ".." that slipped through would let a deletion land elsewhere than the text says.
bool IsPlainAbsoluteFolder(const string& path) {
  if (path.size() < 4 || path.size() > 259 || !std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':' ||
      (path[2] != '\\' && path[2] != '/')) {
    return false;
  }
  string part;
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i + 1 < path.size() && winsim::IsLeadByte(static_cast<unsigned char>(path[i]))) {
      part += path.substr(i++, 2);  // a trail byte 0x5C is no separator
    } else if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (part.empty() && i != path.size()) return false;
      if (!part.empty() && part.find_first_not_of(". ") == string::npos) return false;
      part.clear();
    } else {
      part += path[i];
    }
  }
  return true;
}

// ---- the machine ----

struct Entry {
  string path;       // long form, as seeded
  string shortPath;  // 8.3 form, as the system gives it
  DWORD attributes;
};

struct Machine {
  int osKind = OsWinXP;
  bool runTwice = false;  // Run pressed a second time before Close
  bool win9x = false;
  string windowsFolder, systemFolder, infFolder;  // no final backslash
  string shellFolders[4];                         // "" when the shell cannot give it
  vector<string> namedFolders;                    // install folders as the registry writes them
  vector<string> installFolders;                  // those that can be the package's: as text, 8.3 form and long form
  std::set<string> systemNamed;                   // folders the system names and those above, both forms
  vector<string> infFiles;                        // INF files the pen class names for the product
  vector<string> seededFiles;                     // every file the package left, for faults and holds
  vector<string> canaryFiles;                     // must be intact after the run
  vector<std::pair<HKEY, string>> canaryKeys;
  vector<std::pair<HKEY, std::pair<string, string>>> canaryValues;
};

// Files get their path as content, so a canary that is replaced rather than kept shows.
void Seed(Machine* m, const string& path, bool present) {
  if (!present) return;
  const size_t cut = path.rfind('\\');
  winsim::MakeFolder(path.substr(0, cut));
  if (winsim::MakeFile(path, path)) m->seededFiles.push_back(path);
}
void Canary(Machine* m, const string& path) {
  const size_t cut = path.rfind('\\');
  winsim::MakeFolder(path.substr(0, cut));
  if (winsim::MakeFile(path, "canary " + path)) m->canaryFiles.push_back(path);
}

// Reads presence bits; missing bits count as present, so a short input gives a full machine.
class Bits {
 public:
  explicit Bits(const string& bytes) : bytes_(bytes) {}
  bool Next() {
    const size_t byte = at_ / 8, bit = at_ % 8;
    ++at_;
    return byte >= bytes_.size() || ((static_cast<unsigned char>(bytes_[byte]) >> bit) & 1) == 0;
  }

 private:
  string bytes_;
  size_t at_ = 0;
};

// The folder the uninstall registration names, from a list of places worth trying (each
// followed by input bytes), or the input bytes alone.
string InstallFolderText(uint8_t choice, const Machine& m, const string& suffix) {
  const string places[] = {
      kDefaultInstallFolder,
      "C:\\Program Files",
      "C:\\",
      m.windowsFolder,
      m.systemFolder,
      m.shellFolders[0],
      "C:\\Program Files\\Zorvik Tablet\\..",
      "C:\\Program Files\\Zorvik Tablet\\..\\Other App",
      "C:\\PROGRA~1\\ZORVIK~1",
      "\\\\server\\share\\Tablet",
      "D:\\",
      "C:\\Program Files\\Zorvik Tablet\\",
      "C:\\Program Files\\Zorvik Tablet\\.",
      "c:/program files/zorvik tablet",
      "C:\\Program Files\\Other App",
      "",
      // Folders the system names, and spellings Windows reads as them.
      "C:\\PROGRA~1",
      "c:\\program files\\common files",
      "C:\\Documents and Settings",
      m.shellFolders[2],
      m.windowsFolder + ".",
      m.systemFolder + " ",
      "C:\\Program Files\\Zorvik Tablet.",
      kLinkToWindows,
      string(kLinkToWindows) + (m.systemFolder.compare(0, m.windowsFolder.size(), m.windowsFolder) == 0
                                    ? m.systemFolder.substr(m.windowsFolder.size())
                                    : "\\SYSTEM"),
      "\\\\localhost\\C$\\Program Files\\Zorvik Tablet",
  };
  return places[choice % Count(places)] + suffix;
}

void SeedMachine(Machine* m, FuzzInput* input) {
  const uint8_t kind = input->Byte();
  const uint8_t folders = input->Byte();
  const uint8_t shell = input->Byte();
  const uint8_t registry = input->Byte();
  const uint8_t place = input->Byte();
  Bits present(input->Field());
  const string uninstallSuffix = input->Field();
  const string docValue = input->Field();
  const string infPath = input->Field();

  m->osKind = kKnownOsKinds[kind % 7];
  UseOsKind(m->osKind);
  RunState.osKind = OsUnknown;  // the program classifies the version itself
  m->win9x = IsWin9xFamily(m->osKind);
  if ((kind >> 3) & 1) winsim::SetShlwapiPresent(false);
  if ((kind >> 4) & 1) winsim::SetListingOrder(winsim::ListingOrder::ReverseCreation);
  m->runTwice = (kind >> 5) & 1;
  winsim::AddDrive('D');

  // Windows and system folders: the usual ones, others, double-byte names with trail bytes 0x5C,
  // one too long for the plans' buffers, or none the system can report.
  const string windowsChoices[] = {"C:\\WINDOWS", "C:\\WIN95", "C:\\\x83\x5C\x95\x5C", "C:\\" + string(250, 'W')};
  m->windowsFolder = windowsChoices[folders % 4];
  m->systemFolder = m->windowsFolder + (m->win9x ? "\\SYSTEM" : "\\SYSTEM32");
  if ((folders >> 2) & 1) m->systemFolder = "C:\\" + string(255, 'S');
  winsim::MakeFolder(m->windowsFolder);
  winsim::MakeFolder(m->systemFolder);
  winsim::SetWindowsDirectory(m->windowsFolder);
  winsim::SetSystemDirectory(m->systemFolder);
  m->infFolder = m->windowsFolder + "\\inf";
  if ((folders >> 3) & 1) winsim::FailEveryCall("GetWindowsDirectoryA", ERROR_ACCESS_DENIED);

  // Shell folders: two bits each; 2 means the system has no such folder, 3 no path for it.
  for (int i = 0; i < 4; ++i) {
    const int state = (shell >> (2 * i)) & 3;
    if (state == 2) winsim::SetShellFolderState(kShellFolders[i], winsim::ShellFolderState::NoLocation);
    if (state == 3) winsim::SetShellFolderState(kShellFolders[i], winsim::ShellFolderState::NoPath);
    m->shellFolders[i] = state >= 2 ? "" : winsim::ShellFolderPath(kShellFolders[i]);
    if (!m->shellFolders[i].empty()) winsim::MakeFolder(m->shellFolders[i]);
  }

  // The package's files.
  if (m->win9x) {
    const Win9xFileTables& t = Win9xFilePlan;
    for (int i = 0; i < t.systemFiles.count; ++i)
      Seed(m, Join(m->systemFolder, t.systemFiles.entries[i]), present.Next());
    for (int i = 0; i < t.windowsFiles.count; ++i)
      Seed(m, Join(m->windowsFolder, t.windowsFiles.entries[i]), present.Next());
    for (int i = 0; i < t.installFiles.count; ++i)
      Seed(m, Join(kDefaultInstallFolder, t.installFiles.entries[i]), present.Next());
    Seed(m, Join(m->infFolder, t.infFile), present.Next());
  } else {
    const NtFileTables& t = NtFilePlan;
    for (int i = 0; i < t.systemFiles.count; ++i)
      Seed(m, Join(m->systemFolder, t.systemFiles.entries[i]), present.Next());
    for (int i = 0; i < t.windowsFiles.count; ++i)
      Seed(m, Join(m->windowsFolder, t.windowsFiles.entries[i]), present.Next());
    for (int i = 0; i < t.installFiles.count; ++i)
      Seed(m, Join(kDefaultInstallFolder, t.installFiles.entries[i]), present.Next());
  }
  const FileTable& menus = m->win9x ? Win9xFilePlan.menuFolders : NtFilePlan.menuFolders;
  const FileTable& shortcuts = m->win9x ? Win9xFilePlan.startupShortcuts : NtFilePlan.startupShortcuts;
  for (int s = 0; s < 2; ++s) {
    if (m->shellFolders[s].empty()) continue;
    for (int i = 0; i < menus.count; ++i) {
      const string menu = Join(m->shellFolders[s], menus.entries[i]);
      Seed(m, Join(menu, "TabUserZ.lnk"), present.Next());
      Seed(m, Join(menu, "Manuals\\Help.lnk"), present.Next());
    }
  }
  for (int s = 2; s < 4; ++s) {
    if (m->shellFolders[s].empty()) continue;
    for (int i = 0; i < shortcuts.count; ++i) Seed(m, Join(m->shellFolders[s], shortcuts.entries[i]), present.Next());
  }

  // Canaries: other programs' files, look-alike names, files named like the install folder's in
  // other folders, and another drive.
  Canary(m, "C:\\keep.txt");
  Canary(m, "C:\\Read Me.txt");
  Canary(m, "C:\\Program Files\\Read Me.txt");
  Canary(m, "C:\\Program Files\\Other App\\Read Me.txt");
  Canary(m, "C:\\Program Files\\Other App\\Remove.exe");
  Canary(m, "C:\\Program Files\\Common Files\\shared.dll");
  Canary(m, "C:\\Program Files\\Zorvik Tablet\\My Settings.dat");  // the user's, in the install folder
  Canary(m, "D:\\data\\keep.txt");
  Canary(m, Join(m->windowsFolder, "win.ini"));
  Canary(m, Join(m->windowsFolder, "Read Me.txt"));
  Canary(m, Join(m->systemFolder, "kernel32.dll"));
  Canary(m, Join(m->systemFolder, "Ztablet2\\keep.dll"));
  Canary(m, Join(m->windowsFolder, "License.txt"));
  Canary(m, Join(m->systemFolder, "Read Me.txt"));
  Canary(m, "C:\\Program Files\\Common Files\\Remove.exe");
  Canary(m, "C:\\Documents and Settings\\Read Me.txt");
  Canary(m, Join(m->infFolder, "PEN.INF"));
  Canary(m, Join(m->infFolder, "other\\keep.inf"));
  for (int s = 0; s < 2; ++s) {
    if (m->shellFolders[s].empty()) continue;
    Canary(m, Join(m->shellFolders[s], "Accessories\\Notepad.lnk"));
    Canary(m, Join(m->shellFolders[s], "Zorvik Tablet Extra\\keep.lnk"));
    Canary(m, Join(m->shellFolders[s], "TabUserZ.lnk"));
  }
  for (int s = 2; s < 4; ++s) {
    if (m->shellFolders[s].empty()) continue;
    Canary(m, Join(m->shellFolders[s], "Other.lnk"));
    Canary(m, Join(m->shellFolders[s], "TabUserZ.lnk.bak"));
  }
  if (!m->shellFolders[2].empty()) Canary(m, Join(m->shellFolders[2], "Read Me.txt"));
  // The registry's names for Program Files and Common Files, and a junction to the Windows folder.
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, safety::kCurrentVersionKey, "ProgramFilesDir", "C:\\Program Files");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, safety::kCurrentVersionKey, "CommonFilesDir",
                         "C:\\Program Files\\Common Files");
  winsim::MakeDirectoryLink(kLinkToWindows, m->windowsFolder);
  // A link inside a product menu folder that leads to another program's folder: the tree walk
  // must remove the link, never what it leads to.
  if (!m->shellFolders[0].empty() && ((registry >> 6) & 1)) {
    const string menu = Join(m->shellFolders[0], menus.entries[0]);
    winsim::MakeFolder(menu);
    winsim::MakeDirectoryLink(Join(menu, "Common"), "C:\\Program Files\\Common Files");
  }

  // The registry: the family's keys (with a subkey each), the value, and canaries.
  if (m->win9x) {
    for (int i = 0; i < Win9xRegistryPlan.keys.count; ++i) {
      if (present.Next())
        winsim::SetStringValue(Win9xRegistryPlan.keys.entries[i].root,
                               Join(Win9xRegistryPlan.keys.entries[i].subkey, "Sub"), "x", "1");
    }
    for (int i = 0; i < Win9xRegistryPlan.values.count; ++i) {
      if (present.Next())
        winsim::SetStringValue(Win9xRegistryPlan.values.entries[i].root, Win9xRegistryPlan.values.entries[i].subkey,
                               Win9xRegistryPlan.values.entries[i].valueName, "t");
    }
  } else {
    for (int i = 0; i < NtRegistryPlan.keys.count; ++i) {
      if (present.Next())
        winsim::SetStringValue(NtRegistryPlan.keys.entries[i].root, Join(NtRegistryPlan.keys.entries[i].subkey, "Sub"),
                               "x", "1");
    }
  }
  const std::pair<HKEY, string> canaryKeys[] = {
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\TabletOther"},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\Other"},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other App"},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvik Tablet Driver2"},
      {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\PENDING"},
      {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\TabletServiceX"},
      {HKEY_CURRENT_USER, "Control Panel\\Zorvik2"},
      {HKEY_USERS, ".DEFAULT\\Control Panel\\Other"},
  };
  for (const auto& key : canaryKeys) {
    winsim::SetStringValue(key.first, key.second, "keep", "1");
    m->canaryKeys.push_back(key);
  }
  m->canaryValues.push_back(
      {HKEY_LOCAL_MACHINE, {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", "Other"}});
  m->canaryValues.push_back({HKEY_LOCAL_MACHINE, {"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", "Tablet"}});
  for (const auto& value : m->canaryValues)
    winsim::SetStringValue(value.first, value.second.first, value.second.second, "x");

  // Where the registry says the install folder is: the uninstall string in either key, the
  // documents location on the 9x family.
  const bool useSecondKey = (registry >> 2) & 1;
  const char* uninstallKey = useSecondKey ? kSecondUninstallKey : kUninstallKey;
  string uninstall;
  switch (registry & 3) {
    case 0:
      uninstall = "C:\\WINDOWS\\IsUninst.exe -f\"" + InstallFolderText(place, *m, uninstallSuffix) + "\\Uninst.isu\"";
      break;
    case 1: uninstall = "\"" + InstallFolderText(place, *m, uninstallSuffix) + "\\Remove.exe\" /s"; break;
    case 2: uninstall = uninstallSuffix; break;  // the bytes alone
    default: break;                              // no uninstall string
  }
  if ((registry & 3) != 3)
    winsim::SetValue(HKEY_LOCAL_MACHINE, uninstallKey, "UninstallString", REG_SZ, uninstall + '\0');
  if ((registry >> 3) & 1)
    winsim::SetValue(HKEY_LOCAL_MACHINE, kDocLocationKey, "OEMDocLocation", REG_SZ, docValue + '\0');

  // Any folder the rules could take counts as named by the registry; the run may take either.
  // The documents location counts on the 9x family only.
  m->namedFolders.push_back(FolderFromUninstallString(uninstall));
  if (m->win9x) m->namedFolders.push_back(LessFinalBackslash(QuotedPart(UpToZero(docValue))));

  // Windows 95 finds its INF file through the pen class: instance 0000 is the product's, with
  // an "InfPath" from the input; 0001 a standard pen whose INF file must stay.
  if (m->osKind == OsWin95) {
    const string penClass = Win9xFilePlan.penClassKey;
    const string description =
        ((registry >> 4) & 1) ? string("Other ") + Win9xFilePlan.driverDescMatch : "Standard pen";
    winsim::SetStringValue(HKEY_LOCAL_MACHINE, penClass + "\\0000", "DriverDesc", description);
    winsim::SetValue(HKEY_LOCAL_MACHINE, penClass + "\\0000", "InfPath", REG_SZ, infPath + '\0');
    winsim::SetStringValue(HKEY_LOCAL_MACHINE, penClass + "\\0001", "DriverDesc", "Standard pen");
    winsim::SetStringValue(HKEY_LOCAL_MACHINE, penClass + "\\0001", "InfPath", "PEN.INF");
    const string inf = UpToZero(infPath);
    if ((registry >> 4) & 1 && IsPlainAbsoluteFolder("C:\\" + inf)) {
      m->infFiles.push_back(Join(m->infFolder, inf));
      Seed(m, Join(m->infFolder, inf), present.Next());
    }
  }
}

// Names from the input, split at zero bytes: the even ones make a chain of nested folders (with a
// file at its end) in the product's first Start-menu folder, the odd ones a chain of nested keys
// under the family's first key. Long names, double-byte names and names the calls refuse test
// the walks over folder and key trees.
void AddNestedEntries(const Machine& m, const string& bytes) {
  vector<string> names(1);
  for (char c : bytes) {
    if (c == '\0') {
      names.emplace_back();
    } else if (names.back().size() < 300) {
      names.back() += c;
    }
  }
  const FileTable& menus = m.win9x ? Win9xFilePlan.menuFolders : NtFilePlan.menuFolders;
  string folder = m.shellFolders[0].empty() ? "" : Join(m.shellFolders[0], menus.entries[0]);
  string key = m.win9x ? Win9xRegistryPlan.keys.entries[0].subkey : NtRegistryPlan.keys.entries[0].subkey;
  const HKEY root = m.win9x ? Win9xRegistryPlan.keys.entries[0].root : NtRegistryPlan.keys.entries[0].root;
  for (size_t i = 0; i < names.size() && i < 16; ++i) {
    if (names[i].empty()) continue;
    if (i % 2 == 0 && !folder.empty()) {
      folder = Join(folder, names[i]);
      if (!winsim::MakeFolder(folder)) return;
      winsim::MakeFile(Join(folder, "x.lnk"), "link");
    } else if (i % 2 == 1) {
      key = key + "\\" + names[i];
      winsim::SetStringValue(root, key, "x", "1");
    }
  }
}

// Every file and folder on the machine, without entering links.
void Walk(const string& folder, vector<Entry>* out) {
  for (const string& name : winsim::FolderEntries(folder)) {
    Entry e;
    e.path = Join(folder, name);
    e.attributes = winsim::Attributes(e.path);
    out->push_back(e);
    if ((e.attributes & FILE_ATTRIBUTE_DIRECTORY) && !(e.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) Walk(e.path, out);
  }
}
// With `allShortForms` clear, only folders get their 8.3 form (enough to find the folder the
// registry names by any spelling); the rename file of the 9x family needs the files' too.
vector<Entry> Snapshot(bool allShortForms) {
  vector<Entry> entries;
  Walk("C:\\", &entries);
  Walk("D:\\", &entries);
  for (Entry& e : entries) {
    if (!allShortForms && !(e.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    char shortForm[MAX_PATH];
    const DWORD length = GetShortPathNameA(e.path.c_str(), shortForm, MAX_PATH);
    if (length > 0 && length < MAX_PATH) e.shortPath = shortForm;
  }
  return entries;
}

// The form in which Windows looks a path up: letters A-Z in capitals, "/" as "\", separators
// in a row as one (but the two that open a share name), no separator at the end, and each name
// without the dots and blanks at its end, which Win32 drops ("Zorvik Tablet." and "Zorvik
// Tablet\" name the same folder as "Zorvik Tablet"). Only the separators' own bytes end a name;
// a trail byte 0x5C does not.
string Upper(const string& text) {
  string out;
  size_t nameStart = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool end = i == text.size();
    if (!end && winsim::IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      out += text.substr(i++, 2);
      continue;
    }
    if (end || text[i] == '\\' || text[i] == '/') {
      // Trim the name just ended, unless it is "." or ".." themselves.
      const string name = out.substr(nameStart);
      if (name != "." && name != "..") {
        size_t keep = name.size();
        while (keep > 0 && (name[keep - 1] == '.' || name[keep - 1] == ' ')) --keep;
        out.resize(nameStart + keep);
      }
      const bool emptyName = out.size() == nameStart;
      const bool shareOpening = out == "\\";
      if (end) {
        // A final separator goes, but not the one of a drive's root ("C:\").
        if (emptyName && out.size() > 3 && nameStart > 0) out.resize(out.size() - 1);
        break;
      }
      if (emptyName && nameStart > 0 && !shareOpening) continue;
      out += '\\';
      nameStart = out.size();
      continue;
    }
    out += static_cast<char>(Fold(static_cast<unsigned char>(text[i])));
  }
  return out;
}

// What the plans may remove on this machine: exact paths, and folders removed with everything
// in them (all in capitals, since names are compared without case).
struct Allowed {
  std::set<string> exact;
  vector<string> trees;
};

// From the safety suite's copy of the tables; with `withInstallFolders`, the install folders the
// registry names that can be the package's, with their files.
Allowed AllowedRemovals(const Machine& m, bool withInstallFolders) {
  Allowed a;
  const safety::FamilyTables& t = safety::TablesFor(m.osKind);
  for (const string& name : t.systemFiles) a.exact.insert(Upper(Join(m.systemFolder, name)));
  for (const string& name : t.windowsFiles) a.exact.insert(Upper(Join(m.windowsFolder, name)));
  for (int s = 0; s < 4; ++s) {
    if (m.shellFolders[s].empty()) continue;  // the shell cannot give it
    for (const string& name : s < 2 ? t.menuFolders : t.startupShortcuts) {
      if (s < 2) {
        a.trees.push_back(Upper(Join(m.shellFolders[s], name)));
      } else {
        a.exact.insert(Upper(Join(m.shellFolders[s], name)));
      }
    }
  }
  for (const string& folder : withInstallFolders ? m.installFolders : vector<string>()) {
    a.exact.insert(Upper(folder));
    for (const string& name : t.installFiles) a.exact.insert(Upper(Join(folder, name)));
  }
  if (m.win9x && m.osKind != OsWin95) a.exact.insert(Upper(Join(m.infFolder, safety::kWin9xInfFile)));
  for (const string& inf : m.infFiles) a.exact.insert(Upper(inf));
  return a;
}

// May the run remove (or have removed at restart) the entry at `path`?
bool MayRemove(const Allowed& a, const string& path) {
  if (path.empty()) return false;
  const string upper = Upper(path);
  if (a.exact.count(upper)) return true;
  for (const string& tree : a.trees) {
    if (IsAtOrBelow(upper, tree)) return true;
  }
  return false;
}
bool MayRemoveEntry(const Allowed& a, const Entry& e) { return MayRemove(a, e.path) || MayRemove(a, e.shortPath); }

// The registry keys of `root` as full paths, and whether the run may remove `key`.
bool MayRemoveKey(const Machine& m, HKEY root, const string& key) {
  for (const safety::TableKey& k : safety::TablesFor(m.osKind).keys) {
    if (k.root == root && IsAtOrBelow(key, k.subkey)) return true;
  }
  return false;
}

// ---- folders the system names, which no install folder may be ----

// The folder `path` lies in ("" for a drive's root); a trail byte 0x5C is no separator.
string ParentOf(const string& path) {
  size_t last = string::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (winsim::IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
    } else if (path[i] == '\\' || path[i] == '/') {
      if (i + 1 < path.size()) last = i;
    }
  }
  if (last == string::npos || last < 2) return "";
  return last == 2 ? path.substr(0, 3) : path.substr(0, last);
}

// A path in the forms Windows compares: as written and by its 8.3 form, each as Upper gives it.
vector<string> Forms(const string& path) {
  vector<string> forms = {Upper(path)};
  char shortForm[MAX_PATH];
  const DWORD length = path.size() < MAX_PATH ? GetShortPathNameA(path.c_str(), shortForm, MAX_PATH) : 0;
  if (length > 0 && length < MAX_PATH) forms.push_back(Upper(shortForm));
  return forms;
}

// Every folder the system names on this machine, and every folder above one, in both forms:
// the Windows and system folders, every shell folder the shell gives a path for, and the
// registry's Program Files and Common Files. Worked out before the run.
std::set<string> SystemNamedFolders(const Machine& m) {
  vector<string> named = {m.windowsFolder,   m.systemFolder,    m.shellFolders[0],   m.shellFolders[1],
                          m.shellFolders[2], m.shellFolders[3], "C:\\Program Files", "C:\\Program Files\\Common Files"};
  for (int csidl : safety::kGuardedCsidls) {
    bool planFolder = false;
    for (int plans : kShellFolders) planFolder = planFolder || plans == csidl;
    if (!planFolder) named.push_back(winsim::ShellFolderPath(csidl));
  }
  std::set<string> out;
  for (const string& folder : named) {
    for (string at = folder; !at.empty(); at = ParentOf(at)) {
      for (const string& form : Forms(at)) out.insert(form);
    }
  }
  return out;
}

bool IsSystemNamed(const std::set<string>& named, const string& path) {
  return !path.empty() && named.count(Upper(path)) != 0;
}

// Whether a folder the registry names can be the package's: plain and absolute, no name ending
// in a dot or a blank, no junction as the folder or on the way, and neither a folder the system
// names nor one above such a folder (by either form).
bool CanBeThePackages(const std::set<string>& named, const string& folder) {
  if (!IsPlainAbsoluteFolder(folder)) return false;
  for (size_t i = 0; i <= folder.size(); ++i) {
    const bool end = i == folder.size();
    if (!end && winsim::IsLeadByte(static_cast<unsigned char>(folder[i])) && i + 1 < folder.size()) {
      ++i;
      continue;
    }
    if (!end && folder[i] != '\\' && folder[i] != '/') continue;
    // (No trail byte is a dot or a blank.)
    if (i > 3 && (folder[i - 1] == '.' || folder[i - 1] == ' ')) return false;
    const DWORD attributes = winsim::Attributes(folder.substr(0, i));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  }
  for (const string& form : Forms(folder)) {
    for (const string& other : named) {
      if (IsAtOrBelow(other, form)) return false;
    }
  }
  return true;
}

void InjectFaults(const string& bytes) {
  for (size_t i = 0; i + 2 < bytes.size() && i < 3 * 6; i += 3) {
    const char* api = kFaultApis[static_cast<unsigned char>(bytes[i]) % Count(kFaultApis)];
    const int nth = 1 + static_cast<unsigned char>(bytes[i + 1]) % 48;
    const DWORD code = kFaultCodes[static_cast<unsigned char>(bytes[i + 2]) % Count(kFaultCodes)];
    winsim::FailCall(api, nth, code);
  }
}

// Files held open by another process and entries that refuse access, picked from those seeded.
void MakeHostile(const Machine& m, const string& bytes) {
  if (m.seededFiles.empty()) return;
  for (size_t i = 0; i + 1 < bytes.size() && i < 2 * 8; i += 2) {
    const string& path = m.seededFiles[static_cast<unsigned char>(bytes[i]) % m.seededFiles.size()];
    const uint8_t how = static_cast<uint8_t>(bytes[i + 1]);
    if (how & 0x80) {
      winsim::HoldFileOpen(path, how & 3, GENERIC_READ);
    } else {
      // The file itself, or the folder it is in.
      const string target = (how & 0x40) ? path.substr(0, path.rfind('\\')) : path;
      winsim::DenyAccess(target, how & 0x3F);
    }
  }
}

// The lines of the rename file that name something to delete: the paths after "NUL=".
vector<string> RenameFileDeletions(const Machine& m) {
  vector<string> paths;
  const string bytes = winsim::FileBytes(Join(m.windowsFolder, "wininit.ini"));
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find("\r\n", at);
    if (end == string::npos) end = bytes.size();
    const string line = bytes.substr(at, end - at);
    if (line.compare(0, 4, "NUL=") == 0) paths.push_back(line.substr(4));
    at = end + 2;
  }
  return paths;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  FreshMachine();
  Machine m;
  SeedMachine(&m, &input);
  const string faults = input.Field();
  const string hostile = input.Field();
  AddNestedEntries(m, input.Field());

  // The rename file (9x family) names files by their 8.3 forms.
  const vector<Entry> before = Snapshot(m.win9x);
  // Each folder the registry names, in every form that reaches it: as written, its 8.3 form,
  // and the long form of the entry with that 8.3 form.
  m.systemNamed = SystemNamedFolders(m);
  for (const string& folder : m.namedFolders) {
    if (!CanBeThePackages(m.systemNamed, folder)) continue;
    m.installFolders.push_back(folder);
    char shortForm[MAX_PATH];
    const DWORD length = GetShortPathNameA(folder.c_str(), shortForm, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) continue;
    m.installFolders.push_back(shortForm);
    for (const Entry& e : before) {
      if (SameText(e.shortPath, shortForm)) m.installFolders.push_back(e.path);
    }
  }
  const Allowed allowed = AllowedRemovals(m, true);
  const Allowed fixed = AllowedRemovals(m, false);
  std::set<string> installNames;
  for (const string& name : safety::TablesFor(m.osKind).installFiles) installNames.insert(Upper(name));
  std::set<std::pair<HKEY, string>> keysBefore;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS}) {
    for (const string& key : winsim::KeyTree(root)) keysBefore.insert({root, key});
  }
  MakeHostile(m, hostile);
  InjectFaults(faults);

  winsim::QueueAction([] { winsim::PressButton(IDC_RUN); });
  if (m.runTwice) winsim::QueueAction([] { winsim::PressButton(IDC_RUN); });
  winsim::QueueAction([] { winsim::PressButton(IDOK); });
  int exitCode = -1;
  try {
    exitCode = StartProgram();
  } catch (const winsim::QueueStarved&) {
    FUZZ_CHECK(false, "the program waited for input after Run and Close");
  }
  FUZZ_CHECK(exitCode == 0, "exit code %d", exitCode);
  winsim::EndProcess();  // the libraries the program keeps for its life go with the process
  FUZZ_CHECK(winsim::RefusedLibraryLoads() == 0, "%d libraries loaded by name", winsim::RefusedLibraryLoads());
  FUZZ_CHECK(winsim::LeakReport().empty(), "%s", winsim::LeakReport().c_str());
  FUZZ_CHECK(winsim::ShellMisuses() == 0, "%d misuses of the shell allocator", winsim::ShellMisuses());

  // Files and folders: what is gone must be the plans' to remove; canaries are all there.
  for (const Entry& e : before) {
    if (winsim::Exists(e.path)) continue;
    FUZZ_CHECK(MayRemoveEntry(allowed, e), "removed \"%s\" (8.3 \"%s\"), which no plan names", Shown(e.path).c_str(),
               Shown(e.shortPath).c_str());
    // Whatever the registry named: no folder the system names goes, and nothing directly in one
    // that the fixed tables do not name (a file, a junction, a folder named like an install file).
    FUZZ_CHECK(!IsSystemNamed(m.systemNamed, e.path) && !IsSystemNamed(m.systemNamed, e.shortPath),
               "removed \"%s\", a folder the system names or one above it", Shown(e.path).c_str());
    const bool folder = (e.attributes & FILE_ATTRIBUTE_DIRECTORY) && !(e.attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    string name = e.path.substr(ParentOf(e.path).size());
    if (!name.empty() && name[0] == '\\') name.erase(0, 1);
    const bool installName = installNames.count(Upper(name)) != 0;
    FUZZ_CHECK(MayRemoveEntry(fixed, e) || !IsSystemNamed(m.systemNamed, ParentOf(e.path)) || (folder && !installName),
               "removed \"%s\" from a folder the system names", Shown(e.path).c_str());
  }
  for (const string& canary : m.canaryFiles) {
    if (MayRemove(allowed, canary)) continue;  // named by the registry as the install folder's
    FUZZ_CHECK(winsim::FileBytes(canary) == "canary " + canary, "canary \"%s\" changed", Shown(canary).c_str());
  }
  // Deletions put off until restart name only what the plans may remove.
  for (const winsim::DelayedMove& move : winsim::DelayedMoves()) {
    FUZZ_CHECK(move.deletion, "a delayed move renames \"%s\"", Shown(move.existing).c_str());
    FUZZ_CHECK(MayRemove(allowed, move.existing), "deletion at restart of \"%s\"", Shown(move.existing).c_str());
  }
  for (const string& shortPath : RenameFileDeletions(m)) {
    bool named = false;
    for (const Entry& e : before) {
      if (SameText(e.shortPath, shortPath) || SameText(e.path, shortPath)) named = MayRemoveEntry(allowed, e);
    }
    FUZZ_CHECK(named, "wininit.ini deletes \"%s\"", Shown(shortPath).c_str());
  }
  // The registry: only the family's keys go, and the canaries stay.
  for (const auto& key : keysBefore) {
    if (winsim::KeyExists(key.first, key.second)) continue;
    FUZZ_CHECK(MayRemoveKey(m, key.first, key.second), "removed key \"%s\"", Shown(key.second).c_str());
  }
  for (const auto& key : m.canaryKeys) {
    FUZZ_CHECK(winsim::ValueExists(key.first, key.second, "keep"), "canary key \"%s\" lost", Shown(key.second).c_str());
  }
  for (const auto& value : m.canaryValues) {
    FUZZ_CHECK(winsim::ValueExists(value.first, value.second.first, value.second.second),
               "canary value \"%s\\%s\" lost", value.second.first.c_str(), value.second.second.c_str());
  }
  return 0;
}
