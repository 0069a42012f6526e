// Removing folder trees through the stand-in: the three modes, the nested results, links that
// must not be walked, names the code page cannot show, paths that do not fit, entries that
// vanish or resist, the shlwapi fallback, and every search closed exactly once.
#include <string>
#include <vector>

#include "primitives/directory_tree.h"
#include "test_support.h"
#include "winsim_fs.h"

namespace {

using std::string;
using Entries = std::vector<string>;

const char kTree[] = "C:\\Start Menu\\Tablet";

class FolderTree : public MachineTest {
 protected:
  // kTree with read-only and hidden files and folders, two levels deep.
  void MakeTree() {
    ASSERT_TRUE(winsim::MakeFile(string(kTree) + "\\readme.txt", "r", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(winsim::MakeFile(string(kTree) + "\\Settings.lnk", "s", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(winsim::MakeFile(string(kTree) + "\\Help\\manual.hlp", "m"));
    ASSERT_TRUE(winsim::MakeFile(string(kTree) + "\\Help\\Deep\\notes.txt", "n", FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(winsim::MakeFolder(string(kTree) + "\\Empty"));
    ASSERT_TRUE(::SetFileAttributesA((string(kTree) + "\\Help").c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(::SetFileAttributesA((string(kTree) + "\\Empty").c_str(), FILE_ATTRIBUTE_HIDDEN));
  }
  static string In(const string& relative) { return string(kTree) + "\\" + relative; }
};

TEST_F(FolderTree, AWholeSubtreeWithProtectedFilesAndFoldersIsRemoved) {
  MakeTree();
  ASSERT_TRUE(::SetFileAttributesA(kTree, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_FALSE(winsim::Exists(kTree));
  EXPECT_EQ(Entries{}, winsim::FolderEntries("C:\\Start Menu"));
  // The same folder again is not there any more.
  EXPECT_EQ(StatusNoFolder, RemoveDirectoryTree(kTree, TRUE, TRUE));
}

TEST_F(FolderTree, TheWalkGoesOnAfterEachDeletedEntryInAnyListingOrder) {
  for (auto order : {winsim::ListingOrder::ByName, winsim::ListingOrder::ReverseCreation}) {
    winsim::SetListingOrder(order);
    for (const char* name : {"a.txt", "B.txt", "c", "D.txt", "e.txt"}) ASSERT_TRUE(winsim::MakeFile(In(name)));
    ASSERT_TRUE(winsim::MakeFile(In("sub\\x.txt")));
    EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(kTree, TRUE, TRUE));
    EXPECT_FALSE(winsim::Exists(kTree));
  }
}

TEST_F(FolderTree, AMissingFolderIsNoFolderOrAnErrorByMode) {
  EXPECT_EQ(StatusNoFolder, RemoveDirectoryTree("C:\\Missing", TRUE, TRUE));
  EXPECT_EQ(StatusNoFolder, RemoveDirectoryTree("C:\\Missing", TRUE, FALSE));
  EXPECT_EQ(StatusNoFolder, RemoveDirectoryTree("C:\\Missing\\Deeper", TRUE, TRUE));
  EXPECT_EQ(StatusError, RemoveDirectoryTree("C:\\Missing", FALSE, TRUE));
  EXPECT_EQ(StatusError, RemoveDirectoryTree("C:\\Missing", FALSE, FALSE));
}

TEST_F(FolderTree, OnlyAnEmptyFolderGoesWhenEntriesAreNotAllowed) {
  ASSERT_TRUE(winsim::MakeFolder(In("Empty")));
  ASSERT_TRUE(::SetFileAttributesA(In("Empty").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(In("Empty").c_str(), FALSE, TRUE));

  ASSERT_TRUE(winsim::MakeFile(In("file.txt")));
  ASSERT_TRUE(::SetFileAttributesA(kTree, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  int attributeChanges = winsim::CallCount("SetFileAttributesA");
  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, FALSE, FALSE));
  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, FALSE, TRUE));
  // Not even the folder's attributes were touched.
  EXPECT_EQ(attributeChanges, winsim::CallCount("SetFileAttributesA"));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
            winsim::Attributes(kTree));
  EXPECT_EQ(Entries{"file.txt"}, winsim::FolderEntries(kTree));

  // A file is no folder, empty or not.
  EXPECT_EQ(StatusError, RemoveDirectoryTree(In("file.txt").c_str(), FALSE, FALSE));
  EXPECT_TRUE(winsim::Exists(In("file.txt")));
}

TEST_F(FolderTree, WithoutRecursionTheFilesBeforeASubfolderGoAndTheSubfolderStopsTheWalk) {
  ASSERT_TRUE(winsim::MakeFile(In("first.txt")));
  ASSERT_TRUE(winsim::MakeFile(In("second.txt"), "", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(winsim::MakeFile(In("Sub\\inner.txt")));
  ASSERT_TRUE(winsim::MakeFile(In("third.txt")));

  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, TRUE, FALSE));
  EXPECT_EQ((Entries{"Sub", "third.txt"}), winsim::FolderEntries(kTree));
  EXPECT_TRUE(winsim::Exists(In("Sub\\inner.txt")));

  // A folder holding files only is emptied and removed without recursion.
  ASSERT_TRUE(winsim::Remove(In("Sub")));
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(kTree, TRUE, FALSE));
  EXPECT_FALSE(winsim::Exists(kTree));
}

TEST_F(FolderTree, AFileInUseDeepInTheTreeStopsTheWalkAndEverythingAboveItStays) {
  ASSERT_TRUE(winsim::MakeFile(In("before.txt")));
  ASSERT_TRUE(winsim::MakeFile(In("Driver\\early.dll")));
  ASSERT_TRUE(winsim::MakeFile(In("Driver\\Bin\\busy.dll")));
  ASSERT_TRUE(winsim::MakeFile(In("Driver\\Bin\\later.dll")));
  ASSERT_TRUE(winsim::MakeFile(In("Driver\\after.dll")));
  ASSERT_TRUE(winsim::MakeFile(In("after.txt")));
  int other = winsim::HoldFileOpen(In("Driver\\Bin\\busy.dll"), FILE_SHARE_READ);

  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_EQ((Entries{"Driver", "after.txt"}), winsim::FolderEntries(kTree));
  EXPECT_EQ((Entries{"Bin", "after.dll"}), winsim::FolderEntries(In("Driver")));
  EXPECT_EQ((Entries{"busy.dll", "later.dll"}), winsim::FolderEntries(In("Driver\\Bin")));
  EXPECT_TRUE(RunState.restartPending == FALSE) << "nothing inside a folder is put off until restart";
  EXPECT_TRUE(winsim::DelayedMoves().empty());
  winsim::ReleaseFile(other);
}

TEST_F(FolderTree, NestedResultsDecideWhetherTheWalkGoesOn) {
  // A file that vanishes after its attributes were read ends that folder's walk with NoFile:
  // the subfolder keeps what is left, the parent goes on and its own removal then fails.
  ASSERT_TRUE(winsim::MakeFile(In("Sub\\gone.txt")));
  ASSERT_TRUE(winsim::MakeFile(In("Sub\\kept.txt")));
  ASSERT_TRUE(winsim::MakeFile(In("z.txt")));
  winsim::FailCall("DeleteFileA", 1, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_EQ(Entries{"Sub"}, winsim::FolderEntries(kTree)) << "the walk went on to z.txt";

  // The same vanishing file directly in the folder: NoFile for the folder, which stays.
  winsim::FailCall("DeleteFileA", 1, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(StatusNoFile, RemoveDirectoryTree(In("Sub").c_str(), TRUE, TRUE));
  EXPECT_TRUE(winsim::Exists(In("Sub\\gone.txt")));

  // A subfolder that is gone when its nested walk starts ends the parent's walk with NoFolder.
  ASSERT_TRUE(winsim::MakeFile(In("last.txt")));
  winsim::BeforeCall("FindFirstFileA", 2, [] { winsim::Remove(In("Sub")); });
  EXPECT_EQ(StatusNoFolder, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_EQ(Entries{"last.txt"}, winsim::FolderEntries(kTree));
}

TEST_F(FolderTree, AnEntryGoneBeforeItsAttributesAreReadIsSkipped) {
  ASSERT_TRUE(winsim::MakeFile(In("gone.txt")));
  ASSERT_TRUE(winsim::MakeFile(In("other.txt")));
  // The third attribute read is the first entry's (after the folder's own two).
  winsim::BeforeCall("GetFileAttributesA", 3, [] { winsim::Remove(In("gone.txt")); });
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_FALSE(winsim::Exists(kTree));
}

TEST_F(FolderTree, AnEntryWhoseAttributesCannotBeReadStopsTheWalk) {
  ASSERT_TRUE(winsim::MakeFile(In("secret.dat")));
  ASSERT_TRUE(winsim::MakeFile(In("other.txt")));
  ASSERT_TRUE(winsim::DenyAccess(In("secret.dat"), winsim::DenyReadAttributes));
  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_EQ((Entries{"secret.dat", "other.txt"}), winsim::FolderEntries(kTree));
}

TEST_F(FolderTree, ALinkInsideTheTreeIsRemovedAndItsTargetIsNotEntered) {
  ASSERT_TRUE(winsim::MakeFile("C:\\Data\\Keep\\precious.doc", "p"));
  ASSERT_TRUE(winsim::MakeFile("C:\\Data\\top.doc", "t"));
  ASSERT_TRUE(winsim::MakeFile(In("a.txt")));
  ASSERT_TRUE(winsim::MakeDirectoryLink(In("Documents"), "C:\\Data"));
  ASSERT_TRUE(winsim::MakeFile(In("z.txt")));

  // Without recursion the link is a subfolder like any other: the walk stops there.
  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, TRUE, FALSE));
  EXPECT_EQ((Entries{"Documents", "z.txt"}), winsim::FolderEntries(kTree));

  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_FALSE(winsim::Exists(kTree));
  EXPECT_EQ("p", winsim::FileBytes("C:\\Data\\Keep\\precious.doc"));
  EXPECT_EQ("t", winsim::FileBytes("C:\\Data\\top.doc"));
}

TEST_F(FolderTree, AFolderThatIsItselfALinkIsRemovedAsALink) {
  ASSERT_TRUE(winsim::MakeFile("C:\\Data\\precious.doc", "p"));
  ASSERT_TRUE(winsim::MakeFolder("C:\\Start Menu"));
  ASSERT_TRUE(winsim::MakeDirectoryLink(kTree, "C:\\Data"));

  // Only-when-empty looks through the link and finds the target's entries.
  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, FALSE, FALSE));
  EXPECT_TRUE(winsim::Exists(kTree));

  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_FALSE(winsim::Exists(kTree));
  EXPECT_EQ("p", winsim::FileBytes("C:\\Data\\precious.doc"));
  EXPECT_EQ(0, winsim::CallCount("FindFirstFileA")) << "the link was not walked";
}

TEST_F(FolderTree, NamesTheCodePageCannotShowAreReachedByTheirShortNames) {
  ASSERT_TRUE(winsim::MakeFolder(kTree));
  ASSERT_TRUE(winsim::MakeUnrepresentableEntry(kTree, "?.txt", "3F4A~1.TXT", false));
  ASSERT_TRUE(winsim::MakeUnrepresentableEntry(kTree, "??", "3F4B~1", true));
  ASSERT_TRUE(winsim::MakeUnrepresentableEntry(In("3F4B~1"), "?????.ini", "3F4C~1.INI", false));
  ASSERT_TRUE(winsim::MakeFile(In(winsim::Sjis("ソフト表.txt"))));

  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_FALSE(winsim::Exists(kTree));
}

TEST_F(FolderTree, PathsThatDoNotFitTheWorkingPathAreErrorsAndNothingChanges) {
  // 257 characters leave room for "\*" and the terminator; 258 do not.
  const string fits = "C:\\" + string(254, 'f');
  const string tooLong = "C:\\" + string(255, 't');
  ASSERT_TRUE(winsim::MakeFolder(fits));
  ASSERT_TRUE(winsim::MakeFile(tooLong + "\\x.txt"));
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(fits.c_str(), TRUE, TRUE));
  EXPECT_EQ(StatusError, RemoveDirectoryTree(tooLong.c_str(), TRUE, TRUE));
  EXPECT_EQ(Entries{"x.txt"}, winsim::FolderEntries(tooLong));

  // An entry whose full path would pass the buffer ends the walk; the entries before it go.
  const string folder = "C:\\" + string(240, 'e');
  ASSERT_TRUE(winsim::MakeFile(folder + "\\short.txt"));
  ASSERT_TRUE(winsim::MakeFile(folder + "\\" + string(30, 'n') + ".txt"));
  ASSERT_TRUE(winsim::MakeFile(folder + "\\after.txt"));
  EXPECT_EQ(StatusError, RemoveDirectoryTree(folder.c_str(), TRUE, TRUE));
  EXPECT_EQ((Entries{string(30, 'n') + ".txt", "after.txt"}), winsim::FolderEntries(folder));
}

TEST_F(FolderTree, AListingThatBreaksOffIsAnError) {
  ASSERT_TRUE(winsim::MakeFile(In("a.txt")));
  ASSERT_TRUE(winsim::MakeFile(In("b.txt")));
  winsim::FailCall("FindNextFileA", 2, ERROR_NOT_READY);
  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_TRUE(winsim::Exists(kTree));
}

TEST_F(FolderTree, AFolderThatResistsItsOwnRemovalIsAnError) {
  ASSERT_TRUE(winsim::MakeFile(In("a.txt")));
  ASSERT_TRUE(winsim::DenyAccess(kTree, winsim::DenyDelete));
  EXPECT_EQ(StatusError, RemoveDirectoryTree(kTree, TRUE, TRUE));
  EXPECT_EQ(Entries{}, winsim::FolderEntries(kTree)) << "what was deleted stays deleted";

  ASSERT_TRUE(winsim::MakeFolder("C:\\Locked"));
  ASSERT_TRUE(winsim::DenyAccess("C:\\Locked", winsim::DenySetAttributes));
  ASSERT_TRUE(::SetFileAttributesA("C:\\Locked", FILE_ATTRIBUTE_NORMAL) == FALSE);
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree("C:\\Locked", TRUE, TRUE)) << "no protective bit to clear";
}

TEST_F(FolderTree, EverySearchIsClosedExactlyOnceOnEveryPath) {
  // Each way out of a walk, two levels deep; the fixture checks the counts after each test,
  // here after each case as well. A second FindClose would count below zero.
  struct Case {
    const char* api;
    int nth;
    DWORD error;
  };
  const Case cases[] = {
      {"DeleteFileA", 2, ERROR_ACCESS_DENIED},        {"DeleteFileA", 2, ERROR_FILE_NOT_FOUND},
      {"FindNextFileA", 3, ERROR_NOT_READY},          {"RemoveDirectoryA", 1, ERROR_ACCESS_DENIED},
      {"RemoveDirectoryA", 1, ERROR_FILE_NOT_FOUND},  {"SetFileAttributesA", 1, ERROR_ACCESS_DENIED},
      {"GetFileAttributesA", 4, ERROR_ACCESS_DENIED}, {"FindFirstFileA", 2, ERROR_NOT_READY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.api) + " #" + std::to_string(c.nth) + " fails with " + std::to_string(c.error));
    winsim::Remove(kTree);
    ASSERT_TRUE(winsim::MakeFile(In("a.txt"), "", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(winsim::MakeFile(In("Sub\\b.txt")));
    ASSERT_TRUE(winsim::MakeFile(In("Sub\\c.txt")));
    winsim::FailCall(c.api, c.nth, c.error);
    RemovalStatus status = RemoveDirectoryTree(kTree, TRUE, TRUE);
    EXPECT_NE(StatusDeleted, status);
    EXPECT_EQ("", winsim::LeakReport());
    int searchesStarted = winsim::CallCount("FindFirstFileA") - (c.api == std::string("FindFirstFileA") ? 1 : 0);
    EXPECT_EQ(searchesStarted, winsim::CallCount("FindClose"));
    winsim::Reset();
  }
}

TEST_F(FolderTree, WithoutShlwapiOrItsFunctionOurOwnCheckGivesTheSameAnswers) {
  for (bool dllPresent : {false, true}) {
    SCOPED_TRACE(dllPresent ? "function missing" : "library missing");
    winsim::Reset();
    winsim::SetShlwapiPresent(dllPresent, false);
    ASSERT_TRUE(winsim::MakeFolder("C:\\Empty"));
    ASSERT_TRUE(winsim::MakeFile("C:\\Full\\a.txt"));
    ASSERT_TRUE(winsim::MakeFile("C:\\file.txt"));

    EXPECT_EQ(StatusDeleted, RemoveDirectoryTree("C:\\Empty", FALSE, FALSE));
    EXPECT_EQ(StatusError, RemoveDirectoryTree("C:\\Full", FALSE, FALSE));
    EXPECT_EQ(StatusError, RemoveDirectoryTree("C:\\Missing", FALSE, FALSE));
    EXPECT_EQ(StatusError, RemoveDirectoryTree("C:\\file.txt", FALSE, FALSE));
    EXPECT_TRUE(winsim::Exists("C:\\Full\\a.txt"));
    EXPECT_TRUE(winsim::Exists("C:\\file.txt"));
    EXPECT_EQ(0, winsim::CallCount("PathIsDirectoryEmptyA"));
    EXPECT_EQ("", winsim::LeakReport()) << "the library is freed again";
  }
}

TEST_F(FolderTree, ShlwapiIsAskedWhenItIsThereAndFreedAgain) {
  ASSERT_TRUE(winsim::MakeFolder("C:\\Empty"));
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree("C:\\Empty", FALSE, TRUE));
  EXPECT_EQ(1, winsim::CallCount("PathIsDirectoryEmptyA"));
  EXPECT_EQ(1, winsim::CallCount("LoadLibraryA"));
  EXPECT_EQ(0, winsim::OpenCount(winsim::Resource::Library));
  // Every mode but only-when-empty leaves it alone.
  EXPECT_EQ(StatusNoFolder, RemoveDirectoryTree("C:\\Empty", TRUE, FALSE));
  EXPECT_EQ(1, winsim::CallCount("LoadLibraryA"));
}

}  // namespace
