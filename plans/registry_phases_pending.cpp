// Until the registry plans are written, each registry phase adds no rows.
#include "plans/phases.h"

int RemoveRegistryNt() { return 1; }
int RemoveRegistryWin9x() { return 1; }
