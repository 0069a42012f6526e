// The whole program from its entry on Windows XP and Windows 98 machines with the package
// installed: Run removes it, a second Run finds only what waits for the restart, and the
// summaries say so.
#include <shlobj.h>

#include "installation.h"
#include "plans/registry_tables.h"
#include "base/os_kind.h"
#include "winsim_fs.h"

namespace {

using winsim::Sjis;

const char kDeleted[] = "削除";
const char kNoFile[] = "ﾌｧｲﾙなし";
const char kNoFolder[] = "ﾌｫﾙﾀﾞなし";
const char kAtRestart[] = "ﾘﾌﾞｰﾄ時削除";
const char kDetectError[] = "検出ｴﾗｰ";
const char kError[] = "ｴﾗｰ";

std::string FilesSection() { return Row(Sjis("==========  ﾌｧｲﾙ  =========="), ""); }
std::string RegistrySection() { return Row(Sjis("==========  ﾚｼﾞｽﾄﾘ  =========="), ""); }
std::string InstallFolderNotFound() { return Row(Sjis("「ZORVIK」ﾌｫﾙﾀﾞ"), kDetectError); }

// One pass of a file plan over the Start menu: `names` under each Programs folder, then the two
// shortcuts in each Startup folder (the 9x plan puts its install folder row in between).
void AddMenuRows(std::vector<std::string>* rows, const MachineFolders& f, const std::vector<std::string>& names,
                 const std::vector<std::string>& statuses) {
  for (const std::string* programs : {&f.commonPrograms, &f.programs}) {
    for (size_t i = 0; i < names.size(); ++i) rows->push_back(Row(*programs + "\\" + Sjis(names[i]), statuses[i]));
  }
}
void AddShortcutRows(std::vector<std::string>* rows, const MachineFolders& f, const std::string& status) {
  for (const std::string* startup : {&f.commonStartup, &f.startup}) {
    rows->push_back(Row(*startup + "\\TabUserZ.lnk", status));
    rows->push_back(Row(*startup + "\\TabUserZ.exe.lnk", status));
  }
}

std::vector<std::string> Slice(const std::vector<std::string>& rows, size_t from, size_t count) {
  if (from + count > rows.size()) {
    ADD_FAILURE() << "only " << rows.size() << " rows";
    return {};
  }
  return std::vector<std::string>(rows.begin() + from, rows.begin() + from + count);
}

struct Summary {
  std::string textUtf8;
  UINT style;
};
void ExpectSummaries(const std::vector<Summary>& expected) {
  const auto& boxes = winsim::MessageBoxes();
  ASSERT_EQ(expected.size(), boxes.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Sjis(expected[i].textUtf8), boxes[i].text) << "box " << i;
    EXPECT_EQ(expected[i].style, boxes[i].style) << "box " << i;
    EXPECT_EQ("ZORVIK Tablet Driver Uninstaller", boxes[i].caption);
  }
}

const char kDone[] = "ﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのｱﾝｲﾝｽﾄｰﾙは完了しました。";
const char kDoneRestart[] = "ﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのｱﾝｲﾝｽﾄｰﾙは完了しました。\n\n一部のﾌｧｲﾙはﾘﾌﾞｰﾄ時に削除されます。";
const char kPartialFailure[] =
    "いくつかのﾌｧｲﾙまたはﾚｼﾞｽﾄﾘの削除でｴﾗｰが発生しました。\n\nもう一度このﾌﾟﾛｸﾞﾗﾑを実行するか、\n"
    "または履歴を確認して手動で削除してください。";

