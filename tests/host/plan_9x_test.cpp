// The 9x file plan as whole passes over seeded Windows 98 and 95 machines: the exact rows in
// their order, the repeated menu folder, the install folder in the middle of the pass, the INF
// file by name and through the pen class walk, and the stops with and without a box.
#include <shlobj.h>

#include <algorithm>

#include "installation.h"
#include "plans/file_plans.h"
#include "plans/phases.h"
#include "base/os_kind.h"
#include "winsim_fs.h"
#include "winsim_registry.h"
#include "winsim_shell.h"

namespace {

using winsim::Sjis;

const char kDeleted[] = "削除";
const char kNoFile[] = "ﾌｧｲﾙなし";
const char kNoFolder[] = "ﾌｫﾙﾀﾞなし";
const char kError[] = "ｴﾗｰ";
const char kAtRestart[] = "ﾘﾌﾞｰﾄ時削除";
const char kDetectError[] = "検出ｴﾗｰ";
// The folder "Ztablet" goes to the file primitive like a file; its deletion fails, and the 9x
// family's rename file can delete files only, so it is removed at once, emptied by the row
// before it.
const char kZtabletFolder[] = "削除";
const char kPenClass[] = "System\\CurrentControlSet\\Services\\Class\\PEN";
const std::vector<std::string> kMenuFolders = {"Zorvik Tablet", "タブレット", "Zorvik タブレット", "Zorvik Tablet"};
const std::vector<std::string> kShortcuts = {"TabUserZ.lnk", "TabUserZ.exe.lnk"};

struct Expected {
  const MachineFolders& f;
  std::vector<std::string> rows;

  void SystemFiles(const std::string& status, const std::string& ztablet) {
    for (const std::string& name : kWin9xSystemFiles) {
      rows.push_back(Row(f.systemFolder + name, name == "Ztablet" ? ztablet : status));
    }
  }
  void InstallFiles(const std::string& folder, const std::string& status) {
    for (const std::string& name : kWin9xInstallFiles) rows.push_back(Row(folder + "\\" + name, status));
  }
  void WindowsFiles(const std::string& status) {
    rows.push_back(Row(f.windowsFolder + "tabinst.dll", status));
    rows.push_back(Row(f.windowsFolder + "zorvik.dat", status));
  }
  // The fourth folder is the first again: after a removal it is no longer there.
  void MenuFolders(const std::string& programs, const std::string& status, const std::string& fourth) {
    for (size_t i = 0; i < kMenuFolders.size(); ++i) {
      rows.push_back(Row(programs + "\\" + Sjis(kMenuFolders[i]), i == 3 ? fourth : status));
    }
  }
  void Shortcuts(const std::string& startup, const std::string& status) {
    for (const std::string& name : kShortcuts) rows.push_back(Row(startup + "\\" + name, status));
  }
};

class Win9xPlanTest : public PlanTest {
 protected:
  void SetUp() override {
    PlanTest::SetUp();
    UseWindows(OsWin98);
  }
  // The rows of a full pass over a full installation, up to and with the shortcuts.
  std::vector<std::string> FullPassRows(const MachineFolders& f) {
    Expected e{f, {}};
    e.SystemFiles(kDeleted, kZtabletFolder);
    e.InstallFiles(kInstallFolder, kDeleted);
    e.WindowsFiles(kDeleted);
    e.MenuFolders(f.commonPrograms, kDeleted, kNoFolder);
    e.MenuFolders(f.programs, kDeleted, kNoFolder);
    e.rows.push_back(Row(kInstallFolder, kDeleted));
    e.Shortcuts(f.commonStartup, kDeleted);
    e.Shortcuts(f.startup, kDeleted);
    return e.rows;
  }
  void AddPenInstance(const std::string& name, const std::string& driverDesc, const std::string& infPath) {
    SetRegString(HKEY_LOCAL_MACHINE, std::string(kPenClass) + "\\" + name, "DriverDesc", driverDesc);
    SetRegString(HKEY_LOCAL_MACHINE, std::string(kPenClass) + "\\" + name, "InfPath", infPath);
  }
};

TEST_F(Win9xPlanTest, AFullPassOnWindows98Gives53RowsAndTheInfFile) {
  const MachineFolders f = SeedFullInstallation();
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());

