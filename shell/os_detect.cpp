// Windows version detection, done once on the first activation of the main window.
#include <windows.h>

#include "resources/resource.h"
#include "shell/os_detect.h"
#include "base/run_state.h"

namespace {

// Label texts by OsKind value.
const char* const OsLabels[] = {
    "不明",             // OsUnknown
    "WindowsNT4.0",     // OsWinNT4
    "Windows98",        // OsWin98
    "Windows95",        // OsWin95
    "Windows95(OSR2)",  // OsWin95Osr2
    "Windows2000",      // OsWin2000
    "WindowsME",        // OsWinMe
    "WindowsXP",        // OsWinXP
};
// The table is indexed by OsKind: one label per kind, from OsUnknown to OsWinXP.
static_assert(sizeof OsLabels / sizeof OsLabels[0] == OsWinXP + 1, "one label per Windows version");
static_assert(OsUnknown == 0 && OsWinNT4 == 1 && OsWin98 == 2 && OsWin95 == 3 && OsWin95Osr2 == 4 && OsWin2000 == 5 &&
                  OsWinMe == 6 && OsWinXP == 7,
              "the labels are listed in this order of the kinds");

}  // namespace

int ClassifyVersion(const OSVERSIONINFOA& v) {
  const DWORD major = v.dwMajorVersion, minor = v.dwMinorVersion, platform = v.dwPlatformId;
  // The 9x family keeps the version in the high word of the build number; only the low word
  // is the build.
  const DWORD build = v.dwBuildNumber & 0xFFFF;
  if (major == 5 && minor == 1 && platform == VER_PLATFORM_WIN32_NT) return OsWinXP;
  if (major == 5 && minor == 0 && platform == VER_PLATFORM_WIN32_NT) return OsWin2000;
  if (major == 4 && minor == 0 && platform == VER_PLATFORM_WIN32_NT) return OsWinNT4;
  if (major == 4 && minor == 10 && platform == VER_PLATFORM_WIN32_WINDOWS) return OsWin98;
  if (major == 4 && minor == 90 && platform == VER_PLATFORM_WIN32_WINDOWS) return OsWinMe;
  if (major == 4 && minor == 0 && platform == VER_PLATFORM_WIN32_WINDOWS) {
    if (build == 950) return OsWin95;
    if (build > 1110) return OsWin95Osr2;
  }
  return OsUnknown;
}

void DetectOsKind(HWND mainWindow) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;  // 148
  // A failed query leaves the record zeroed, which classifies as unknown.
  GetVersionExA(&version);
  const int kind = ClassifyVersion(version);
  SetDlgItemTextA(mainWindow, IDC_OS_LABEL, OsLabels[kind]);
  RunState.osKind = kind;
  if (kind == OsUnknown) EnableWindow(GetDlgItem(mainWindow, IDC_RUN), FALSE);
}
