// The benchmark of the program's own primitives under Wine, each against its peers, in one
// prefix (bench/run.sh builds it, runs it and the whole-run driver, and prints the tables).
//
//   tablet_bench.exe [--runs N] CASE...
//
// CASE: folders (the folder walk against rd /s /q and SHFileOperationA), keys (the key walk
// against RegDeleteTreeA and reg delete), rename (the rename-file editor at 1 KiB, 64 KiB and
// 1 MiB against reading and rewriting the file), stack (the walks' stack use per level).
// The timed cases run the program's primitive and its peers in alternating order (AB, BA, ...)
// on freshly made inputs, check each result, and print min and median in milliseconds and the
// ratio of the program's median to each peer's. The program's sources are compiled exactly as
// in the shipped exe (see CMakeLists.txt).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "primitives/directory_tree.h"
#include "primitives/registry_removal.h"
#include "primitives/rename_file.h"

namespace {

using std::string;
using std::vector;

const char kWorkFolder[] = "C:\\bench";
const char kKeyRoot[] = "Software\\TabletBench";

int g_runs = 5;
bool g_failed = false;

// ---- timing and the tables ------------------------------------------------------------------

double NowMs() {
  static LARGE_INTEGER frequency = {};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Series {
  string name;
  vector<double> ms;
  bool startUp = false;  // a peer program's start alone: beside the peer, no ratio of its own
  double Min() const { return *std::min_element(ms.begin(), ms.end()); }
  double Median() const {
    vector<double> s = ms;
    std::sort(s.begin(), s.end());
    return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
  }
};

void Fail(const string& what) {
  printf("FAILED: %s\n", what.c_str());
  fflush(stdout);
  g_failed = true;
}

string Figure(double ms) {
  char buf[32];
  snprintf(buf, sizeof buf, ms >= 100 ? "%.0f" : ms >= 10 ? "%.1f" : "%.3f", ms);
  return buf;
}

// The program's series first, then its peers, with the ratio of the medians program : peer.
void PrintCase(const string& title, const vector<Series>& series) {
  printf("\n%s\n", title.c_str());
  printf("  %-44s %5s %10s %10s %8s\n", "", "runs", "min ms", "median ms", "ratio");
  for (size_t i = 0; i < series.size(); ++i) {
    const Series& s = series[i];
    char ratio[32] = "";
    if (i > 0 && !s.startUp) snprintf(ratio, sizeof ratio, "%.2f", series[0].Median() / s.Median());
    printf("  %-44s %5u %10s %10s %8s\n", s.name.c_str(), static_cast<unsigned>(s.ms.size()), Figure(s.Min()).c_str(),
           Figure(s.Median()).c_str(), ratio);
  }
  fflush(stdout);
}

// Runs every method `runs` times, in the order 0..n-1 on even runs and n-1..0 on odd ones, so
// that a trend in the machine's load (other builds on the shared cores) favours no method.
// `make` prepares the input for a method (untimed), `timed` gives the milliseconds it took.
// `warmUp`: each method once more first, untimed, so that the first timed run does not pay for
// what the system opens and loads once.
template <typename Make, typename Timed>
void Alternate(vector<Series>* series, int runs, Make make, Timed timed, bool warmUp = false) {
  const size_t n = series->size();
  for (size_t m = 0; warmUp && m < n; ++m) {
    make(m);
    timed(m);
  }
  for (int run = 0; run < runs; ++run) {
    for (size_t k = 0; k < n; ++k) {
      const size_t m = run % 2 == 0 ? k : n - 1 - k;
      make(m);
      (*series)[m].ms.push_back(timed(m));
    }
  }
}

// Runs a command line of the prefix (cmd, reg) with its output sent to NUL, timed from its
// start to its end.
void RunCommand(const string& commandLine, double* ms) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul;
  PROCESS_INFORMATION pi = {};
  string line = commandLine;
  const double begin = NowMs();
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    *ms = NowMs() - begin;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  } else {
    Fail("cannot start " + commandLine);
  }
  CloseHandle(nul);
}

// ---- folder trees ----------------------------------------------------------------------------

struct TreeCounts {
  int files = 0;
  int folders = 0;
  int readOnly = 0;
  int hidden = 0;
};

bool MakeFolder(const string& path, DWORD attributes, TreeCounts* c) {
  if (!CreateDirectoryA(path.c_str(), nullptr)) return false;
  if (attributes != 0) SetFileAttributesA(path.c_str(), attributes);
  c->folders++;
  if (attributes & FILE_ATTRIBUTE_HIDDEN) c->hidden++;
  return true;
}