  std::vector<std::string> expected = FullPassRows(f);
  ASSERT_EQ(Win9xPassLayout().end, expected.size());
  expected.push_back(Row(f.infFolder + "other\\zorviktablet.inf", kDeleted));
  EXPECT_ROWS(expected, RowsUtf8());
  EXPECT_TRUE(RunState.installDirFound);
  EXPECT_FALSE(RunState.errorSeen);
  EXPECT_FALSE(RunState.restartPending);

  // "tabinst.dll" twice: from the system folder (13th row) and from the Windows folder.
  EXPECT_EQ(Row(f.systemFolder + "tabinst.dll", kDeleted), RowsUtf8()[12]);
  EXPECT_EQ(Row(f.windowsFolder + "tabinst.dll", kDeleted), RowsUtf8()[Win9xPassLayout().windowsFiles]);
  EXPECT_FALSE(winsim::Exists(f.systemFolder + "tabinst.dll"));
  EXPECT_FALSE(winsim::Exists(f.windowsFolder + "tabinst.dll"));
  EXPECT_FALSE(winsim::Exists(kInstallFolder));
  EXPECT_FALSE(winsim::Exists(f.infFolder + "other\\zorviktablet.inf"));
  EXPECT_TRUE(winsim::Exists(f.infFolder + "other"));
  for (const std::string* programs : {&f.commonPrograms, &f.programs}) {
    EXPECT_FALSE(winsim::Exists(*programs + "\\Zorvik Tablet"));
    EXPECT_FALSE(winsim::Exists(*programs + "\\" + Sjis("タブレット")));
  }
  EXPECT_TRUE(winsim::MessageBoxes().empty());
}

// Windows 9x deletes a file even while the driver writes to it: such a file is put off until
// restart (the rename file on these systems), never deleted under its holder.
TEST_F(Win9xPlanTest, AFileTheDriverHoldsOpenIsPutOffNotDeletedUnderIt) {
  for (int kind : {OsWin95, OsWin98, OsWinMe}) {
    SCOPED_TRACE(kind);
    winsim::Reset();
    ResetRunState();
    UseWindows(kind);
    const MachineFolders f = SeedFullInstallation();
    const std::string settings = f.systemFolder + "Tablet.dat";
    const std::string shared = f.windowsFolder + "zorvik.dat";
    winsim::HoldFileOpen(settings, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_READ | GENERIC_WRITE);
    winsim::HoldFileOpen(shared, FILE_SHARE_READ, GENERIC_READ);
    OpenMainWindow();
    ASSERT_EQ(1, RemoveFilesWin9x());

    const std::vector<std::string> rows = RowsUtf8();
    EXPECT_EQ(1, std::count(rows.begin(), rows.end(), Row(settings, kAtRestart)));
    EXPECT_EQ(1, std::count(rows.begin(), rows.end(), Row(shared, kAtRestart)));
    EXPECT_TRUE(winsim::Exists(settings));
    EXPECT_TRUE(winsim::Exists(shared));
    const std::string renameFile = winsim::FileBytes(f.windowsFolder + "wininit.ini");
    EXPECT_EQ("[rename]\r\nNUL=" + shared + "\r\nNUL=" + settings + "\r\n", renameFile);
    EXPECT_EQ("", winsim::LeakReport());
    DestroyWindow(RunState.mainWindow);
  }
}

