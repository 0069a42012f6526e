// Whether the user may remove the package on the NT family: deleting from the system folder,
// the shared Start menu, Program Files and HKEY_LOCAL_MACHINE, and the delayed-move service
// itself, need the rights of an administrator.
#pragma once

#include <windows.h>

// True when the process token holds the Administrators group (S-1-5-32-544) enabled and not for
// deny only. False when it does not, and when the question cannot be answered (the calls are
// missing from the system, or one of them fails). For the NT family only: the functions are
// looked up at run time, since Windows 95's ADVAPI32 may lack or stub them.
BOOL HoldsAdministratorRights();
