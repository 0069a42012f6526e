// The four phases of a run: the file phase and the registry phase of each Windows family.
// Each returns non-zero to go on and 0 to stop the run.
#pragma once

int RemoveFilesNt();
int RemoveFilesWin9x();
int RemoveRegistryNt();
int RemoveRegistryWin9x();