TEST_F(Win9xPlanTest, TheRepeatedMenuFolderGetsASecondRowWithItsOwnStatus) {
  // Removed the first time, the folder is gone the second time; a folder that cannot go the
  // first time (a file in it is in use) fails again.
  const MachineFolders f = SeedFullInstallation();
  winsim::HoldFileOpen(f.programs + "\\Zorvik Tablet\\TabUserZ.lnk", 0);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());
  const std::vector<std::string> rows = RowsUtf8();
  const PassLayout pass = Win9xPassLayout();
  const std::string folder = f.programs + "\\Zorvik Tablet";
  EXPECT_EQ(Row(folder, kError), rows[pass.menuFolders]);
  EXPECT_EQ(Row(folder, kError), rows[pass.menuFolders + 3]);
  EXPECT_EQ(Row(f.commonPrograms + "\\Zorvik Tablet", kDeleted), rows[pass.commonMenuFolders]);
  EXPECT_EQ(Row(f.commonPrograms + "\\Zorvik Tablet", kNoFolder), rows[pass.commonMenuFolders + 3]);
}

TEST_F(Win9xPlanTest, WithoutAnInstallFolderTheDetectionErrorIsThe27thRowAndThePassGoesOn) {
  const MachineFolders f = SeedFullInstallation();
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDocLocationKey);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());

  Expected e{f, {}};
  e.SystemFiles(kDeleted, kZtabletFolder);
  e.rows.push_back(Row(Sjis("「ZORVIK」ﾌｫﾙﾀﾞ"), kDetectError));
  e.WindowsFiles(kDeleted);
  e.MenuFolders(f.commonPrograms, kDeleted, kNoFolder);
  e.MenuFolders(f.programs, kDeleted, kNoFolder);
  e.Shortcuts(f.commonStartup, kDeleted);
  e.Shortcuts(f.startup, kDeleted);
  ASSERT_EQ(Win9xPassLayout(false).end, e.rows.size());
  e.rows.push_back(Row(f.infFolder + "other\\zorviktablet.inf", kDeleted));
  EXPECT_ROWS(e.rows, RowsUtf8());
  EXPECT_TRUE(RunState.errorSeen);
  EXPECT_FALSE(RunState.installDirFound);
  EXPECT_EQ(12u, winsim::FolderEntries(kInstallFolder).size());
}

TEST_F(Win9xPlanTest, TheDocumentsLocationFindsTheFolderWhenTheRegistrationIsGone) {
  const MachineFolders f = SeedFullInstallation();
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());
  std::vector<std::string> expected = FullPassRows(f);
  expected.push_back(Row(f.infFolder + "other\\zorviktablet.inf", kDeleted));
  EXPECT_ROWS(expected, RowsUtf8());
}

// The running Remove.exe goes into the rename file, which takes no folders: the folder stays
// and says so.
TEST_F(Win9xPlanTest, AnInstallFolderHoldingTheDeferredExeStaysWhereFoldersCannotBePutOff) {
  SeedFullInstallation();
  const std::string remover = std::string(kInstallFolder) + "\\Remove.exe";
  winsim::HoldFileOpen(remover, 0);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());
  const std::vector<std::string> rows = RowsUtf8();
  ASSERT_EQ(Win9xPassLayout().end + 1, rows.size());  // and the INF file's row
  EXPECT_EQ(Row(remover, kAtRestart), rows[Win9xPassLayout().windowsFiles - 2]);
  EXPECT_EQ(Row(kInstallFolder, kError), rows[Win9xPassLayout().installFolder]);
  EXPECT_TRUE(winsim::Exists(remover));
}

TEST_F(Win9xPlanTest, AFileAddedToTheInstallFolderKeepsTheFolder) {
  SeedFullInstallation();
  MakeFolders(std::string(kInstallFolder) + "\\Saved");
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());
  const std::vector<std::string> rows = RowsUtf8();
  ASSERT_EQ(Win9xPassLayout().end + 1, rows.size());  // and the INF file's row
  EXPECT_EQ(Row(kInstallFolder, kError), rows[Win9xPassLayout().installFolder]);
  EXPECT_EQ(std::vector<std::string>{"Saved"}, winsim::FolderEntries(kInstallFolder));
}

