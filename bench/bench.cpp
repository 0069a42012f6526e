// The benchmark of the program's own primitives under Wine, each against its peers, in one
// prefix (bench/run.sh builds it, runs it and the whole-run driver, and prints the tables).
//
//   tablet_bench.exe [--runs N] [--sizes KiB,KiB,...] CASE...
//
// CASE: memory (the shipped memory functions against a byte-wise reference, then timed),
// folders, keys, rename, views (first writes to a mapped view, by its place), rows (one result
// row split into its steps), stack (stack use per level of the folder and key walks, measured).
// Every case runs the program's primitive and its peers N times in alternating order (ABC, CBA,
// ...) on freshly made inputs, checks each result, and prints min and median in milliseconds
// and the ratio of the program's median to each peer's.
// The program's sources are compiled exactly as in the shipped exe (see CMakeLists.txt).
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "primitives/directory_tree.h"
#include "primitives/file_removal.h"
#include "primitives/registry_removal.h"
#include "primitives/rename_file.h"
#include "resources/resource.h"
#include "shell/main_window.h"
#include "shell/result_list.h"
#include "base/run_state.h"

// The shipped exe's memory functions (shell/entry_win32.cpp), compiled under these names.
extern "C" void* ShippedMemset(void* dst, int value, size_t count);
extern "C" void* ShippedMemcpy(void* dst, const void* src, size_t count);
extern "C" void* ShippedMemmove(void* dst, const void* src, size_t count);

namespace {

using std::string;
using std::vector;

const char kWorkFolder[] = "C:\\bench";
const char kKeyRoot[] = "Software\\TabletBench";

int g_runs = 5;
vector<DWORD> g_sizesKiB = {1, 64, 1024, 16384, 65536};
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
  double Min() const { return ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()); }
  double Median() const {
    if (ms.empty()) return 0;
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
  if (ms >= 100) {
    snprintf(buf, sizeof buf, "%.0f", ms);
  } else if (ms >= 10) {
    snprintf(buf, sizeof buf, "%.1f", ms);
  } else {
    snprintf(buf, sizeof buf, "%.3f", ms);
  }
  return buf;
}

// The program's series first, then its peers, with the ratio of the medians program : peer.
void PrintCase(const string& title, const vector<Series>& series) {
  printf("\n%s\n", title.c_str());
  printf("  %-44s %5s %10s %10s %8s\n", "", "runs", "min ms", "median ms", "ratio");
  const double ours = series[0].Median();
  for (size_t i = 0; i < series.size(); ++i) {
    const Series& s = series[i];
    string ratio = "";
    if (i > 0 && s.Median() > 0) {
      char buf[32];
      snprintf(buf, sizeof buf, "%.2f", ours / s.Median());
      ratio = buf;
    }
    printf("  %-44s %5u %10s %10s %8s\n", s.name.c_str(), static_cast<unsigned>(s.ms.size()), Figure(s.Min()).c_str(),
           Figure(s.Median()).c_str(), ratio.c_str());
  }
  fflush(stdout);
}

// Runs `count` methods `g_runs` times, in the order 0..n-1 on even runs and n-1..0 on odd ones,
// so that a trend in the machine's load (other builds on the shared cores) favours no method.
// `make` prepares the input for a method (untimed), `timed` gives the milliseconds it took.
// `warmUp`: each method once more first, untimed, so that the first timed run does not pay for
// the emulator translating code and the system opening what it opens once.
template <typename Make, typename Timed>
void Alternate(vector<Series>* series, Make make, Timed timed, bool warmUp = false) {
  const size_t n = series->size();
  for (size_t m = 0; warmUp && m < n; ++m) {
    make(m);
    timed(m);
  }
  for (int run = 0; run < g_runs; ++run) {
    for (size_t k = 0; k < n; ++k) {
      const size_t m = run % 2 == 0 ? k : n - 1 - k;
      make(m);
      (*series)[m].ms.push_back(timed(m));
    }
  }
}

// ---- child processes --------------------------------------------------------------------------

