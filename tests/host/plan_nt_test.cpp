// The NT file plan as whole passes over a seeded Windows XP machine: the exact rows in their
// order, what is left on disk, the missing and unusable install folder, each shell folder
// missing in turn, and the stops after an error box.
#include <shlobj.h>

#include "installation.h"
#include "plans/file_plans.h"
#include "plans/phases.h"
#include "base/os_kind.h"
#include "winsim_fs.h"
#include "winsim_shell.h"

namespace {

using winsim::Sjis;

const char kDeleted[] = "削除";
const char kNoFile[] = "ﾌｧｲﾙなし";
const char kNoFolder[] = "ﾌｫﾙﾀﾞなし";
const char kAtRestart[] = "ﾘﾌﾞｰﾄ時削除";
const char kError[] = "ｴﾗｰ";
const char kDetectError[] = "検出ｴﾗｰ";
const std::vector<std::string> kMenuFolders = {"Zorvik Tablet", "タブレット", "Zorvik タブレット"};
const std::vector<std::string> kShortcuts = {"TabUserZ.lnk", "TabUserZ.exe.lnk"};

// What one pass gives for each step, given the status of every item in it.
struct Expected {
  const MachineFolders& f;
  std::vector<std::string> rows;

  void SystemFiles(const std::string& status, const std::string& ztablet) {
    for (const std::string& name : kNtSystemFiles) {
      rows.push_back(Row(f.systemFolder + name, name == "Ztablet" ? ztablet : status));
    }
  }
  void WindowsFiles(const std::string& status) { rows.push_back(Row(f.windowsFolder + "tabinst.dll", status)); }
  void MenuFolders(const std::string& programs, const std::string& status) {
    for (const std::string& name : kMenuFolders) rows.push_back(Row(programs + "\\" + Sjis(name), status));
  }
  void Shortcuts(const std::string& startup, const std::string& status) {
    for (const std::string& name : kShortcuts) rows.push_back(Row(startup + "\\" + name, status));
  }
  void InstallFiles(const std::string& folder, const std::string& status) {
    for (const std::string& name : kNtInstallFiles) rows.push_back(Row(folder + "\\" + name, status));
  }
  void InstallFolderNotFound() { rows.push_back(Row(Sjis("「ZORVIK」ﾌｫﾙﾀﾞ"), kDetectError)); }
};

class NtPlanTest : public PlanTest {
 protected:
  void SetUp() override {
    PlanTest::SetUp();
    UseWindows(OsWinXP);
  }
  // The rows of a full pass over a full installation.
  std::vector<std::string> FullPassRows(const MachineFolders& f) {
    Expected e{f, {}};
    e.SystemFiles(kDeleted, kAtRestart);
    e.WindowsFiles(kDeleted);
    e.MenuFolders(f.commonPrograms, kDeleted);
    e.MenuFolders(f.programs, kDeleted);
    e.Shortcuts(f.commonStartup, kDeleted);
    e.Shortcuts(f.startup, kDeleted);
    e.InstallFiles(kInstallFolder, kDeleted);
    e.rows.push_back(Row(kInstallFolder, kDeleted));
    return e.rows;
  }
};

TEST_F(NtPlanTest, AFullPassRemovesEverythingIn50Rows) {
  const MachineFolders f = SeedFullInstallation();
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNt());

  const std::vector<std::string> expected = FullPassRows(f);
  ASSERT_EQ(NtPassLayout().end, expected.size());
  EXPECT_ROWS(expected, RowsUtf8());
  EXPECT_TRUE(RunState.installDirFound);
  EXPECT_FALSE(RunState.errorSeen);
  // The folder "Ztablet" cannot be deleted as a file: it is left to the restart.
  EXPECT_TRUE(RunState.restartPending);
  ASSERT_EQ(1u, winsim::DelayedMoves().size());
  EXPECT_EQ(f.systemFolder + "Ztablet", winsim::DelayedMoves()[0].existing);

  for (const std::string& name : kNtSystemFiles) {
    if (name != "Ztablet") {
      EXPECT_FALSE(winsim::Exists(f.systemFolder + name)) << name;
    }
  }
  EXPECT_TRUE(winsim::Exists(f.systemFolder + "drivers"));
  EXPECT_FALSE(winsim::Exists(f.windowsFolder + "tabinst.dll"));
  for (const std::string& name : kMenuFolders) {
    EXPECT_FALSE(winsim::Exists(f.commonPrograms + "\\" + Sjis(name))) << name;
    EXPECT_FALSE(winsim::Exists(f.programs + "\\" + Sjis(name))) << name;
  }
  EXPECT_TRUE(winsim::Exists(f.commonPrograms));
  EXPECT_TRUE(winsim::FolderEntries(f.startup).empty());
  EXPECT_FALSE(winsim::Exists(kInstallFolder));
  EXPECT_TRUE(winsim::Exists("C:\\Program Files"));
  // The four Start-menu lookups and the twelve of the install folder's check, each with its
  // allocator given back and its list freed.
  EXPECT_EQ(16, winsim::ShellAllocatorReleaseCalls());
  EXPECT_EQ(16, winsim::ShellAllocatorFreeCalls());
  EXPECT_TRUE(winsim::MessageBoxes().empty());
}

