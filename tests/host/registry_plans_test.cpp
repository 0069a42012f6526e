// The registry phase of whole runs, from the program's entry and the Run button: the rows of
// each family's plan in order with their exact texts and statuses, what is left in the
// registry, the flushes around the phase, a second run, and the summary an error row brings.
// Only the registry section of the list is examined, so the file phase's rows do not matter.
#include <algorithm>
#include <string>
#include <vector>

#include "plans/registry_tables.h"
#include "test_support.h"
#include "winsim_registry.h"

namespace {

using winsim::Sjis;

const char kFilesHeader[] = "==========  ﾌｧｲﾙ  ========== | ";
const char kRegistryHeader[] = "==========  ﾚｼﾞｽﾄﾘ  ========== | ";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kRunServices[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";

struct Version {
  const char* name;
  DWORD major, minor, build, platform;
};
const Version kWin95 = {"Windows 95", 4, 0, 950, VER_PLATFORM_WIN32_WINDOWS};
const Version kWin95Osr2 = {"Windows 95 OSR2", 4, 0, 1111, VER_PLATFORM_WIN32_WINDOWS};
const Version kWin98 = {"Windows 98", 4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS};
const Version kWinMe = {"Windows Me", 4, 90, 3000, VER_PLATFORM_WIN32_WINDOWS};
const Version kWinNt4 = {"Windows NT 4.0", 4, 0, 1381, VER_PLATFORM_WIN32_NT};
const Version kWin2000 = {"Windows 2000", 5, 0, 2195, VER_PLATFORM_WIN32_NT};
const Version kWinXp = {"Windows XP", 5, 1, 2600, VER_PLATFORM_WIN32_NT};

void Use(const Version& v) { winsim::SetVersion(v.major, v.minor, v.build, v.platform); }

// The rows of the newest run's registry phase, as "item | status" in UTF-8: after its section
// row, up to the file section row that starts the previous run's rows.
std::vector<std::string> RegistryRows() {
  std::vector<std::string> rows = RowsUtf8();
  auto start = std::find(rows.begin(), rows.end(), kRegistryHeader);
  if (start == rows.end()) {
    ADD_FAILURE() << "the run has no registry section";
    return {};
  }
  return std::vector<std::string>(start + 1, std::find(start + 1, rows.end(), kFilesHeader));
}

std::string Summary() { return winsim::MessageBoxes().empty() ? "" : winsim::Utf8(winsim::MessageBoxes().back().text); }

const char kPartialFailure[] =
    "いくつかのﾌｧｲﾙまたはﾚｼﾞｽﾄﾘの削除でｴﾗｰが発生しました。\n\nもう一度このﾌﾟﾛｸﾞﾗﾑを実行するか、\n"
    "または履歴を確認して手動で削除してください。";

bool HasKey(HKEY root, const char* utf8Path) { return winsim::KeyExists(root, Sjis(utf8Path)); }

// What the driver package leaves on a 9x machine, with subtrees and values, and the keys
// around it that must survive. Two of the plan's keys are absent; one is spelled in another
// case than the plan's.
void SeedWin9xInstallation() {
  for (const char* id : {"ZRV0A60", "ZRV0A50", "ZRV0A40", "ZRV0A30", "ZRV50AE"}) {
    winsim::SetStringValue(HKEY_LOCAL_MACHINE, std::string("Enum\\SERENUM\\") + id + "\\0000", "Class", "PEN");
  }
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\PNP0F0C\\0000");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, Sjis("SOFTWARE\\ゾルビク\\Tablet\\表示"), "Mode", "1");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, Sjis("SOFTWARE\\ゾルビク\\Driver"));
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, "software\\TABLET", "OEMDocLocation", "C:\\Tablet");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Zorvik Tablet Driver", "DisplayName", "Tablet");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Other Program");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\PEN\\0000", "DriverDesc",
                         "Pen");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\PEN\\0001");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\Mouse\\0000");
  winsim::SetStringValue(HKEY_CURRENT_USER, "Control Panel\\Zorvik\\Pen", "Pressure", "5");
  winsim::CreateKey(HKEY_CURRENT_USER, "Control Panel\\Desktop");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet", "C:\\WINDOWS\\SYSTEM\\tablet.exe");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, kRunServices, "Other", "other.exe");
}

// The same for an NT machine.
void SeedNtInstallation() {
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, Sjis("SOFTWARE\\ゾルビク\\Tablet\\表示"), "Mode", "1");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Zorvik Tablet Driver", "DisplayName", "Tablet");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Tablet Driver", "DisplayName", "Tablet");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\TabletService\\Enum");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Penclass\\Parameters");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Tcpip");
  winsim::SetStringValue(HKEY_USERS, ".DEFAULT\\Control Panel\\Zorvik\\Pen", "Pressure", "5");
  winsim::CreateKey(HKEY_USERS, ".DEFAULT\\Control Panel\\Desktop");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet", "tablet.exe");
}

