// The outcome of removing one item: every removal operation returns one, every row shows one.
#pragma once

#include <windows.h>

typedef DWORD RemovalStatus;

enum : RemovalStatus {
  StatusNone = 0,             // section rows: no status text
  StatusError = 1,            // the item was not removed
  StatusDeleted = 2,          // removed
  StatusNoFile = 3,           // the file was not there
  StatusDeleteAtRestart = 4,  // will be removed at the next restart
  StatusNoKey = 5,            // the registry key was not there
  StatusNoValue = 6,          // the registry value was not there
  StatusNoFolder = 7,         // the folder was not there
  StatusDetectError = 8,      // a location could not be determined
};