TEST_F(MachineTest, WindowsXPRemovesTheInstallationAndASecondRunFindsNoInstallFolder) {
  UseWindows(OsWinXP);
  const MachineFolders f = SeedFullInstallation();
  MakeFile("C:\\Program Files\\keep.txt", "someone else's");
  // Started inside the install folder (a shortcut there, a command prompt): the program leaves
  // it, or Windows would not remove it.
  ASSERT_TRUE(SetCurrentDirectoryA(kInstallFolder));
  std::vector<std::string> firstRun;
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), [&] { firstRun = RowsUtf8(); }, Press(IDC_RUN), CloseButton()}));

  // First run: the file section, the rows of the NT plan, then the registry phase.
  const PassLayout pass = NtPassLayout();
  ASSERT_GE(firstRun.size(), 2 + pass.end);
  EXPECT_EQ(FilesSection(), firstRun[0]);
  std::vector<std::string> files;
  for (const std::string& name : kNtSystemFiles) {
    files.push_back(Row(f.systemFolder + name, name == "Ztablet" ? kAtRestart : kDeleted));
  }
  files.push_back(Row(f.windowsFolder + "tabinst.dll", kDeleted));
  AddMenuRows(&files, f, {"Zorvik Tablet", "タブレット", "Zorvik タブレット"}, {kDeleted, kDeleted, kDeleted});
  AddShortcutRows(&files, f, kDeleted);
  for (const std::string& name : kNtInstallFiles)
    files.push_back(Row(std::string(kInstallFolder) + "\\" + name, kDeleted));
  files.push_back(Row(kInstallFolder, kDeleted));
  EXPECT_ROWS(files, Slice(firstRun, 1, pass.end));
  EXPECT_EQ(RegistrySection(), firstRun[1 + pass.end]);
  EXPECT_EQ(2 + pass.end + NtRegistryPlan.keys.count, firstRun.size());

  // Second run: its rows come first; the registration went with the first run's registry phase.
  const std::vector<std::string> rows = RowsUtf8();
  const PassLayout noFolder = NtPassLayout(false);
  ASSERT_EQ(firstRun.size() + 2 + noFolder.end + NtRegistryPlan.keys.count, rows.size());
  EXPECT_EQ(FilesSection(), rows[0]);
  std::vector<std::string> again;
  for (const std::string& name : kNtSystemFiles) {
    again.push_back(Row(f.systemFolder + name, name == "Ztablet" ? kAtRestart : kNoFile));
  }
  again.push_back(Row(f.windowsFolder + "tabinst.dll", kNoFile));
  AddMenuRows(&again, f, {"Zorvik Tablet", "タブレット", "Zorvik タブレット"}, {kNoFolder, kNoFolder, kNoFolder});
  AddShortcutRows(&again, f, kNoFile);
  again.push_back(InstallFolderNotFound());
  EXPECT_ROWS(again, Slice(rows, 1, noFolder.end));
  EXPECT_EQ(RegistrySection(), rows[1 + noFolder.end]);
  EXPECT_ROWS(firstRun, Slice(rows, 2 + noFolder.end + NtRegistryPlan.keys.count, firstRun.size()));

  ExpectSummaries({{kDoneRestart, MB_ICONINFORMATION}, {kPartialFailure, MB_ICONEXCLAMATION}});
  EXPECT_FALSE(winsim::Exists(kInstallFolder));
  EXPECT_EQ("someone else's", winsim::FileBytes("C:\\Program Files\\keep.txt"));
  EXPECT_TRUE(winsim::Exists(f.systemFolder + "Ztablet"));  // until the restart
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(MachineTest, Windows98RemovesTheInstallationAndASecondRunFindsNoInstallFolder) {
  UseWindows(OsWin98);
  const MachineFolders f = SeedFullInstallation();
  std::vector<std::string> firstRun;
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), [&] { firstRun = RowsUtf8(); }, Press(IDC_RUN), CloseButton()}));

  const std::vector<std::string> menu = {"Zorvik Tablet", "タブレット", "Zorvik タブレット", "Zorvik Tablet"};
  std::vector<std::string> files;
  // "Ztablet" is a folder, which the 9x rename file cannot delete at restart: emptied by the
  // row before, it goes at once.
  for (const std::string& name : kWin9xSystemFiles) {
    files.push_back(Row(f.systemFolder + name, kDeleted));
  }
  for (const std::string& name : kWin9xInstallFiles) {
    files.push_back(Row(std::string(kInstallFolder) + "\\" + name, kDeleted));
  }
  files.push_back(Row(f.windowsFolder + "tabinst.dll", kDeleted));
  files.push_back(Row(f.windowsFolder + "zorvik.dat", kDeleted));
  AddMenuRows(&files, f, menu, {kDeleted, kDeleted, kDeleted, kNoFolder});
  files.push_back(Row(kInstallFolder, kDeleted));
  AddShortcutRows(&files, f, kDeleted);
  files.push_back(Row(f.infFolder + "other\\zorviktablet.inf", kDeleted));
  const size_t passRows = Win9xPassLayout().end + 1;  // and the INF file's row
  ASSERT_EQ(passRows, files.size());
  ASSERT_GE(firstRun.size(), 2 + passRows);
  EXPECT_EQ(FilesSection(), firstRun[0]);
  EXPECT_ROWS(files, Slice(firstRun, 1, passRows));
  EXPECT_EQ(RegistrySection(), firstRun[1 + passRows]);

  // Second run: the documents location went with the settings key, so no folder is found; the
  // detection error is the 27th row of the plan and the pass goes on.
  const std::vector<std::string> rows = RowsUtf8();
  std::vector<std::string> again;
  for (const std::string& name : kWin9xSystemFiles) {
    again.push_back(Row(f.systemFolder + name, kNoFile));
  }
  again.push_back(InstallFolderNotFound());
  again.push_back(Row(f.windowsFolder + "tabinst.dll", kNoFile));
  again.push_back(Row(f.windowsFolder + "zorvik.dat", kNoFile));
  AddMenuRows(&again, f, menu, {kNoFolder, kNoFolder, kNoFolder, kNoFolder});
  AddShortcutRows(&again, f, kNoFile);
  again.push_back(Row(f.infFolder + "other\\zorviktablet.inf", kNoFile));
  const size_t againRows = Win9xPassLayout(false).end + 1;  // and the INF file's row
  ASSERT_EQ(againRows, again.size());
  EXPECT_EQ(FilesSection(), rows[0]);
  EXPECT_ROWS(again, Slice(rows, 1, againRows));
  EXPECT_EQ(RegistrySection(), rows[1 + againRows]);
  EXPECT_ROWS(firstRun, Slice(rows, rows.size() - firstRun.size(), firstRun.size()));

  ExpectSummaries({{kDone, MB_ICONINFORMATION}, {kPartialFailure, MB_ICONEXCLAMATION}});
  EXPECT_FALSE(winsim::Exists(kInstallFolder));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kDocLocationKey));
}

