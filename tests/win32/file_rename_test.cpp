// The rename-file editor on real files through real mappings: the file afterwards byte for byte
// (so a mapping's zero bytes left behind would show), and a file held by someone else left as
// it was. Win32 calls only: the same assertions run on the stand-in and under Wine.
#include <string>

#include "primitives/rename_file.h"
#include "scratch.h"

namespace {

using std::string;

const string kLine = "NUL=C:\\WINDOWS\\SYSTEM\\TABLET.DLL\r\n";
const string kSecond = "NUL=C:\\PROGRA~1\\TABLET~1\\PEN.EXE\r\n";

class RenameFileOnDisk : public Win32Test {
 protected:
  string Ini() const { return Scratch("wininit.ini"); }
  BOOL Add(const string& line) { return AddRenameLine(Ini().c_str(), line.data(), static_cast<DWORD>(line.size())); }
};

TEST_F(RenameFileOnDisk, AMissingFileIsMadeWithTheSection) {
  EXPECT_TRUE(Add(kLine));
  EXPECT_EQ("[rename]\r\n" + kLine, ReadFileBytes(Ini()));
  EXPECT_TRUE(Add(kSecond));
  EXPECT_EQ("[rename]\r\n" + kSecond + kLine, ReadFileBytes(Ini()));
}

TEST_F(RenameFileOnDisk, TheLineGoesBelowTheFirstVariantFoundAndTheRestIsKept) {
  const string before = "[Boot]\r\n[Rename]\r\nNUL=C:\\A.TXT\r\n[rename]\r\nNUL=C:\\B.TXT\r\n[Last]\r\nx=1";
  MakeFile(Ini(), before);
  EXPECT_TRUE(Add(kLine));
  EXPECT_EQ("[Boot]\r\n[Rename]\r\nNUL=C:\\A.TXT\r\n[rename]\r\n" + kLine + "NUL=C:\\B.TXT\r\n[Last]\r\nx=1",
            ReadFileBytes(Ini()));
}

TEST_F(RenameFileOnDisk, WithoutAHeadingTheSectionIsAppendedAfterTheLastByte) {
  MakeFile(Ini(), "[boot]\r\nshell=explorer.exe");
  EXPECT_TRUE(Add(kLine));
  EXPECT_EQ("[boot]\r\nshell=explorer.exe[rename]\r\n" + kLine, ReadFileBytes(Ini()));
}

TEST_F(RenameFileOnDisk, AZeroByteHidesTheHeadingsAfterIt) {
  const string before("a\r\n\0[rename]\r\n", 14);
  MakeFile(Ini(), before);
  EXPECT_TRUE(Add(kLine));
  EXPECT_EQ(before + "[rename]\r\n" + kLine, ReadFileBytes(Ini()));
}

// The bytes below the heading move up through the mapping intact, from none to a tail longer
// than a page.
TEST_F(RenameFileOnDisk, TheBytesBelowTheHeadingMoveIntact) {
  string longTail;
  for (int i = 0; i < 10007; ++i) longTail += static_cast<char>('a' + i % 23);
  for (size_t tailLength : {0, 1, 17, 10007}) {
    SCOPED_TRACE(tailLength);
    const string head = ";[rename]\r\n";
    const string tail = longTail.substr(0, tailLength);
    MakeFile(Ini(), head + tail);
    EXPECT_TRUE(Add(kLine));
    EXPECT_EQ(head + kLine + tail, ReadFileBytes(Ini()));
  }
}

TEST_F(RenameFileOnDisk, AFileHeldByAnotherOpenerIsLeftAsItWas) {
  MakeFile(Ini(), "[rename]\r\n");
  HANDLE other =
      CreateFileA(Ini().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, other);
  EXPECT_FALSE(Add(kLine));
  CloseHandle(other);
  EXPECT_EQ("[rename]\r\n", ReadFileBytes(Ini()));
}

}  // namespace
