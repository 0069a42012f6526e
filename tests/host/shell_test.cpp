// The whole program from its entry through the message queue: start-up, the first activation,
// version detection, the result list, the run sequence and both ways of closing.
#include <commctrl.h>

#include <algorithm>

#include "base/os_kind.h"
#include "report/result_list.h"
#include "test_support.h"

namespace {

using winsim::Sjis;

std::string Label() { return winsim::Utf8(winsim::WindowText(GetDlgItem(winsim::MainWindow(), IDC_OS_LABEL))); }
bool RunEnabled() { return IsWindowEnabled(GetDlgItem(winsim::MainWindow(), IDC_RUN)) != FALSE; }

TEST_F(MachineTest, StartsWithItsWindowAndClosesWithExitCodeZero) {
  EXPECT_EQ(0, RunProgram({CloseButton()}));

  HWND main = winsim::MainWindow();
  ASSERT_NE(nullptr, main);
  EXPECT_EQ(main, RunState.mainWindow);
  EXPECT_EQ(winsim::ProgramInstance(), RunState.hInstance);
  EXPECT_EQ("ZORVIK Tablet Driver Uninstaller ver1.1", winsim::WindowText(main));
  // The Close button ends the loop directly; the window goes with the process.
  EXPECT_TRUE(winsim::WindowExists(main));
  EXPECT_TRUE(winsim::WindowVisible(main));

  const WNDCLASSA* cls = winsim::RegisteredClass("GDUINST");
  ASSERT_NE(nullptr, cls);
  EXPECT_EQ(0u, cls->style);
  EXPECT_EQ(0, cls->cbClsExtra);
  EXPECT_EQ(30, cls->cbWndExtra);
  EXPECT_EQ(winsim::ProgramInstance(), cls->hInstance);
  EXPECT_EQ(LoadIconA(winsim::ProgramInstance(), MAKEINTRESOURCEA(IDI_MAIN)), cls->hIcon);
  EXPECT_NE(nullptr, cls->hIcon);
  EXPECT_EQ(LoadCursorA(nullptr, IDC_ARROW), cls->hCursor);
  EXPECT_EQ(reinterpret_cast<HBRUSH>(5), cls->hbrBackground);
  EXPECT_EQ(nullptr, cls->lpszMenuName);

  // The list-view class must exist before the dialog that names it is created.
  const auto& log = winsim::CallLog();
  auto init = std::find(log.begin(), log.end(), "InitCommonControls");
  auto create = std::find(log.begin(), log.end(), "CreateDialogParamA");
  ASSERT_NE(log.end(), init);
  EXPECT_LT(init - log.begin(), create - log.begin());
}

TEST_F(MachineTest, FirstActivationCreatesTheColumnsAndShowsTheVersion) {
  EXPECT_EQ(0, RunProgram({CloseButton()}));
  std::vector<winsim::ListColumn> cols = winsim::ListColumns(ResultListWindow());
  ASSERT_EQ(2u, cols.size());
  EXPECT_EQ(Sjis("ﾌｧｲﾙ / ﾚｼﾞｽﾄﾘ"), cols[0].heading);
  EXPECT_EQ(300, cols[0].width);
  EXPECT_EQ(LVCFMT_LEFT, cols[0].format);
  EXPECT_EQ(0, cols[0].subItem);
  EXPECT_EQ(Sjis("状態"), cols[1].heading);
  EXPECT_EQ(200, cols[1].width);
  EXPECT_EQ(LVCFMT_LEFT, cols[1].format);
  EXPECT_EQ(1, cols[1].subItem);
  EXPECT_EQ("WindowsXP", Label());
  EXPECT_EQ(OsWinXP, RunState.osKind);
  EXPECT_TRUE(RunEnabled());
  EXPECT_FALSE(RunState.firstActivation);
}

TEST_F(MachineTest, LaterActivationsChangeNothing) {
  EXPECT_EQ(0, RunProgram({[] {
                             winsim::SetVersion(5, 2, 3790, VER_PLATFORM_WIN32_NT);
                             PostMessageA(winsim::MainWindow(), WM_ACTIVATE, WA_INACTIVE, 0);
                             PostMessageA(winsim::MainWindow(), WM_ACTIVATE, WA_ACTIVE, 0);
                           },
                           CloseButton()}));
  EXPECT_EQ(2u, winsim::ListColumns(ResultListWindow()).size());
  EXPECT_EQ("WindowsXP", Label());
  EXPECT_TRUE(RunEnabled());
  EXPECT_EQ(1, winsim::CallCount("GetVersionExA"));
}

TEST_F(MachineTest, AWindowNeverActivatedKeepsTheTemplateLabelAndHasNoColumns) {
  winsim::SetActivationSuppressed(true);
  EXPECT_EQ(0, RunProgram({CloseButton()}));
  EXPECT_EQ("Windows95", Label());
  EXPECT_TRUE(winsim::ListColumns(ResultListWindow()).empty());
  EXPECT_TRUE(RunState.firstActivation);
  EXPECT_EQ(0, winsim::CallCount("GetVersionExA"));
}

struct VersionCase {
  DWORD major, minor, build, platform;
  const char* label;
  int kind;
};

class VersionDetection : public MachineTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionDetection, LabelAndRunButtonFollowTheVersion) {
  const VersionCase& c = GetParam();
  winsim::SetVersion(c.major, c.minor, c.build, c.platform);
  EXPECT_EQ(0, RunProgram({CloseButton()}));
  EXPECT_EQ(c.label, Label());
  EXPECT_EQ(c.kind, RunState.osKind);
  EXPECT_EQ(c.kind != OsUnknown, RunEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    EveryClassAndItsBoundaries, VersionDetection,
    ::testing::Values(
        VersionCase{5, 1, 2600, 2, "WindowsXP", OsWinXP}, VersionCase{5, 0, 2195, 2, "Windows2000", OsWin2000},
        VersionCase{4, 0, 1381, 2, "WindowsNT4.0", OsWinNT4},
        VersionCase{4, 0, 7, 2, "WindowsNT4.0", OsWinNT4},  // any build or service pack
        VersionCase{4, 10, 2222, 1, "Windows98", OsWin98}, VersionCase{4, 90, 3000, 1, "WindowsME", OsWinMe},
        VersionCase{4, 0, 950, 1, "Windows95", OsWin95},
        // The 9x family reports the version in the high word of the build number.
        VersionCase{4, 0, 0x040003B6, 1, "Windows95", OsWin95},
        VersionCase{4, 0, 1111, 1, "Windows95(OSR2)", OsWin95Osr2},
        VersionCase{4, 0, 0x04000457, 1, "Windows95(OSR2)", OsWin95Osr2},
        VersionCase{4, 0, 1212, 1, "Windows95(OSR2)", OsWin95Osr2}, VersionCase{4, 0, 949, 1, "不明", OsUnknown},
        VersionCase{4, 0, 951, 1, "不明", OsUnknown}, VersionCase{4, 0, 1110, 1, "不明", OsUnknown},
        VersionCase{5, 2, 3790, 2, "不明", OsUnknown}, VersionCase{5, 2, 3790, 1, "不明", OsUnknown},
        VersionCase{6, 0, 6000, 2, "不明", OsUnknown}, VersionCase{6, 0, 6000, 1, "不明", OsUnknown},
        VersionCase{6, 1, 7601, 2, "不明", OsUnknown},
        VersionCase{5, 1, 2600, 1, "不明", OsUnknown},  // XP's numbers on the wrong platform
        VersionCase{4, 10, 2222, 2, "不明", OsUnknown}, VersionCase{4, 0, 950, 0, "不明", OsUnknown},  // Win32s
        VersionCase{3, 10, 0, 0, "不明", OsUnknown}));

TEST_F(MachineTest, AFailedVersionQueryIsAnUnknownVersion) {
  winsim::FailCall("GetVersionExA", 1, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(0, RunProgram({CloseButton()}));
  EXPECT_EQ("不明", Label());
  EXPECT_FALSE(RunEnabled());
}

TEST_F(MachineTest, RunDoesNothingOnAnUnknownVersionEvenWhenTheCommandArrives) {
  winsim::SetVersion(6, 1, 7601, VER_PLATFORM_WIN32_NT);
  // The disabled button cannot be clicked, but the command can still be posted to the window.
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN),
                           [] { PostMessageA(winsim::MainWindow(), WM_COMMAND, MAKEWPARAM(IDC_RUN, BN_CLICKED), 0); },
                           CloseButton()}));
  EXPECT_TRUE(winsim::ListRows(ResultListWindow()).empty());
  EXPECT_TRUE(winsim::MessageBoxes().empty());
}