const std::vector<std::string> kWin9xRowTexts = {
    "HLM\\Enum\\SERENUM\\ZRV0A60",
    "HLM\\Enum\\SERENUM\\ZRV0A50",
    "HLM\\Enum\\SERENUM\\ZRV0A40",
    "HLM\\Enum\\SERENUM\\ZRV0A42",
    "HLM\\Enum\\SERENUM\\ZRV0A30",
    "HLM\\Enum\\SERENUM\\ZRV50AE",
    "HLM\\SOFTWARE\\ゾルビク",
    "HLM\\SOFTWARE\\Tablet",
    "HLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvik Tablet Driver",
    "HLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablet Driver",
    "HLM\\System\\CurrentControlSet\\Services\\Class\\PEN",
    "HCU\\Control Panel\\Zorvik",
    "HLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices\\Tablet",
};

const std::vector<std::string> kNtRowTexts = {
    "HLM\\SOFTWARE\\ゾルビク",
    "HLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvik Tablet Driver",
    "HLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablet Driver",
    "HLM\\System\\CurrentControlSet\\Services\\TabletService",
    "HLM\\System\\CurrentControlSet\\Services\\Penclass",
    "HU\\.DEFAULT\\Control Panel\\Zorvik",
};

// Row texts joined with their statuses.
std::vector<std::string> Rows(const std::vector<std::string>& texts, const std::vector<std::string>& statuses) {
  std::vector<std::string> rows;
  for (size_t i = 0; i < texts.size(); ++i) rows.push_back(texts[i] + " | " + statuses[i]);
  return rows;
}

TEST_F(MachineTest, The9xPhaseRemovesEachKeyWithItsSubtreeAndThenTheValueInTableOrder) {
  Use(kWin98);
  SeedWin9xInstallation();
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));

  EXPECT_ROWS(Rows(kWin9xRowTexts, {"削除", "削除", "削除", "ｷｰなし", "削除", "削除", "削除", "削除", "削除", "ｷｰなし",
                                    "削除", "削除", "削除"}),
              RegistryRows());
  // The Japanese row is the program's own CP932 text.
  std::vector<winsim::ListRow> raw = winsim::ListRows(ResultListWindow());
  EXPECT_NE(raw.end(), std::find_if(raw.begin(), raw.end(), [](const winsim::ListRow& r) {
              return r.item == "HLM\\SOFTWARE\\\x83\x5D\x83\x8B\x83\x72\x83\x4E";
            }));

  // Everything named is gone; the keys above and beside it stay.
  EXPECT_EQ(
      (std::vector<std::string>{"Enum", "Enum\\SERENUM", "Enum\\SERENUM\\PNP0F0C", "Enum\\SERENUM\\PNP0F0C\\0000"}),
      winsim::KeyTree(HKEY_LOCAL_MACHINE, "Enum"));
  EXPECT_FALSE(HasKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\ゾルビク"));
  EXPECT_FALSE(HasKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tablet"));
  EXPECT_FALSE(winsim::KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Zorvik Tablet Driver"));
  EXPECT_TRUE(winsim::KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "Other Program"));
  EXPECT_FALSE(HasKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\PEN"));
  EXPECT_TRUE(HasKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\Mouse\\0000"));
  EXPECT_EQ((std::vector<std::string>{"Control Panel", "Control Panel\\Desktop"}), winsim::KeyTree(HKEY_CURRENT_USER));
  EXPECT_FALSE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
  EXPECT_TRUE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Other"));
}

TEST_F(MachineTest, TheNtPhaseRemovesItsSixKeysAndLeavesTheValueAlone) {
  Use(kWinXp);
  SeedNtInstallation();
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));

  EXPECT_ROWS(Rows(kNtRowTexts, std::vector<std::string>(NtRegistryPlan.keys.count, "削除")), RegistryRows());
  EXPECT_EQ((std::vector<std::string>{"SOFTWARE", "SOFTWARE\\Microsoft", "SOFTWARE\\Microsoft\\Windows",
                                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices",
                                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}),
            winsim::KeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE"));
  EXPECT_TRUE(HasKey(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Tcpip"));
  EXPECT_EQ((std::vector<std::string>{".DEFAULT", ".DEFAULT\\Control Panel", ".DEFAULT\\Control Panel\\Desktop"}),
            winsim::KeyTree(HKEY_USERS));
  EXPECT_TRUE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
  EXPECT_EQ(0, winsim::CallCount("RegDeleteValueA"));
}

TEST_F(MachineTest, BothPhasesFlushTheMachineAndUserRootsBeforeAndAfterTheirRemovals) {
  for (const Version& v : {kWin98, kWinXp}) {
    SCOPED_TRACE(v.name);
    winsim::Reset();
    ResetRunState();
    Use(v);
    if (v.platform == VER_PLATFORM_WIN32_NT) SeedNtInstallation();
    else SeedWin9xInstallation();
    EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));

    // HKEY_USERS, where the NT plan removes a key, is not flushed.
    EXPECT_EQ((std::vector<HKEY>{HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}),
              winsim::FlushedKeys());
    // Both flushes come before the first deletion and after the last.
    std::vector<size_t> flushes, deletions;
    const std::vector<std::string>& log = winsim::CallLog();
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i] == "RegFlushKey") flushes.push_back(i);
      if (log[i] == "RegDeleteKeyA" || log[i] == "RegDeleteValueA") deletions.push_back(i);
    }
    ASSERT_EQ(4u, flushes.size());
    ASSERT_FALSE(deletions.empty());
    EXPECT_LT(flushes[1], deletions.front());
    EXPECT_GT(flushes[2], deletions.back());
  }
}

