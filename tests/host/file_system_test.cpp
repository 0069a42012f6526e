// The stand-in's file system where no real machine at hand can be asked (tests/win32 holds the
// cases that run against Wine as well): links, names the code page cannot show, code page 932
// names, the 9x family's missing delayed move, system folders, mappings and handle misuse.
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"
#include "winsim_fs.h"

namespace {

using std::string;
using Entries = std::vector<string>;

class StandInFiles : public MachineTest {
 protected:
  static Entries List(const string& pattern) {
    Entries names;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      names.push_back(string(data.cFileName) +
                      (data.cAlternateFileName[0] ? "|" + string(data.cAlternateFileName) : ""));
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return names;
  }
};

TEST_F(StandInFiles, ADirectoryLinkShowsItsTargetButGoesAlone) {
  ASSERT_TRUE(winsim::MakeFile("C:\\Data\\keep.doc", "k"));
  ASSERT_TRUE(winsim::MakeFolder("C:\\Links"));
  ASSERT_TRUE(winsim::MakeDirectoryLink("C:\\Links\\Docs", "C:\\Data"));

  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
            GetFileAttributesA("C:\\Links\\Docs"));
  EXPECT_EQ((Entries{".", "..", "keep.doc"}), List("C:\\Links\\Docs\\*"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("C:\\Links\\Docs\\keep.doc"));
  EXPECT_FALSE(PathIsDirectoryEmptyA("C:\\Links\\Docs"));

  EXPECT_FALSE(DeleteFileA("C:\\Links\\Docs"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(RemoveDirectoryA("C:\\Links\\Docs")) << "a link goes although its target is not empty";
  EXPECT_EQ("k", winsim::FileBytes("C:\\Data\\keep.doc"));
}

TEST_F(StandInFiles, ANameTheCodePageCannotShowIsReachedOnlyByItsShortName) {
  ASSERT_TRUE(winsim::MakeFolder("C:\\Fonts"));
  ASSERT_TRUE(winsim::MakeUnrepresentableEntry("C:\\Fonts", "?.ttf", "0E3F~1.TTF", false));

  EXPECT_EQ((Entries{".", "..", "?.ttf|0E3F~1.TTF"}), List("C:\\Fonts\\*"));
  EXPECT_FALSE(DeleteFileA("C:\\Fonts\\?.ttf"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
  char shortPath[MAX_PATH];
  EXPECT_EQ(19u, GetShortPathNameA("C:\\Fonts\\0e3f~1.ttf", shortPath, MAX_PATH));
  EXPECT_STREQ("C:\\Fonts\\0E3F~1.TTF", shortPath);
  EXPECT_TRUE(DeleteFileA("C:\\Fonts\\0E3F~1.TTF"));
}

TEST_F(StandInFiles, DoubleByteNamesKeepTheirTrailBytes) {
  const string so = winsim::Sjis("C:\\ソフト");  // "ソ" is 83 5C: the trail byte is no backslash
  ASSERT_TRUE(CreateDirectoryA(so.c_str(), nullptr));
  ASSERT_TRUE(winsim::MakeFile(winsim::Sjis("C:\\ソフト\\ア.txt"), "a"));  // "ア" is 83 41
  EXPECT_EQ(Entries{winsim::Sjis("ア.txt")}, winsim::FolderEntries(so));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(winsim::Sjis("C:\\ソフト\\ア.TXT").c_str()));
  // "ャ" is 83 61: folding its trail byte would make it "ア".
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(winsim::Sjis("C:\\ソフト\\ャ.txt").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(StandInFiles, LongNamesGetUniqueShortNames) {
  ASSERT_TRUE(winsim::MakeFolder("C:\\P"));
  for (const char* name : {"Tablet Driver.dll", "Tablet Drawing.dll", "tablet.dll"}) {
    HANDLE f = CreateFileA((string("C:\\P\\") + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    CloseHandle(f);
  }
  EXPECT_EQ((Entries{".", "..", "Tablet Driver.dll|TABLET~1.DLL", "Tablet Drawing.dll|TABLET~2.DLL", "tablet.dll"}),
            List("C:\\P\\*"));
  EXPECT_EQ((Entries{"Tablet Driver.dll|TABLET~1.DLL"}), List("C:\\P\\tablet~1.dll"));
}

TEST_F(StandInFiles, PathsAreReadAsWin32ReadsThem) {
  ASSERT_TRUE(winsim::MakeFile("C:\\a\\b.txt"));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("c:/A/x/../B.TXT. "));
  struct Case {
    string path;
    DWORD error;
  };
  const Case cases[] = {
      {"b.txt", ERROR_BAD_PATHNAME},              // no current folder in the stand-in
      {"C:\\a\\b.txt\\", ERROR_INVALID_NAME},     // a file named as a folder
      {"C:\\a\\*.txt", ERROR_INVALID_NAME},       // wildcards outside a search
      {"C:\\a\\b.txt\\c", ERROR_PATH_NOT_FOUND},  // a file on the way
      {"D:\\a", ERROR_PATH_NOT_FOUND},            // no such drive
      {"C:\\" + string(MAX_PATH, 'x'), ERROR_FILENAME_EXCED_RANGE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(c.path.c_str())) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  WIN32_FIND_DATAA data;
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA("C:\\a\\b.txt\\*", &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIRECTORY), GetLastError());
}

TEST_F(StandInFiles, ProtectedFilesRefuseWritingAndOverwriting) {
  ASSERT_TRUE(winsim::MakeFile("C:\\ro.ini", "r", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(winsim::MakeFile("C:\\hidden.ini", "h", FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("C:\\ro.ini", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileA("C:\\hidden.ini", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_EQ("h", winsim::FileBytes("C:\\hidden.ini"));
  EXPECT_FALSE(RemoveDirectoryA("C:\\"));
}

TEST_F(StandInFiles, TheDelayedMoveIsRecordedOnNtAndMissingOn9x) {
  EXPECT_TRUE(MoveFileExA("C:\\x.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_TRUE(MoveFileExA("C:\\x.dll", "C:\\y.dll", MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  ASSERT_EQ(2u, winsim::DelayedMoves().size());
  EXPECT_TRUE(winsim::DelayedMoves()[0].deletion);
  EXPECT_EQ("C:\\y.dll", winsim::DelayedMoves()[1].newName);
  EXPECT_EQ(static_cast<DWORD>(MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING),
            winsim::DelayedMoves()[1].flags);

  winsim::SetVersion(4, 0, 950, VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_FALSE(MoveFileExA("C:\\x.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  EXPECT_EQ(static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED), GetLastError());
  EXPECT_EQ(2u, winsim::DelayedMoves().size());
}

TEST_F(StandInFiles, TheSystemFoldersFollowTheFamilyOrWhatATestSets) {
  char buffer[MAX_PATH];
  EXPECT_EQ(10u, GetWindowsDirectoryA(buffer, MAX_PATH));
  EXPECT_STREQ("C:\\WINDOWS", buffer);
  EXPECT_EQ(19u, GetSystemDirectoryA(buffer, MAX_PATH));
  EXPECT_STREQ("C:\\WINDOWS\\SYSTEM32", buffer);
  winsim::SetVersion(4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS);
  EXPECT_EQ(17u, GetSystemDirectoryA(buffer, MAX_PATH));
  EXPECT_STREQ("C:\\WINDOWS\\SYSTEM", buffer);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(buffer));

  winsim::SetWindowsDirectory("D:\\" + string(300, 'w'));
  std::memcpy(buffer, "untouched", 10);
  EXPECT_EQ(304u, GetWindowsDirectoryA(buffer, MAX_PATH)) << "the size needed, terminator included";
  EXPECT_STREQ("untouched", buffer);
  winsim::FailCall("GetSystemDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(0u, GetSystemDirectoryA(buffer, MAX_PATH));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
}

TEST_F(StandInFiles, AMappedFileStaysInUseAndCannotBeCutUnderAView) {
  ASSERT_TRUE(winsim::MakeFile("C:\\m.bin", "0123456789"));
  HANDLE file = CreateFileA("C:\\m.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
  char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(nullptr, view);
  view[0] = 'X';
  EXPECT_EQ("X123456789", winsim::FileBytes("C:\\m.bin")) << "a view's writes are the file's bytes";

  EXPECT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
  EXPECT_FALSE(SetEndOfFile(file));
  EXPECT_EQ(static_cast<DWORD>(ERROR_USER_MAPPED_FILE), GetLastError());
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_TRUE(CloseHandle(mapping));
  EXPECT_FALSE(DeleteFileA("C:\\m.bin")) << "the view keeps the file open without sharing";
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(DeleteFileA("C:\\m.bin"));

  EXPECT_FALSE(CloseHandle(file)) << "closed twice";
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_FALSE(UnmapViewOfFile(view));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_ADDRESS), GetLastError());
}

TEST_F(StandInFiles, SearchHandlesAreClosedByFindCloseOnly) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA("C:\\WINDOWS\\*", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_EQ(1, winsim::OpenCount(winsim::Resource::Search));
  EXPECT_FALSE(CloseHandle(search));
  EXPECT_TRUE(FindClose(search));
  EXPECT_FALSE(FindClose(search));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

TEST_F(StandInFiles, ActionsAndFailuresHappenAtTheChosenCall) {
  ASSERT_TRUE(winsim::MakeFile("C:\\a.txt"));
  ASSERT_TRUE(winsim::MakeFile("C:\\b.txt"));
  winsim::BeforeCall("DeleteFileA", 2, [] { winsim::Remove("C:\\b.txt"); });
  winsim::FailCall("DeleteFileA", 3, ERROR_ACCESS_DENIED);
  EXPECT_TRUE(DeleteFileA("C:\\a.txt"));
  EXPECT_FALSE(DeleteFileA("C:\\b.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  ASSERT_TRUE(winsim::MakeFile("C:\\c.txt"));
  EXPECT_FALSE(DeleteFileA("C:\\c.txt"));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(winsim::Exists("C:\\c.txt"));
}

TEST_F(StandInFiles, TheListingOrderIsTheTestsChoice) {
  for (const char* name : {"b", "C", "a"}) ASSERT_TRUE(winsim::MakeFile(string("C:\\L\\") + name));
  EXPECT_EQ((Entries{"b", "C", "a"}), winsim::FolderEntries("C:\\L"));
  winsim::SetListingOrder(winsim::ListingOrder::ByName);
  EXPECT_EQ((Entries{".", "..", "a", "b", "C"}), List("C:\\L\\*"));
  winsim::SetListingOrder(winsim::ListingOrder::ReverseCreation);
  EXPECT_EQ((Entries{"a", "C", "b"}), winsim::FolderEntries("C:\\L"));
}

}  // namespace
