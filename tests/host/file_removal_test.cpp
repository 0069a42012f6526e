// Deleting one file: every row of the outcome table of DeleteFileStatus and DeleteOrDefer, what
// the attributes and the restart flag become, and what is scheduled, on a machine of each family.
#include <string>

#include "primitives/file_removal.h"
#include "base/os_kind.h"
#include "test_support.h"
#include "winsim_fs.h"

namespace {

const char kFile[] = "C:\\WINDOWS\\SYSTEM32\\tablet.cpl";

class FileRemoval : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    RunState.osKind = OsWinXP;
  }
  void UseWin98() {
    winsim::SetVersion(4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS);
    RunState.osKind = OsWin98;
  }
};

TEST_F(FileRemoval, AReadOnlyHiddenSystemFileGetsNormalAttributesAndIsDeleted) {
  ASSERT_TRUE(winsim::MakeFile(kFile, "x", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  DWORD attributesWhenDeleted = 0;
  winsim::BeforeCall("DeleteFileA", 1, [&] { attributesWhenDeleted = winsim::Attributes(kFile); });

  EXPECT_EQ(StatusDeleted, DeleteFileStatus(kFile));
  EXPECT_FALSE(winsim::Exists(kFile));
  // System and archive went with the protective bits: the whole word became "normal".
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), attributesWhenDeleted);
}