TEST_F(Win9xPlanTest, ARegisteredInstallFolderThatIsGoneGivesNoFileRowsAndAnError) {
  const MachineFolders f = SeedFullInstallation();
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", "\"C:\\Gone\\Remove.exe\"");
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());
  const std::vector<std::string> rows = RowsUtf8();
  const PassLayout pass = Win9xPassLayout();
  ASSERT_EQ(pass.end + 1, rows.size());  // and the INF file's row
  for (size_t i = 0; i < kWin9xInstallFiles.size(); ++i) {
    EXPECT_EQ(Row("C:\\Gone\\" + kWin9xInstallFiles[i], kNoFile), rows[pass.installFiles + i]);
  }
  EXPECT_EQ(Row("C:\\Gone", kError), rows[pass.installFolder]);
  EXPECT_TRUE(RunState.errorSeen);
}

TEST_F(Win9xPlanTest, ZtabletIsHandedToTheFilePrimitiveLikeAFile) {
  const MachineFolders f = SeedFullInstallation();
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());
  EXPECT_EQ(Row(f.systemFolder + "Ztablet\\TabUserZ.exe", kDeleted), RowsUtf8()[24]);
  EXPECT_EQ(Row(f.systemFolder + "Ztablet", kDeleted), RowsUtf8()[25]);
  EXPECT_FALSE(winsim::Exists(f.systemFolder + "Ztablet"));
  EXPECT_FALSE(RunState.restartPending);
  EXPECT_FALSE(winsim::Exists("C:\\WINDOWS\\wininit.ini"));

  // Once the folder is gone, both rows say the file is not there.
  RunState.rowIndex = 0;  // the second pass's rows go on top, as in a second run
  ASSERT_EQ(1, RemoveFilesWin9x());
  EXPECT_EQ(Row(f.systemFolder + "Ztablet\\TabUserZ.exe", kNoFile), RowsUtf8()[24]);
  EXPECT_EQ(Row(f.systemFolder + "Ztablet", kNoFile), RowsUtf8()[25]);
}

TEST_F(Win9xPlanTest, AZtabletFolderHoldingMoreThanThePackagesFileStaysAndIsAnError) {
  const MachineFolders f = SeedFullInstallation();
  ASSERT_TRUE(winsim::MakeFile(f.systemFolder + "Ztablet\\settings.ini", "the user's"));
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());
  EXPECT_EQ(Row(f.systemFolder + "Ztablet", kError), RowsUtf8()[25]);
  EXPECT_EQ("the user's", winsim::FileBytes(f.systemFolder + "Ztablet\\settings.ini"));
  EXPECT_TRUE(RunState.errorSeen);
}

struct MissingFolder {
  int csidl;
  size_t skippedRows;
};
// A stable name for the test list (the default prints raw bytes, padding included).
void PrintTo(const MissingFolder& m, std::ostream* os) { *os << "csidl " << m.csidl; }

class Win9xPlanShellFolderTest : public Win9xPlanTest, public ::testing::WithParamInterface<MissingFolder> {};

TEST_P(Win9xPlanShellFolderTest, AShellFolderThatCannotBeResolvedSkipsItsStepOnly) {
  const MachineFolders f = SeedFullInstallation();
  winsim::SetShellFolderState(GetParam().csidl, winsim::ShellFolderState::NoLocation);
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());

  Expected e{f, {}};
  e.SystemFiles(kDeleted, kZtabletFolder);
  e.InstallFiles(kInstallFolder, kDeleted);
  e.WindowsFiles(kDeleted);
  if (GetParam().csidl != CSIDL_COMMON_PROGRAMS) e.MenuFolders(f.commonPrograms, kDeleted, kNoFolder);
  if (GetParam().csidl != CSIDL_PROGRAMS) e.MenuFolders(f.programs, kDeleted, kNoFolder);
  e.rows.push_back(Row(kInstallFolder, kDeleted));
  if (GetParam().csidl != CSIDL_COMMON_STARTUP) e.Shortcuts(f.commonStartup, kDeleted);
  if (GetParam().csidl != CSIDL_STARTUP) e.Shortcuts(f.startup, kDeleted);
  e.rows.push_back(Row(f.infFolder + "other\\zorviktablet.inf", kDeleted));
  EXPECT_EQ(Win9xPassLayout().end + 1 - GetParam().skippedRows, e.rows.size());
  EXPECT_ROWS(e.rows, RowsUtf8());
  EXPECT_TRUE(winsim::MessageBoxes().empty());
}

