// A machine with the driver package installed, for the tests of the file plans and of whole
// runs: the Windows version by OsKind, the folders the program will see, a full installation of
// either family seeded through Win32 calls, and a fixture with the main window open so that a
// plan can be called directly and its rows read back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"

// Makes the stand-in report the Windows version that DetectOsKind classifies as `osKind`.
void UseWindows(int osKind);

// Where the seeded package put its own folder.
extern const char kInstallFolder[];

// The folders of the current machine as the plans see them (ANSI, code page 932).
struct MachineFolders {
  std::string windowsFolder;   // with a final backslash, as the plans compose from it
  std::string infFolder;       // windowsFolder + "inf\"
  std::string systemFolder;    // with a final backslash
  std::string commonPrograms;  // the four shell folders, no final backslash
  std::string programs;
  std::string commonStartup;
  std::string startup;
};
MachineFolders CurrentFolders();

// ---- set-up through Win32 calls ----

// Creates `path` and every missing folder above it.
void MakeFolders(const std::string& path);
// Creates or replaces the file `path` (its folder must exist) with `bytes`.
void MakeFile(const std::string& path, const std::string& bytes = "x");
bool PathExists(const std::string& path);
// Creates `subkey` under `root` if needed and sets the REG_SZ value `name` to `text`.
void SetRegString(HKEY root, const std::string& subkey, const std::string& name, const std::string& text);
// Sets the value `name` with `bytes` exactly as given (no terminator added).
void SetRegBytes(HKEY root, const std::string& subkey, const std::string& name, DWORD type, const std::string& bytes);
bool RegKeyExists(HKEY root, const std::string& subkey);

// The package's two uninstall registrations under HKEY_LOCAL_MACHINE.
extern const char kUninstallKey[];
extern const char kSecondUninstallKey[];
extern const char kDocLocationKey[];  // the package's settings key on the 9x family

// Everything the package leaves on a machine of the current family (set the version first):
// every file of the family's system and Windows lists, the "Ztablet" folder, the Start-menu
// folders (with a shortcut and a subfolder each) under both Programs folders, the shortcuts in
// both Startup folders, the install folder with its twelve files, the uninstall registration
// naming "Uninst.isu" in it, every registry key and value the registry plan removes, and on the
// 9x family the documents location and the INF file: by name on 98, 95 OSR2 and Me, through
// the pen class on 95 (instance "0000" matching with "OEM3.INF", "0001" a standard pen whose
// "PEN.INF" must stay).
MachineFolders SeedFullInstallation(const std::string& installFolder = kInstallFolder);

// The plans' own file names, for the expected rows (UTF-8).
extern const std::vector<std::string> kNtSystemFiles;
extern const std::vector<std::string> kWin9xSystemFiles;
extern const std::vector<std::string> kNtInstallFiles;
extern const std::vector<std::string> kWin9xInstallFiles;

// Where the steps of one pass of a file plan stand among its rows, counted from the plan's own
// tables (plans/file_tables.h), so that a test names a row or a count by its step rather than by
// a number. Each member is the index of the step's first row; the system files come first, at 0.
// A pass that found no install folder has a single detection-error row at `installFiles` and
// no row of the install folder itself.
struct PassLayout {
  size_t installFiles;       // the install folder's files (NT: after the shortcuts)
  size_t windowsFiles;       // the Windows folder's files
  size_t commonMenuFolders;  // the Start-menu folders under the common Programs folder ...
  size_t menuFolders;        // ... and under the user's
  size_t commonShortcuts;    // the shortcuts in the common Startup folder ...
  size_t shortcuts;          // ... and in the user's
  size_t installFolder;      // the install folder's own row (9x: between the menus and shortcuts)
  size_t end;                // the rows of the pass; the 9x plan's INF rows follow
};
PassLayout NtPassLayout(bool installFolderFound = true);
PassLayout Win9xPassLayout(bool installFolderFound = true);

// "item | status" as RowsUtf8 gives it; `item` in code page 932 (as paths are), status UTF-8.
std::string Row(const std::string& itemSjis, const std::string& statusUtf8);

// A machine whose main window is open: the list has its columns and RunState knows the
// instance, the window and (after UseWindows, before OpenMainWindow) the version.
class PlanTest : public MachineTest {
 protected:
  void OpenMainWindow();
  void TearDown() override;
};
