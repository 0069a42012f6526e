// The oracle's own tests: a check that cannot fail proves nothing, so each one is shown to fail
// when the thing it guards goes wrong. A full run is made, then what it left on the machine or
// what it recorded is spoilt the way a faulty program would spoil it, and the oracle must say so.
#include <gtest/gtest.h>

#include <functional>

#include "harness.h"
#include "base/os_kind.h"
#include "winsim.h"
#include "winsim_fs.h"
#include "winsim_registry.h"

namespace safety {
namespace {

std::vector<std::string> JudgeSpoilt(int osKind, const std::function<void(RunRecord&)>& spoil) {
  Prepared p = Prepare(GenerateFull(osKind));
  RunRecord run = RunTheProgram(nullptr);
  spoil(run);
  return Judge(p, run, nullptr, nullptr, nullptr);
}

::testing::AssertionResult Mentions(const std::vector<std::string>& problems, const std::string& text) {
  for (const std::string& p : problems) {
    if (p.find(text) != std::string::npos) return ::testing::AssertionSuccess();
  }
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "no problem mentions \"" << text << "\"; the oracle said:";
  for (const std::string& p : problems) failure << "\n  " << p;
  return failure;
}

void AppendToFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
  SetFilePointer(file, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

size_t RowOf(const RunRecord& run, const std::string& item) {
  for (size_t i = 0; i < run.rows.size(); ++i) {
    if (run.rows[i].item == item) return i;
  }
  ADD_FAILURE() << "no row " << item;
  return 0;
}

TEST(OracleCatches, NothingOnAFullRunOfEveryVersion) {
  for (int kind : {OsWinNT4, OsWin2000, OsWinXP, OsWin95, OsWin95Osr2, OsWin98, OsWinMe}) {
    EXPECT_EQ(std::vector<std::string>{}, JudgeSpoilt(kind, [](RunRecord&) {})) << "OsKind " << kind;
  }
}

TEST(OracleCatches, AnythingRemovedOrChangedBesideThePlan) {
  // A canary in the Windows folder, a file of the folder a Start-menu link points to.
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP, [](RunRecord&) { winsim::Remove("C:\\WINDOWS\\win.ini"); }),
                       "removed outside the plan: C:\\WINDOWS\\win.ini"));
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWin98, [](RunRecord&) { winsim::Remove("C:\\Canary\\T1\\sub"); }),
                       "removed outside the plan: C:\\Canary\\T1\\sub"));
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP, [](RunRecord&) { AppendToFile("C:\\Read Me.txt", "x"); }),
                       "bytes changed: C:\\Read Me.txt"));
  EXPECT_TRUE(
      Mentions(JudgeSpoilt(OsWinXP, [](RunRecord&) { SetFileAttributesA("C:\\Read Me.txt", FILE_ATTRIBUTE_HIDDEN); }),
               "attributes changed outside the plan"));
  EXPECT_TRUE(
      Mentions(JudgeSpoilt(OsWinXP, [](RunRecord&) { winsim::MakeFile("C:\\new.txt"); }), "appeared: C:\\new.txt"));
}

// Removals of what is never the package's are found from the machine alone: even when the rows'
// outcome allows the removal (as an oracle that took the program's rule for the install folder
// would), a file in the Windows folder, a folder the shell names and another program's file are
// flagged as such.
TEST(OracleCatches, ARemovalOfWhatIsNotThePackagesWhateverTheRowsAllow) {
  const std::vector<std::string> removed = {"C:\\WINDOWS\\win.ini", "C:\\Documents and Settings\\User\\Desktop",
                                            "C:\\Program Files\\Zorvik Tablet 2\\Read Me.txt"};
  const std::vector<std::string> reasons = {"directly in a folder the system names", "a folder the system names",
                                            "in another program's folder"};
  for (size_t i = 0; i < removed.size(); ++i) {
    Prepared p = Prepare(GenerateFull(OsWinXP));
    ASSERT_TRUE(p.before.Has(p.before.Resolve(removed[i]))) << removed[i];
    // Every outcome now takes the item for the install folder's "Read Me.txt".
    for (Outcome& o : p.expectation.outcomes) {
      for (ExpectedRow& r : o.rows) {
        if (r.fromInstallFolder && r.kind == RowKind::FileDefer && r.text.find("Read Me.txt") != std::string::npos) {
          r.id = p.before.Resolve(removed[i]);
        }
      }
    }
    RunRecord run = RunTheProgram(nullptr);
    winsim::Remove(removed[i]);
    const std::vector<std::string> problems = Judge(p, run, nullptr, nullptr, nullptr);
    EXPECT_FALSE(Mentions(problems, "removed outside the plan: " + removed[i])) << removed[i];
    EXPECT_TRUE(Mentions(problems, "removed what is not the package's (" + reasons[i])) << removed[i];
  }
}