INSTANTIATE_TEST_SUITE_P(EachInTurn, Win9xPlanShellFolderTest,
                         ::testing::Values(MissingFolder{CSIDL_COMMON_PROGRAMS, 4}, MissingFolder{CSIDL_PROGRAMS, 4},
                                           MissingFolder{CSIDL_COMMON_STARTUP, 2}, MissingFolder{CSIDL_STARTUP, 2}));

TEST_F(Win9xPlanTest, TheInfFileByNameOnEveryLaterVersion) {
  for (int kind : {OsWin98, OsWin95Osr2, OsWinMe}) {
    winsim::Reset();
    ResetRunState();
    UseWindows(kind);
    const MachineFolders f = CurrentFolders();
    OpenMainWindow();
    ASSERT_EQ(kind, RunState.osKind);
    // Nothing installed: the INF row says the file is not there.
    ASSERT_EQ(1, RemoveFilesWin9x());
    const std::vector<std::string> rows = RowsUtf8();
    ASSERT_EQ(Win9xPassLayout(false).end + 1, rows.size()) << kind;
    EXPECT_EQ(Row(f.infFolder + "other\\zorviktablet.inf", kNoFile), rows.back());
    EXPECT_EQ("", winsim::LeakReport());
  }
}

// ---- stops ----

class Win9xPlanGuardTest : public Win9xPlanTest {
 protected:
  const std::string longName = std::string(1030, 'n');
  const char* longEntry[1] = {longName.c_str()};
  Win9xFileTables tables = Win9xFilePlan;

  void ExpectStopWithBufferBox(size_t rowsBefore) {
    EXPECT_EQ(0, RemoveFilesWin9xWith(&tables));
    EXPECT_EQ(rowsBefore, RowsUtf8().size());
    ASSERT_EQ(1u, winsim::MessageBoxes().size());
    EXPECT_EQ(Sjis("ﾊﾞｯﾌｧｴﾗｰ"), winsim::MessageBoxes()[0].text);
    EXPECT_EQ("Error", winsim::MessageBoxes()[0].caption);
    EXPECT_EQ(0x10u, winsim::MessageBoxes()[0].style);
    EXPECT_EQ(RunState.mainWindow, winsim::MessageBoxes()[0].owner);
  }
};

TEST_F(Win9xPlanGuardTest, ASystemFileTooLongStopsAtOnce) {
  SeedFullInstallation();
  const char* entries[] = {"hookdll.dll", longName.c_str(), "tabhook.dll"};
  tables.systemFiles = {entries, 3};
  OpenMainWindow();
  ExpectStopWithBufferBox(1);
  EXPECT_EQ(12u, winsim::FolderEntries(kInstallFolder).size());
}

TEST_F(Win9xPlanGuardTest, AnInstallFileTooLongLeavesEverythingAfterIt) {
  const MachineFolders f = SeedFullInstallation();
  tables.installFiles = {longEntry, 1};
  OpenMainWindow();
  ExpectStopWithBufferBox(Win9xPassLayout().installFiles);
  EXPECT_TRUE(winsim::Exists(f.windowsFolder + "tabinst.dll"));
  EXPECT_TRUE(winsim::Exists(f.infFolder + "other\\zorviktablet.inf"));
}

