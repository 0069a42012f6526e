// System locations and paths: the base folders and their limits, the shell folders and the
// allocator they are borrowed through, the length guard of ComposePath in its three modes, the
// name checks, and the two error boxes.
#include <cstring>

#include <shlobj.h>

#include "installation.h"
#include "plans/locations.h"
#include "base/ansi_text.h"
#include "base/os_kind.h"
#include "winsim_fs.h"
#include "winsim_shell.h"

namespace {

using winsim::Sjis;

const int kGuard = 16;

// ComposePath into a PATH_BUFFER_SIZE buffer followed by guard bytes: the composed text, or
// "<refused>" after checking that a refusal left the buffer as it was.
std::string Compose(const std::string& base, const std::string& entry, SeparatorMode mode) {
  char buffer[PATH_BUFFER_SIZE + kGuard];
  std::memset(buffer, '#', sizeof buffer);
  const int ok = ComposePath(buffer, base.c_str(), entry.c_str(), mode);
  for (int i = PATH_BUFFER_SIZE; i < PATH_BUFFER_SIZE + kGuard; ++i) {
    EXPECT_EQ('#', buffer[i]) << "written past pathBuffer at " << i;
  }
  if (!ok) {
    EXPECT_EQ('#', buffer[0]) << "a refused path was written";
    return "<refused>";
  }
  return std::string(buffer);
}

// A folder of `length` characters ending in a backslash when `withSeparator`.
std::string Folder(size_t length, bool withSeparator) {
  std::string f = "C:\\" + std::string(length - 3 - (withSeparator ? 1 : 0), 'f');
  if (withSeparator) f += "\\";
  return f;
}

TEST(ComposePath, JoinsBaseAndEntryAsEachModeSays) {
  EXPECT_EQ("C:\\WINDOWS\\SYSTEM\\tablet.cpl", Compose("C:\\WINDOWS\\SYSTEM\\", "tablet.cpl", SeparatorInBase));
  EXPECT_EQ("C:\\Zorvik\\Read Me.txt", Compose("C:\\Zorvik", "Read Me.txt", SeparatorCounted));
  EXPECT_EQ("C:\\Zorvik\\Read Me.txt", Compose("C:\\Zorvik", "Read Me.txt", SeparatorUncounted));
  EXPECT_EQ("C:\\W\\Ztablet\\TabUserZ.exe", Compose("C:\\W\\", "Ztablet\\TabUserZ.exe", SeparatorInBase));
}

TEST(ComposePath, SeparatorInBaseAndCountedLetThrough1022AndRefuse1023) {
  // In base: base + entry.
  std::string path = Compose(Folder(1000, true), std::string(22, 'e'), SeparatorInBase);
  EXPECT_EQ(1022u, path.size());
  EXPECT_EQ("<refused>", Compose(Folder(1000, true), std::string(23, 'e'), SeparatorInBase));
  // Counted: base + 1 + entry.
  path = Compose(Folder(1000, false), std::string(21, 'e'), SeparatorCounted);
  EXPECT_EQ(1022u, path.size());
  EXPECT_EQ('\\', path[1000]);
  EXPECT_EQ("<refused>", Compose(Folder(1000, false), std::string(22, 'e'), SeparatorCounted));
}

TEST(ComposePath, SeparatorUncountedProduces1023CharactersThatStillFit) {
  // base + entry = 1022: a path of 1023 characters and its terminator fill pathBuffer exactly.
  const std::string path = Compose(Folder(1000, false), std::string(22, 'e'), SeparatorUncounted);
  EXPECT_EQ(1023u, path.size());
  // The same pair is one too many when the separator counts.
  EXPECT_EQ("<refused>", Compose(Folder(1000, false), std::string(22, 'e'), SeparatorCounted));
  EXPECT_EQ("<refused>", Compose(Folder(1000, false), std::string(23, 'e'), SeparatorUncounted));
  // A base that alone exceeds the limit is refused before anything is copied.
  EXPECT_EQ("<refused>", Compose(Folder(2000, false), "x", SeparatorUncounted));
}

TEST(ComposePath, ADoubleByteCharacterCountsTwo) {
  const std::string tablet = Sjis("タブレット");  // five characters, ten bytes
  ASSERT_EQ(10u, tablet.size());
  EXPECT_EQ(1022u, Compose(Folder(1011, false), tablet, SeparatorCounted).size());
  EXPECT_EQ("<refused>", Compose(Folder(1012, false), tablet, SeparatorCounted));
}

class ShellFolderTest : public MachineTest {};

TEST_F(ShellFolderTest, EachFolderResolvesToTheFamilysPathThroughOneSharedBuffer) {
  const char* common = GetShellFolderPath(CSIDL_COMMON_PROGRAMS);
  ASSERT_NE(nullptr, common);
  EXPECT_EQ("C:\\Documents and Settings\\All Users\\Start Menu\\Programs", std::string(common));
  const char* own = GetShellFolderPath(CSIDL_PROGRAMS);
  // The second call's path replaces the first in the same buffer.
  EXPECT_EQ(common, own);
  EXPECT_EQ(winsim::ShellFolderPath(CSIDL_PROGRAMS), std::string(common));
  EXPECT_EQ(winsim::ShellFolderPath(CSIDL_COMMON_STARTUP), std::string(GetShellFolderPath(CSIDL_COMMON_STARTUP)));
  EXPECT_EQ(winsim::ShellFolderPath(CSIDL_STARTUP), std::string(GetShellFolderPath(CSIDL_STARTUP)));

  UseWindows(OsWin98);
  EXPECT_EQ("C:\\WINDOWS\\Start Menu\\Programs", std::string(GetShellFolderPath(CSIDL_PROGRAMS)));
  EXPECT_EQ("C:\\WINDOWS\\Start Menu\\Programs\\StartUp", std::string(GetShellFolderPath(CSIDL_STARTUP)));

  // Every lookup borrowed the allocator once and gave back its list and its reference.
  EXPECT_EQ(6, winsim::ShellAllocatorReleaseCalls());
  EXPECT_EQ(6, winsim::ShellAllocatorFreeCalls());
  EXPECT_EQ(0, winsim::ShellMisuses());
}

TEST_F(ShellFolderTest, AFolderTheSystemDoesNotHaveGivesNone) {
  winsim::SetShellFolderState(CSIDL_COMMON_PROGRAMS, winsim::ShellFolderState::NoLocation);
  EXPECT_EQ(nullptr, GetShellFolderPath(CSIDL_COMMON_PROGRAMS));
  EXPECT_EQ(0, winsim::CallCount("SHGetPathFromIDListA"));
  EXPECT_EQ(0, winsim::ShellAllocatorFreeCalls());  // there was no list to free
  EXPECT_EQ(1, winsim::ShellAllocatorReleaseCalls());

  // A location without a path: the list is still freed.
  winsim::SetShellFolderState(CSIDL_STARTUP, winsim::ShellFolderState::NoPath);
  EXPECT_EQ(nullptr, GetShellFolderPath(CSIDL_STARTUP));
  EXPECT_EQ(1, winsim::ShellAllocatorFreeCalls());
  EXPECT_EQ(2, winsim::ShellAllocatorReleaseCalls());

  // An empty path would put every entry at the root of the current drive.
  winsim::SetShellFolderPath(CSIDL_PROGRAMS, "");
  EXPECT_EQ(nullptr, GetShellFolderPath(CSIDL_PROGRAMS));
  EXPECT_EQ(0, winsim::ShellMisuses());
  // The others still resolve.
  EXPECT_NE(nullptr, GetShellFolderPath(CSIDL_COMMON_STARTUP));
}

TEST_F(ShellFolderTest, WithoutTheAllocatorNoFolderIsAskedFor) {
  winsim::FailCall("SHGetMalloc", 1, E_OUTOFMEMORY);
  EXPECT_EQ(nullptr, GetShellFolderPath(CSIDL_PROGRAMS));
  EXPECT_EQ(0, winsim::CallCount("SHGetSpecialFolderLocation"));
  EXPECT_EQ(0, winsim::ShellAllocatorReleaseCalls());
  // The next lookup has its allocator again.
  EXPECT_NE(nullptr, GetShellFolderPath(CSIDL_PROGRAMS));
  // No shell32, or one without a function, or a system folder with no room for its name: none.
  winsim::FailCall("LoadLibraryA", 1, ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(nullptr, GetShellFolderPath(CSIDL_PROGRAMS));
  winsim::FailCall("GetProcAddress", 3, ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(nullptr, GetShellFolderPath(CSIDL_PROGRAMS));
  winsim::SetSystemDirectory("C:\\" + std::string(245, 'S'));
  EXPECT_EQ(nullptr, GetShellFolderPath(CSIDL_PROGRAMS));
  EXPECT_EQ(1, winsim::ShellAllocatorReleaseCalls());
}

class BaseFolderTest : public PlanTest {
 protected:
  void SetUp() override {
    PlanTest::SetUp();
    OpenMainWindow();
  }
  void ExpectOneBox(const std::string& textUtf8) {
    ASSERT_EQ(1u, winsim::MessageBoxes().size());
    const winsim::MessageBoxCall& box = winsim::MessageBoxes()[0];
    EXPECT_EQ(Sjis(textUtf8), box.text);
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), box.style);
    EXPECT_EQ(0x10u, box.style);
    EXPECT_EQ(RunState.mainWindow, box.owner);
  }
};

TEST_F(BaseFolderTest, EachFolderEndsWithOneBackslash) {
  BaseFolders f;
  ASSERT_EQ(1, ResolveBaseFolders("System32", &f));
  EXPECT_STREQ("C:\\WINDOWS\\", f.windowsFolder);
  EXPECT_STREQ("C:\\WINDOWS\\inf\\", f.infFolder);
  EXPECT_STREQ("C:\\WINDOWS\\SYSTEM32\\", f.systemFolder);
  EXPECT_TRUE(winsim::MessageBoxes().empty());
}

TEST_F(BaseFolderTest, AWindowsFolderThatIsNotReportedStopsBeforeTheSystemFolderIsAsked) {
  winsim::FailCall("GetWindowsDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
  BaseFolders f;
  EXPECT_EQ(0, ResolveBaseFolders("System32", &f));
  ExpectOneBox("Windowsﾃﾞｨﾚｸﾄﾘが見つかりませんでした");
  EXPECT_EQ(0, winsim::CallCount("GetSystemDirectoryA"));
}

TEST_F(BaseFolderTest, ASystemFolderThatIsNotReportedNamesThePlansLabel) {
  winsim::FailCall("GetSystemDirectoryA", 1, ERROR_NOT_ENOUGH_MEMORY);
  BaseFolders f;
  EXPECT_EQ(0, ResolveBaseFolders("System", &f));
  ExpectOneBox("Systemﾃﾞｨﾚｸﾄﾘが見つかりませんでした");
}

TEST_F(BaseFolderTest, AWindowsFolderOf254CharactersIsTheLongestThatLeavesRoomForInf) {
  winsim::SetWindowsDirectory(Folder(254, false));
  BaseFolders f;
  ASSERT_EQ(1, ResolveBaseFolders("System32", &f));
  EXPECT_EQ(259u, std::strlen(f.infFolder));
  EXPECT_EQ(Folder(254, false) + "\\inf\\", std::string(f.infFolder));

  winsim::SetWindowsDirectory(Folder(255, false));
  EXPECT_EQ(0, ResolveBaseFolders("System32", &f));
  ExpectOneBox("Windowsﾃﾞｨﾚｸﾄﾘが見つかりませんでした");
}

TEST_F(BaseFolderTest, AFolderLongerThanTheCapacityCountsAsNotReported) {
  // 257 characters fit the capacity of 258, and the backslash fits the buffer.
  winsim::SetSystemDirectory(Folder(257, false));
  BaseFolders f;
  ASSERT_EQ(1, ResolveBaseFolders("System32", &f));
  EXPECT_EQ(258u, std::strlen(f.systemFolder));

  // 258 do not: the query gives the size it needs instead of a path.
  winsim::SetSystemDirectory(Folder(258, false));
  EXPECT_EQ(0, ResolveBaseFolders("System32", &f));
  ExpectOneBox("System32ﾃﾞｨﾚｸﾄﾘが見つかりませんでした");

  winsim::SetWindowsDirectory(Folder(400, false));
  EXPECT_EQ(0, ResolveBaseFolders("System32", &f));
  ASSERT_EQ(2u, winsim::MessageBoxes().size());
  EXPECT_EQ(Sjis("Windowsﾃﾞｨﾚｸﾄﾘが見つかりませんでした"), winsim::MessageBoxes()[1].text);
}

TEST_F(BaseFolderTest, TheBufferErrorBox) {
  ShowBufferErrorBox();
  ExpectOneBox("ﾊﾞｯﾌｧｴﾗｰ");
}

TEST_F(ShellFolderTest, ARelativeNameMustStayInsideItsFolder) {
  for (const std::string& name : {std::string("OEM3.INF"), std::string("other\\zorviktablet.inf"),
                                  std::string("a/b.inf"), Sjis("ﾀﾌﾞﾚｯﾄ\\表.inf"), std::string("x.y.inf")}) {
    EXPECT_EQ(1, IsContainedRelativeName(name.c_str())) << name;
  }
  for (const std::string& name :
       {std::string(""), std::string("\\OEM3.INF"), std::string("/OEM3.INF"), std::string("C:\\x.inf"),
        std::string("C:x.inf"), std::string("..\\SYSTEM\\kernel32.dll"), std::string("other\\..\\..\\x.dll"),
        std::string("..."), std::string("x\\.\\"), std::string("other\\"), std::string("other\\\\x.inf"),
        std::string("a\x01.inf"), std::string("a\nb.inf"), std::string("*.inf"), std::string("x\\\x95"),
        std::string("\\\\server\\share\\x.inf")}) {
    EXPECT_EQ(0, IsContainedRelativeName(name.c_str())) << "[" << name << "]";
  }
}

TEST_F(ShellFolderTest, AppendTruncatedNeverSplitsACharacterNorPassesTheCapacity) {
  char buffer[8 + kGuard];
  std::memset(buffer, '#', sizeof buffer);
  std::strcpy(buffer, "ab");
  AppendTruncated(buffer, 8, Sjis("表表表").c_str());  // 2 + 2 + 2 bytes fit 7, the third does not
  EXPECT_EQ("ab" + Sjis("表表"), std::string(buffer));
  for (int i = 8; i < 8 + kGuard; ++i) EXPECT_EQ('#', buffer[i]);
  std::strcpy(buffer, "abc");
  AppendTruncated(buffer, 8, "defghij");
  EXPECT_EQ("abcdefg", std::string(buffer));
}

}  // namespace

namespace {

// The stand-in's shell catches the faults the program must not make: a list freed twice, a
// block it never handed out, a list used after it was freed.
TEST_F(ShellFolderTest, TheStandInsAllocatorCountsEveryMisuse) {
  LPMALLOC allocator = nullptr;
  ASSERT_EQ(S_OK, SHGetMalloc(&allocator));
  EXPECT_EQ(1, winsim::OpenCount(winsim::Resource::Allocator));
  LPITEMIDLIST list = nullptr;
  ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &list));
  EXPECT_EQ(1, winsim::OpenCount(winsim::Resource::ItemList));
  char path[MAX_PATH];
  EXPECT_TRUE(SHGetPathFromIDListA(list, path));

  allocator->Free(list);
  EXPECT_EQ(0, winsim::OpenCount(winsim::Resource::ItemList));
  EXPECT_EQ(0, winsim::ShellMisuses());
  allocator->Free(list);
  EXPECT_FALSE(SHGetPathFromIDListA(list, path));
  char notFromTheShell[4];
  allocator->Free(notFromTheShell);
  allocator->Free(nullptr);  // allowed
  EXPECT_EQ(3, winsim::ShellMisuses());
  allocator->Release();
  EXPECT_EQ(0, winsim::OpenCount(winsim::Resource::Allocator));

  // A CSIDL the shell does not know, and an injected failure, give no list.
  list = reinterpret_cast<LPITEMIDLIST>(path);
  EXPECT_EQ(E_INVALIDARG, SHGetSpecialFolderLocation(nullptr, 0x5A, &list));
  EXPECT_EQ(nullptr, list);
  winsim::FailCall("SHGetSpecialFolderLocation", 1, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAMS, &list)));
  EXPECT_EQ(nullptr, list);
}

}  // namespace