TEST_F(NtPlanTest, WithoutAnInstallFolderThePassEndsWithTheDetectionErrorIn38Rows) {
  const MachineFolders f = SeedFullInstallation();
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNt());

  const PassLayout noFolder = NtPassLayout(false);
  std::vector<std::string> expected = FullPassRows(f);
  expected.resize(noFolder.end);
  expected[noFolder.installFiles] = Row(Sjis("「ZORVIK」ﾌｫﾙﾀﾞ"), kDetectError);
  EXPECT_ROWS(expected, RowsUtf8());
  EXPECT_FALSE(RunState.installDirFound);
  EXPECT_TRUE(RunState.errorSeen);
  // The folder was not known, so nothing in it was touched.
  EXPECT_EQ(12u, winsim::FolderEntries(kInstallFolder).size());
}

// A registration that names no real folder of its own (here the root of C:) must not make the
// plan delete the package's file names at that root.
TEST_F(NtPlanTest, ARegistrationNamingADriveRootCountsAsNoInstallFolder) {
  SeedFullInstallation();
  for (const std::string& name : kNtInstallFiles) MakeFile("C:\\" + name, "the user's own file");
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", "\"C:\\Remove.exe\" /s");
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNt());

  const std::vector<std::string> rows = RowsUtf8();
  ASSERT_EQ(NtPassLayout(false).end, rows.size());
  EXPECT_EQ(Row(Sjis("「ZORVIK」ﾌｫﾙﾀﾞ"), kDetectError), rows.back());
  for (const std::string& name : kNtInstallFiles) EXPECT_TRUE(winsim::Exists("C:\\" + name)) << name;
  EXPECT_TRUE(winsim::Exists("C:\\"));
}

// Started as the install folder's own Remove.exe (held open while it runs): the exe is put off
// until restart, and the folder, left holding nothing else, after it.
TEST_F(NtPlanTest, AnInstallFolderLeftHoldingOnlyTheDeferredExeIsPutOffAfterIt) {
  SeedFullInstallation();
  const std::string remover = std::string(kInstallFolder) + "\\Remove.exe";
  winsim::HoldFileOpen(remover, 0);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNt());

  const std::vector<std::string> rows = RowsUtf8();
  ASSERT_EQ(NtPassLayout().end, rows.size());
  EXPECT_EQ(Row(remover, kAtRestart), rows[NtPassLayout().installFolder - 2]);
  EXPECT_EQ(Row(kInstallFolder, kAtRestart), rows[NtPassLayout().installFolder]);
  const std::vector<winsim::DelayedMove>& moves = winsim::DelayedMoves();
  ASSERT_LE(2u, moves.size());
  EXPECT_EQ(remover, moves[moves.size() - 2].existing);
  EXPECT_EQ(kInstallFolder, moves.back().existing);
  EXPECT_TRUE(RunState.restartPending);
  EXPECT_FALSE(RunState.errorSeen);
}

// Anything else in it keeps the folder: a file the user added, beside the deferred exe or alone.
TEST_F(NtPlanTest, AFileAddedToTheInstallFolderKeepsTheFolder) {
  for (bool exeRunning : {false, true}) {
    SCOPED_TRACE(exeRunning ? "Remove.exe running" : "nothing running");
    winsim::Reset();
    ResetRunState();
    UseWindows(OsWinXP);
    SeedFullInstallation();
    MakeFile(std::string(kInstallFolder) + "\\My notes.txt");
    if (exeRunning) winsim::HoldFileOpen(std::string(kInstallFolder) + "\\Remove.exe", 0);
    OpenMainWindow();
    ASSERT_EQ(1, RemoveFilesNt());

    const std::vector<std::string> rows = RowsUtf8();
    ASSERT_EQ(NtPassLayout().end, rows.size());
    EXPECT_EQ(Row(kInstallFolder, kError), rows[NtPassLayout().installFolder]);
    EXPECT_EQ(exeRunning ? 2u : 1u, winsim::FolderEntries(kInstallFolder).size());
    for (const winsim::DelayedMove& move : winsim::DelayedMoves()) EXPECT_NE(kInstallFolder, move.existing);
    EXPECT_TRUE(RunState.errorSeen);
    DestroyWindow(RunState.mainWindow);
  }
}