TEST_F(Win9xPlanGuardTest, AMenuFolderTooLongStopsInItsStep) {
  SeedFullInstallation();
  tables.menuFolders = {longEntry, 1};
  OpenMainWindow();
  ExpectStopWithBufferBox(Win9xPassLayout().commonMenuFolders);
}

TEST_F(Win9xPlanGuardTest, TheInfFileTooLongEndsThePlanWithoutABoxOrARow) {
  const MachineFolders f = SeedFullInstallation();
  tables.infFile = longName.c_str();
  OpenMainWindow();
  EXPECT_EQ(0, RemoveFilesWin9xWith(&tables));
  EXPECT_EQ(Win9xPassLayout().end, RowsUtf8().size());
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  EXPECT_TRUE(winsim::Exists(f.infFolder + "other\\zorviktablet.inf"));
}

TEST_F(Win9xPlanTest, AWindowsFolderThatIsNotReportedStopsBeforeAnyRow) {
  winsim::FailCall("GetWindowsDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
  OpenMainWindow();
  EXPECT_EQ(0, RemoveFilesWin9x());
  EXPECT_TRUE(RowsUtf8().empty());
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ(Sjis("Windowsﾃﾞｨﾚｸﾄﾘが見つかりませんでした"), winsim::MessageBoxes()[0].text);
  winsim::FailCall("GetSystemDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(0, RemoveFilesWin9x());
  ASSERT_EQ(2u, winsim::MessageBoxes().size());
  EXPECT_EQ(Sjis("Systemﾃﾞｨﾚｸﾄﾘが見つかりませんでした"), winsim::MessageBoxes()[1].text);
}

// ---- Windows 95: the pen class walk ----

class Win95PlanTest : public Win9xPlanTest {
 protected:
  void SetUp() override {
    Win9xPlanTest::SetUp();
    UseWindows(OsWin95);
    folders = CurrentFolders();
    MakeFolders(folders.infFolder + "other");
  }
  // Runs the plan on a machine with nothing else installed and gives the rows after those
  // every such pass has.
  std::vector<std::string> InfRows() {
    OpenMainWindow();
    EXPECT_EQ(OsWin95, RunState.osKind);
    EXPECT_EQ(1, RemoveFilesWin9x());
    const std::vector<std::string> rows = RowsUtf8();
    const size_t before = Win9xPassLayout(false).end;
    if (rows.size() < before) {
      ADD_FAILURE() << "only " << rows.size() << " rows";
      return {};
    }
    return std::vector<std::string>(rows.begin() + static_cast<long>(before), rows.end());
  }
  MachineFolders folders;
};

TEST_F(Win95PlanTest, AFullPassGives53RowsAndOneRowPerMatchingInstance) {
  const MachineFolders f = SeedFullInstallation();
  OpenMainWindow();
  ASSERT_EQ(1, RemoveFilesWin9x());
  std::vector<std::string> expected = FullPassRows(f);
  expected.push_back(Row(f.infFolder + "OEM3.INF", kDeleted));
  EXPECT_ROWS(expected, RowsUtf8());
  EXPECT_FALSE(winsim::Exists(f.infFolder + "OEM3.INF"));
  EXPECT_TRUE(winsim::Exists(f.infFolder + "PEN.INF"));
}

TEST_F(Win95PlanTest, MatchingInstancesInEnumerationOrderAndTheNameOnlyInItsOwnSpelling) {
  AddPenInstance("0000", "Ostrel Serial Tablet", "OEM3.INF");
  AddPenInstance("0001", "Standard pen", "PEN.INF");
  AddPenInstance("0002", "USB Ostrel", "OEM7.INF");
  AddPenInstance("0003", "OSTREL Tablet", "OEM9.INF");
  for (const char* name : {"OEM3.INF", "PEN.INF", "OEM7.INF", "OEM9.INF"}) MakeFile(folders.infFolder + name);
  const std::vector<std::string> expected = {Row(folders.infFolder + "OEM3.INF", kDeleted),
                                             Row(folders.infFolder + "OEM7.INF", kDeleted)};
  EXPECT_ROWS(expected, InfRows());
  EXPECT_TRUE(winsim::Exists(folders.infFolder + "PEN.INF"));
  EXPECT_TRUE(winsim::Exists(folders.infFolder + "OEM9.INF"));
}

TEST_F(Win95PlanTest, WithoutThePenClassThereIsNoInfRowAndNoError) {
  EXPECT_TRUE(InfRows().empty());
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  // The two uninstall keys, the settings key, then the class key.
  EXPECT_EQ(4, winsim::CallCount("RegOpenKeyExA"));
}

TEST_F(Win95PlanTest, InstancesThatCannotBeReadGiveNoRowAndTheWalkGoesOn) {
  AddPenInstance("0000", "Ostrel A", "OEM1.INF");
  AddPenInstance("0001", "Ostrel B", "OEM2.INF");
  SetRegString(HKEY_LOCAL_MACHINE, std::string(kPenClass) + "\\0002", "InfPath", "OEM3.INF");     // no description
  SetRegString(HKEY_LOCAL_MACHINE, std::string(kPenClass) + "\\0003", "DriverDesc", "Ostrel D");  // no INF path
  AddPenInstance("0004", "Ostrel E", "OEM5.INF");
  ASSERT_TRUE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, std::string(kPenClass) + "\\0001", 0xFFFFFFFF));
  for (const char* name : {"OEM1.INF", "OEM2.INF", "OEM3.INF", "OEM5.INF"}) MakeFile(folders.infFolder + name);
  const std::vector<std::string> expected = {Row(folders.infFolder + "OEM1.INF", kDeleted),
                                             Row(folders.infFolder + "OEM5.INF", kDeleted)};
  EXPECT_ROWS(expected, InfRows());
  EXPECT_TRUE(winsim::Exists(folders.infFolder + "OEM2.INF"));
  EXPECT_TRUE(winsim::Exists(folders.infFolder + "OEM3.INF"));
}

