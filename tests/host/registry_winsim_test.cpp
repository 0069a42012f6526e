// The stand-in's registry where no real registry under Wine can check it: the 9x family's
// behaviour, handle accounting, the keys a test makes refuse, injected failures, other code
// pages, and the test-side read-back.
#include <string>
#include <vector>

#include "test_support.h"
#include "winsim_registry.h"

namespace {

using winsim::Sjis;

void Use9xFamily() { winsim::SetVersion(4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS); }

HKEY OpenOrNull(HKEY root, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  return RegOpenKeyExA(root, path.c_str(), 0, access, &key) == ERROR_SUCCESS ? key : nullptr;
}

TEST_F(MachineTest, OpenKeysAreCountedAndRootsAreNot) {
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tablet");
  HKEY a = OpenOrNull(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tablet", KEY_READ);
  HKEY b = OpenOrNull(a, "", KEY_READ);  // the same key again, as a handle of its own
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  EXPECT_NE(a, b);
  EXPECT_EQ(2, winsim::OpenCount(winsim::Resource::Key));

  // A root opened with an empty path comes back as itself.
  EXPECT_EQ(HKEY_LOCAL_MACHINE, OpenOrNull(HKEY_LOCAL_MACHINE, "", KEY_READ));
  EXPECT_EQ(2, winsim::OpenCount(winsim::Resource::Key));

  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(a));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(a));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(b));
  EXPECT_EQ(0, winsim::OpenCount(winsim::Resource::Key));

  // A handle that was never given out.
  char name[8];
  DWORD chars = sizeof name;
  EXPECT_EQ(ERROR_INVALID_HANDLE,
            RegEnumKeyExA(reinterpret_cast<HKEY>(0x1234), 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID", 0, KEY_READ, &a));
}

TEST_F(MachineTest, OnThe9xFamilyDeletingAKeyTakesItsWholeSubtree) {
  Use9xFamily();
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A60\\0000\\Sub");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A60\\0001");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\Other");
  HKEY inside = OpenOrNull(HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A60\\0000\\Sub", KEY_READ);
  ASSERT_NE(nullptr, inside);

  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A60"));
  EXPECT_EQ((std::vector<std::string>{"Enum", "Enum\\SERENUM", "Enum\\SERENUM\\Other"}),
            winsim::KeyTree(HKEY_LOCAL_MACHINE));
  // A handle inside the deleted subtree now stands for a deleted key.
  DWORD size = 0;
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(inside, "x", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(inside));
}

TEST_F(MachineTest, OnThe9xFamilyASubtreeStopsAtAKeyThatRefusesDeletion) {
  Use9xFamily();
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Top\\A");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Top\\B");
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Top\\C");
  ASSERT_TRUE(winsim::DenyKeyDeletion(HKEY_LOCAL_MACHINE, "Top\\B"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Top"));
  EXPECT_EQ((std::vector<std::string>{"Top", "Top\\B", "Top\\C"}), winsim::KeyTree(HKEY_LOCAL_MACHINE));
}

TEST_F(MachineTest, OnThe9xFamilyTheRightsOfAHandleAreNotChecked) {
  Use9xFamily();
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Key\\Sub");
  winsim::SetStringValue(HKEY_LOCAL_MACHINE, "Key", "Value", "x");
  HKEY key = OpenOrNull(HKEY_LOCAL_MACHINE, "Key", DELETE);
  ASSERT_NE(nullptr, key);
  char name[16];
  DWORD chars = sizeof name;
  EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "Value"));
  RegCloseKey(key);
  // A leading backslash finds nothing to open there, and is skipped when a key is created.
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\Key\\Sub", 0, KEY_READ, &key));
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Key\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  EXPECT_TRUE(winsim::KeyExists(HKEY_LOCAL_MACHINE, "Key\\New"));
}

TEST_F(MachineTest, ADeniedRightRefusesOnlyOpeningsThatAskForIt) {
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Key\\Sub");
  ASSERT_TRUE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, "Key", DELETE));
  EXPECT_FALSE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, "Missing", DELETE));
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Key", 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &key));
  EXPECT_EQ(nullptr, key);
  key = OpenOrNull(HKEY_LOCAL_MACHINE, "Key", KEY_READ);
  EXPECT_NE(nullptr, key);
  RegCloseKey(key);
  // Its subkeys are not affected, and RegDeleteKeyA, which opens the key for DELETE, fails.
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Key\\Sub"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Key"));

  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Other");
  ASSERT_TRUE(winsim::DenyKeyDeletion(HKEY_LOCAL_MACHINE, "Other"));
  key = OpenOrNull(HKEY_LOCAL_MACHINE, "Other", KEY_ALL_ACCESS);
  EXPECT_NE(nullptr, key);
  RegCloseKey(key);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Other"));
  EXPECT_TRUE(winsim::KeyExists(HKEY_LOCAL_MACHINE, "Other"));
  // A root is never deleted.
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""));
}

