// The one process-wide state record of the program, shared by the window, the run and the plans.
#pragma once

#include <windows.h>

struct RunStateRecord {
  HINSTANCE hInstance;   // module whose resources are loaded
  HWND mainWindow;       // the dialog window; owner of every message box while it exists
  BOOL firstActivation;  // one-time set-up on the first activation still to do
  int osKind;            // the classified Windows version (OsKind)
  int rowIndex;          // where the next result row is inserted
  BOOL restartPending;   // some deletion was put off until the next restart
  BOOL errorSeen;        // an error or detection-error row was added
  BOOL installDirFound;  // the last file plan found the install folder
  BOOL runActive;        // a run is under way (its summary box included)
  BOOL removing;         // the run is between its first and last row: files and keys are going
  BOOL closeRequested;   // a close arrived during the run: the program ends after it
};

extern RunStateRecord RunState;

// Puts RunState back to its start values (the program starts with them; tests reuse the process).
void ResetRunState();
