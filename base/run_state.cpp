#include "base/run_state.h"

// Constant-initialised: the program has no C runtime to run constructors of globals.
RunStateRecord RunState = {nullptr, nullptr, TRUE, 0, 0, FALSE, FALSE, FALSE, FALSE, FALSE, FALSE};

void ResetRunState() {
  RunState.hInstance = nullptr;
  RunState.mainWindow = nullptr;
  RunState.firstActivation = TRUE;
  RunState.osKind = 0;
  RunState.rowIndex = 0;
  RunState.restartPending = FALSE;
  RunState.errorSeen = FALSE;
  RunState.installDirFound = FALSE;
  RunState.runActive = FALSE;
  RunState.removing = FALSE;
  RunState.closeRequested = FALSE;
}
