// Faults the safety suite (tests/safety) found, each kept here as a plain test of the behaviour
// that was wrong, so that it cannot come back unnoticed.
#include <string>

#include "primitives/directory_tree.h"
#include "test_support.h"
#include "winsim_fs.h"

namespace {

using std::string;

class SafetyRegression : public MachineTest {
 protected:
  // A folder somebody else owns, and a Start-menu folder holding a file and a link to it.
  void MakeTreeWithLinkToPreciousFolder() {
    ASSERT_TRUE(winsim::MakeFile("C:\\Precious\\keep.txt", "mine"));
    ASSERT_TRUE(winsim::MakeFile("C:\\Precious\\sub\\data.bin", "mine too"));
    ASSERT_TRUE(winsim::MakeFile("C:\\Menu\\Tablet\\a.lnk", "shortcut"));
    ASSERT_TRUE(winsim::MakeDirectoryLink("C:\\Menu\\Tablet\\Shared", "C:\\Precious"));
  }
  void ExpectPreciousFolderWhole() {
    EXPECT_EQ("mine", winsim::FileBytes("C:\\Precious\\keep.txt"));
    EXPECT_EQ("mine too", winsim::FileBytes("C:\\Precious\\sub\\data.bin"));
  }
};

// The tree walk told a link from a folder by a second read of the attributes, and took an
// unreadable answer for "not a link": it then walked through the link and deleted the files
// of the folder the link points to. Whichever attribute read fails, and however, the link's
// target must stay whole.
TEST_F(SafetyRegression, AFolderLinkWhoseAttributesCannotBeReadIsNeverWalkedInto) {
  for (DWORD error : {static_cast<DWORD>(ERROR_ACCESS_DENIED), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)}) {
    for (int nth = 1; nth <= 10; ++nth) {
      SCOPED_TRACE("attribute read " + std::to_string(nth) + " fails with " + std::to_string(error));
      winsim::Reset();
      MakeTreeWithLinkToPreciousFolder();
      winsim::FailCall("GetFileAttributesA", nth, error);
      RemoveDirectoryTree("C:\\Menu\\Tablet", TRUE, TRUE);
      ExpectPreciousFolderWhole();
      EXPECT_EQ("", winsim::LeakReport());
    }
  }
}

TEST_F(SafetyRegression, AMenuFolderThatIsALinkWithUnreadableAttributesIsAnErrorAndItsTargetStays) {
  MakeTreeWithLinkToPreciousFolder();
  // The first read is the one that clears protective attributes; the second tells the link.
  winsim::FailCall("GetFileAttributesA", 2, ERROR_ACCESS_DENIED);
  EXPECT_EQ(StatusError, RemoveDirectoryTree("C:\\Menu\\Tablet\\Shared", TRUE, TRUE));
  ExpectPreciousFolderWhole();
  EXPECT_TRUE(winsim::Exists("C:\\Menu\\Tablet\\Shared"));
}

}  // namespace
