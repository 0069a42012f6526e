// The base folders, the shell folders, path composition under the length guard, the checks on
// folder and file names read from the registry, and the plans' two error boxes.
#include "plans/locations.h"

#include <windows.h>
#include <shlobj.h>

#include "resources/resource.h"
#include "base/ansi_text.h"
#include "base/run_state.h"
#include "base/system_library.h"

namespace {

// Capacity handed to GetWindowsDirectoryA and GetSystemDirectoryA: two bytes short of the
// buffers, which must also take the final backslash.
const UINT kFolderQueryCapacity = 258;
// A system folder of up to 257 characters fits with its backslash. The Windows folder must also
// leave room for "\inf\" in infFolder: 254 + 5 characters and the terminator make 260.
const UINT kLongestSystemFolder = kFolderQueryCapacity - 1;
const UINT kLongestWindowsFolder = MAX_PATH - 6;
const int kLongestFolder = MAX_PATH - 1;

const int kBoxTextSize = 1024;
const char kErrorCaption[] = "Error";

// The one buffer every call of GetShellFolderPath writes and returns.
char ShellFolderBuffer[MAX_PATH];

// The shell's folder functions, from shell32 loaded by its full path (the program imports
// nothing of the shell).
typedef HRESULT(WINAPI* SHGetMallocProc)(LPMALLOC* allocator);
typedef HRESULT(WINAPI* SHGetSpecialFolderLocationProc)(HWND owner, int csidl, LPITEMIDLIST* list);
typedef BOOL(WINAPI* SHGetPathFromIDListProc)(LPCITEMIDLIST list, LPSTR path);

struct ShellCalls {
  SHGetMallocProc getMalloc;
  SHGetSpecialFolderLocationProc getSpecialFolderLocation;
  SHGetPathFromIDListProc getPathFromIDList;
};

BOOL LookUpShellCalls(HMODULE shell, ShellCalls* calls) {
  return LookUpProcedure(shell, "SHGetMalloc", &calls->getMalloc) &&
         LookUpProcedure(shell, "SHGetSpecialFolderLocation", &calls->getSpecialFolderLocation) &&
         LookUpProcedure(shell, "SHGetPathFromIDListA", &calls->getPathFromIDList);
}

const char* ShellFolderPathThrough(const ShellCalls& calls, int csidl) {
  // Without the allocator the item list could not be given back: do not ask for one.
  LPMALLOC allocator = NULL;
  if (FAILED(calls.getMalloc(&allocator)) || allocator == NULL) return NULL;

  const char* result = NULL;
  LPITEMIDLIST list = NULL;
  if (SUCCEEDED(calls.getSpecialFolderLocation(NULL, csidl, &list)) && list != NULL) {
    // An empty path would make every entry relative to the current drive's root.
    if (calls.getPathFromIDList(list, ShellFolderBuffer) && ShellFolderBuffer[0] != '\0') {
      result = ShellFolderBuffer;
    }
    allocator->Free(list);
  }
  allocator->Release();
  return result;
}

// Characters no file or folder name may contain; ':' also keeps drive and stream syntax out.
int IsForbiddenInName(BYTE b) {
  return b < 0x20 || b == '<' || b == '>' || b == ':' || b == '"' || b == '|' || b == '?' || b == '*';
}

// Counts the components of `text`, separated by "\" or "/", or gives -1 when one is unsound:
// empty, only dots and spaces (Windows trims trailing dots and spaces, so "..." or ". " would
// name the parent or the folder itself), a forbidden character, or a double-byte character cut
// short. With `allowFinalSeparator`, one separator may end the text after a component. With
// `strictEnds`, a component that merely ends in a dot or a space is unsound too: Windows drops
// those, so "Program Files " would name "Program Files".
int CountSoundComponents(const AnsiCodePage* codePage, const char* text, int allowFinalSeparator, int strictEnds) {
  const BYTE* p = reinterpret_cast<const BYTE*>(text);
  int count = 0;
  for (;;) {
    int length = 0;
    int onlyDotsAndSpaces = 1;
    int endsInDotOrSpace = 0;
    while (*p != 0 && !IsSeparator(*p)) {
      if (IsLeadByteIn(codePage, *p)) {
        if (p[1] == 0) return -1;
        p += 2;
        length += 2;
        onlyDotsAndSpaces = 0;
        endsInDotOrSpace = 0;
        continue;
      }
      if (IsForbiddenInName(*p)) return -1;
      endsInDotOrSpace = *p == '.' || *p == ' ';
      if (!endsInDotOrSpace) onlyDotsAndSpaces = 0;
      ++p;
      ++length;
    }
    if (length == 0 || onlyDotsAndSpaces || (strictEnds && endsInDotOrSpace)) return -1;
    ++count;
    if (*p == 0) return count;
    ++p;
    if (*p == 0) return allowFinalSeparator ? count : -1;
  }
}

}  // namespace