TEST_F(NtPlanTest, ARegisteredInstallFolderThatIsGoneGivesNoFileRowsAndAnError) {
  SeedFullInstallation();
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", "\"C:\\Gone\\Zorvik\\Uninst.isu\"");
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNt());

  const std::vector<std::string> rows = RowsUtf8();
  const PassLayout pass = NtPassLayout();
  ASSERT_EQ(pass.end, rows.size());
  for (size_t i = 0; i < kNtInstallFiles.size(); ++i) {
    EXPECT_EQ(Row("C:\\Gone\\Zorvik\\" + kNtInstallFiles[i], kNoFile), rows[pass.installFiles + i]);
  }
  EXPECT_EQ(Row("C:\\Gone\\Zorvik", kError), rows[pass.installFolder]);
  EXPECT_TRUE(RunState.errorSeen);
}

TEST_F(NtPlanTest, OnACleanMachineEveryItemIsReportedAbsent) {
  // Only the registration and an empty install folder: nothing else of the package is there.
  MakeFolders(kInstallFolder);
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString",
               std::string("\"") + kInstallFolder + "\\Remove.exe\"");
  const MachineFolders f = CurrentFolders();
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNt());

  Expected e{f, {}};
  e.SystemFiles(kNoFile, kNoFile);  // a missing "Ztablet" is a missing file, not a folder
  e.WindowsFiles(kNoFile);
  e.MenuFolders(f.commonPrograms, kNoFolder);
  e.MenuFolders(f.programs, kNoFolder);
  e.Shortcuts(f.commonStartup, kNoFile);
  e.Shortcuts(f.startup, kNoFile);
  e.InstallFiles(kInstallFolder, kNoFile);
  e.rows.push_back(Row(kInstallFolder, kDeleted));
  EXPECT_ROWS(e.rows, RowsUtf8());
  EXPECT_FALSE(RunState.errorSeen);
  EXPECT_FALSE(RunState.restartPending);
}

struct MissingFolder {
  int csidl;
  winsim::ShellFolderState state;
};
// A stable name for the test list (the default prints raw bytes).
void PrintTo(const MissingFolder& m, std::ostream* os) {
  *os << "csidl " << m.csidl
      << (m.state == winsim::ShellFolderState::NoPath ? " without a path" : " without a location");
}

class NtPlanShellFolderTest : public NtPlanTest, public ::testing::WithParamInterface<MissingFolder> {};

TEST_P(NtPlanShellFolderTest, AShellFolderThatCannotBeResolvedSkipsItsStepOnly) {
  const MachineFolders f = SeedFullInstallation();
  winsim::SetShellFolderState(GetParam().csidl, GetParam().state);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNt());

  Expected e{f, {}};
  e.SystemFiles(kDeleted, kAtRestart);
  e.WindowsFiles(kDeleted);
  if (GetParam().csidl != CSIDL_COMMON_PROGRAMS) e.MenuFolders(f.commonPrograms, kDeleted);
  if (GetParam().csidl != CSIDL_PROGRAMS) e.MenuFolders(f.programs, kDeleted);
  if (GetParam().csidl != CSIDL_COMMON_STARTUP) e.Shortcuts(f.commonStartup, kDeleted);
  if (GetParam().csidl != CSIDL_STARTUP) e.Shortcuts(f.startup, kDeleted);
  e.InstallFiles(kInstallFolder, kDeleted);
  e.rows.push_back(Row(kInstallFolder, kDeleted));
  EXPECT_ROWS(e.rows, RowsUtf8());
  EXPECT_FALSE(RunState.errorSeen);
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  // What the skipped step would have removed is still there.
  const std::string& skipped = GetParam().csidl == CSIDL_COMMON_PROGRAMS  ? f.commonPrograms
                               : GetParam().csidl == CSIDL_PROGRAMS       ? f.programs
                               : GetParam().csidl == CSIDL_COMMON_STARTUP ? f.commonStartup
                                                                          : f.startup;
  EXPECT_FALSE(winsim::FolderEntries(skipped).empty());
}

INSTANTIATE_TEST_SUITE_P(EachInTurn, NtPlanShellFolderTest,
                         ::testing::Values(MissingFolder{CSIDL_COMMON_PROGRAMS, winsim::ShellFolderState::NoLocation},
                                           MissingFolder{CSIDL_PROGRAMS, winsim::ShellFolderState::NoLocation},
                                           MissingFolder{CSIDL_COMMON_STARTUP, winsim::ShellFolderState::NoLocation},
                                           MissingFolder{CSIDL_STARTUP, winsim::ShellFolderState::NoLocation},
                                           MissingFolder{CSIDL_COMMON_PROGRAMS, winsim::ShellFolderState::NoPath},
                                           MissingFolder{CSIDL_STARTUP, winsim::ShellFolderState::NoPath}));