// Only an administrator removes the package on the NT family: anyone else, or a process whose
// rights cannot be told, gets one box and an untouched machine, and Run stays enabled. The 9x
// family has no such question. (The other whole runs are an administrator's.)
TEST_F(MachineTest, OnTheNtFamilyAUserWithoutAdministratorRightsIsToldAndNothingIsDeleted) {
  using winsim::AdministratorsGroup;
  const struct {
    int osKind;
    AdministratorsGroup group;
    const char* failing;  // a call of the question that fails, or ""
    int nth;              // which call of it
  } cases[] = {
      {OsWinNT4, AdministratorsGroup::Absent, "", 0},
      {OsWin2000, AdministratorsGroup::Absent, "", 0},
      {OsWinXP, AdministratorsGroup::Absent, "", 0},
      {OsWinXP, AdministratorsGroup::DenyOnly, "", 0},
      {OsWin2000, AdministratorsGroup::Disabled, "", 0},
      // A system without the calls; the first lookup is that of the common controls at start.
      {OsWinNT4, AdministratorsGroup::Enabled, "GetProcAddress", 2},
      {OsWin2000, AdministratorsGroup::Enabled, "GetTokenInformation", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.osKind) + (*c.failing ? std::string(" ") + c.failing : " group"));
    winsim::Reset();
    ResetRunState();
    UseWindows(c.osKind);
    const MachineFolders f = SeedFullInstallation();
    winsim::SetAdministratorsGroup(c.group);
    if (*c.failing != '\0') winsim::FailCall(c.failing, c.nth, ERROR_ACCESS_DENIED);
    // Nothing is touched while the box is up: the session may end.
    winsim::WhenCalled("MessageBoxA", 1,
                       [] { winsim::SendFromOtherThread(winsim::MainWindow(), WM_QUERYENDSESSION, 0, 0); });
    EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));

    EXPECT_TRUE(RowsUtf8().empty());
    ASSERT_EQ(1u, winsim::MessageBoxes().size());
    EXPECT_EQ("ZORVIK Tablet Driver Uninstaller", winsim::MessageBoxes()[0].caption);
    ASSERT_EQ(1u, winsim::AnsweredMessages().size());
    EXPECT_EQ(TRUE, winsim::AnsweredMessages()[0].result) << "the rights box refuses the end of the session";
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), winsim::MessageBoxes()[0].style);
    for (const char* removal : {"DeleteFileA", "RemoveDirectoryA", "MoveFileExA", "RegDeleteKeyA", "RegDeleteValueA"}) {
      EXPECT_EQ(0, winsim::CallCount(removal)) << removal;
    }
    EXPECT_TRUE(winsim::Exists(std::string(kInstallFolder) + "\\Remove.exe"));
    EXPECT_TRUE(winsim::Exists(f.systemFolder + "tablet.cpl"));
    EXPECT_FALSE(RunState.errorSeen);
    EXPECT_FALSE(RunState.restartPending);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(winsim::MainWindow(), IDC_RUN)));
    EXPECT_EQ("", winsim::LeakReport());
  }
  // Windows 98 never asks.
  winsim::Reset();
  ResetRunState();
  UseWindows(OsWin98);
  SeedFullInstallation();
  winsim::SetAdministratorsGroup(AdministratorsGroup::Absent);
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));
  EXPECT_LT(40u, RowsUtf8().size());
  EXPECT_EQ(0, winsim::CallCount("OpenProcessToken"));
}

}  // namespace

