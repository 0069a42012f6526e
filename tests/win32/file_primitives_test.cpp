// File removal and folder tree removal on real files: protected files, files in use, whole trees
// and the three modes. Win32 calls only, so the same assertions hold on the stand-in and under
// Wine; nothing here depends on the order in which a folder lists its entries.
#include <string>

#include "primitives/directory_tree.h"
#include "primitives/file_removal.h"
#include "scratch.h"
#include "base/run_state.h"

namespace {

using std::string;

const DWORD kProtective = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;

class FilePrimitives : public Win32Test {
 protected:
  void MakeProtectedFile(const string& path, DWORD attributes) {
    MakeFile(path);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
  }
  // A tree of two levels with read-only, hidden and system files and a read-only, hidden folder.
  void MakeTree(const string& root) {
    MakeFolder(root);
    MakeFolder(root + "\\Help");
    MakeFolder(root + "\\Help\\Deep");
    MakeFolder(root + "\\Empty");
    MakeProtectedFile(root + "\\readme.txt", FILE_ATTRIBUTE_READONLY);
    MakeProtectedFile(root + "\\Tablet.lnk", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeProtectedFile(root + "\\Help\\manual.hlp",
                      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFile(root + "\\Help\\Deep\\notes.txt");
    ASSERT_TRUE(SetFileAttributesA((root + "\\Help").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  }
};

TEST_F(FilePrimitives, ProtectedFilesAreDeleted) {
  const DWORD kinds[] = {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM,
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM};
  int n = 0;
  for (DWORD attributes : kinds) {
    string path = Scratch("file" + std::to_string(n++) + ".dll");
    MakeProtectedFile(path, attributes);
    EXPECT_EQ(StatusDeleted, DeleteFileStatus(path.c_str())) << attributes;
    EXPECT_FALSE(Exists(path)) << attributes;
  }
}

TEST_F(FilePrimitives, WhatIsNotThereIsNoFile) {
  EXPECT_EQ(StatusNoFile, DeleteFileStatus(Scratch("missing.dll").c_str()));
  EXPECT_EQ(StatusNoFile, DeleteFileStatus(Scratch("missing\\driver.dll").c_str()));
  EXPECT_EQ(StatusNoFile, DeleteOrDefer(Scratch("missing\\driver.dll").c_str()));
  EXPECT_FALSE(RunState.restartPending);
}

TEST_F(FilePrimitives, AProtectedFileInUseLosesItsProtectionAndStays) {
  const string path = Scratch("busy.dll");
  MakeProtectedFile(path, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  HANDLE busy = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, busy);
  EXPECT_EQ(StatusError, DeleteFileStatus(path.c_str()));
  CloseHandle(busy);
  EXPECT_TRUE(Exists(path));
  EXPECT_EQ(0u, GetFileAttributesA(path.c_str()) & kProtective);
}

TEST_F(FilePrimitives, AWholeTreeGoesWithItsProtectedFilesAndFolders) {
  MakeTree(Scratch("Tablet"));
  ASSERT_TRUE(SetFileAttributesA(Scratch("Tablet").c_str(), FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(Scratch("Tablet").c_str(), TRUE, TRUE));
  EXPECT_FALSE(Exists(Scratch("Tablet")));
  EXPECT_EQ(StatusNoFolder, RemoveDirectoryTree(Scratch("Tablet").c_str(), TRUE, TRUE));
}

TEST_F(FilePrimitives, OnlyAnEmptyFolderGoesWhenEntriesAreNotAllowed) {
  MakeTree(Scratch("Tablet"));
  EXPECT_EQ(StatusError, RemoveDirectoryTree(Scratch("Tablet").c_str(), FALSE, TRUE));
  EXPECT_TRUE(Exists(Scratch("Tablet\\readme.txt")));
  EXPECT_EQ(StatusError, RemoveDirectoryTree(Scratch("Missing").c_str(), FALSE, FALSE));

  ASSERT_TRUE(SetFileAttributesA(Scratch("Tablet\\Empty").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(Scratch("Tablet\\Empty").c_str(), FALSE, FALSE));
  EXPECT_FALSE(Exists(Scratch("Tablet\\Empty")));
}

TEST_F(FilePrimitives, WithoutRecursionASubfolderStopsTheWalk) {
  MakeFolder(Scratch("Tablet"));
  MakeFolder(Scratch("Tablet\\Sub"));
  MakeFile(Scratch("Tablet\\Sub\\inner.txt"));
  MakeFile(Scratch("Tablet\\a.txt"));
  EXPECT_EQ(StatusError, RemoveDirectoryTree(Scratch("Tablet").c_str(), TRUE, FALSE));
  EXPECT_TRUE(Exists(Scratch("Tablet\\Sub\\inner.txt")));

  // Files only: the folder is emptied and removed without recursion.
  MakeFolder(Scratch("Files"));
  MakeFile(Scratch("Files\\a.txt"));
  MakeProtectedFile(Scratch("Files\\b.txt"), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(Scratch("Files").c_str(), TRUE, FALSE));
  EXPECT_FALSE(Exists(Scratch("Files")));
}

TEST_F(FilePrimitives, AFileInUseDeepInTheTreeKeepsItAndTheFoldersAboveIt) {
  MakeTree(Scratch("Tablet"));
  const string busyPath = Scratch("Tablet\\Help\\Deep\\notes.txt");
  HANDLE busy = CreateFileA(busyPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, busy);
  EXPECT_EQ(StatusError, RemoveDirectoryTree(Scratch("Tablet").c_str(), TRUE, TRUE));
  CloseHandle(busy);
  EXPECT_TRUE(Exists(busyPath));
  EXPECT_FALSE(RunState.restartPending) << "nothing inside a folder is put off until restart";

  EXPECT_EQ(StatusDeleted, RemoveDirectoryTree(Scratch("Tablet").c_str(), TRUE, TRUE)) << "once it is free";
}

}  // namespace
