// The stand-in's <shlwapi.h>. The program never imports this library; it looks the function up
// at run time (LoadLibraryA("shlwapi.dll") and GetProcAddress), which the stand-in answers.
#pragma once
#include <windows.h>

BOOL PathIsDirectoryEmptyA(LPCSTR path);