TEST_F(MachineTest, TheShowCommandComesFromTheStartupInformation) {
  EXPECT_EQ(0, RunProgram({CloseButton()}));
  EXPECT_EQ(SW_SHOWDEFAULT, winsim::LastShowCommand(winsim::MainWindow()));

  winsim::Reset();
  ResetRunState();
  winsim::SetStartupShowWindow(true, SW_SHOWMINNOACTIVE);
  EXPECT_EQ(0, RunProgram({CloseButton()}));
  EXPECT_EQ(SW_SHOWMINNOACTIVE, winsim::LastShowCommand(winsim::MainWindow()));
}

TEST_F(MachineTest, ClosingFromTheSystemMenuDestroysTheWindowAndEndsWithZero) {
  EXPECT_EQ(0, RunProgram({[] { winsim::CloseFromSystemMenu(); }}));
  EXPECT_EQ(nullptr, winsim::MainWindow());
}

TEST_F(MachineTest, OtherCommandsAreSwallowed) {
  EXPECT_EQ(0, RunProgram({[] {
                             HWND main = winsim::MainWindow();
                             PostMessageA(main, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0);
                             PostMessageA(main, WM_COMMAND, MAKEWPARAM(1073, 0), 0);
                             PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDC_RESULT_LIST, 0), 0);
                           },
                           CloseButton()}));
  EXPECT_TRUE(winsim::WindowExists(winsim::MainWindow()));
  EXPECT_TRUE(winsim::ListRows(ResultListWindow()).empty());
  EXPECT_TRUE(winsim::MessageBoxes().empty());
}

