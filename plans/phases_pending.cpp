// Until the removal plans are written, each phase adds no rows and lets the run go on.
#include "plans/phases.h"

int RemoveFilesNt() { return 1; }
int RemoveFilesWin9x() { return 1; }
int RemoveRegistryNt() { return 1; }
int RemoveRegistryWin9x() { return 1; }
