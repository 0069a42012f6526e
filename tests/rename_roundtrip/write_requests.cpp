// Writes a deletion request for each path on the command line into the Windows folder's rename
// file, the way the tool does on the 9x family, and prints the lines the file then holds. The
// round-trip test restarts Wine afterwards and checks that the requests were carried out.
#include <windows.h>

#include <cstdio>

#include "primitives/restart_delete.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!WriteRenameFileRequest(argv[i], nullptr)) {
      std::printf("refused: %s (error %lu)\n", argv[i], GetLastError());
      return 1;
    }
  }
  return 0;
}