namespace {

// Another thread (the system, a program asking whether the window responds) sends messages in
// the middle of a run; the user presses Run again meanwhile, and the session is asked to end.
TEST_F(MachineTest, TheWindowAnswersWhatIsSentDuringARunWhileClicksWaitForItsEnd) {
  UseWindows(OsWinXP);
  const MachineFolders f = SeedFullInstallation();
  // A Start-menu folder of a thousand files: a long walk between two rows.
  MakeFolders(f.programs + "\\Zorvik Tablet\\Help");
  for (int i = 0; i < 1000; ++i) MakeFile(f.programs + "\\Zorvik Tablet\\Help\\page" + std::to_string(i) + ".htm");
  auto send = [](UINT message, WPARAM wParam) {
    return [message, wParam] { winsim::SendFromOtherThread(winsim::MainWindow(), message, wParam, 0); };
  };
  winsim::WhenCalled("DeleteFileA", 5, send(WM_NULL, 0));
  // Neither a sent Run nor a click on it may start a run inside the run; the click waits.
  winsim::WhenCalled("DeleteFileA", 6, send(WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED)));
  winsim::WhenCalled("DeleteFileA", 7, [] { winsim::PressButton(IDC_RUN); });
  // A log-off in the middle of the run is refused; one while the summary is shown is not.
  winsim::WhenCalled("DeleteFileA", 8, send(WM_QUERYENDSESSION, 0));
  winsim::WhenCalled("DeleteFileA", 500, send(WM_NULL, 0));  // inside the menu folder's walk
  winsim::WhenCalled("MessageBoxA", 1, send(WM_QUERYENDSESSION, 0));
  // A close sent while the summary is shown ends the program once the run is over; the click
  // that waited in the queue starts no second run.
  winsim::WhenCalled("MessageBoxA", 1, send(WM_CLOSE, 0));

  EXPECT_EQ(0, RunProgram({Press(IDC_RUN)}));

  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ(0, winsim::UnansweredMessages());
  const std::vector<winsim::AnsweredMessage>& answered = winsim::AnsweredMessages();
  ASSERT_EQ(6u, answered.size()) << winsim::CallCount("DeleteFileA") << " deletions";
  for (const winsim::AnsweredMessage& m : answered) {
    EXPECT_LE(m.rowsWhenAnswered - m.rowsWhenSent, 1) << "message " << m.message << " waited for rows";
    if (m.message == WM_QUERYENDSESSION && &m != &answered[4]) {
      EXPECT_EQ(FALSE, m.result) << "the session may end during a run";
    }
  }
  EXPECT_EQ(WM_QUERYENDSESSION, answered[4].message);  // the one sent while the summary was shown
  EXPECT_EQ(TRUE, answered[4].result) << "the summary box refuses the end of the session";
  EXPECT_EQ(answered[3].rowsWhenSent, answered[3].rowsWhenAnswered) << "not answered inside the walk";
  // Never longer without a look at the queue than the pause after one row.
  EXPECT_LE(winsim::LongestStretchWithoutQueueCheck(), 100u);
  EXPECT_TRUE(winsim::WindowExists(winsim::MainWindow()));
  EXPECT_FALSE(RunState.runActive);
  // Between runs the session may end.
  EXPECT_EQ(TRUE, SendMessageA(winsim::MainWindow(), WM_QUERYENDSESSION, 0, 0));
}

}  // namespace