// Runs a command line of the prefix (cmd, reg) with its output sent to NUL; its exit code.
DWORD RunCommand(const string& commandLine, double* ms) {
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
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(nul);
    Fail("cannot start " + commandLine);
    return 0xFFFFFFFF;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  *ms = NowMs() - begin;
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  CloseHandle(nul);
  return code;
}

// ---- the memory functions -------------------------------------------------------------------------

// Every alignment of source and destination, lengths 0..67, overlaps either way: the shipped
// functions against a byte-wise reference, with guard bytes around the destination.
void CheckMemoryFunctions() {
  const size_t kArea = 256;
  unsigned char area[kArea], expect[kArea];
  int checked = 0;
  for (size_t length = 0; length < 68; ++length) {
    for (size_t d = 0; d < 12; ++d) {
      for (size_t s = 0; s < 12; ++s) {
        for (int kind = 0; kind < 3; ++kind) {
          // kind 0: memcpy between separate halves; 1: memmove within one area; 2: memset.
          for (size_t i = 0; i < kArea; ++i) area[i] = static_cast<unsigned char>(i * 7 + 3);
          std::memcpy(expect, area, kArea);
          unsigned char* dst = area + 16 + d;
          const unsigned char* src = kind == 0 ? area + 128 + s : area + 16 + s;
          void* result = nullptr;
          if (kind == 0) {
            for (size_t i = 0; i < length; ++i) expect[16 + d + i] = area[128 + s + i];
            result = ShippedMemcpy(dst, src, length);
          } else if (kind == 1) {
            unsigned char copy[kArea];
            for (size_t i = 0; i < length; ++i) copy[i] = area[16 + s + i];
            for (size_t i = 0; i < length; ++i) expect[16 + d + i] = copy[i];
            result = ShippedMemmove(dst, src, length);
          } else {
            for (size_t i = 0; i < length; ++i) expect[16 + d + i] = static_cast<unsigned char>(0xA5 + s);
            result = ShippedMemset(dst, static_cast<int>(0x1A5 + s), length);  // only the low byte counts
          }
          ++checked;
          if (result != dst || std::memcmp(area, expect, kArea) != 0) {
            char buf[128];
            snprintf(buf, sizeof buf, "%s, length %u, destination +%u, source +%u",
                     kind == 0   ? "memcpy"
                     : kind == 1 ? "memmove"
                                 : "memset",
                     static_cast<unsigned>(length), static_cast<unsigned>(d), static_cast<unsigned>(s));
            Fail(string("the shipped memory function differs from the reference: ") + buf);
            return;
          }
        }
      }
    }
  }
  printf("\nmemory functions: %d cases of memcpy, memmove and memset match the byte-wise reference\n", checked);
}