TEST_F(Win95PlanTest, AnInfFileInUseIsAnErrorAndIsNotLeftToTheRestart) {
  AddPenInstance("0000", "Ostrel", "OEM3.INF");
  MakeFile(folders.infFolder + "OEM3.INF");
  winsim::HoldFileOpen(folders.infFolder + "OEM3.INF", 0);
  const std::vector<std::string> expected = {Row(folders.infFolder + "OEM3.INF", kError)};
  EXPECT_ROWS(expected, InfRows());
  EXPECT_FALSE(RunState.restartPending);
  EXPECT_EQ(0, winsim::CallCount("MoveFileExA"));
  EXPECT_FALSE(winsim::Exists(folders.windowsFolder + "wininit.ini"));
}

TEST_F(Win95PlanTest, AnInfPathLongerThanTheDescriptionIsReadInFull) {
  const std::string infPath = "other\\" + std::string(200, 'p') + ".inf";
  AddPenInstance("0000", "Ostrel", infPath);
  MakeFile(folders.infFolder + infPath);
  const std::vector<std::string> expected = {Row(folders.infFolder + infPath, kDeleted)};
  EXPECT_ROWS(expected, InfRows());
}

// An "InfPath" that could name something outside the INF folder, or would not fit, is never
// deleted: its row shows it as not removed, and the walk goes on.
TEST_F(Win95PlanTest, AnInfPathThatWouldLeaveTheInfFolderIsReportedNotDeleted) {
  MakeFile(folders.systemFolder + "keep.dll", "system file");
  // Readable (under 1024 bytes) but too long to follow the INF folder in pathBuffer.
  const std::string tooLong = "other\\" + std::string(1010, 'q') + ".inf";
  AddPenInstance("0000", "Ostrel", folders.systemFolder + "keep.dll");
  AddPenInstance("0001", "Ostrel", "..\\SYSTEM\\keep.dll");
  AddPenInstance("0002", "Ostrel", "other\\..\\..\\SYSTEM\\keep.dll");
  AddPenInstance("0003", "Ostrel", "");
  AddPenInstance("0004", "Ostrel", "OEM\x01.INF");
  AddPenInstance("0005", "Ostrel", tooLong);
  AddPenInstance("0006", "Ostrel", "OEM3.INF");
  // Too long to be read at all: like a missing value, no row.
  AddPenInstance("0007", "Ostrel", std::string(1100, 'r'));
  MakeFile(folders.infFolder + "OEM3.INF");

  const std::string cut = (folders.infFolder + tooLong).substr(0, 1023);
  const std::vector<std::string> expected = {
      Row(folders.infFolder + folders.systemFolder + "keep.dll", kError),
      Row(folders.infFolder + "..\\SYSTEM\\keep.dll", kError),
      Row(folders.infFolder + "other\\..\\..\\SYSTEM\\keep.dll", kError),
      Row(folders.infFolder, kError),
      Row(folders.infFolder + "OEM\x01.INF", kError),
      Row(cut, kError),
      Row(folders.infFolder + "OEM3.INF", kDeleted),
  };
  EXPECT_ROWS(expected, InfRows());
  EXPECT_EQ("system file", winsim::FileBytes(folders.systemFolder + "keep.dll"));
  EXPECT_TRUE(RunState.errorSeen);
}

