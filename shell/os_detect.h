// Windows version detection, done once on the first activation of the main window.
#pragma once

#include <windows.h>

#include "base/os_kind.h"

// Classifies a version record; anything outside the known list is OsUnknown.
int ClassifyVersion(const OSVERSIONINFOA& version);

// Classifies the running Windows, shows it in the version label, keeps it in RunState.osKind,
// and disables Run for a version the tool does not know.
void DetectOsKind(HWND mainWindow);
