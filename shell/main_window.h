// The program's entry and its only window, a modeless dialog of the program's own class.
#pragma once

#include <windows.h>

ATOM RegisterMainClass(HINSTANCE instance);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Derives the show command from the process start-up information and runs WinMain; the
// result is the process exit code.
int StartProgram();