void MemoryCase() {
  CheckMemoryFunctions();
  const size_t size = 16 << 20;
  char* buffer = static_cast<char*>(VirtualAlloc(nullptr, size + 64, MEM_COMMIT, PAGE_READWRITE));
  for (size_t i = 0; i < size + 64; ++i) buffer[i] = static_cast<char>(i);
  vector<Series> series = {
      {"shipped memmove, 16 MiB up by 37 bytes", {}}, {"msvcrt memmove, the same", {}}, {"byte loop, the same", {}}};
  Alternate(
      &series, [](size_t) {},
      [&](size_t m) {
        const double begin = NowMs();
        if (m == 0) {
          ShippedMemmove(buffer + 37, buffer, size);
        } else if (m == 1) {
          memmove(buffer + 37, buffer, size);
        } else {
          volatile char* b = buffer;
          for (size_t i = size; i != 0; --i) b[i - 1 + 37] = b[i - 1];
        }
        return NowMs() - begin;
      });
  PrintCase("memory: moving 16 MiB in memory", series);
  VirtualFree(buffer, 0, MEM_RELEASE);
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

bool MakeTreeFile(const string& path, int n, TreeCounts* c) {
  DWORD attributes = 0;
  if (n % 5 == 0) attributes |= FILE_ATTRIBUTE_READONLY;
  if (n % 7 == 0) attributes |= FILE_ATTRIBUTE_HIDDEN;
  if (n % 35 == 0) attributes |= FILE_ATTRIBUTE_SYSTEM;
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
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

// `root`\wide: 100 folders of 100 files; `root`\deep: a chain of 50 folders with a file in
// each. Every fifth file read-only, every seventh hidden, every tenth folder hidden.
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
  CreateDirectoryA(kWorkFolder, nullptr);
  const string parent = string(kWorkFolder) + "\\trees";
  CreateDirectoryA(parent.c_str(), nullptr);
  TreeCounts counts;
  vector<Series> series = {{"RemoveDirectoryTree (the program)", {}},
                           {"cmd /c rd /s /q", {}},
                           {"SHFileOperationA(FO_DELETE)", {}},
                           {"cmd /c exit (start-up of cmd alone)", {}}};
  int serial = 0;
  string tree;
  double makeMs = 0;
  Alternate(
      &series,
      [&](size_t m) {
        char name[32];
        snprintf(name, sizeof name, "\\t%d", ++serial);
        tree = parent + name;
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
          string from = tree;
          from.push_back('\0');  // a list of names, ended by an empty one
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

bool KeyExists(const string& path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void KeysCase() {
  typedef LONG(WINAPI * DeleteTreeProc)(HKEY, LPCSTR);
  // Looked up at run time: Windows before Vista has no RegDeleteTreeA.
  DeleteTreeProc deleteTree = reinterpret_cast<DeleteTreeProc>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteTreeA")));
  vector<Series> series = {{"RemoveRegistryKey (the program)", {}},
                           {"RegDeleteTreeA", {}},
                           {"reg delete /f", {}},
                           {"reg query of a missing key (start-up of reg)", {}}};
  if (deleteTree == nullptr) series[1].name = "RegDeleteTreeA (missing: not timed)";
  int count = 0;
  int serial = 0;
  string path;
  Alternate(
      &series,
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
          if (deleteTree == nullptr) return 0.0;
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
        if (KeyExists(path)) {
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

enum HeadingPlace { NearStart, NearEnd, Absent };
const char* const kPlaceNames[] = {"heading near the start", "heading near the end", "no heading"};

// A rename file of exactly `size` bytes: rename lines, with "[rename]" after the first line,
// before the last one, or nowhere. `insertAt` is where the line goes (the end when there is
// no heading).
string MakeRenameText(size_t size, HeadingPlace place, size_t* insertAt) {
  const string heading = "[rename]\r\n";
  const string head = "[boot]\r\n";
  string text;
  text.reserve(size + 64);
  text = head;
  if (place == NearStart) text += heading;
  const string filler = "NUL=C:\\WINDOWS\\SYSTEM\\OLDDRV00.386\r\n";
  const size_t tail = place == NearEnd ? heading.size() + filler.size() : 0;
  while (text.size() + filler.size() + tail <= size) text += filler;
  while (text.size() + tail < size) text += ';';
  if (place == NearEnd) text += heading + filler;
  text.resize(size, ';');
  const size_t found = text.find(heading);
  *insertAt = found == string::npos ? size : found + heading.size();
  return text;
}

string Expected(const string& before, HeadingPlace place, size_t insertAt) {
  if (place == Absent) return before + "[rename]\r\n" + kRenameLine;
  return before.substr(0, insertAt) + kRenameLine + before.substr(insertAt);
}

bool WriteWhole(const char* path, const string& bytes) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  // On the disk before the edit, as a rename file written long before is: otherwise the edit
  // would meet the system still writing these bytes out, and wait for it.
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

// The same edit through one handle: the whole file read into memory, then everything from the
// insertion point on written back with the line in front. It is told where the line goes, so it
// searches nothing: a floor for an editor that reads and rewrites.
bool ReadAndRewrite(const char* path, size_t insertAt, bool newHeading) {
  HANDLE h =
      CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(h, nullptr);
  const DWORD lineLength = sizeof kRenameLine - 1;
  char* buffer = static_cast<char*>(VirtualAlloc(nullptr, size + lineLength + 10, MEM_COMMIT, PAGE_READWRITE));
  DWORD done = 0;
  bool ok =
      buffer != nullptr && ReadFile(h, buffer + (newHeading ? 0 : lineLength), size, &done, nullptr) && done == size;
  DWORD from = static_cast<DWORD>(insertAt);
  DWORD length = size - from + lineLength;
  if (ok && newHeading) {
    std::memcpy(buffer + size, "[rename]\r\n", 10);
    std::memcpy(buffer + size + 10, kRenameLine, lineLength);
    from = size;
    length = 10 + lineLength;
    ok = SetFilePointer(h, static_cast<LONG>(from), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         WriteFile(h, buffer + from, length, &done, nullptr) && done == length;
  } else if (ok) {
    // The old bytes sit one line further up in the buffer: the line goes just below them.
    std::memcpy(buffer + from, kRenameLine, lineLength);
    ok = SetFilePointer(h, static_cast<LONG>(from), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         WriteFile(h, buffer + from, length, &done, nullptr) && done == length;
  }
  if (buffer != nullptr) VirtualFree(buffer, 0, MEM_RELEASE);
  CloseHandle(h);
  return ok;
}

// Where the time of the smallest edit goes: a 1 KiB file with its heading near the start, the
// whole edit of each method and, alternately, the same system calls made one by one with the
// time taken between them (the editor's as AddRenameLine makes them, the peer's as
// ReadAndRewrite does). Ratios: each method's whole edit to each step.
void RenameCallsCase(const string& file) {
  size_t insertAt = 0;
  const string before = MakeRenameText(1024, NearStart, &insertAt);
  const DWORD size = static_cast<DWORD>(before.size());
  const DWORD lineLength = sizeof kRenameLine - 1;
  vector<Series> editor = {{"AddRenameLine, the whole edit", {}},
                           {"  CreateFileA", {}},
                           {"  GetFileSize", {}},
                           {"  CreateFileMappingA (grows the file)", {}},
                           {"  MapViewOfFile", {}},
                           {"  the edit in the view", {}},
                           {"  UnmapViewOfFile", {}},
                           {"  CloseHandle of the mapping", {}},
                           {"  SetFilePointer and SetEndOfFile (the cut)", {}},
                           {"  CloseHandle of the file", {}}};
  vector<Series> peer = {{"read and rewrite, the whole edit", {}},
                         {"  CreateFileA", {}},
                         {"  GetFileSize", {}},
                         {"  VirtualAlloc of the buffer", {}},
                         {"  ReadFile", {}},
                         {"  SetFilePointer and WriteFile", {}},
                         {"  VirtualFree", {}},
                         {"  CloseHandle of the file", {}}};
  const int edits = 4 * g_runs + 1;
  for (int edit = 0; edit < 4 * edits; ++edit) {
    if (!WriteWhole(file.c_str(), before)) Fail("cannot write " + file);
    const bool record = edit >= 4;  // the first of each kind untimed
    double t[10];
    t[0] = NowMs();
    switch (edit % 4) {
      case 0:
        AddRenameLine(file.c_str(), kRenameLine, lineLength);
        if (record) editor[0].ms.push_back(NowMs() - t[0]);
        break;
      case 1:
        ReadAndRewrite(file.c_str(), insertAt, false);
        if (record) peer[0].ms.push_back(NowMs() - t[0]);
        break;
      case 2: {
        HANDLE h = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        t[1] = NowMs();
        DWORD high = 0;
        GetFileSize(h, &high);
        t[2] = NowMs();
        HANDLE mapping = CreateFileMappingA(h, nullptr, PAGE_READWRITE, 0, size + lineLength + 10, nullptr);
        t[3] = NowMs();
        char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
        t[4] = NowMs();
        ShippedMemmove(view + insertAt + lineLength, view + insertAt, size - insertAt);
        ShippedMemcpy(view + insertAt, kRenameLine, lineLength);
        t[5] = NowMs();
        UnmapViewOfFile(view);
        t[6] = NowMs();
        CloseHandle(mapping);
        t[7] = NowMs();
        SetFilePointer(h, static_cast<LONG>(size + lineLength), nullptr, FILE_BEGIN);
        SetEndOfFile(h);
        t[8] = NowMs();
        CloseHandle(h);
        t[9] = NowMs();
        for (int step = 1; record && step < 10; ++step) editor[step].ms.push_back(t[step] - t[step - 1]);
        break;
      }
      case 3: {
        HANDLE h = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        t[1] = NowMs();
        GetFileSize(h, nullptr);
        t[2] = NowMs();
        char* buffer = static_cast<char*>(VirtualAlloc(nullptr, size + lineLength + 10, MEM_COMMIT, PAGE_READWRITE));
        t[3] = NowMs();
        DWORD done = 0;
        ReadFile(h, buffer + lineLength, size, &done, nullptr);
        t[4] = NowMs();
        std::memcpy(buffer + insertAt, kRenameLine, lineLength);
        SetFilePointer(h, static_cast<LONG>(insertAt), nullptr, FILE_BEGIN);
        WriteFile(h, buffer + insertAt, size - static_cast<DWORD>(insertAt) + lineLength, &done, nullptr);
        t[5] = NowMs();
        VirtualFree(buffer, 0, MEM_RELEASE);
        t[6] = NowMs();
        CloseHandle(h);
        t[7] = NowMs();
        for (int step = 1; record && step < 8; ++step) peer[step].ms.push_back(t[step] - t[step - 1]);
        break;
      }
    }
    string after;
    if (!ReadWhole(file.c_str(), &after) || after != Expected(before, NearStart, insertAt)) {
      Fail("the edit's calls one by one wrote other bytes than expected");
    }
  }
  PrintCase(
      "rename file: 1 KiB, heading near the start, the editor's system calls one by one (ratios: the "
      "whole edit to each step)",
      editor);
  PrintCase("rename file: 1 KiB, heading near the start, the peer's system calls one by one", peer);
}

void RenameCase() {
  CreateDirectoryA(kWorkFolder, nullptr);
  const string file = string(kWorkFolder) + "\\wininit.ini";
  const DWORD lineLength = sizeof kRenameLine - 1;
  // First, while nothing large has been written yet, as the smallest size is.
  RenameCallsCase(file);
  for (DWORD kib : g_sizesKiB) {
    const size_t size = static_cast<size_t>(kib) * 1024;
    for (HeadingPlace place : {NearStart, NearEnd, Absent}) {
      size_t insertAt = 0;
      const string before = MakeRenameText(size, place, &insertAt);
      const string expected = Expected(before, place, insertAt);
      char* memory = static_cast<char*>(VirtualAlloc(nullptr, size + lineLength + 16, MEM_COMMIT, PAGE_READWRITE));
      vector<Series> series = {{"AddRenameLine (the program)", {}},
                               {"read and rewrite through one handle", {}},
                               {"one memmove of the file's bytes (shipped)", {}}};
      bool checked[2] = {false, false};
      Alternate(
          &series,
          [&](size_t m) {
            if (m == 2) {
              std::memcpy(memory, before.data(), size);
            } else if (!WriteWhole(file.c_str(), before)) {
              Fail("cannot write " + file);
            }
          },
          [&](size_t m) {
            double ms = 0;
            if (m == 2) {
              const double begin = NowMs();
              ShippedMemmove(memory + lineLength, memory, size);
              return NowMs() - begin;
            }
            const double begin = NowMs();
            const bool ok = m == 0 ? AddRenameLine(file.c_str(), kRenameLine, lineLength) != FALSE
                                   : ReadAndRewrite(file.c_str(), insertAt, place == Absent);
            ms = NowMs() - begin;
            if (!ok) Fail(series[m].name + " failed");
            if (!checked[m]) {
              // The whole file once per method, size and place; its length every time.
              string after;
              if (!ReadWhole(file.c_str(), &after) || after != expected) {
                Fail(series[m].name + " wrote other bytes than expected at " + std::to_string(kib) + " KiB, " +
                     kPlaceNames[place]);
              }
              checked[m] = true;
            } else {
              WIN32_FILE_ATTRIBUTE_DATA data;
              if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data) ||
                  data.nFileSizeLow != expected.size()) {
                Fail(series[m].name + " left a file of another length");
              }
            }
            return ms;
          },
          true);
      char title[128];
      snprintf(title, sizeof title, "rename file: %u KiB, %s (line at byte %u)", static_cast<unsigned>(kib),
               kPlaceNames[place], static_cast<unsigned>(insertAt));
      PrintCase(title, series);
      VirtualFree(memory, 0, MEM_RELEASE);
    }
  }
  DeleteFileA(file.c_str());
}

// ---- first writes to a mapped view ---------------------------------------------------------------

// What the editor's placement of its view and its writes before reads are for: one byte written
// to every page of a fresh writable view of a file just written and flushed, with the view
// where MapViewOfFile puts it, at a 2 MiB boundary (as the editor places views above 128 KiB),
// and at a 2 MiB boundary after one read of its first byte (as a search that reads first would).
void ViewsCase() {
  CreateDirectoryA(kWorkFolder, nullptr);
  const string file = string(kWorkFolder) + "\\view.bin";
  const SIZE_T largePage = 0x200000;
  for (DWORD kib : {128u, 1024u, 65536u}) {
    const DWORD size = kib * 1024;
    const string bytes(size, ';');
    vector<Series> series = {{"at a 2 MiB boundary, written first", {}},
                             {"where MapViewOfFile puts it", {}},
                             {"at a 2 MiB boundary, one read first", {}}};
    Alternate(
        &series, [&](size_t) { WriteWhole(file.c_str(), bytes); },
        [&](size_t m) {
          HANDLE h = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
          HANDLE mapping = CreateFileMappingA(h, nullptr, PAGE_READWRITE, 0, 0, nullptr);
          void* at = nullptr;
          if (m != 1) {
            void* room = VirtualAlloc(nullptr, size + largePage, MEM_RESERVE, PAGE_NOACCESS);
            at = reinterpret_cast<void*>((reinterpret_cast<ULONG_PTR>(room) + largePage - 1) & ~(largePage - 1));
            VirtualFree(room, 0, MEM_RELEASE);
          }
          volatile char* view = static_cast<volatile char*>(MapViewOfFileEx(mapping, FILE_MAP_WRITE, 0, 0, 0, at));
          double ms = 0;
          if (view == nullptr || (at != nullptr && view != at)) {
            Fail("cannot map the view where asked");
          } else {
            const double begin = NowMs();
            char first = ';';
            if (m == 2) first = view[0];
            for (DWORD page = 0; page < size; page += 4096) view[page] = first;
            ms = NowMs() - begin;
          }
          if (view != nullptr) UnmapViewOfFile(const_cast<char*>(view));
          CloseHandle(mapping);
          CloseHandle(h);
          return ms;
        },
        true);
    char title[128];
    snprintf(title, sizeof title, "views: one byte written to each page of a %u KiB view", static_cast<unsigned>(kib));
    PrintCase(title, series);
  }
  DeleteFileA(file.c_str());
}

// ---- one result row, step by step ----------------------------------------------------------------

// The program's own window (its class, dialog template and list) in this process: the row is
// what AddResultRow does, and its steps are timed one by one the same way.
void RowsCase() {
  RunState.hInstance = GetModuleHandleA(nullptr);
  RegisterMainClass(RunState.hInstance);
  InitCommonControls();
  HWND window = CreateDialogParamA(RunState.hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, nullptr, 0);
  if (window == nullptr) {
    Fail("cannot create the program's window (no display?)");
    return;
  }
  RunState.mainWindow = window;
  ShowWindow(window, SW_SHOWNORMAL);
  MSG msg;
  const double settle = NowMs();
  while (NowMs() - settle < 500) {
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  if (RunState.firstActivation) {
    RunState.firstActivation = FALSE;
    SetupResultColumns();
  }
  HWND list = GetDlgItem(window, IDC_RESULT_LIST);
  const char text[] = "C:\\Program Files\\ZORVIK\\Tablet\\TabUser.exe";
  char status[256];
  const int rows = 60;  // about the rows of one run
  vector<Series> series = {{"AddResultRow, the whole row", {}},
                           {"  list: insert the row and set its status", {}},
                           {"  list: scroll, then paint the window", {}},
                           {"  Sleep(100)", {}},
                           {"  PeekMessageA (answering sent messages)", {}}};
  vector<Series> work = {{"DeleteOrDefer of a small file", {}},
                         {"DeleteOrDefer of a missing file", {}},
                         {"RemoveDirectoryTree of a folder of 2 shortcuts", {}},
                         {"RemoveRegistryKey of a key with 2 subkeys", {}},
                         {"RemoveRegistryKey of a missing key", {}}};
  CreateDirectoryA(kWorkFolder, nullptr);
  // Row by row, alternately: AddResultRow itself, and its steps done the same way one after the
  // other with the time taken between them.
  for (int row = 0; row < 2 * rows; ++row) {
    double t[5];
    t[0] = NowMs();
    if (row % 2 == 0) {
      AddResultRow(text, StatusDeleted);
      series[0].ms.push_back(NowMs() - t[0]);
      continue;
    }
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = RunState.rowIndex;
    item.pszText = const_cast<char*>(text);
    item.cchTextMax = 256;
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    LoadStringA(RunState.hInstance, IDS_ST_DELETED, status, sizeof status);
    LVITEMA sub = {};
    sub.iSubItem = 1;
    sub.pszText = status;
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(RunState.rowIndex), reinterpret_cast<LPARAM>(&sub));
    t[1] = NowMs();
    SendMessageA(list, LVM_SCROLL, 0, 30);
    UpdateWindow(window);
    t[2] = NowMs();
    Sleep(100);
    t[3] = NowMs();
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    t[4] = NowMs();
    RunState.rowIndex++;
    for (int step = 1; step < 5; ++step) series[step].ms.push_back(t[step] - t[step - 1]);
  }
  const int savedRuns = g_runs;
  printf("\nrows: the list holds %d rows afterwards\n", static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)));
  PrintCase(
      "rows: one result row of the program's own window, and its steps one by one (ratios: the whole "
      "row to each step)",
      series);

  const string folder = string(kWorkFolder) + "\\Menu";
  const string file = string(kWorkFolder) + "\\item.dll";
  const string key = string(kKeyRoot) + "\\Item";
  g_runs = 20;
  Alternate(
      &work,
      [&](size_t m) {
        TreeCounts c;
        if (m == 0) MakeTreeFile(file, 1, &c);
        if (m == 2) {
          MakeFolder(folder, 0, &c);
          MakeTreeFile(folder + "\\Tablet.lnk", 1, &c);
          MakeTreeFile(folder + "\\Readme.lnk", 2, &c);
        }
        if (m == 3) {
          HKEY k, s;
          int n = 0;
          MakeKey(HKEY_CURRENT_USER, key.c_str(), &k, &n);
          MakeKey(k, "0000", &s, &n);
          RegCloseKey(s);
          MakeKey(k, "0001", &s, &n);
          RegCloseKey(s);
          RegCloseKey(k);
        }
      },
      [&](size_t m) {
        const double begin = NowMs();
        RemovalStatus status = StatusNone;
        RemovalStatus want = StatusDeleted;
        if (m == 0) status = DeleteOrDefer(file.c_str());
        if (m == 1) status = DeleteOrDefer(file.c_str()), want = StatusNoFile;
        if (m == 2) status = RemoveDirectoryTree(folder.c_str(), TRUE, TRUE);
        if (m == 3) status = RemoveRegistryKey(HKEY_CURRENT_USER, key.c_str());
        if (m == 4) status = RemoveRegistryKey(HKEY_CURRENT_USER, key.c_str()), want = StatusNoKey;
        const double ms = NowMs() - begin;
        if (status != want) Fail(work[m].name + " gave status " + std::to_string(status));
        return ms;
      });
  g_runs = savedRuns;
  PrintCase("rows: the removal before a row, by kind of item (ratios: to the first)", work);
  RegDeleteKeyA(HKEY_CURRENT_USER, kKeyRoot);
  DestroyWindow(window);
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

__attribute__((noinline)) void WalkOnce(StackProbe* p) {
  unsigned char here;
  PaintStack();
  const unsigned char* top = &here;
  char name[32];
  if (!p->keys) {
    string chain = string(kWorkFolder) + "\\s";
    const string root = chain;
    TreeCounts c;
    MakeFolder(chain, 0, &c);
    for (int i = 0; i < p->depth; ++i) {
      chain += "\\d";
      MakeFolder(chain, 0, &c);
    }
    MakeTreeFile(chain + "\\f", 1, &c);
    PaintStack();
    if (RemoveDirectoryTree(root.c_str(), TRUE, TRUE) != StatusDeleted) Fail("the deep folder walk failed");
  } else {
    snprintf(name, sizeof name, "%s\\s", kKeyRoot);
    HKEY k;
    int n = 0;
    MakeKey(HKEY_CURRENT_USER, name, &k, &n);
    for (int i = 0; i < p->depth; ++i) {
      HKEY next;
      MakeKey(k, "d", &next, &n);
      RegCloseKey(k);
      k = next;
    }
    RegCloseKey(k);
    PaintStack();
    if (RemoveRegistryKey(HKEY_CURRENT_USER, name) != StatusDeleted) Fail("the deep key walk failed");
  }
  p->used = StackUsedBelow(top);
}

DWORD WINAPI StackThread(void* param) {
  WalkOnce(static_cast<StackProbe*>(param));
  return 0;
}

void StackCase() {
  CreateDirectoryA(kWorkFolder, nullptr);
  printf("\nstack: bytes of stack below the caller that a walk used (painted stack, 1 MiB thread)\n");
  for (bool keys : {false, true}) {
    size_t used[2] = {0, 0};
    const int depths[2] = {10, keys ? 100 : 100};
    for (int i = 0; i < 2; ++i) {
      StackProbe p = {depths[i], keys, 0};
      HANDLE t = CreateThread(nullptr, 1 << 20, StackThread, &p, 0, nullptr);
      WaitForSingleObject(t, INFINITE);
      CloseHandle(t);
      used[i] = p.used;
      printf("  %-28s depth %3d: %7u bytes\n", keys ? "RemoveRegistryKey" : "RemoveDirectoryTree", depths[i],
             static_cast<unsigned>(p.used));
    }
    printf("  %-28s per level: %.1f bytes; the rest (the system's calls at the bottom): %.0f bytes\n",
           keys ? "RemoveRegistryKey" : "RemoveDirectoryTree",
           static_cast<double>(used[1] - used[0]) / (depths[1] - depths[0]),
           used[0] - depths[0] * static_cast<double>(used[1] - used[0]) / (depths[1] - depths[0]));
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
    } else if (arg == "--sizes" && i + 1 < argc) {
      g_sizesKiB.clear();
      for (const char* p = argv[++i]; *p != '\0';) {
        g_sizesKiB.push_back(static_cast<DWORD>(strtoul(p, const_cast<char**>(&p), 10)));
        if (*p == ',') ++p;
      }
    } else {
      cases.push_back(arg);
    }
  }
  if (cases.empty()) cases = {"memory", "folders", "keys", "rename", "views", "rows", "stack"};
  for (const string& c : cases) {
    if (c == "memory") {
      MemoryCase();
    } else if (c == "folders") {
      FoldersCase();
    } else if (c == "keys") {
      KeysCase();
    } else if (c == "rename") {
      RenameCase();
    } else if (c == "views") {
      ViewsCase();
    } else if (c == "rows") {
      RowsCase();
    } else if (c == "stack") {
      StackCase();
    } else {
      fprintf(stderr, "unknown case %s\n", c.c_str());
      return 2;
    }
  }
  return g_failed ? 1 : 0;
}