TEST_F(NtPlanTest, NoShellAllocatorSkipsEveryShellFolderStep) {
  const MachineFolders f = SeedFullInstallation();
  winsim::FailEveryCall("SHGetMalloc", E_OUTOFMEMORY);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNt());

  Expected e{f, {}};
  e.SystemFiles(kDeleted, kAtRestart);
  e.WindowsFiles(kDeleted);
  e.InstallFiles(kInstallFolder, kDeleted);
  e.rows.push_back(Row(kInstallFolder, kDeleted));
  EXPECT_ROWS(e.rows, RowsUtf8());
  EXPECT_EQ(0, winsim::CallCount("SHGetSpecialFolderLocation"));
}

TEST_F(NtPlanTest, AFolderThatIsNotReportedStopsBeforeAnyRow) {
  SeedFullInstallation();
  winsim::FailCall("GetSystemDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
  OpenMainWindow();
  EXPECT_EQ(0, RemoveFilesNt());
  EXPECT_TRUE(RowsUtf8().empty());
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ(Sjis("System32ﾃﾞｨﾚｸﾄﾘが見つかりませんでした"), winsim::MessageBoxes()[0].text);
  EXPECT_EQ(0, winsim::CallCount("RegOpenKeyExA"));  // not even the install folder was looked for
}

// The guard never refuses with the shipped tables (every folder is shorter than MAX_PATH); a
// table with an overlong entry shows what each step does then.
class NtPlanGuardTest : public NtPlanTest {
 protected:
  const std::string longName = std::string(1030, 'n');
  const char* longEntry[1] = {longName.c_str()};
  NtFileTables tables = NtFilePlan;

  void ExpectStopWithBufferBox(size_t rowsBefore) {
    EXPECT_EQ(0, RemoveFilesNtWith(&tables));
    EXPECT_EQ(rowsBefore, RowsUtf8().size());
    ASSERT_EQ(1u, winsim::MessageBoxes().size());
    const winsim::MessageBoxCall& box = winsim::MessageBoxes()[0];
    EXPECT_EQ(Sjis("ﾊﾞｯﾌｧｴﾗｰ"), box.text);
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(0x10u, box.style);
    EXPECT_EQ(RunState.mainWindow, box.owner);
    EXPECT_EQ(static_cast<int>(rowsBefore), box.rowsAtThatTime);
    // No later step ran: the install folder is untouched.
    EXPECT_EQ(12u, winsim::FolderEntries(kInstallFolder).size());
  }
};

TEST_F(NtPlanGuardTest, AWindowsFileTooLongStopsAfterTheSystemFiles) {
  SeedFullInstallation();
  tables.windowsFiles = {longEntry, 1};
  OpenMainWindow();
  ExpectStopWithBufferBox(NtPassLayout().windowsFiles);
}

TEST_F(NtPlanGuardTest, AMenuFolderTooLongStopsInItsStep) {
  const MachineFolders f = SeedFullInstallation();
  const char* entries[] = {"Zorvik Tablet", longName.c_str()};
  tables.menuFolders = {entries, 2};
  OpenMainWindow();
  ExpectStopWithBufferBox(NtPassLayout().commonMenuFolders + 1);
  EXPECT_FALSE(winsim::Exists(f.commonPrograms + "\\Zorvik Tablet"));
  EXPECT_TRUE(winsim::Exists(f.programs + "\\Zorvik Tablet"));
}

TEST_F(NtPlanGuardTest, AnInstallFileTooLongLeavesTheInstallFolder) {
  SeedFullInstallation();
  tables.installFiles = {longEntry, 1};
  OpenMainWindow();
  ExpectStopWithBufferBox(NtPassLayout().installFiles);
}

TEST_F(NtPlanGuardTest, AShortcutTooLongIsReportedNotCutAndDeleted) {
  const MachineFolders f = SeedFullInstallation();
  const std::string name = std::string(1100, 's');
  const char* entries[] = {name.c_str(), "TabUserZ.lnk"};
  tables.startupShortcuts = {entries, 2};
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesNtWith(&tables));
  const std::vector<std::string> rows = RowsUtf8();
  const PassLayout pass = NtPassLayout();
  ASSERT_EQ(pass.end, rows.size());
  const std::string cut = f.commonStartup + "\\" + name.substr(0, 1023 - f.commonStartup.size() - 1);
  EXPECT_EQ(Row(cut, kError), rows[pass.commonShortcuts]);
  EXPECT_EQ(Row(f.commonStartup + "\\TabUserZ.lnk", kDeleted), rows[pass.commonShortcuts + 1]);
  EXPECT_TRUE(winsim::MessageBoxes().empty());
}

}  // namespace
