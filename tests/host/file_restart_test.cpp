// Deletion at restart: the rename file byte for byte before and after (its headings, their
// variants and order, odd endings, zero bytes), its failure table, and ScheduleDeleteAtRestart
// on each family with the mended faults: no rename file on the NT family, 8.3 paths, no folders,
// no broken or injected lines, sizes and Windows folders that do not fit.
#include <string>

#include "primitives/rename_file.h"
#include "primitives/restart_delete.h"
#include "base/os_kind.h"
#include "test_support.h"
#include "winsim_fs.h"

namespace {

using std::string;

const char kIni[] = "C:\\WINDOWS\\wininit.ini";
const string kLine = "NUL=C:\\WINDOWS\\SYSTEM\\TABLET.DLL\r\n";
const string kSecond = "NUL=C:\\WINDOWS\\SYSTEM\\PEN.DRV\r\n";

class RenameFile : public MachineTest {
 protected:
  BOOL Add(const string& line, const char* file = kIni) {
    return AddRenameLine(file, line.data(), static_cast<DWORD>(line.size()));
  }
  // The file holding `before`, then `line` added: what it holds afterwards.
  string After(const string& before, const string& line = kLine) {
    winsim::Remove(kIni);
    EXPECT_TRUE(winsim::MakeFile(kIni, before));
    EXPECT_TRUE(Add(line));
    return winsim::FileBytes(kIni);
  }
};

TEST_F(RenameFile, IsMadeWithItsSectionWhenThereIsNone) {
  EXPECT_TRUE(Add(kLine));
  EXPECT_EQ("[rename]\r\n" + kLine, winsim::FileBytes(kIni));
  EXPECT_EQ("[rename]\r\n" + kLine, After(""));
  EXPECT_EQ("[boot]\r\nshell=x\r\n[rename]\r\n" + kLine, After("[boot]\r\nshell=x\r\n"));
}

TEST_F(RenameFile, NewLinesGoDirectlyBelowTheHeadingNewestFirst) {
  EXPECT_EQ("[a]\r\n[rename]\r\n" + kLine + "NUL=C:\\OLD.TXT\r\n[b]\r\n",
            After("[a]\r\n[rename]\r\nNUL=C:\\OLD.TXT\r\n[b]\r\n"));
  ASSERT_TRUE(Add(kSecond));
  EXPECT_EQ("[a]\r\n[rename]\r\n" + kSecond + kLine + "NUL=C:\\OLD.TXT\r\n[b]\r\n", winsim::FileBytes(kIni));
}

TEST_F(RenameFile, TheOrderOfTheVariantsDecidesBeforeTheirPosition) {
  EXPECT_EQ("[Rename]\r\nx\r\n[rename]\r\n" + kLine + "y\r\n", After("[Rename]\r\nx\r\n[rename]\r\ny\r\n"));
  EXPECT_EQ("[RENAME]\r\nx\r\n[Rename]\r\n" + kLine + "y\r\n", After("[RENAME]\r\nx\r\n[Rename]\r\ny\r\n"));
  EXPECT_EQ("[RENAME]\r\n" + kLine + "y\r\n", After("[RENAME]\r\ny\r\n"));
}

TEST_F(RenameFile, OnlyTheThreeExactHeadingsAreRecognised) {
  const string notHeadings[] = {
      "[rename]\n",     // line feed alone
      "[rename] \r\n",  // blank before the line end
      "[ReName]\r\n",   // another mix of letters
      "[rename]",       // no line end at the end of the file
  };
  for (const string& before : notHeadings) {
    SCOPED_TRACE(before);
    EXPECT_EQ(before + "[rename]\r\n" + kLine, After(before));
  }
}

TEST_F(RenameFile, ALastLineWithoutLineEndHasTheHeadingGluedToIt) {
  EXPECT_EQ("[boot]\r\nshell=x[rename]\r\n" + kLine, After("[boot]\r\nshell=x"));
}

TEST_F(RenameFile, AHeadingAtTheEndOfALongerLineCounts) {
  EXPECT_EQ(";old[rename]\r\n" + kLine + "NUL=C:\\A.TXT\r\n", After(";old[rename]\r\nNUL=C:\\A.TXT\r\n"));
}

TEST_F(RenameFile, TheTextEndsAtTheFirstZeroByte) {
  const string hiddenHeading("x\r\n\0[rename]\r\ny\r\n", 17);
  EXPECT_EQ(hiddenHeading + "[rename]\r\n" + kLine, After(hiddenHeading));
  // A heading before the zero byte is found, and everything after it moves up unchanged.
  const string zeroAfter("[rename]\r\nold\r\n\0tail", 20);
  EXPECT_EQ("[rename]\r\n" + kLine + string("old\r\n\0tail", 10), After(zeroAfter));
}

// A heading that ends at the file's last byte counts; one cut short by the end of the file does
// not, and a zero byte ends the text wherever it stands.
TEST_F(RenameFile, HeadingsCountOnlyWholeAndBeforeAZeroByte) {
  const string heading = "[rename]\r\n";
  const string zero(1, '\0');
  EXPECT_EQ("x" + heading + kLine, After("x" + heading));
  EXPECT_EQ("x" + zero + heading + heading + kLine, After("x" + zero + heading));
  EXPECT_EQ("x" + heading + kLine + zero + "y", After("x" + heading + zero + "y"));
  for (size_t cut = 1; cut < heading.size(); ++cut) {
    const string part = "x" + heading.substr(0, cut);
    EXPECT_EQ(part + heading + kLine, After(part));
  }
  EXPECT_EQ("[boot]\r\n[RENAME]\r\n" + kLine + "[x]", After("[boot]\r\n[RENAME]\r\n[x]"));
}

TEST_F(RenameFile, BytesOfTheCodePageAreCarriedOverAndWrittenAsTheyAre) {
  const string before = winsim::Sjis("; ソフト表示\r\n[rename]\r\n");
  const string line = winsim::Sjis("NUL=C:\\ソフト\\表.DLL\r\n");
  EXPECT_EQ(before + line, After(before, line));
}

TEST_F(RenameFile, AFileThatCannotBeOpenedIsLeftAlone) {
  ASSERT_TRUE(winsim::MakeFile(kIni, "[rename]\r\n"));
  int other = winsim::HoldFileOpen(kIni, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_FALSE(Add(kLine)) << "the file is opened without sharing";
  winsim::ReleaseFile(other);

  ASSERT_TRUE(winsim::MakeFile("C:\\WINDOWS\\ro.ini", "[rename]\r\n", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(Add(kLine, "C:\\WINDOWS\\ro.ini"));
  EXPECT_EQ("[rename]\r\n", winsim::FileBytes(kIni));
  EXPECT_EQ("[rename]\r\n", winsim::FileBytes("C:\\WINDOWS\\ro.ini"));
}

TEST_F(RenameFile, AFailedMappingOrViewLeavesTheOldLengthAndBytes) {
  const string before = "[boot]\r\n[rename]\r\nNUL=C:\\A.TXT\r\n";
  for (const char* api : {"CreateFileMappingA", "MapViewOfFile"}) {
    SCOPED_TRACE(api);
    winsim::Remove(kIni);
    ASSERT_TRUE(winsim::MakeFile(kIni, before));
    winsim::FailCall(api, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(Add(kLine));
    EXPECT_EQ(before, winsim::FileBytes(kIni)) << "the zero bytes the mapping added are cut off again";

    winsim::Remove(kIni);
    winsim::FailCall(api, 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(Add(kLine));
    EXPECT_TRUE(winsim::Exists(kIni)) << "a file that did not exist remains";
    EXPECT_EQ(0u, winsim::FileLength(kIni));
  }
}

TEST_F(RenameFile, ASizeThatCannotBeReadOrAddedToLeavesTheFileUnchanged) {
  ASSERT_TRUE(winsim::MakeFile(kIni, "[rename]\r\n"));
  winsim::FailCall("GetFileSize", 1, ERROR_INVALID_HANDLE);
  EXPECT_FALSE(Add(kLine));
  EXPECT_EQ("[rename]\r\n", winsim::FileBytes(kIni));

  // Lengths for which length + line + heading would not fit in 32 bits, and one past 4 GiB.
  const uint64_t lengths[] = {0xFFFFFFFFull - kLine.size() - 9, 0xFFFFFFFFull, 0x100000005ull};
  for (uint64_t length : lengths) {
    SCOPED_TRACE(length);
    ASSERT_TRUE(winsim::SetFileLength(kIni, length));
    int mappingsBefore = winsim::CallCount("CreateFileMappingA");
    EXPECT_FALSE(Add(kLine));
    EXPECT_EQ(length, winsim::FileLength(kIni));
    EXPECT_EQ(mappingsBefore, winsim::CallCount("CreateFileMappingA"));
  }
}

TEST_F(RenameFile, AFileThatCannotBeCutToItsNewLengthIsNotASuccess) {
  ASSERT_TRUE(winsim::MakeFile(kIni, "[rename]\r\n"));
  winsim::FailCall("SetEndOfFile", 1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Add(kLine));
}

TEST_F(RenameFile, EveryHandleIsReleasedOnEveryPath) {
  const char* const failing[] = {"CreateFileA",   "GetFileSize",    "CreateFileMappingA",
                                 "MapViewOfFile", "SetFilePointer", "SetEndOfFile"};
  for (const char* api : failing) {
    SCOPED_TRACE(api);
    winsim::Remove(kIni);
    ASSERT_TRUE(winsim::MakeFile(kIni, "[rename]\r\nNUL=C:\\OLD.TXT\r\n"));
    const int callsBefore = winsim::CallCount(api);
    winsim::FailCall(api, 1, ERROR_ACCESS_DENIED);
    Add(kLine);
    EXPECT_LT(callsBefore, winsim::CallCount(api)) << "the edit reaches the failing call";
    EXPECT_EQ("", winsim::LeakReport());
  }
  EXPECT_TRUE(Add(kLine));
}

// ---- ScheduleDeleteAtRestart ----

class RestartDeletion : public MachineTest {
 protected:
  void UseWin9x(int kind = OsWin98) {
    winsim::SetVersion(4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS);
    RunState.osKind = kind;
  }
};

TEST_F(RestartDeletion, OnTheNtFamilyTheSystemTakesTheRequestAndTheRenameFileIsNotTouched) {
  RunState.osKind = OsWin2000;
  ASSERT_TRUE(winsim::MakeFile("C:\\WINDOWS\\SYSTEM32\\tablet.dll"));
  EXPECT_TRUE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM32\\tablet.dll", nullptr));
  EXPECT_TRUE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM32\\tablet.dll", "C:\\WINDOWS\\old.dll"));
  ASSERT_EQ(2u, winsim::DelayedMoves().size());
  EXPECT_TRUE(winsim::DelayedMoves()[0].deletion);
  EXPECT_EQ("C:\\WINDOWS\\old.dll", winsim::DelayedMoves()[1].newName);
  EXPECT_FALSE(winsim::Exists(kIni));
}

TEST_F(RestartDeletion, OnTheNtFamilyOrAnUnknownWindowsAFailedRequestWritesNothing) {
  ASSERT_TRUE(winsim::MakeFile("C:\\WINDOWS\\SYSTEM32\\tablet.dll"));
  for (int kind : {static_cast<int>(OsWinNT4), static_cast<int>(OsWinXP), static_cast<int>(OsUnknown)}) {
    RunState.osKind = kind;
    winsim::FailCall("MoveFileExA", 1, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM32\\tablet.dll", nullptr)) << kind;
  }
  EXPECT_FALSE(winsim::Exists(kIni));
  EXPECT_EQ(0, winsim::CallCount("CreateFileA"));
}

TEST_F(RestartDeletion, OnThe9xFamilyTheRenameFileGetsTheShortFormNewestFirst) {
  UseWin9x(OsWin95);
  ASSERT_TRUE(winsim::MakeFile("C:\\Program Files\\Tablet\\Pen Tablet.dll"));
  ASSERT_TRUE(winsim::MakeFile("C:\\WINDOWS\\SYSTEM\\wintab32.dll"));

  EXPECT_TRUE(ScheduleDeleteAtRestart("C:\\Program Files\\Tablet\\Pen Tablet.dll", nullptr));
  EXPECT_TRUE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\wintab32.dll", nullptr));
  EXPECT_EQ("[rename]\r\nNUL=C:\\WINDOWS\\SYSTEM\\wintab32.dll\r\nNUL=C:\\PROGRA~1\\Tablet\\PENTAB~1.DLL\r\n",
            winsim::FileBytes(kIni));
  EXPECT_TRUE(winsim::DelayedMoves().empty());
  EXPECT_EQ(2, winsim::CallCount("MoveFileExA")) << "the system is asked first every time";
}

TEST_F(RestartDeletion, ANewNameIsWrittenInItsShortFormBeforeTheEqualsSign) {
  UseWin9x();
  ASSERT_TRUE(winsim::MakeFile("C:\\WINDOWS\\SYSTEM\\new.dll"));
  ASSERT_TRUE(winsim::MakeFolder("C:\\Program Files\\Tablet"));
  EXPECT_TRUE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\new.dll", "C:\\Program Files\\Tablet\\old.dll"));
  EXPECT_TRUE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\new.dll", "C:\\root.dll"));
  EXPECT_EQ(
      "[rename]\r\nC:\\root.dll=C:\\WINDOWS\\SYSTEM\\new.dll\r\n"
      "C:\\PROGRA~1\\Tablet\\old.dll=C:\\WINDOWS\\SYSTEM\\new.dll\r\n",
      winsim::FileBytes(kIni));
  // A new long name that does not exist has no short form, nor has a name in a missing folder.
  const string before = winsim::FileBytes(kIni);
  EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\new.dll", "C:\\Program Files\\Tablet\\old driver.dll"));
  EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\new.dll", "C:\\Missing\\old.dll"));
  EXPECT_EQ(before, winsim::FileBytes(kIni));
}

TEST_F(RestartDeletion, OnThe9xFamilyNothingIsWrittenThatWininitCouldNotCarryOut) {
  UseWin9x(OsWinMe);
  ASSERT_TRUE(winsim::MakeFolder("C:\\WINDOWS\\SYSTEM\\Ztablet"));
  ASSERT_TRUE(winsim::MakeFile("C:\\WINDOWS\\SYSTEM\\tablet.dll"));
  const string longPath = "C:\\" + string(1020, 'a');

  EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\Ztablet", nullptr)) << "a folder";
  EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\missing.dll", nullptr)) << "no short form";
  EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\tablet.dll\r\n[boot]", nullptr)) << "a line injected";
  EXPECT_FALSE(ScheduleDeleteAtRestart(longPath.c_str(), nullptr)) << "a line the formatter would cut";
  winsim::FailCall("GetShortPathNameA", 1, ERROR_ACCESS_DENIED);
  EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\WINDOWS\\SYSTEM\\tablet.dll", nullptr)) << "short form refused";
  EXPECT_FALSE(winsim::Exists(kIni));
}

TEST_F(RestartDeletion, AWindowsFolderThatCannotBeReadOrLeavesNoRoomWritesNothing) {
  UseWin9x();
  ASSERT_TRUE(winsim::MakeFile("C:\\tablet.dll"));
  winsim::FailCall("GetWindowsDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\tablet.dll", nullptr));

  // 247 characters leave exactly the 13 bytes "\wininit.ini" and its terminator need; 248 do not.
  const string fits = "C:\\" + string(244, 'w');
  const string tooLong = "C:\\" + string(245, 'w');
  const string pastBuffer = "C:\\" + string(400, 'w');
  ASSERT_TRUE(winsim::MakeFolder(tooLong));
  for (const string& windows : {tooLong, pastBuffer}) {
    winsim::SetWindowsDirectory(windows);
    EXPECT_FALSE(ScheduleDeleteAtRestart("C:\\tablet.dll", nullptr)) << windows.size();
  }
  EXPECT_TRUE(winsim::FolderEntries(tooLong).empty());

  ASSERT_TRUE(winsim::MakeFolder(fits));
  winsim::SetWindowsDirectory(fits);
  EXPECT_TRUE(ScheduleDeleteAtRestart("C:\\tablet.dll", nullptr));
  EXPECT_EQ("[rename]\r\nNUL=C:\\tablet.dll\r\n", winsim::FileBytes(fits + "\\wininit.ini"));
}

TEST_F(RestartDeletion, AWindowsFolderAtADriveRootGetsNoSecondBackslash) {
  UseWin9x();
  ASSERT_TRUE(winsim::MakeFile("C:\\tablet.dll"));
  winsim::SetWindowsDirectory("C:\\");
  EXPECT_TRUE(ScheduleDeleteAtRestart("C:\\tablet.dll", nullptr));
  EXPECT_TRUE(winsim::Exists("C:\\wininit.ini"));
}

}  // namespace
