// The oracle's own copy of what a run removes, written down from the tool's documented tables
// and not taken from the program's: a slip in the program's tables shows up as a
// difference here. Names are UTF-8 here and code page 932 where they are handed out.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace safety {

struct TableKey {
  HKEY root;
  std::string subkey;  // code page 932
};

struct FamilyTables {
  bool nt;
  std::vector<std::string> systemFiles;   // relative to the system folder
  std::vector<std::string> windowsFiles;  // relative to the Windows folder
  std::vector<std::string> installFiles;  // relative to the install folder
  std::vector<std::string> menuFolders;   // relative to each Programs folder, in processing order
  std::vector<std::string> startupShortcuts;
  std::vector<TableKey> keys;
  std::vector<TableKey> valueKeys;      // the key of each value
  std::vector<std::string> valueNames;  // the value of each
};

// The tables of the family of `osKind` (1, 5, 7: NT; 2, 3, 4, 6: 9x), all in code page 932.
const FamilyTables& TablesFor(int osKind);

// Install location discovery (code page 932).
extern const char* const kUninstallKeys[2];
extern const char kUninstallValue[];
extern const char* const kUninstallMarkers[2];
extern const char kDocLocationKey[];
extern const char kDocLocationValue[];

// Folders the install folder may never be (nor lie above), as the tool's rules name them: the
// shell folders by CSIDL, and for a shell that lacks Program Files or Common Files the values
// of HKLM\kCurrentVersionKey that name them.
extern const int kGuardedCsidls[12];
extern const char kCurrentVersionKey[];
extern const char* const kFolderValueNames[2];  // "ProgramFilesDir", "CommonFilesDir"

// The INF file of the later 9x versions, relative to the INF folder, and the Windows 95 pen class.
extern const char kWin9xInfFile[];
extern const char kPenClassKey[];
extern const char kDriverDescMatch[];

// Row texts and status words (code page 932).
std::string RootPrefix(HKEY root);
std::string FilesSectionText();
std::string RegistrySectionText();
std::string InstallFolderText();
enum class Status { None, Error, Deleted, NoFile, AtRestart, NoKey, NoValue, NoFolder, DetectError, Unknown };
Status StatusFromText(const std::string& sjis);
const char* StatusName(Status s);
// The summary texts and the folder-not-found box (code page 932).
std::string SummaryDoneText();
std::string SummaryRestartText();
std::string SummaryPartialText();
std::string FolderNotFoundText(const std::string& label);
std::string NeedsAdministratorText();
extern const char kTitle[];

}  // namespace safety
