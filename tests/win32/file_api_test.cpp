// What the file calls answer, in the cases the primitives meet: the same assertions run against
// the stand-in (host tests) and against a real Win32 (the Windows test program under Wine), so
// the stand-in is held to the real thing. Win32 calls only.
#include <algorithm>
#include <string>
#include <vector>

#include "base/system_library.h"
#include "scratch.h"

namespace {

using std::string;

class FileApi : public Win32Test {
 protected:
  // Deletes each entry as the search lists it; gives the names listed, "." and ".." left out.
  std::vector<string> ListDeleting(const string& folder) {
    std::vector<string> names;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &data);
    EXPECT_NE(INVALID_HANDLE_VALUE, search) << GetLastError();
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      string name = data.cFileName;
      if (name == "." || name == "..") continue;
      names.push_back(name);
      EXPECT_TRUE(DeleteFileA((folder + "\\" + name).c_str())) << name << ": " << GetLastError();
    } while (FindNextFileA(search, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(FindClose(search));
    return names;
  }
};

TEST_F(FileApi, DeleteFileAnswersWithTheCodesThePrimitivesTellApart) {
  MakeFolder(Scratch("dir"));
  MakeFile(Scratch("ro.txt"));
  ASSERT_TRUE(SetFileAttributesA(Scratch("ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  MakeFile(Scratch("busy.txt"));
  HANDLE busy = CreateFileA(Scratch("busy.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, busy);

  struct Case {
    string path;
    DWORD error;
  };
  const Case cases[] = {
      {Scratch("missing.txt"), ERROR_FILE_NOT_FOUND}, {Scratch("missing\\file.txt"), ERROR_PATH_NOT_FOUND},
      {Scratch("dir"), ERROR_ACCESS_DENIED},          {Scratch("ro.txt"), ERROR_ACCESS_DENIED},
      {Scratch("busy.txt"), ERROR_SHARING_VIOLATION},
  };
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeleteFileA(c.path.c_str())) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  CloseHandle(busy);
  EXPECT_TRUE(DeleteFileA(Scratch("busy.txt").c_str())) << GetLastError();
  EXPECT_TRUE(SetFileAttributesA(Scratch("ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileA(Scratch("ro.txt").c_str())) << GetLastError();
}

TEST_F(FileApi, AFileOpenedWithDeleteSharingCanBeDeleted) {
  MakeFile(Scratch("shared.txt"));
  HANDLE file = CreateFileA(Scratch("shared.txt").c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_TRUE(DeleteFileA(Scratch("shared.txt").c_str())) << GetLastError();
  CloseHandle(file);
  EXPECT_FALSE(Exists(Scratch("shared.txt")));
}

TEST_F(FileApi, RemoveDirectoryAnswersWithTheCodesTheTreeWalkTellsApart) {
  MakeFolder(Scratch("full"));
  MakeFile(Scratch("full\\a.txt"));
  MakeFile(Scratch("file.txt"));
  struct Case {
    string path;
    DWORD error;
  };
  const Case cases[] = {
      {Scratch("full"), ERROR_DIR_NOT_EMPTY},
      {Scratch("missing"), ERROR_FILE_NOT_FOUND},
      {Scratch("missing\\deeper"), ERROR_PATH_NOT_FOUND},
      {Scratch("file.txt"), ERROR_DIRECTORY},
  };
  for (const Case& c : cases) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(RemoveDirectoryA(c.path.c_str())) << c.path;
    EXPECT_EQ(c.error, GetLastError()) << c.path;
  }
  ASSERT_TRUE(DeleteFileA(Scratch("full\\a.txt").c_str()));
  EXPECT_TRUE(RemoveDirectoryA(Scratch("full").c_str())) << GetLastError();
}

TEST_F(FileApi, AttributesAreSetAsAWholeAndFoldersKeepTheirFolderBit) {
  MakeFile(Scratch("f.txt"));
  MakeFolder(Scratch("d"));
  const DWORD protective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(SetFileAttributesA(Scratch("f.txt").c_str(), protective));
  EXPECT_EQ(protective, GetFileAttributesA(Scratch("f.txt").c_str()) & protective);
  // Windows then reports FILE_ATTRIBUTE_NORMAL; Wine reports FILE_ATTRIBUTE_ARCHIVE.
  ASSERT_TRUE(SetFileAttributesA(Scratch("f.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(0u, GetFileAttributesA(Scratch("f.txt").c_str()) & (protective | FILE_ATTRIBUTE_DIRECTORY));

  ASSERT_TRUE(SetFileAttributesA(Scratch("d").c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN),
            GetFileAttributesA(Scratch("d").c_str()));
  ASSERT_TRUE(SetFileAttributesA(Scratch("d").c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA(Scratch("d").c_str()));

  SetLastError(0xdeadbeef);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(Scratch("none\\x").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FileApi, ASearchGoesOnAfterTheEntryJustDeleted) {
  const std::vector<string> made = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
  MakeFolder(Scratch("list"));
  for (const string& name : made) MakeFile(Scratch("list\\" + name));
  std::vector<string> listed = ListDeleting(Scratch("list"));
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(made, listed);
  EXPECT_TRUE(RemoveDirectoryA(Scratch("list").c_str())) << "every entry was deleted";
}

TEST_F(FileApi, ASearchListsDotsFirstAndEndsWithNoMoreFiles) {
  MakeFolder(Scratch("empty"));
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(Scratch("empty\\*").c_str(), &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  EXPECT_STREQ(".", data.cFileName);
  ASSERT_TRUE(FindNextFileA(search, &data));
  EXPECT_STREQ("..", data.cFileName);
  SetLastError(0xdeadbeef);
  EXPECT_FALSE(FindNextFileA(search, &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_FILES), GetLastError());
  EXPECT_TRUE(FindClose(search));

  SetLastError(0xdeadbeef);
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileA(Scratch("missing\\*").c_str(), &data));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FileApi, OpeningFollowsDispositionAndSharing) {
  const string path = Scratch("open.ini");
  SetLastError(0xdeadbeef);
  HANDLE first =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, first);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError()) << "made new";
  HANDLE second =
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, second);
  EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  CloseHandle(first);

  HANDLE again = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, again);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError()) << "opened existing";
  CloseHandle(again);

  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
  // (A read-only file refuses write access on Windows; Wine run by root does not, so that case is
  // checked against the stand-in only.)
}

TEST_F(FileApi, AMappingGrowsTheFileAndAViewWritesIntoIt) {
  const string path = Scratch("map.bin");
  MakeFile(path, "abc");
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  DWORD high = 1;
  EXPECT_EQ(3u, GetFileSize(file, &high));
  EXPECT_EQ(0u, high);

  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 8, nullptr);
  ASSERT_NE(nullptr, mapping) << GetLastError();
  EXPECT_EQ(8u, GetFileSize(file, nullptr)) << "grown with zero bytes";
  char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(nullptr, view) << GetLastError();
  EXPECT_EQ(string("abc\0\0\0\0\0", 8), string(view, 8));
  view[3] = 'd';
  view[4] = 'e';
  EXPECT_TRUE(UnmapViewOfFile(view));
  EXPECT_TRUE(CloseHandle(mapping));

  EXPECT_EQ(5u, SetFilePointer(file, 5, nullptr, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  EXPECT_EQ("abcde", ReadFileBytes(path));
}

TEST_F(FileApi, AnEmptyFileCannotBeMappedWholeAndAMissingOneIsNotOpened) {
  const string path = Scratch("empty.bin");
  MakeFile(path, "");
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(nullptr, CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_INVALID), GetLastError());
  CloseHandle(file);

  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileA(Scratch("none.bin").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(FileApi, ALongNameHasAShortFormThatReachesTheSameFile) {
  const string path = Scratch("Tablet Driver Settings.ini");
  MakeFile(path, "settings");
  char shortPath[MAX_PATH];
  DWORD length = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
  ASSERT_NE(0u, length) << GetLastError();
  ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
  string last = string(shortPath).substr(string(shortPath).rfind('\\') + 1);
  EXPECT_LE(last.size(), 12u) << last;
  EXPECT_EQ(string::npos, last.find(' ')) << last;
  EXPECT_EQ("settings", ReadFileBytes(shortPath));

  // Too small a buffer: the size needed, terminator included, and the buffer untouched.
  char small[4] = "xyz";
  EXPECT_EQ(length + 1, GetShortPathNameA(path.c_str(), small, sizeof small));
  EXPECT_STREQ("xyz", small);

  SetLastError(0xdeadbeef);
  EXPECT_EQ(0u, GetShortPathNameA(Scratch("none.txt").c_str(), shortPath, MAX_PATH));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(FileApi, TheWindowsFolderIsReportedOrItsSizeWhenTheBufferIsTooSmall) {
  char buffer[MAX_PATH];
  UINT length = GetWindowsDirectoryA(buffer, MAX_PATH);
  ASSERT_GT(length, 2u);
  ASSERT_LT(length, static_cast<UINT>(MAX_PATH));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesA(buffer) & FILE_ATTRIBUTE_DIRECTORY);
  char small[3] = "ab";
  EXPECT_EQ(length + 1, GetWindowsDirectoryA(small, sizeof small));
  EXPECT_STREQ("ab", small);
  UINT systemLength = GetSystemDirectoryA(buffer, MAX_PATH);
  EXPECT_GT(systemLength, length) << "the system folder is inside the Windows folder";
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(buffer)) << "the system folder exists";
}

TEST_F(FileApi, ShlwapiTellsAnEmptyFolderFromEverythingElse) {
  HMODULE shlwapi = LoadSystemLibrary("shlwapi.dll");
  ASSERT_NE(nullptr, shlwapi);
  typedef BOOL(WINAPI * Proc)(LPCSTR);
  Proc isEmpty = reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(shlwapi, "PathIsDirectoryEmptyA")));
  ASSERT_NE(nullptr, isEmpty);
  MakeFolder(Scratch("empty"));
  MakeFolder(Scratch("full"));
  MakeFile(Scratch("full\\a.txt"));
  MakeFile(Scratch("file.txt"));
  EXPECT_TRUE(isEmpty(Scratch("empty").c_str()));
  EXPECT_FALSE(isEmpty(Scratch("full").c_str()));
  EXPECT_FALSE(isEmpty(Scratch("file.txt").c_str()));
  EXPECT_FALSE(isEmpty(Scratch("missing").c_str()));
  FreeLibrary(shlwapi);
}

}  // namespace