// File number `n`: every fifth read-only, every seventh hidden, every 35th also a system file.
bool MakeTreeFile(const string& path, int n, TreeCounts* c) {
  DWORD attributes = 0;
  if (n % 5 == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  if (n % 7 == 0) attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (n % 35 == 0) attributes |= FILE_ATTRIBUTE_SYSTEM;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char text[64];
  const int length = snprintf(text, sizeof text, "bench file %d\r\n", n);
  DWORD written = 0;
  WriteFile(h, text, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(h);
  c->files++;
  if (attributes & FILE_ATTRIBUTE_READONLY) c->readOnly++;
  if (attributes & FILE_ATTRIBUTE_HIDDEN) c->hidden++;
  return true;
}

// `root`\wide: 100 folders of 100 files, every tenth folder hidden; `root`\deep: a chain of 50
// folders with a file in each, every tenth folder hidden.
bool MakeFolderTree(const string& root, TreeCounts* c) {
  *c = TreeCounts();
  int n = 0;
  if (!MakeFolder(root, 0, c) || !MakeFolder(root + "\\wide", 0, c)) return false;
  for (int f = 0; f < 100; ++f) {
    char name[32];
    snprintf(name, sizeof name, "\\wide\\folder%03d", f);
    const string folder = root + name;
    if (!MakeFolder(folder, 0, c)) return false;
    for (int i = 0; i < 100; ++i) {
      snprintf(name, sizeof name, "\\file%03d.dat", i);
      if (!MakeTreeFile(folder + name, ++n, c)) return false;
    }
    if (f % 10 == 9) {
      SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
      c->hidden++;
    }
  }
  string chain = root + "\\deep";
  if (!MakeFolder(chain, 0, c)) return false;
  for (int level = 0; level < 50; ++level) {
    chain += level % 10 == 9 ? "\\h" : "\\d";
    if (!MakeFolder(chain, level % 10 == 9 ? FILE_ATTRIBUTE_HIDDEN : 0, c)) return false;
    if (!MakeTreeFile(chain + "\\f.txt", ++n, c)) return false;
  }
  return true;
}

void FoldersCase() {
  const string parent = string(kWorkFolder) + "\\trees";
  CreateDirectoryA(parent.c_str(), nullptr);
  TreeCounts counts;
  vector<Series> series = {{"RemoveDirectoryTree (the program)", {}},
                           {"cmd /c rd /s /q", {}},
                           {"SHFileOperationA(FO_DELETE)", {}},
                           {"cmd /c exit (start-up of cmd alone)", {}, true}};
  int serial = 0;
  string tree;
  double makeMs = 0;
  Alternate(
      &series, g_runs,
      [&](size_t m) {
        tree = parent + "\\t" + std::to_string(++serial);
        if (m == 3) return;  // the start-up of cmd alone: no tree
        const double begin = NowMs();
        if (!MakeFolderTree(tree, &counts)) Fail("cannot make the folder tree " + tree);
        makeMs = NowMs() - begin;
      },
      [&](size_t m) {
        double ms = 0;
        if (m == 0) {
          const double begin = NowMs();
          const RemovalStatus status = RemoveDirectoryTree(tree.c_str(), TRUE, TRUE);
          ms = NowMs() - begin;
          if (status != StatusDeleted) Fail("RemoveDirectoryTree gave status " + std::to_string(status));
        } else if (m == 1) {
          RunCommand("cmd.exe /c rd /s /q \"" + tree + "\"", &ms);
        } else if (m == 2) {
          const string from = tree + '\0';  // a list of names, ended by an empty one
          SHFILEOPSTRUCTA op = {};
          op.wFunc = FO_DELETE;
          op.pFrom = from.c_str();
          op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI | FOF_NOCONFIRMMKDIR;
          const double begin = NowMs();
          const int result = SHFileOperationA(&op);
          ms = NowMs() - begin;
          if (result != 0) Fail("SHFileOperationA gave " + std::to_string(result));
        } else {
          RunCommand("cmd.exe /c exit", &ms);
          return ms;
        }
        if (GetFileAttributesA(tree.c_str()) != INVALID_FILE_ATTRIBUTES) {
          Fail(series[m].name + " left the tree " + tree + " (removed by the program instead)");
          RemoveDirectoryTree(tree.c_str(), TRUE, TRUE);
        }
        return ms;
      });
  char title[256];
  snprintf(title, sizeof title,
           "folders: a tree of %d files (%d read-only, %d hidden entries) in %d folders: 100 x 100 and a "
           "50-deep chain (making one took %.0f ms)",
           counts.files, counts.readOnly, counts.hidden, counts.folders, makeMs);
  PrintCase(title, series);
  RemoveDirectoryA(parent.c_str());
}

// ---- key trees --------------------------------------------------------------------------------

bool MakeKey(HKEY parent, const char* name, HKEY* key, int* count) {
  if (RegCreateKeyExA(parent, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const char value[] = "C:\\WINDOWS\\SYSTEM\\TABLET.DLL";
  RegSetValueExA(*key, "Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  ++*count;
  return true;
}

// `path`: 50 keys of 100 keys each, and a chain of 30 keys; one value in every key.
bool MakeKeyTree(const string& path, int* count) {
  *count = 0;
  HKEY top;
  if (!MakeKey(HKEY_CURRENT_USER, path.c_str(), &top, count)) return false;
  bool ok = true;
  for (int i = 0; i < 50 && ok; ++i) {
    char name[32];
    snprintf(name, sizeof name, "Class%02d", i);
    HKEY mid;
    ok = MakeKey(top, name, &mid, count);
    for (int j = 0; j < 100 && ok; ++j) {
      snprintf(name, sizeof name, "%04d", j);
      HKEY leaf;
      ok = MakeKey(mid, name, &leaf, count);
      if (ok) RegCloseKey(leaf);
    }
    if (ok) RegCloseKey(mid);
  }
  HKEY link = top;
  for (int level = 0; level < 30 && ok; ++level) {
    HKEY next;
    ok = MakeKey(link, "Chain", &next, count);
    if (link != top) RegCloseKey(link);
    link = ok ? next : top;
  }
  if (link != top) RegCloseKey(link);
  RegCloseKey(top);
  return ok;
}

void KeysCase() {
  typedef LONG(WINAPI * DeleteTreeProc)(HKEY, LPCSTR);
  // Looked up at run time: Windows before Vista has no RegDeleteTreeA.
  DeleteTreeProc deleteTree = reinterpret_cast<DeleteTreeProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteTreeA")));
  if (deleteTree == nullptr) {
    Fail("this system has no RegDeleteTreeA");
    return;
  }
  vector<Series> series = {{"RemoveRegistryKey (the program)", {}},
                           {"RegDeleteTreeA", {}},
                           {"reg delete /f", {}},
                           {"reg query of a missing key (start-up of reg)", {}, true}};
  int count = 0;
  int serial = 0;
  string path;
  Alternate(
      &series, g_runs,
      [&](size_t m) {
        path = string(kKeyRoot) + "\\k" + std::to_string(++serial);
        if (m != 3 && !MakeKeyTree(path, &count)) Fail("cannot make the key tree " + path);
      },
      [&](size_t m) {
        double ms = 0;
        if (m == 0) {
          const double begin = NowMs();
          const RemovalStatus status = RemoveRegistryKey(HKEY_CURRENT_USER, path.c_str());
          ms = NowMs() - begin;
          if (status != StatusDeleted) Fail("RemoveRegistryKey gave status " + std::to_string(status));
        } else if (m == 1) {
          const double begin = NowMs();
          const LONG result = deleteTree(HKEY_CURRENT_USER, path.c_str());
          ms = NowMs() - begin;
          if (result != ERROR_SUCCESS) Fail("RegDeleteTreeA gave " + std::to_string(result));
        } else if (m == 2) {
          RunCommand("reg.exe delete \"HKCU\\" + path + "\" /f", &ms);
        } else {
          RunCommand("reg.exe query \"HKCU\\" + path + "\"", &ms);
          return ms;
        }
        HKEY left;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &left) == ERROR_SUCCESS) {
          RegCloseKey(left);
          Fail(series[m].name + " left the key " + path + " (removed by the program instead)");
          RemoveRegistryKey(HKEY_CURRENT_USER, path.c_str());
        }
        return ms;
      });
  char title[160];
  snprintf(title, sizeof title, "keys: a tree of %d keys with a value each: 50 x 100 and a 30-deep chain", count);
  PrintCase(title, series);
  RegDeleteKeyA(HKEY_CURRENT_USER, kKeyRoot);
}

// ---- the rename-file editor -------------------------------------------------------------------

const char kRenameLine[] = "NUL=C:\\PROGRA~1\\ZORVIK~1\\TABLET\\TABUSER.EXE\r\n";  // 45 bytes
const DWORD kLineLength = sizeof kRenameLine - 1;
// What every row of a run waits after it is shown: the scale the editor's cost is read on.
const double kRowPauseMs = 100;

// A rename file of exactly `size` bytes: a [boot] line, the [rename] heading, then rename lines
// (and semicolons to make up the size). `insertAt`: where the new line goes, below the heading.
string MakeRenameText(size_t size, size_t* insertAt) {
  string text = "[boot]\r\n[rename]\r\n";
  *insertAt = text.size();
  const string filler = "NUL=C:\\WINDOWS\\SYSTEM\\OLDDRV00.386\r\n";
  while (text.size() + filler.size() <= size) text += filler;
  text.resize(size, ';');
  return text;
}

// On the disk before the edit, as a rename file written long before is: otherwise the edit
// would meet the system still writing these bytes out, and wait for it.
bool WriteWhole(const char* path, const string& bytes) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok =
      WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && FlushFileBuffers(h);
  CloseHandle(h);
  return ok && written == bytes.size();
}

bool ReadWhole(const char* path, string* bytes) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(h, nullptr);
  bytes->assign(size, '\0');
  DWORD read = 0;
  const BOOL ok = size == 0 || ReadFile(h, &(*bytes)[0], size, &read, nullptr);
  CloseHandle(h);
  return ok && read == size;
}

// The same edit through one handle: the whole file read into memory one line's length up, the
// line put below the heading, and everything from there on written back. It is told where the
// line goes, so it searches nothing: a floor for an editor that reads and rewrites.
bool ReadAndRewrite(const char* path, size_t insertAt) {
  HANDLE h =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(h, nullptr);
  char* buffer = static_cast<char*>(VirtualAlloc(nullptr, size + kLineLength, MEM_COMMIT, PAGE_READWRITE));
  DWORD done = 0;
  bool ok = buffer != nullptr && ReadFile(h, buffer + kLineLength, size, &done, nullptr) && done == size;
  if (ok) {
    const DWORD from = static_cast<DWORD>(insertAt);
    const DWORD length = size - from + kLineLength;
    std::copy(kRenameLine, kRenameLine + kLineLength, buffer + from);
    ok = SetFilePointer(h, static_cast<LONG>(from), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         WriteFile(h, buffer + from, length, &done, nullptr) && done == length;
  }
  if (buffer != nullptr) VirtualFree(buffer, 0, MEM_RELEASE);
  CloseHandle(h);
  return ok;
}

// One row per size, with what the editor's median is of one row's 100 ms pause and, at the end,
// how much the editor's median grew from 64 KiB to 1 MiB against the file's 16 times.
void RenameCase() {
  const string file = string(kWorkFolder) + "\\wininit.ini";
  const DWORD sizesKiB[] = {1, 64, 1024};
  const int runs = 4 * g_runs + 1;  // the edits are short: more of them for steady medians
  double medians[3] = {};
  printf(
      "\nrename file: a 45-byte line added below the heading near the start of the file, %d edits of each\n"
      "method after one untimed, the file written and flushed before each and compared afterwards\n",
      runs);
  printf("  %-7s %24s %28s %7s %16s\n", "size", "AddRenameLine min/median", "read and rewrite min/median", "ratio",
         "of a row's pause");
  for (int s = 0; s < 3; ++s) {
    size_t insertAt = 0;
    const string before = MakeRenameText(sizesKiB[s] * 1024, &insertAt);
    const string expected = before.substr(0, insertAt) + kRenameLine + before.substr(insertAt);
    vector<Series> series = {{"AddRenameLine", {}}, {"read and rewrite", {}}};
    Alternate(
        &series, runs,
        [&](size_t) {
          if (!WriteWhole(file.c_str(), before)) Fail("cannot write " + file);
        },
        [&](size_t m) {
          const double begin = NowMs();
          const bool ok = m == 0 ? AddRenameLine(file.c_str(), kRenameLine, kLineLength) != FALSE
                                 : ReadAndRewrite(file.c_str(), insertAt);
          const double ms = NowMs() - begin;
          string after;
          if (!ok || !ReadWhole(file.c_str(), &after) || after != expected) {
            Fail(series[m].name + " wrote other bytes than expected at " + std::to_string(sizesKiB[s]) + " KiB");
          }
          return ms;
        },
        true);
    medians[s] = series[0].Median();
    const string editor = Figure(series[0].Min()) + " / " + Figure(series[0].Median());
    const string peer = Figure(series[1].Min()) + " / " + Figure(series[1].Median());
    printf("  %4u KiB %24s %28s %7.2f %15.2f%%\n", static_cast<unsigned>(sizesKiB[s]), editor.c_str(), peer.c_str(),
           series[0].Median() / series[1].Median(), 100 * medians[s] / kRowPauseMs);
  }
  printf(
      "  under 1 %% of the pause at 1 and 64 KiB: %s; 64 KiB -> 1 MiB: the editor's median x%.1f, the "
      "file x16\n",
      medians[0] < kRowPauseMs / 100 && medians[1] < kRowPauseMs / 100 ? "met" : "NOT met", medians[2] / medians[1]);
  fflush(stdout);
  DeleteFileA(file.c_str());
}

// ---- stack use of the walks ---------------------------------------------------------------------

const unsigned char kPaint = 0xCD;
const size_t kPainted = 512 * 1024;

// Commits and paints the stack below the caller (___chkstk_ms touches every page on the way).
__attribute__((noinline)) void PaintStack() {
  volatile unsigned char area[kPainted];
  for (size_t i = 0; i < kPainted; ++i) area[i] = kPaint;
  (void)area[0];
}

// How far below `top` the stack was used since it was painted.
size_t StackUsedBelow(const unsigned char* top) {
  const unsigned char* low = top - kPainted + 4096;
  while (low < top && *low == kPaint) ++low;
  return static_cast<size_t>(top - low);
}

struct StackProbe {
  int depth;
  bool keys;
  size_t used;
};

// A chain `depth` deep (folders, or keys), removed by the program's walk on a painted stack.
DWORD WINAPI WalkOnce(void* param) {
  StackProbe* p = static_cast<StackProbe*>(param);
  unsigned char here;
  const unsigned char* top = &here;
  if (!p->keys) {
    const string root = string(kWorkFolder) + "\\s";
    string chain = root;
    TreeCounts c;
    MakeFolder(chain, 0, &c);
    for (int i = 0; i < p->depth; ++i) MakeFolder(chain += "\\d", 0, &c);
    MakeTreeFile(chain + "\\f", 1, &c);
    PaintStack();
    if (RemoveDirectoryTree(root.c_str(), TRUE, TRUE) != StatusDeleted) Fail("the deep folder walk failed");
  } else {
    const string root = string(kKeyRoot) + "\\s";
    HKEY k;
    int n = 0;
    MakeKey(HKEY_CURRENT_USER, root.c_str(), &k, &n);
    for (int i = 0; i < p->depth; ++i) {
      HKEY next;
      MakeKey(k, "d", &next, &n);
      RegCloseKey(k);
      k = next;
    }
    RegCloseKey(k);
    PaintStack();
    if (RemoveRegistryKey(HKEY_CURRENT_USER, root.c_str()) != StatusDeleted) Fail("the deep key walk failed");
  }
  p->used = StackUsedBelow(top);
  return 0;
}

void StackCase() {
  printf("\nstack: bytes of stack below the caller that a walk used (painted stack, 1 MiB thread)\n");
  for (bool keys : {false, true}) {
    const char* name = keys ? "RemoveRegistryKey" : "RemoveDirectoryTree";
    const int depths[2] = {10, 100};
    size_t used[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
      StackProbe p = {depths[i], keys, 0};
      HANDLE t = CreateThread(nullptr, 1 << 20, WalkOnce, &p, 0, nullptr);
      WaitForSingleObject(t, INFINITE);
      CloseHandle(t);
      used[i] = p.used;
      printf("  %-28s depth %3d: %7u bytes\n", name, depths[i], static_cast<unsigned>(p.used));
    }
    const double perLevel = static_cast<double>(used[1] - used[0]) / (depths[1] - depths[0]);
    printf("  %-28s per level: %.1f bytes; the rest (the system's calls at the bottom): %.0f bytes\n", name, perLevel,
           used[0] - depths[0] * perLevel);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, kKeyRoot);
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  vector<string> cases;
  for (int i = 1; i < argc; ++i) {
    const string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      g_runs = atoi(argv[++i]);
    } else {
      cases.push_back(arg);
    }
  }
  if (cases.empty()) cases = {"folders", "keys", "rename", "stack"};
  CreateDirectoryA(kWorkFolder, nullptr);
  for (const string& c : cases) {
    if (c == "folders") {
      FoldersCase();
    } else if (c == "keys") {
      KeysCase();
    } else if (c == "rename") {
      RenameCase();
    } else if (c == "stack") {
      StackCase();
    } else {
      fprintf(stderr, "unknown case %s\n", c.c_str());
      return 2;
    }
  }
  return g_failed ? 1 : 0;
}
