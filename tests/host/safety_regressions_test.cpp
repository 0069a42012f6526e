// Faults the safety suite (tests/safety) found, each kept here as a plain test of the behaviour
// that was wrong, so that it cannot come back unnoticed.
#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <shlobj.h>

#include "installation.h"
#include "plans/phases.h"
#include "primitives/directory_tree.h"
#include "base/os_kind.h"
#include "test_support.h"
#include "winsim_fs.h"
#include "winsim_registry.h"
#include "winsim_shell.h"

namespace {

using std::string;

class SafetyRegression : public MachineTest {
 protected:
  // A folder somebody else owns, and a Start-menu folder holding a file and a link to it.
  void MakeTreeWithLinkToPreciousFolder() {
    ASSERT_TRUE(winsim::MakeFile("C:\\Precious\\keep.txt", "mine"));
    ASSERT_TRUE(winsim::MakeFile("C:\\Precious\\sub\\data.bin", "mine too"));
    ASSERT_TRUE(winsim::MakeFile("C:\\Menu\\Tablet\\a.lnk", "shortcut"));
    ASSERT_TRUE(winsim::MakeDirectoryLink("C:\\Menu\\Tablet\\Shared", "C:\\Precious"));
  }
  void ExpectPreciousFolderWhole() {
    EXPECT_EQ("mine", winsim::FileBytes("C:\\Precious\\keep.txt"));
    EXPECT_EQ("mine too", winsim::FileBytes("C:\\Precious\\sub\\data.bin"));
  }
};

// The tree walk told a link from a folder by a second read of the attributes, and took an
// unreadable answer for "not a link": it then walked through the link and deleted the files
// of the folder the link points to. Whichever attribute read fails, and however, the link's
// target must stay whole.
TEST_F(SafetyRegression, AFolderLinkWhoseAttributesCannotBeReadIsNeverWalkedInto) {
  for (DWORD error : {static_cast<DWORD>(ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)}) {
    for (int nth = 1; nth <= 10; ++nth) {
      SCOPED_TRACE("attribute read " + std::to_string(nth) + " fails with " + std::to_string(error));
      winsim::Reset();
      MakeTreeWithLinkToPreciousFolder();
      winsim::FailCall("GetFileAttributesA", nth, error);
      RemoveDirectoryTree("C:\\Menu\\Tablet", TRUE, TRUE);
      ExpectPreciousFolderWhole();
      EXPECT_EQ("", winsim::LeakReport());
    }
  }
}

TEST_F(SafetyRegression, AMenuFolderThatIsALinkWithUnreadableAttributesIsAnErrorAndItsTargetStays) {
  MakeTreeWithLinkToPreciousFolder();
  // The first read is the one that clears protective attributes; the second tells the link.
  winsim::FailCall("GetFileAttributesA", 2, ERROR_ACCESS_DENIED);
  EXPECT_EQ(StatusError, RemoveDirectoryTree("C:\\Menu\\Tablet\\Shared", TRUE, TRUE));
  ExpectPreciousFolderWhole();
  EXPECT_TRUE(winsim::Exists("C:\\Menu\\Tablet\\Shared"));
}

// An install folder the registry names but that cannot be the package's: a folder the system
// names (Windows, system, shell folders, the registry's Program Files and Common Files) or one
// above such a folder, by any spelling Windows reads as that folder; a junction, or a folder
// below one; a share. The run found the files named like the package's install files in it and
// deleted them, and removed the folder itself once that emptied it (a whole Desktop folder). It
// must count as not found (the 9x family then tries the documents location under the same
// rules) and nothing may be composed from it.
struct RefusedFolder {
  const char* what;
  int osKind;
  std::string named;    // the folder the uninstall string names
  std::string foreign;  // the real folder whose files must stay ("" for a share)
  std::string docs;     // the documents location on the 9x family ("" for the package's folder)
};

void PrintTo(const RefusedFolder& c, std::ostream* out) { *out << c.what; }

const char* const kForeignNames[] = {"Read Me.txt", "License.txt", "Remove.exe"};

class RefusedInstallFolder : public PlanTest, public ::testing::WithParamInterface<RefusedFolder> {
 protected:
  // A full installation whose uninstall string names the case's folder, with foreign files
  // named like the install files in the folder it reaches, on a machine with the Windows folder
  // below a folder of its own, a desktop of its own and the registry's program folders.
  void SetUpMachine(const RefusedFolder& c);
  // Runs the family's file plan: 1 when it went through.
  int RunFilePlan(const RefusedFolder& c) {
    OpenMainWindow();
    return IsNtFamily(c.osKind) ? RemoveFilesNt() : RemoveFilesWin9x();
  }
  void ExpectForeignFilesThere(const RefusedFolder& c) {
    if (c.foreign.empty()) return;
    EXPECT_TRUE(PathExists(c.foreign));
    for (const char* name : kForeignNames) {
      EXPECT_EQ(std::string("not the package's ") + name, winsim::FileBytes(c.foreign + "\\" + name)) << name;
    }
  }
};

void RefusedInstallFolder::SetUpMachine(const RefusedFolder& c) {
  UseWindows(c.osKind);
  winsim::SetWindowsDirectory("C:\\OS\\WINDOWS");
  winsim::SetSystemDirectory(IsNtFamily(c.osKind) ? "C:\\OS\\WINDOWS\\SYSTEM32" : "C:\\OS\\WINDOWS\\SYSTEM");
  winsim::SetShellFolderPath(CSIDL_DESKTOPDIRECTORY, "C:\\Users\\Desktop");
  // Where the shell keeps the record of the desktop, as Explorer writes it at every logon.
  SetRegString(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Desktop",
               "C:\\Users\\Desktop");
  MakeFolders("C:\\Users\\Desktop");
  MakeFolders("C:\\Program Files\\Common Files");
  SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
               "C:\\Program Files");
  SetRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
               "C:\\Program Files\\Common Files");
  SeedFullInstallation();
  winsim::SetDriveType('N', DRIVE_REMOTE);
  MakeFolders("C:\\Precious\\Sub");
  ASSERT_TRUE(winsim::MakeDirectoryLink("C:\\Program Files\\Zorvik Link", "C:\\Precious"));
  ASSERT_TRUE(winsim::MakeDirectoryLink("C:\\Program Files\\Zorvik Docs", "C:\\Users\\Desktop"));
  if (!c.foreign.empty()) {
    MakeFolders(c.foreign);
    for (const char* name : kForeignNames) MakeFile(c.foreign + "\\" + name, std::string("not the package's ") + name);
  }
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", "\"" + c.named + "\\Uninst.isu\"");
  if (!c.docs.empty()) SetRegString(HKEY_LOCAL_MACHINE, kDocLocationKey, "OEMDocLocation", c.docs);
}

