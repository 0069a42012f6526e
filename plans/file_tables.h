// The fixed lists of the two file plans: what each removes, relative to which folder, in the
// order it is removed.
#pragma once

// An ordered list of names relative to one base folder.
struct FileTable {
  const char* const* entries;
  int count;
};

// Everything the NT file plan works through, in the order of its steps.
struct NtFileTables {
  FileTable systemFiles;       // relative to the system folder
  FileTable windowsFiles;      // relative to the Windows folder
  FileTable menuFolders;       // relative to each Programs folder
  FileTable startupShortcuts;  // relative to each Startup folder
  FileTable installFiles;      // relative to the install folder
};

// Everything the 9x file plan works through.
struct Win9xFileTables {
  FileTable systemFiles;
  FileTable installFiles;
  FileTable windowsFiles;
  FileTable menuFolders;
  FileTable startupShortcuts;
  const char* infFile;          // relative to the INF folder (98, 95 OSR2, Me)
  const char* penClassKey;      // under HKEY_LOCAL_MACHINE (Windows 95)
  const char* driverDescMatch;  // found anywhere in "DriverDesc", letter case significant
};

extern const NtFileTables NtFilePlan;
extern const Win9xFileTables Win9xFilePlan;