TEST_F(FileRemoval, FilesWithoutProtectiveBitsKeepTheirAttributesUntilDeleted) {
  ASSERT_TRUE(winsim::MakeFile("C:\\a\\system.sys", "x", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(winsim::MakeFile("C:\\a\\plain.dll", "x", FILE_ATTRIBUTE_ARCHIVE));

  EXPECT_EQ(StatusDeleted, DeleteFileStatus("C:\\a\\system.sys"));
  EXPECT_EQ(StatusDeleted, DeleteOrDefer("C:\\a\\plain.dll"));
  EXPECT_EQ(0, winsim::CallCount("SetFileAttributesA"));
  EXPECT_TRUE(winsim::FolderEntries("C:\\a").empty());
}

TEST_F(FileRemoval, AnItemThatIsNotThereIsNoFileAndNothingIsScheduled) {
  ASSERT_TRUE(winsim::MakeFolder("C:\\Program Files"));
  const char* const paths[] = {
      "C:\\Program Files\\missing.dll",         // file absent: 2
      "C:\\Program Files\\Tablet\\driver.dll",  // folder on the way absent: 3
      "tablet.cpl",                             // not a full path: 161
      "C:\\Program Files\\Ztablet",             // a missing folder is a missing file here
  };
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    EXPECT_EQ(StatusNoFile, DeleteFileStatus(path));
    EXPECT_EQ(StatusNoFile, DeleteOrDefer(path));
  }
  EXPECT_EQ(0, winsim::CallCount("MoveFileExA"));
  EXPECT_FALSE(RunState.restartPending);
}

TEST_F(FileRemoval, AFileInUseIsAnErrorNowAndIsDeferredOnTheNtFamily) {
  ASSERT_TRUE(winsim::MakeFile(kFile, "x"));
  int other = winsim::HoldFileOpen(kFile, 0);
  ASSERT_NE(0, other);

  EXPECT_EQ(StatusError, DeleteFileStatus(kFile));
  EXPECT_TRUE(winsim::DelayedMoves().empty()) << "DeleteFileStatus never schedules";
  EXPECT_FALSE(RunState.restartPending);

  EXPECT_EQ(StatusDeleteAtRestart, DeleteOrDefer(kFile));
  EXPECT_TRUE(RunState.restartPending);
  ASSERT_EQ(1u, winsim::DelayedMoves().size());
  EXPECT_EQ(kFile, winsim::DelayedMoves()[0].existing);
  EXPECT_TRUE(winsim::DelayedMoves()[0].deletion);
  EXPECT_EQ(static_cast<DWORD>(MOVEFILE_DELAY_UNTIL_REBOOT), winsim::DelayedMoves()[0].flags);
  EXPECT_TRUE(winsim::Exists(kFile));
  EXPECT_FALSE(winsim::Exists("C:\\WINDOWS\\wininit.ini"));
  winsim::ReleaseFile(other);
}

TEST_F(FileRemoval, AReadOnlyFileInUseLosesItsAttributesButStays) {
  ASSERT_TRUE(winsim::MakeFile(kFile, "x", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  int other = winsim::HoldFileOpen(kFile, FILE_SHARE_READ);

  EXPECT_EQ(StatusDeleteAtRestart, DeleteOrDefer(kFile));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), winsim::Attributes(kFile));
  winsim::ReleaseFile(other);
}

TEST_F(FileRemoval, AnExistingFolderIsHandedToTheRestartDeletion) {
  ASSERT_TRUE(winsim::MakeFolder("C:\\WINDOWS\\SYSTEM32\\Ztablet"));

  EXPECT_EQ(StatusError, DeleteFileStatus("C:\\WINDOWS\\SYSTEM32\\Ztablet"));
  EXPECT_EQ(StatusDeleteAtRestart, DeleteOrDefer("C:\\WINDOWS\\SYSTEM32\\Ztablet"));
  ASSERT_EQ(1u, winsim::DelayedMoves().size());
  EXPECT_EQ("C:\\WINDOWS\\SYSTEM32\\Ztablet", winsim::DelayedMoves()[0].existing);
}

TEST_F(FileRemoval, AttributesThatCannotBeReadOrResetStopTheDeletion) {
  ASSERT_TRUE(winsim::MakeFile("C:\\a\\unreadable.dll", "x"));
  ASSERT_TRUE(winsim::DenyAccess("C:\\a\\unreadable.dll", winsim::DenyReadAttributes));
  ASSERT_TRUE(winsim::MakeFile("C:\\a\\locked.dll", "x", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(winsim::DenyAccess("C:\\a\\locked.dll", winsim::DenySetAttributes));

  EXPECT_EQ(StatusError, DeleteFileStatus("C:\\a\\unreadable.dll"));
  EXPECT_EQ(StatusError, DeleteFileStatus("C:\\a\\locked.dll"));
  EXPECT_EQ(0, winsim::CallCount("DeleteFileA"));
  // Both are deferred by DeleteOrDefer like any other failure.
  EXPECT_EQ(StatusDeleteAtRestart, DeleteOrDefer("C:\\a\\unreadable.dll"));
  EXPECT_EQ(StatusDeleteAtRestart, DeleteOrDefer("C:\\a\\locked.dll"));
  EXPECT_EQ(2u, winsim::DelayedMoves().size());
}

TEST_F(FileRemoval, OnlyTheThreeNotThereCodesLetAFailedAttributeStepGoOn) {
  ASSERT_TRUE(winsim::MakeFile(kFile, "x"));
  // A not-there code from the attribute read does not stop the attempt, which then succeeds.
  winsim::FailCall("GetFileAttributesA", 1, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(StatusDeleted, DeleteFileStatus(kFile));

  ASSERT_TRUE(winsim::MakeFile(kFile, "x", FILE_ATTRIBUTE_READONLY));
  winsim::FailCall("SetFileAttributesA", 1, ERROR_BAD_PATHNAME);
  EXPECT_EQ(StatusError, DeleteFileStatus(kFile)) << "the read-only file refuses DeleteFileA (5)";

  // Codes 0 and 1 are failures like any other.
  for (DWORD code : {static_cast<DWORD>(0), static_cast<DWORD>(ERROR_INVALID_FUNCTION)}) {
    winsim::FailCall("GetFileAttributesA", 1, code);
    int deletesBefore = winsim::CallCount("DeleteFileA");
    EXPECT_EQ(StatusError, DeleteFileStatus(kFile)) << code;
    EXPECT_EQ(deletesBefore, winsim::CallCount("DeleteFileA")) << code;
  }
}

TEST_F(FileRemoval, ADeleteThatFailsWithANotThereCodeIsNoFile) {
  ASSERT_TRUE(winsim::MakeFile(kFile, "x"));
  winsim::FailCall("DeleteFileA", 1, ERROR_BAD_PATHNAME);
  EXPECT_EQ(StatusNoFile, DeleteOrDefer(kFile));
  winsim::FailCall("DeleteFileA", 1, ERROR_ACCESS_DENIED);
  EXPECT_EQ(StatusError, DeleteFileStatus(kFile));
}

TEST_F(FileRemoval, AFailedDeferralIsAnErrorAndLeavesTheFlagAlone) {
  ASSERT_TRUE(winsim::MakeFile(kFile, "x"));
  int other = winsim::HoldFileOpen(kFile, 0);
  winsim::FailCall("MoveFileExA", 1, ERROR_ACCESS_DENIED);

  EXPECT_EQ(StatusError, DeleteOrDefer(kFile));
  EXPECT_FALSE(RunState.restartPending);
  EXPECT_FALSE(winsim::Exists("C:\\WINDOWS\\wininit.ini")) << "the NT family never reads the rename file";
  winsim::ReleaseFile(other);
}

TEST_F(FileRemoval, TheRestartFlagOnceRaisedStaysRaised) {
  ASSERT_TRUE(winsim::MakeFile(kFile, "x"));
  int other = winsim::HoldFileOpen(kFile, 0);
  ASSERT_EQ(StatusDeleteAtRestart, DeleteOrDefer(kFile));
  winsim::ReleaseFile(other);

  EXPECT_EQ(StatusDeleted, DeleteOrDefer(kFile));
  EXPECT_EQ(StatusNoFile, DeleteOrDefer(kFile));
  EXPECT_TRUE(RunState.restartPending);
}

TEST_F(FileRemoval, OnThe9xFamilyAFileInUseGoesIntoTheRenameFileByItsShortName) {
  UseWin98();
  const std::string path = "C:\\Program Files\\Tablet Driver\\TabletService.exe";
  ASSERT_TRUE(winsim::MakeFile(path, "x"));
  int other = winsim::HoldFileOpen(path, 0);

  EXPECT_EQ(StatusDeleteAtRestart, DeleteOrDefer(path.c_str()));
  EXPECT_TRUE(RunState.restartPending);
  EXPECT_TRUE(winsim::DelayedMoves().empty());
  EXPECT_EQ("[rename]\r\nNUL=C:\\PROGRA~1\\TABLET~1\\TABLET~1.EXE\r\n", winsim::FileBytes("C:\\WINDOWS\\wininit.ini"));
  winsim::ReleaseFile(other);
}

// A folder cannot go into the rename file, nor to a delayed-move service that refuses: it is
// removed at once when empty, and stays with what it holds otherwise.
TEST_F(FileRemoval, AFolderThatCannotBeDeferredGoesNowOnlyWhenEmpty) {
  const char kFolder[] = "C:\\WINDOWS\\SYSTEM\\Ztablet";
  const char kInside[] = "C:\\WINDOWS\\SYSTEM\\Ztablet\\keep.txt";
  for (bool nt : {false, true}) {
    SCOPED_TRACE(nt ? "NT, delayed moves refused" : "Windows 98");
    winsim::Reset();
    ResetRunState();
    RunState.osKind = OsWinXP;
    if (nt) {
      winsim::FailEveryCall("MoveFileExA", ERROR_ACCESS_DENIED);
    } else {
      UseWin98();
    }
    ASSERT_TRUE(winsim::MakeFile(kInside, "x"));
    EXPECT_EQ(StatusError, DeleteOrDefer(kFolder));
    EXPECT_EQ("x", winsim::FileBytes(kInside));

    ASSERT_TRUE(DeleteFileA(kInside));
    EXPECT_EQ(StatusDeleted, DeleteOrDefer(kFolder));
    EXPECT_FALSE(winsim::Exists(kFolder));
    EXPECT_EQ(StatusNoFile, DeleteOrDefer(kFolder));
    EXPECT_FALSE(RunState.restartPending);
    EXPECT_FALSE(winsim::Exists("C:\\WINDOWS\\wininit.ini"));
  }
}

}  // namespace
