// The Windows versions the tool knows, and their two families.
#pragma once

enum OsKind : int {
  OsUnknown = 0,
  OsWinNT4 = 1,
  OsWin98 = 2,
  OsWin95 = 3,
  OsWin95Osr2 = 4,
  OsWin2000 = 5,
  OsWinMe = 6,
  OsWinXP = 7,
};

inline bool IsNtFamily(int kind) { return kind == OsWinNT4 || kind == OsWin2000 || kind == OsWinXP; }
inline bool IsWin9xFamily(int kind) {
  return kind == OsWin98 || kind == OsWin95 || kind == OsWin95Osr2 || kind == OsWinMe;
}