// The dialog itself refused, or no common controls for its list view (comctl32 or its
// InitCommonControls missing): nothing more is loaded then.
TEST_F(MachineTest, DialogCreationFailureShowsItsBoxAndEndsWithZero) {
  for (const char* api : {"CreateDialogParamA", "LoadLibraryA", "GetProcAddress"}) {
    SCOPED_TRACE(api);
    winsim::Reset();
    winsim::FailCall(api, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(0, RunProgram({}));
    ASSERT_EQ(1u, winsim::MessageBoxes().size());
    const winsim::MessageBoxCall& box = winsim::MessageBoxes()[0];
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ("Can't create DialogBox", box.text);
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(0u, box.style);
    EXPECT_EQ(std::string(api) == "CreateDialogParamA" ? 3 : 1, winsim::CallCount("LoadLibraryA"));
  }
}

TEST_F(MachineTest, ClassRegistrationFailureEndsSilentlyWithZero) {
  winsim::FailCall("RegisterClassA", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(0, RunProgram({}));
  EXPECT_TRUE(winsim::MessageBoxes().empty());
  EXPECT_EQ(nullptr, winsim::MainWindow());
  EXPECT_EQ(0, winsim::CallCount("CreateDialogParamA"));
}

// ---- the result list ----

TEST_F(MachineTest, EachStatusShowsItsTextAndOnlyErrorsRaiseTheErrorFlag) {
  const std::vector<std::pair<RemovalStatus, std::string>> statuses = {
      {StatusNone, ""},
      {StatusError, "ｴﾗｰ"},
      {StatusDeleted, "削除"},
      {StatusNoFile, "ﾌｧｲﾙなし"},
      {StatusDeleteAtRestart, "ﾘﾌﾞｰﾄ時削除"},
      {StatusNoKey, "ｷｰなし"},
      {StatusNoValue, "値なし"},
      {StatusNoFolder, "ﾌｫﾙﾀﾞなし"},
      {StatusDetectError, "検出ｴﾗｰ"},
      {9, ""},
      {0xFFFFFFFF, ""},
  };
  for (const auto& [status, text] : statuses) {
    winsim::Reset();
    ResetRunState();
    std::vector<winsim::ListRow> rows;
    EXPECT_EQ(0, RunProgram({[&, status = status] {
                               AddResultRow("C:\\item", status);
                               rows = winsim::ListRows(ResultListWindow());
                             },
                             CloseButton()}));
    ASSERT_EQ(1u, rows.size()) << "status " << status;
    EXPECT_EQ("C:\\item", rows[0].item) << "status " << status;
    EXPECT_EQ(Sjis(text), rows[0].status) << "status " << status;
    EXPECT_EQ(status == StatusError || status == StatusDetectError, RunState.errorSeen != FALSE) << "status " << status;
    EXPECT_FALSE(RunState.restartPending);
  }
}

TEST_F(MachineTest, EveryRowComesIntoViewRepaintsAndPausesOneTenthOfASecond) {
  EXPECT_EQ(0, RunProgram({[] {
                             int updatesBefore = winsim::UpdateWindowCalls(winsim::MainWindow());
                             AddResultRow("first", StatusDeleted);
                             AddResultRow("second", StatusNone);
                             AddResultRow("third", StatusNoKey);
                             EXPECT_EQ(3, winsim::UpdateWindowCalls(winsim::MainWindow()) - updatesBefore);
                           },
                           CloseButton()}));
  EXPECT_EQ(3, RunState.rowIndex);
  EXPECT_EQ(300u, winsim::SleptMilliseconds());
  EXPECT_EQ(3, winsim::SleepCalls());
  EXPECT_ROWS((std::vector<std::string>{"first | 削除", "second | ", "third | ｷｰなし"}), RowsUtf8());
}

// Two runs of more rows than the list shows: the second inserts its rows from the top, above
// the first run's, and each row of either run is in view once it is added.
TEST_F(MachineTest, EachRowOfEveryRunIsInViewOnceAdded) {
  EXPECT_EQ(0, RunProgram({[] {
                             const HWND list = ResultListWindow();
                             for (int run = 1; run <= 2; ++run) {
                               RunState.rowIndex = 0;
                               for (int i = 0; i < 20; ++i) {
                                 AddResultRow("row", StatusDeleted);
                                 const LRESULT row = RunState.rowIndex - 1;
                                 const LRESULT top = SendMessageA(list, LVM_GETTOPINDEX, 0, 0);
                                 const LRESULT shown = SendMessageA(list, LVM_GETCOUNTPERPAGE, 0, 0);
                                 EXPECT_TRUE(top <= row && row < top + shown)
                                     << "run " << run << ": row " << row << " added, rows " << top << " to "
                                     << top + shown - 1 << " in view";
                               }
                             }
                           },
                           CloseButton()}));
}

TEST_F(MachineTest, AnErrorRowKeepsTheFlagForTheLifeOfTheProcess) {
  EXPECT_EQ(0, RunProgram({[] { AddResultRow("bad", StatusError); }, [] { AddResultRow("fine", StatusDeleted); },
                           CloseButton()}));
  EXPECT_TRUE(RunState.errorSeen);
}

// ---- the run sequence ----

TEST_F(MachineTest, ARunFramesItsPhasesWithSectionRowsAndEndsWithASummary) {
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));
  std::vector<std::string> rows = RowsUtf8();
  ASSERT_GE(rows.size(), 2u);
  EXPECT_EQ("==========  ﾌｧｲﾙ  ========== | ", rows.front());
  EXPECT_EQ(1, std::count(rows.begin(), rows.end(), "==========  ﾚｼﾞｽﾄﾘ  ========== | "));

  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  const winsim::MessageBoxCall& box = winsim::MessageBoxes()[0];
  EXPECT_EQ(winsim::MainWindow(), box.owner);
  EXPECT_EQ("ZORVIK Tablet Driver Uninstaller", box.caption);
  EXPECT_EQ(static_cast<int>(rows.size()), box.rowsAtThatTime);  // the summary comes last
  // No system boxes for drives without media while the run lasts; the old mode comes back.
  EXPECT_EQ((std::vector<UINT>{0x8001, 0}), winsim::ErrorModeHistory());
  EXPECT_EQ(0u, winsim::CurrentErrorMode());
}