TEST_F(Win95PlanTest, TheWalkEndsWhenTheClassKeyFailsAtEveryIndex) {
  AddPenInstance("0000", "Ostrel", "OEM3.INF");
  MakeFile(folders.infFolder + "OEM3.INF");
  winsim::FailEveryCall("RegEnumKeyExA", ERROR_KEY_DELETED);
  EXPECT_TRUE(InfRows().empty());
  EXPECT_EQ(1, winsim::CallCount("RegEnumKeyExA"));
}

TEST_F(Win95PlanTest, TheWalkStopsWhenTheClassKeyVanishesInTheMiddle) {
  AddPenInstance("0000", "Ostrel", "OEM3.INF");
  AddPenInstance("0001", "Ostrel", "OEM4.INF");
  MakeFile(folders.infFolder + "OEM3.INF");
  MakeFile(folders.infFolder + "OEM4.INF");
  winsim::FailCall("RegEnumKeyExA", 2, ERROR_KEY_DELETED);
  const std::vector<std::string> expected = {Row(folders.infFolder + "OEM3.INF", kDeleted)};
  EXPECT_ROWS(expected, InfRows());
  EXPECT_EQ(2, winsim::CallCount("RegEnumKeyExA"));
}

TEST_F(Win95PlanTest, AnInstanceNameTooLongForTheBufferIsSkipped) {
  // 255 characters (the longest a key name can be) need one more than the capacity of 255; the
  // name sorts before "0000", so the walk must go on past it.
  AddPenInstance(std::string(255, '-'), "Ostrel", "OEM1.INF");
  AddPenInstance("0000", "Ostrel", "OEM3.INF");
  MakeFile(folders.infFolder + "OEM1.INF");
  MakeFile(folders.infFolder + "OEM3.INF");
  const std::vector<std::string> expected = {Row(folders.infFolder + "OEM3.INF", kDeleted)};
  EXPECT_ROWS(expected, InfRows());
  EXPECT_TRUE(winsim::Exists(folders.infFolder + "OEM1.INF"));
}

TEST_F(Win95PlanTest, EvenAKeyThatAlwaysAnswersMoreDataEndsTheWalk) {
  AddPenInstance("0000", "Ostrel", "OEM3.INF");
  winsim::FailEveryCall("RegEnumKeyExA", ERROR_MORE_DATA);
  EXPECT_TRUE(InfRows().empty());
  EXPECT_EQ(10000, winsim::CallCount("RegEnumKeyExA"));
}

}  // namespace
