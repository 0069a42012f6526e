#include "shell/run_sequence.h"

#include <windows.h>

#include "plans/phases.h"
#include "resources/resource.h"
#include "shell/admin_rights.h"
#include "base/os_kind.h"
#include "report/result_list.h"
#include "base/run_state.h"

namespace {
const int kTextCapacity = 255;
}  // namespace

void RunRemoval() {
  // Run is disabled on a Windows the tool does not know, but a WM_COMMAND can still reach the
  // window from elsewhere: never run a plan on an unclassified system.
  const bool nt = IsNtFamily(RunState.osKind);
  if (!nt && !IsWin9xFamily(RunState.osKind)) return;

  char caption[kTextCapacity];
  char text[kTextCapacity];
  LoadStringA(RunState.hInstance, IDS_TITLE, caption, kTextCapacity);

  // A limited user on the NT family could delete only the user's own part of the package and
  // would leave a machine neither installed nor removed: told so, nothing is touched.
  if (nt && !HoldsAdministratorRights()) {
    LoadStringA(RunState.hInstance, IDS_NEEDS_ADMINISTRATOR, text, kTextCapacity);
    MessageBoxA(RunState.mainWindow, text, caption, MB_OK | MB_ICONEXCLAMATION);
    return;
  }

  RunState.rowIndex = 0;
  // No system boxes about drives without media while the plans probe paths.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // From the first row to the last the window refuses the end of the session: a log-off then
  // would leave the package half removed. The rights box before and the summary after touch
  // nothing.
  RunState.removing = TRUE;

  LoadStringA(RunState.hInstance, IDS_HDR_FILES, text, kTextCapacity);
  AddResultRow(text, StatusNone);
  // A file phase that stops has shown its own box (or, once, stops silently): no summary.
  if ((nt ? RemoveFilesNt() : RemoveFilesWin9x()) == 0) {
    RunState.removing = FALSE;
    SetErrorMode(previousMode);
    return;
  }

  LoadStringA(RunState.hInstance, IDS_HDR_REGISTRY, text, kTextCapacity);
  AddResultRow(text, StatusNone);
  if (nt) {
    RemoveRegistryNt();
  } else {
    RemoveRegistryWin9x();
  }
  RunState.removing = FALSE;
  SetErrorMode(previousMode);

  // The flags summarise every run since the program started; an error outranks a restart.
  UINT textId = IDS_DONE;
  UINT style = MB_OK | MB_ICONINFORMATION;
  if (RunState.errorSeen) {
    textId = IDS_PARTIAL_FAILURE;
    style = MB_OK | MB_ICONEXCLAMATION;
  } else if (RunState.restartPending) {
    textId = IDS_DONE_RESTART;
  }
  LoadStringA(RunState.hInstance, textId, text, kTextCapacity);
  MessageBoxA(RunState.mainWindow, text, caption, style);
}