TEST_F(MachineTest, AnEarlierErrorMakesEveryLaterSummaryThePartialFailureText) {
  RunState.errorSeen = TRUE;
  RunState.restartPending = TRUE;  // an error outranks a restart
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ(Sjis("いくつかのﾌｧｲﾙまたはﾚｼﾞｽﾄﾘの削除でｴﾗｰが発生しました。\n\nもう一度このﾌﾟﾛｸﾞﾗﾑを実行するか、\n"
                 "または履歴を確認して手動で削除してください。"),
            winsim::MessageBoxes()[0].text);
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), winsim::MessageBoxes()[0].style);
}

TEST_F(MachineTest, ASecondRunInsertsItsRowsAboveTheFirstRunsRows) {
  std::vector<std::string> afterFirst;
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), [&] { afterFirst = RowsUtf8(); }, Press(IDC_RUN), CloseButton()}));
  std::vector<std::string> all = RowsUtf8();
  ASSERT_EQ(2u, winsim::MessageBoxes().size());
  const size_t second = all.size() - afterFirst.size();
  ASSERT_GT(second, 0u);
  // The first run's rows stay, unchanged and in their order, below the second run's rows.
  EXPECT_EQ(afterFirst, std::vector<std::string>(all.begin() + static_cast<long>(second), all.end()));
  EXPECT_EQ("==========  ﾌｧｲﾙ  ========== | ", all.front());
  EXPECT_EQ(static_cast<int>(second), RunState.rowIndex);
}

}  // namespace
