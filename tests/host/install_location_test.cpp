// Install location discovery: the uninstall command line, the two registrations, the 9x
// fallback, the malformed folders that count as not found, and the text helpers it is made of.
// The folders refused for being the system's or another's: safety_regressions_test.cpp.
#include <cstring>

#include "installation.h"
#include "plans/install_location.h"
#include "base/os_kind.h"
#include "winsim_fs.h"

namespace {

using winsim::Sjis;

const int kGuard = 16;

class InstallLocationTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    RunState.osKind = OsWinXP;
  }

  // FindInstallDirectory on a buffer of INSTALL_FOLDER_SIZE bytes followed by guard bytes;
  // "" (and a check that nothing was written) when it finds nothing.
  std::string Find() {
    char buffer[INSTALL_FOLDER_SIZE + kGuard];
    std::memset(buffer, '#', sizeof buffer);
    const int found = FindInstallDirectory(buffer);
    for (int i = INSTALL_FOLDER_SIZE; i < INSTALL_FOLDER_SIZE + kGuard; ++i) {
      EXPECT_EQ('#', buffer[i]) << "written past the caller's buffer at " << i;
    }
    if (!found) {
      EXPECT_EQ('#', buffer[0]) << "the buffer was touched although nothing was found";
      return "";
    }
    EXPECT_NE(nullptr, std::memchr(buffer, '\0', INSTALL_FOLDER_SIZE));
    return std::string(buffer);
  }

  void Register(const std::string& commandLine, const char* key = kUninstallKey) {
    SetRegString(HKEY_LOCAL_MACHINE, key, "UninstallString", commandLine);
  }
  void DocLocation(const std::string& folder) {
    SetRegString(HKEY_LOCAL_MACHINE, kDocLocationKey, "OEMDocLocation", folder);
  }
};

std::string TakeFolder(const std::string& commandLine) {
  std::string text = commandLine;
  if (!TakeFolderFromCommandLine(&text[0])) return "<no marker>";
  return text.c_str();
}

TEST_F(InstallLocationTest, QuotedFileWithSwitchesGivesItsFolder) {
  Register("\"C:\\Program Files\\Zorvik\\Remove.exe\" /uninstall /s");
  EXPECT_EQ("C:\\Program Files\\Zorvik", Find());

  // The uninstaller's own path stays outside; the quoted file of its switch is what counts.
  Register("C:\\WINDOWS\\IsUninst.exe -f\"C:\\Program Files\\Zorvik Tablet\\Uninst.isu\" -c\"x\"");
  EXPECT_EQ("C:\\Program Files\\Zorvik Tablet", Find());

  // An opening quote without its closing one keeps everything after it.
  Register("x \"D:\\Tablet\\Remove.exe");
  EXPECT_EQ("D:\\Tablet", Find());
}

TEST_F(InstallLocationTest, MarkersMatchInAnyLetterCase) {
  for (const char* marker : {"Remove.exe", "REMOVE.EXE", "remove.EXE", "uninst.isu", "Uninst.isu", "UNINST.ISU"}) {
    Register(std::string("\"C:\\Zorvik\\") + marker + "\"");
    EXPECT_EQ("C:\\Zorvik", Find()) << marker;
  }
}

TEST_F(InstallLocationTest, TheFirstMarkerInListOrderDecidesNotThePosition) {
  // "Remove.exe" comes first in the text, but "uninst.isu" is searched first.
  EXPECT_EQ("C:\\B", TakeFolder("C:\\A\\Remove.exe -log C:\\B\\uninst.isu"));
  Register("\"C:\\Remove.exe files\\Zorvik\\uninst.isu\"");
  EXPECT_EQ("C:\\Remove.exe files\\Zorvik", Find());
  // Without "uninst.isu" the first "Remove.exe" cuts.
  EXPECT_EQ("C:\\A", TakeFolder("C:\\A\\Remove.exe C:\\B\\Remove.exe"));
  EXPECT_EQ("<no marker>", TakeFolder("\"C:\\A\\Setup.exe\" -u"));
}