TEST_F(MachineTest, FailingFlushesChangeNoRow) {
  Use(kWin98);
  SeedWin9xInstallation();
  winsim::FailEveryCall("RegFlushKey", ERROR_REGISTRY_IO_FAILED);
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));
  EXPECT_ROWS(Rows(kWin9xRowTexts, {"削除", "削除", "削除", "ｷｰなし", "削除", "削除", "削除", "削除", "削除", "ｷｰなし",
                                    "削除", "削除", "削除"}),
              RegistryRows());
  EXPECT_EQ(4, winsim::CallCount("RegFlushKey"));
}

TEST_F(MachineTest, ASecondRunFindsNoKeysAndOnThe9xFamilyNoValue) {
  for (const Version& v : {kWin98, kWinXp}) {
    SCOPED_TRACE(v.name);
    winsim::Reset();
    ResetRunState();
    Use(v);
    const bool nt = v.platform == VER_PLATFORM_WIN32_NT;
    if (nt) SeedNtInstallation();
    else SeedWin9xInstallation();
    EXPECT_EQ(0, RunProgram({Press(IDC_RUN), Press(IDC_RUN), CloseButton()}));

    std::vector<std::string> statuses(nt ? NtRegistryPlan.keys.count : Win9xRegistryPlan.keys.count, "ｷｰなし");
    if (!nt) statuses.push_back("値なし");  // the RunServices key is still there, without the value
    EXPECT_ROWS(Rows(nt ? kNtRowTexts : kWin9xRowTexts, statuses), RegistryRows());
    EXPECT_EQ(2u, winsim::MessageBoxes().size());
  }
}

TEST_F(MachineTest, AValueWhoseKeyIsMissingIsAnErrorRowAndTheSummaryReportsAFailure) {
  Use(kWinMe);  // nothing installed at all
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));
  std::vector<std::string> statuses(Win9xRegistryPlan.keys.count, "ｷｰなし");
  statuses.push_back("ｴﾗｰ");
  EXPECT_ROWS(Rows(kWin9xRowTexts, statuses), RegistryRows());
  EXPECT_TRUE(RunState.errorSeen);
  ASSERT_EQ(1u, winsim::MessageBoxes().size());
  EXPECT_EQ(kPartialFailure, Summary());
  EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), winsim::MessageBoxes().back().style);
}

TEST_F(MachineTest, AKeyThatCannotBeRemovedIsAnErrorRowAndTheRunGoesOn) {
  Use(kWin2000);
  SeedNtInstallation();
  // A key on the first-subkey chain of the first entry refuses to be opened for deletion.
  ASSERT_TRUE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, Sjis("SOFTWARE\\ゾルビク\\Tablet\\表示"), DELETE));
  EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));

  std::vector<std::string> statuses(NtRegistryPlan.keys.count, "削除");
  statuses[0] = "ｴﾗｰ";
  EXPECT_ROWS(Rows(kNtRowTexts, statuses), RegistryRows());
  EXPECT_TRUE(HasKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\ゾルビク\\Tablet\\表示"));
  EXPECT_TRUE(winsim::ValueExists(HKEY_LOCAL_MACHINE, Sjis("SOFTWARE\\ゾルビク\\Tablet\\表示"), "Mode"));
  EXPECT_EQ(kPartialFailure, Summary());
}

TEST_F(MachineTest, EachWindowsVersionRunsTheRegistryPlanOfItsFamily) {
  for (const Version& v : {kWin95, kWin95Osr2, kWin98, kWinMe, kWinNt4, kWin2000, kWinXp}) {
    SCOPED_TRACE(v.name);
    winsim::Reset();
    ResetRunState();
    Use(v);
    EXPECT_EQ(0, RunProgram({Press(IDC_RUN), CloseButton()}));
    std::vector<std::string> rows = RegistryRows();
    const bool nt = v.platform == VER_PLATFORM_WIN32_NT;
    ASSERT_EQ(static_cast<size_t>(nt ? NtRegistryPlan.keys.count
                                     : Win9xRegistryPlan.keys.count + Win9xRegistryPlan.values.count),
              rows.size());
    EXPECT_EQ(std::string(nt ? kNtRowTexts.back() : kWin9xRowTexts.back()),
              rows.back().substr(0, rows.back().find(" | ")));
    EXPECT_EQ("", winsim::LeakReport());
  }
}

}  // namespace