TEST_P(RefusedInstallFolder, CountsAsNotFoundAndLeavesEveryForeignFileThere) {
  const RefusedFolder& c = GetParam();
  SetUpMachine(c);
  ASSERT_EQ(1, RunFilePlan(c));
  ExpectForeignFilesThere(c);
  const std::vector<std::string> rows = RowsUtf8();
  auto upper = [](std::string text) {
    for (char& ch : text) ch = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 0x20) : ch;
    return text;
  };
  const std::vector<std::string>& installFiles = IsNtFamily(c.osKind) ? kNtInstallFiles : kWin9xInstallFiles;
  for (const std::string& row : rows) {
    const std::string item = upper(row.substr(0, row.find(" | ")));
    EXPECT_NE(upper(c.named), item) << "the refused folder has a row: " << row;
    for (const std::string& name : installFiles) {
      EXPECT_NE(upper(c.named + "\\" + name), item) << "a row composed from the refused folder: " << row;
    }
  }
  // The 9x family falls back to the documents location: the package's own folder, unless
  // that too is refused.
  const std::string detected = Row(winsim::Sjis("「ZORVIK」ﾌｫﾙﾀﾞ"), "検出ｴﾗｰ");
  const bool fallsBack = !IsNtFamily(c.osKind) && c.docs.empty();
  EXPECT_EQ(fallsBack ? 0 : 1, std::count(rows.begin(), rows.end(), detected));
  EXPECT_EQ(fallsBack ? 1 : 0,
            std::count(rows.begin(), rows.end(), Row(std::string(kInstallFolder) + "\\Read Me.txt", "削除")));
  EXPECT_EQ(!fallsBack, PathExists(std::string(kInstallFolder) + "\\Read Me.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    SafetyRegression, RefusedInstallFolder,
    ::testing::Values(
        RefusedFolder{"the Windows folder", OsWinXP, "C:\\OS\\WINDOWS", "C:\\OS\\WINDOWS", ""},
        RefusedFolder{"the system folder in other letter case", OsWin2000, "c:\\os\\windows\\system32",
                      "C:\\OS\\WINDOWS\\SYSTEM32", ""},
        RefusedFolder{"a folder above the Windows folder", OsWinXP, "C:\\OS", "C:\\OS", ""},
        RefusedFolder{"Program Files by its 8.3 alias", OsWinXP, "C:\\PROGRA~1", "C:\\Program Files", ""},
        RefusedFolder{"Common Files by half alias, half name", OsWinXP, "C:\\Program Files\\COMMON~1",
                      "C:\\Program Files\\Common Files", ""},
        // Every name on the way is a DOS name already, so its 8.3 form is the name as written:
        // only the letter case tells it from the Desktop.
        RefusedFolder{"the Desktop in other letter case", OsWinXP, "c:\\users\\DESKTOP", "C:\\Users\\Desktop", ""},
        RefusedFolder{"Common Files with a trailing blank", OsWinNT4, "C:\\Program Files\\Common Files ",
                      "C:\\Program Files\\Common Files", ""},
        RefusedFolder{"the Desktop with a trailing dot", OsWinXP, "C:\\Users\\Desktop.", "C:\\Users\\Desktop", ""},
        RefusedFolder{"a folder above the shell's folders", OsWinXP, "C:\\Documents and Settings",
                      "C:\\Documents and Settings", ""},
        RefusedFolder{"a junction", OsWinXP, "C:\\Program Files\\Zorvik Link", "C:\\Precious", ""},
        RefusedFolder{"a folder below a junction", OsWinXP, "C:\\Program Files\\Zorvik Link\\Sub", "C:\\Precious\\Sub",
                      ""},
        RefusedFolder{"a share", OsWinXP, "\\\\localhost\\C$\\Program Files\\Zorvik Tablet", "", ""},
        RefusedFolder{"a folder on a network drive", OsWinXP, "N:\\Zorvik Tablet", "N:\\Zorvik Tablet", ""},
        RefusedFolder{"a folder on a network drive on 98", OsWin98, "n:\\Zorvik Tablet", "N:\\Zorvik Tablet",
                      "N:\\Zorvik Tablet"},
        RefusedFolder{"the registry's Program Files on 98, then the documents location", OsWin98, "C:\\Program Files",
                      "C:\\Program Files", ""},
        RefusedFolder{"My Documents on 95, and a share as the documents location", OsWin95, "C:\\My Documents",
                      "C:\\My Documents", "\\\\server\\share\\Zorvik"},
        RefusedFolder{"the Start Menu on Me, and the Windows folder by a dot on the way as the documents location",
                      OsWinMe, "C:\\WINDOWS\\Start Menu", "C:\\WINDOWS\\Start Menu", "C:\\OS.\\WINDOWS"}),
    [](const ::testing::TestParamInfo<RefusedFolder>& info) { return "Case" + std::to_string(info.index); });

// The checks that tell such a folder (its attributes on the way, its 8.3 form, the folders the
// shell and the registry name) are platform calls too. When one of them fails, the folder must
// still not be taken for the package's: a check that cannot be made refuses the folder.
struct FailingCheck {
  const char* api;
  int calls;  // the first calls of the plan that may be the check's
  DWORD error;
};

class RefusedInstallFolderUnderFaults : public RefusedInstallFolder {};

TEST_P(RefusedInstallFolderUnderFaults, StaysRefusedWhenACheckFails) {
  const RefusedFolder& c = GetParam();
  const FailingCheck checks[] = {{"GetFileAttributesA", 4, ERROR_ACCESS_DENIED},
                                 {"GetShortPathNameA", 24, ERROR_ACCESS_DENIED},
                                 {"GetDriveTypeA", 2, ERROR_NOT_READY},
                                 {"SHGetSpecialFolderLocation", 12, static_cast<DWORD>(E_FAIL)},
                                 {"SHGetPathFromIDListA", 12, ERROR_INVALID_PARAMETER},
                                 {"RegOpenKeyExA", 4, ERROR_ACCESS_DENIED},
                                 {"RegQueryValueExA", 4, ERROR_MORE_DATA}};
  std::string taken;  // every failing call after which a foreign file was gone
  for (const FailingCheck& check : checks) {
    for (int nth = 1; nth <= check.calls; ++nth) {
      winsim::Reset();
      ResetRunState();
      SetUpMachine(c);
      winsim::FailCall(check.api, nth, check.error);
      RunFilePlan(c);
      bool intact = PathExists(c.foreign);
      for (const char* name : kForeignNames) {
        intact = intact && winsim::FileBytes(c.foreign + "\\" + name) == std::string("not the package's ") + name;
      }
      if (!intact) taken += std::string(" ") + check.api + " #" + std::to_string(nth) + ";";
      EXPECT_EQ("", winsim::LeakReport()) << check.api << " #" << nth;
      DestroyWindow(RunState.mainWindow);
    }
  }
  EXPECT_EQ("", taken) << "foreign files were deleted after these calls failed";
}

INSTANTIATE_TEST_SUITE_P(
    SafetyRegression, RefusedInstallFolderUnderFaults,
    ::testing::Values(RefusedFolder{"Program Files by its 8.3 alias", OsWinXP, "C:\\PROGRA~1", "C:\\Program Files", ""},
                      RefusedFolder{"a folder on a network drive", OsWinXP, "N:\\Zorvik Tablet", "N:\\Zorvik Tablet",
                                    ""},
                      RefusedFolder{"a junction", OsWinXP, "C:\\Program Files\\Zorvik Link", "C:\\Precious", ""},
                      RefusedFolder{"a junction to the Desktop on 98", OsWin98, "C:\\Program Files\\Zorvik Docs",
                                    "C:\\Users\\Desktop", "C:\\Program Files\\Zorvik Docs"},
                      RefusedFolder{"the Desktop", OsWinXP, "C:\\Users\\Desktop", "C:\\Users\\Desktop", ""},
                      RefusedFolder{"the registry's Common Files on 95", OsWin95, "C:\\Program Files\\Common Files",
                                    "C:\\Program Files\\Common Files", "C:\\Program Files\\Common Files"}),
    [](const ::testing::TestParamInfo<RefusedFolder>& info) { return "Case" + std::to_string(info.index); });

}  // namespace