// Unquoted lines name the uninstaller first: the folder starts at the last drive designator
// after the first character, found character by character, blanks and all.
TEST_F(InstallLocationTest, AnUnquotedValueGivesTheFolderFromItsLastDrive) {
  const struct {
    std::string commandLine;
    std::string folder;
  } cases[] = {
      {"C:\\WINDOWS\\IsUninst.exe -fC:\\ZORVIK\\Tablet\\Uninst.isu", "C:\\ZORVIK\\Tablet"},
      {Sjis("C:\\WINNT\\IsUn0411.exe -fC:\\Program Files\\ZORVIK ソフトウェア\\Tablet\\Uninst.isu -a"),
       Sjis("C:\\Program Files\\ZORVIK ソフトウェア\\Tablet")},
      {"RunDll32 d:\\PROGRA~1\\Zorvik\\Remove.exe -x", "d:\\PROGRA~1\\Zorvik"},
      {"C:\\Program Files\\Zorvik\\Remove.exe -y", "C:\\Program Files\\Zorvik"},  // the first drive stays
      // A second byte that is a letter, before ":\\", is no drive: "ソ" is 83 5C, "ア" 83 41.
      {Sjis("C:\\ア:\\Tablet\\Remove.exe"), Sjis("C:\\ア:\\Tablet")},
      {"Setup.exe C:Tablet\\Remove.exe", "Setup.exe C:Tablet"},  // ":" without "\\" is no designator
  };
  for (const auto& c : cases) EXPECT_EQ(c.folder, TakeFolder(c.commandLine)) << c.commandLine;
  // The quoted part still comes first: a drive after the quotes is never reached.
  EXPECT_EQ("C:\\A", TakeFolder("\"C:\\A\\Remove.exe\" -log D:\\B"));
  Register("C:\\WINDOWS\\IsUninst.exe -fC:\\ZORVIK\\Tablet\\Uninst.isu");
  EXPECT_EQ("C:\\ZORVIK\\Tablet", Find());
}

TEST_F(InstallLocationTest, TheSecondRegistrationIsAskedOnlyWhenTheFirstDoesNotOpen) {
  Register("\"C:\\Second\\Remove.exe\"", kSecondUninstallKey);
  EXPECT_EQ("C:\\Second", Find());

  // The first key opens but has no command line: the second is not asked, on NT nothing else.
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Zorvik Tablet Driver");
  const int opensBefore = winsim::CallCount("RegOpenKeyExA");
  EXPECT_EQ("", Find());
  EXPECT_EQ(opensBefore + 1, winsim::CallCount("RegOpenKeyExA"));

  // Nor when its command line names no marker, nor when it is too long to read.
  Register("\"C:\\First\\Setup.exe\" -u");
  EXPECT_EQ("", Find());
  Register("\"C:\\First\\Remove.exe\"" + std::string(1100, ' '));
  EXPECT_EQ("", Find());
  // At exactly 1024 bytes with its terminator it is read.
  Register("\"C:\\First\\Remove.exe\"" + std::string(1023 - 21, ' '));
  EXPECT_EQ("C:\\First", Find());
}