int ResolveBaseFolders(const char* systemLabel, BaseFolders* folders) {
  // A result at or above the capacity is the size the folder would need, not a path: the
  // buffer holds nothing usable then, so such a folder counts as not reported.
  UINT length = GetWindowsDirectoryA(folders->windowsFolder, kFolderQueryCapacity);
  if (length == 0 || length > kLongestWindowsFolder) {
    ShowFolderNotFoundBox("Windows");
    return 0;
  }
  lstrcatA(folders->windowsFolder, "\\");
  lstrcpyA(folders->infFolder, folders->windowsFolder);
  lstrcatA(folders->infFolder, "inf\\");

  length = GetSystemDirectoryA(folders->systemFolder, kFolderQueryCapacity);
  if (length == 0 || length > kLongestSystemFolder) {
    ShowFolderNotFoundBox(systemLabel);
    return 0;
  }
  lstrcatA(folders->systemFolder, "\\");
  return 1;
}

const char* GetShellFolderPath(int csidl) {
  // The program keeps shell32 loaded from its start, so this load only counts a reference.
  HMODULE shell = LoadSystemLibrary("shell32.dll");
  if (shell == NULL) return NULL;
  ShellCalls calls;
  const char* result = LookUpShellCalls(shell, &calls) ? ShellFolderPathThrough(calls, csidl) : NULL;
  FreeLibrary(shell);
  return result;
}

int ComposePath(char* pathBuffer, const char* base, const char* entry, SeparatorMode mode) {
  // The sum is checked before anything is written, so a refused pair leaves the buffer alone.
  const int baseLength = lstrlenA(base);
  const int entryLength = lstrlenA(entry);
  const int checkedSum = baseLength + (mode == SeparatorCounted ? 1 : 0) + entryLength;
  if (checkedSum > MAX_COMPOSED_PATH) return 0;

  lstrcpyA(pathBuffer, base);
  if (mode != SeparatorInBase) lstrcatA(pathBuffer, "\\");
  lstrcatA(pathBuffer, entry);
  return 1;
}

void ShowFolderNotFoundBox(const char* label) {
  char format[kBoxTextSize];
  char text[kBoxTextSize];
  LoadStringA(RunState.hInstance, IDS_DIR_NOT_FOUND, format, kBoxTextSize);
  wsprintfA(text, format, label);
  MessageBoxA(RunState.mainWindow, text, kErrorCaption, MB_OK | MB_ICONERROR);
}

void ShowBufferErrorBox() {
  char text[kBoxTextSize];
  LoadStringA(RunState.hInstance, IDS_BUFFER_ERROR, text, kBoxTextSize);
  MessageBoxA(RunState.mainWindow, text, kErrorCaption, MB_OK | MB_ICONERROR);
}

int IsUsableFolder(const char* folder) {
  // Names are judged character by character: without the code page's lead bytes a second byte
  // 0x5C could not be told from a separator.
  AnsiCodePage codePage;
  if (!LoadAnsiCodePage(&codePage)) return 0;
  const int length = lstrlenA(folder);
  if (length == 0 || length > kLongestFolder) return 0;

  // Only a folder on a drive: a share's folder may be anyone's, on a server that may not even
  // answer, and "\\.\" or "\\?\" name devices and raw paths.
  const BYTE* p = reinterpret_cast<const BYTE*>(folder);
  const int driveLetter = (p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z');
  if (!driveLetter || p[1] != ':' || !IsSeparator(p[2])) return 0;
  // At least one folder below the root of the drive.
  return CountSoundComponents(&codePage, folder + 3, 1, 1) >= 1;
}

int IsContainedRelativeName(const char* name) {
  AnsiCodePage codePage;
  if (!LoadAnsiCodePage(&codePage)) return 0;
  // A leading separator or an empty name fails as an empty component; a drive as ':'.
  return CountSoundComponents(&codePage, name, 0, 0) >= 1;
}