TEST(OracleCatches, KeysAndValuesRemovedBesideThePlan) {
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWin95, [](RunRecord&) { RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tablet2"); }),
                       "key removed outside the plan: HKLM\\SOFTWARE\\TABLET2"));
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP,
                                   [](RunRecord&) {
                                     HKEY key;
                                     RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", 0,
                                                   KEY_ALL_ACCESS, &key);
                                     RegDeleteValueA(key, "Other");
                                     RegCloseKey(key);
                                   }),
                       "value removed outside the plan"));
}

TEST(OracleCatches, AHandleLeftOpen) {
  EXPECT_TRUE(
      Mentions(JudgeSpoilt(OsWinXP, [](RunRecord& run) { run.leaks = "1 search(s) still open\n"; }), "left open"));
}

TEST(OracleCatches, ARenameFileSpoiltOrAnUnexplainedLine) {
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWin98, [](RunRecord&) { AppendToFile("C:\\WINDOWS\\wininit.ini", "garbage"); }),
                       "the rename file gained something other than whole deletion lines"));
  EXPECT_TRUE(
      Mentions(JudgeSpoilt(OsWin98, [](RunRecord&) { AppendToFile("C:\\WINDOWS\\wininit.ini", std::string(3, '\0')); }),
               "the rename file gained something other than whole deletion lines"));
  // A whole line, but no row says its file waits for the restart.
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWin98,
                                   [](RunRecord& run) {
                                     for (winsim::ListRow& row : run.rows) {
                                       if (row.status == winsim::Sjis("ﾘﾌﾞｰﾄ時削除")) row.status = winsim::Sjis("ｴﾗｰ");
                                     }
                                   }),
                       "a rename-file line without its row"));
}

TEST(OracleCatches, AStatusThatDoesNotMatchWhatHappened) {
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP,
                                   [](RunRecord& run) {
                                     run.rows[RowOf(run, "C:\\WINDOWS\\SYSTEM32\\hookdll.dll")].status =
                                         winsim::Sjis("ﾌｧｲﾙなし");
                                   }),
                       "claims the file was not there"));
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP,
                                   [](RunRecord& run) {
                                     run.rows[RowOf(run, "C:\\WINDOWS\\SYSTEM32\\tablet.cpl")].status =
                                         winsim::Sjis("削除");
                                   }),
                       "claims a deletion that did not happen"));
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP,
                                   [](RunRecord& run) {
                                     run.rows[RowOf(run, "HLM\\System\\CurrentControlSet\\Services\\Penclass")].status =
                                         winsim::Sjis("ｷｰなし");
                                   }),
                       "claims the key was not there"));
  // A deferral the system took, shown as an error.
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP,
                                   [](RunRecord& run) {
                                     run.rows[RowOf(run, "C:\\WINDOWS\\SYSTEM32\\tablet.cpl")].status =
                                         winsim::Sjis("ｴﾗｰ");
                                   }),
                       "a deletion at restart without its row"));
}

TEST(OracleCatches, ARowMissingOrTooMany) {
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP, [](RunRecord& run) { run.rows.erase(run.rows.begin() + 3); }),
                       "the rows match no outcome"));
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWin95, [](RunRecord& run) { run.rows.insert(run.rows.begin() + 5, run.rows[5]); }),
                       "the rows match no outcome"));
}

TEST(OracleCatches, ASummaryThatClaimsSuccess) {
  // The full XP run puts a file in use off until restart: "done" alone is not the truth.
  EXPECT_TRUE(Mentions(
      JudgeSpoilt(OsWinXP,
                  [](RunRecord& run) { run.boxes[0].text = winsim::Sjis("ﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのｱﾝｲﾝｽﾄｰﾙは完了しました。"); }),
      "the summary says"));
  // After an error row nothing but the partial-failure text will do.
  EXPECT_TRUE(Mentions(JudgeSpoilt(OsWinXP,
                                   [](RunRecord& run) {
                                     run.rows[RowOf(run, "C:\\WINDOWS\\SYSTEM32\\hookdll.dll")].status =
                                         winsim::Sjis("ｴﾗｰ");
                                   }),
                       "after an error row"));
  EXPECT_TRUE(
      Mentions(JudgeSpoilt(OsWinXP, [](RunRecord& run) { run.boxes.clear(); }), "message boxes instead of one"));
}

}  // namespace
}  // namespace safety