TEST_F(InstallLocationTest, AValueStoredWithoutTerminatorIsReadInFullAndNoFurther) {
  std::string bytes = "C:\\Zorvik\\Remove.exe";
  SetRegBytes(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", REG_SZ, bytes);
  EXPECT_EQ("C:\\Zorvik", Find());
  // 1024 bytes, no terminator, the marker in the last ten: still found.
  bytes = "C:\\" + std::string(1024 - 3 - 11 - 10, 'z') + "\\" + std::string(10, 'y') + "Remove.exe";
  ASSERT_EQ(1024u, bytes.size());
  SetRegBytes(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString", REG_BINARY, bytes);
  EXPECT_EQ("", Find());  // found, but far longer than 259 characters
  EXPECT_EQ(bytes.substr(0, bytes.size() - 10), TakeFolder(bytes));
}

TEST_F(InstallLocationTest, TheDocumentsLocationIsTheFallbackOfThe9xFamilyOnly) {
  DocLocation("\"C:\\Zorvik Docs\\\"");
  // NT: no registration, no fallback, and the settings key is not even opened.
  EXPECT_EQ("", Find());
  EXPECT_EQ(2, winsim::CallCount("RegOpenKeyExA"));

  for (int kind : {OsWin95, OsWin95Osr2, OsWin98, OsWinMe}) {
    RunState.osKind = kind;
    EXPECT_EQ("C:\\Zorvik Docs", Find()) << "kind " << kind;
  }
  // Also when the registration names no marker, or no usable folder.
  Register("\"C:\\Zorvik\\Setup.exe\"");
  EXPECT_EQ("C:\\Zorvik Docs", Find());
  Register("Remove.exe /x");
  EXPECT_EQ("C:\\Zorvik Docs", Find());
  // The value is the folder itself: a marker in it is not looked for.
  DocLocation("C:\\Docs\\Remove.exe");
  EXPECT_EQ("C:\\Docs\\Remove.exe", Find());
  // A failing query gives nothing, and the key is closed all the same (checked at tear-down).
  winsim::FailCall("RegQueryValueExA", 2, ERROR_ACCESS_DENIED);
  EXPECT_EQ("", Find());
}

TEST_F(InstallLocationTest, ADoubleByteLastCharacterEndingIn5CStaysWhole) {
  RunState.osKind = OsWin98;
  // 表 is 95 5C in code page 932.
  const std::string folder = "C:\\Docs\\" + Sjis("表");
  ASSERT_EQ('\\', folder.back());
  DocLocation(folder);
  EXPECT_EQ(folder, Find());
  DocLocation(folder + "\\");
  EXPECT_EQ(folder, Find());
  Register("\"" + folder + "\\Remove.exe\"");
  EXPECT_EQ(folder, Find());
}

TEST_F(InstallLocationTest, TwoFinalBackslashesKeepOne) {
  RunState.osKind = OsWinMe;
  DocLocation("C:\\Zorvik\\\\");
  EXPECT_EQ("C:\\Zorvik\\", Find());
  Register("\"C:\\Zorvik\\\\Remove.exe\"");
  EXPECT_EQ("C:\\Zorvik\\", Find());
}

// A folder the plans would compose from must be a real folder of its own: these count as not
// found, so no file is ever named at a drive or share root, outside the folder, or by a
// malformed name.
TEST_F(InstallLocationTest, FoldersThatAreNoInstallFolderCountAsNotFound) {
  RunState.osKind = OsWin98;
  const std::vector<std::string> refused = {
      "",
      "Zorvik\\Docs",
      "\\Zorvik",
      "C:",
      "C:\\",
      "C:\\\\",
      "C:Zorvik",
      "C:\\..",
      "C:\\Zorvik\\..\\..",
      "C:\\.",
      "C:\\...",
      "C:\\ .",
      "C:\\Zorvik\\.\\",
      "C:\\Zor\x01vik",
      "C:\\Zorvik\\Docs\tx",
      "C:\\Zorvik*",
      "C:\\Zorvik\\a:b",
      "C:\\Zorvik\\\x95",
      "\\\\server",
      "\\\\server\\share",
      "\\\\server\\share\\",
      "\\\\server\\share\\Zorvik",  // anyone's folder, on a server that may not answer
      "C:\\Zorvik.",                // Windows drops a final dot or blank: another folder
      "C:\\Zorvik \\Docs",
      "C:\\Zorvik\\Docs. \\",
      "\\\\.\\PhysicalDrive0",
      "\\\\?\\C:\\",
      "C:\\" + std::string(257, 'z'),
  };
  for (const std::string& folder : refused) {
    DocLocation(folder);
    EXPECT_EQ("", Find()) << "[" << folder << "]";
  }
  // A marker at the very start of the command line leaves nothing.
  RunState.osKind = OsWinXP;
  Register("Remove.exe /s");
  EXPECT_EQ("", Find());
  RunState.osKind = OsWin98;

  const std::vector<std::string> accepted = {
      "D:\\Zorvik",
      "c:/Zorvik",
      "C:\\Zorvik\\.config",
      "C:\\" + std::string(256, 'z'),  // 259 characters
      "C:\\" + Sjis("ゾルビク\\表"),
  };
  for (const std::string& folder : accepted) {
    DocLocation(folder);
    EXPECT_EQ(folder, Find()) << "[" << folder << "]";
  }
}

TEST_F(InstallLocationTest, WithoutTheCodePagesLeadBytesNothingIsFound) {
  RunState.osKind = OsWin98;
  DocLocation("C:\\Zorvik\\");
  winsim::FailEveryCall("GetCPInfo", ERROR_INVALID_PARAMETER);
  EXPECT_EQ("", Find());
}

TEST(FindTextNoCase, FoldsOnlyTheLettersAToZ) {
  const char text[] = "abcREMOVE.EXE";
  EXPECT_EQ(text + 3, FindTextNoCase(text, "remove.exe"));
  EXPECT_EQ(text, FindTextNoCase(text, "ABC"));
  EXPECT_EQ(nullptr, FindTextNoCase("", "a"));
  EXPECT_EQ(nullptr, FindTextNoCase("remove.ex", "remove.exe"));  // never reads past the text
  const char end[] = "xxUninst.isu";
  EXPECT_EQ(end + 2, FindTextNoCase(end, "uninst.isu"));
  // '@' and '`', '[' and '{' differ by 0x20 but are no letters; bytes above 0x7F are unchanged.
  EXPECT_EQ(nullptr, FindTextNoCase("@", "`"));
  EXPECT_EQ(nullptr, FindTextNoCase("[", "{"));
  EXPECT_EQ(nullptr, FindTextNoCase("\xC1", "\xE1"));
  const std::string dbcs = Sjis("ゾルビク");
  EXPECT_EQ(dbcs.c_str(), FindTextNoCase(dbcs.c_str(), dbcs.c_str()));
}

class StripTrailingSeparatorTest : public MachineTest {
 protected:
  static std::string Strip(std::string path) {
    StripTrailingSeparator(&path[0]);
    return path.c_str();
  }
};

TEST_F(StripTrailingSeparatorTest, RemovesOneFinalBackslashButNeverASecondByte) {
  EXPECT_EQ("C:\\a", Strip("C:\\a\\"));
  EXPECT_EQ("C:\\a\\", Strip("C:\\a\\\\"));
  EXPECT_EQ("C:\\a", Strip("C:\\a"));
  EXPECT_EQ("", Strip(""));
  EXPECT_EQ("", Strip("\\"));
  EXPECT_EQ(Sjis("表"), Strip(Sjis("表")));
  EXPECT_EQ(Sjis("C:\\表"), Strip(Sjis("C:\\表\\")));
  EXPECT_EQ(Sjis("ソ表能"), Strip(Sjis("ソ表能")));
  // 95 5C 5C: the character and then a backslash, which goes.
  EXPECT_EQ(Sjis("表"), Strip("\x95\\\\"));
}

TEST_F(StripTrailingSeparatorTest, OnASingleByteCodePageEvery5CIsABackslash) {
  winsim::SetCodePage(1252);
  EXPECT_EQ("C:\\\x95", Strip("C:\\\x95\\"));
  EXPECT_EQ("\x95", Strip(Sjis("表")));
  // When the code page cannot be described nothing is removed.
  winsim::SetCodePage(932);
  winsim::FailEveryCall("GetCPInfo", ERROR_INVALID_PARAMETER);
  EXPECT_EQ("C:\\a\\", Strip("C:\\a\\"));
}

}  // namespace
