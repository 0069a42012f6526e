// The version numbers the simulated machine reports for each Windows the tool knows, shared by
// the host tests, the safety suite and the fuzz targets.
#pragma once

#include "base/os_kind.h"
#include "winsim.h"

// Makes the stand-in report the Windows of `osKind`; false (nothing changed) for OsUnknown or
// any other value.
inline bool SimulateWindows(int osKind) {
  switch (osKind) {
    case OsWinNT4: winsim::SetVersion(4, 0, 1381, VER_PLATFORM_WIN32_NT); return true;
    case OsWin2000: winsim::SetVersion(5, 0, 2195, VER_PLATFORM_WIN32_NT); return true;
    case OsWinXP: winsim::SetVersion(5, 1, 2600, VER_PLATFORM_WIN32_NT); return true;
    // The 9x family repeats the version in the high word of the build number.
    case OsWin95: winsim::SetVersion(4, 0, 0x040003B6, VER_PLATFORM_WIN32_WINDOWS); return true;
    case OsWin95Osr2: winsim::SetVersion(4, 0, 0x04000457, VER_PLATFORM_WIN32_WINDOWS); return true;
    case OsWin98: winsim::SetVersion(4, 10, 0x040A08AE, VER_PLATFORM_WIN32_WINDOWS); return true;
    case OsWinMe: winsim::SetVersion(4, 90, 0x045A0BB8, VER_PLATFORM_WIN32_WINDOWS); return true;
    default: return false;
  }
}