TEST_F(MachineTest, AnInjectedFailureIsReturnedAndAcquiresNothing) {
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "Key");
  winsim::FailCall("RegOpenKeyExA", 2, ERROR_REGISTRY_IO_FAILED);
  HKEY key = OpenOrNull(HKEY_LOCAL_MACHINE, "Key", KEY_READ);
  ASSERT_NE(nullptr, key);
  RegCloseKey(key);
  HKEY second = reinterpret_cast<HKEY>(0x1);
  EXPECT_EQ(ERROR_REGISTRY_IO_FAILED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Key", 0, KEY_READ, &second));
  EXPECT_EQ(nullptr, second);
  EXPECT_EQ(0, winsim::OpenCount(winsim::Resource::Key));
  EXPECT_EQ(2, winsim::CallCount("RegOpenKeyExA"));

  winsim::FailCall("RegDeleteKeyA", 1, ERROR_ACCESS_DENIED);
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Key"));
  EXPECT_TRUE(winsim::KeyExists(HKEY_LOCAL_MACHINE, "Key"));
}

TEST_F(MachineTest, KeyNamesAreLimitedTo255Characters) {
  HKEY key = nullptr;
  const std::string tooLong(256, 'n');
  EXPECT_EQ(ERROR_INVALID_PARAMETER,
            RegCreateKeyExA(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  // Characters, not bytes: 255 double-byte characters are one name of 510 bytes.
  std::string kanji;
  for (int i = 0; i < 255; ++i) kanji += Sjis("表");
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_CURRENT_USER, kanji.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  RegCloseKey(key);
  EXPECT_EQ(std::vector<std::string>{kanji}, winsim::KeyTree(HKEY_CURRENT_USER));
}

TEST_F(MachineTest, OnASingleByteCodePageEveryBackslashSeparates) {
  winsim::SetCodePage(1252);
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "\x83\\x");
  EXPECT_EQ((std::vector<std::string>{"\x83", "\x83\\x"}), winsim::KeyTree(HKEY_LOCAL_MACHINE));
  winsim::SetCodePage(932);
  winsim::CreateKey(HKEY_USERS, "\x83\\x");
  EXPECT_EQ((std::vector<std::string>{"\x83\\x"}), winsim::KeyTree(HKEY_USERS));
}

TEST_F(MachineTest, JapaneseNamesSortAsTheirUnicodeTextAfterAsciiNames) {
  // By UTF-16, as NT keeps them: ア (U+30A2), 表 (U+8868), ｱ (U+FF71). By CP932 bytes the
  // half-width ｱ (B1) would come between ア (83 41) and 表 (95 5C).
  for (const char* name : {"ｱ", "表", "ア", "zeta", "Alpha"}) winsim::CreateKey(HKEY_LOCAL_MACHINE, Sjis(name));
  std::vector<std::string> names;
  for (const std::string& n : winsim::KeyTree(HKEY_LOCAL_MACHINE)) names.push_back(winsim::Utf8(n));
  EXPECT_EQ((std::vector<std::string>{"Alpha", "zeta", "ア", "表", "ｱ"}), names);
}

TEST_F(MachineTest, TheTestSideReadBackShowsKeysValuesAndFlushes) {
  winsim::SetStringValue(HKEY_CURRENT_USER, "Control Panel\\Zorvik", "Mode", "pen");
  EXPECT_TRUE(winsim::ValueExists(HKEY_CURRENT_USER, "control panel\\ZORVIK", "MODE"));
  EXPECT_EQ(std::string("pen", 4), winsim::ValueBytes(HKEY_CURRENT_USER, "Control Panel\\Zorvik", "Mode"));
  EXPECT_FALSE(winsim::ValueExists(HKEY_CURRENT_USER, "Control Panel\\Zorvik", "Other"));
  EXPECT_EQ((std::vector<std::string>{"Control Panel\\Zorvik"}),
            winsim::KeyTree(HKEY_CURRENT_USER, "CONTROL PANEL\\zorvik"));
  EXPECT_TRUE(winsim::KeyTree(HKEY_CURRENT_USER, "Missing").empty());
  EXPECT_NE(std::string::npos, winsim::DumpRegistry().find("[Mode]"));

  HKEY key = OpenOrNull(HKEY_CURRENT_USER, "Control Panel", KEY_READ);
  EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(key));
  RegCloseKey(key);
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegFlushKey(key));
  EXPECT_EQ((std::vector<HKEY>{key, key}), winsim::FlushedKeys());
  EXPECT_EQ(0, winsim::CallCount("RegCreateKeyExA"));  // set-up through the test side is not counted
}

}  // namespace
