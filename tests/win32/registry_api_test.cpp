// What the registry answers to the calls the program makes: names, enumeration order, buffer
// sizes and codes. On the host these hold the stand-in to Windows' behaviour; under Wine the
// same assertions run against a real registry.
#include <windows.h>

#include <string>
#include <vector>

#include "scratch.h"
#ifdef WINSIM
#include "winsim.h"
#endif

namespace {

// CP932 bytes written out, so that the Windows build, whose literals stay UTF-8, has them too.
const char kSo[] = "\x83\x5C";                                // ソ: its second byte is a backslash
const char kHyo[] = "\x95\x5C";                               // 表: likewise
const char kA[] = "\x83\x41";                                 // ア: second byte 'A'
const char kDi[] = "\x83\x61";                                // ヂ: second byte 'a'
const char kZorubiku[] = "\x83\x5D\x83\x8B\x83\x72\x83\x4E";  // ゾルビク

bool IsNtPlatform() {
  OSVERSIONINFOA v = {};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExA(&v);
  return v.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

class RegistryApiTest : public Win32Test {
 protected:
  // The key opened under HKEY_CURRENT_USER, or null with a failure.
  HKEY Open(const std::string& path, REGSAM access = KEY_ALL_ACCESS) const {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &key);
    EXPECT_EQ(ERROR_SUCCESS, rc) << path;
    return rc == ERROR_SUCCESS ? key : nullptr;
  }

  // The subkey names of `path` by index, as RegEnumKeyExA gives them.
  std::vector<std::string> Subkeys(const std::string& path) const {
    std::vector<std::string> names;
    HKEY key = Open(path, KEY_ENUMERATE_SUB_KEYS);
    if (key == nullptr) return names;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD chars = sizeof name;
      LONG rc = RegEnumKeyExA(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) {
        EXPECT_EQ(ERROR_NO_MORE_ITEMS, rc) << path << " index " << i;
        break;
      }
      EXPECT_EQ(std::string(name).size(), chars);
      names.push_back(name);
    }
    RegCloseKey(key);
    return names;
  }
};

TEST_F(RegistryApiTest, NamesMatchWithoutRegardToCaseAndKeepTheirOwnCase) {
  MakeKey(HKEY_CURRENT_USER, ScratchKey("Tablet\\Pen"));

  HKEY key = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, ScratchKey("TABLET\\pen").c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS, nullptr, &key, &disposition));
  EXPECT_EQ(static_cast<DWORD>(REG_OPENED_EXISTING_KEY), disposition);
  RegCloseKey(key);

  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ScratchKey("tAbLeT\\PEN")));
  EXPECT_EQ(std::vector<std::string>{"Tablet"}, Subkeys(ScratchKey()));
  EXPECT_EQ(std::vector<std::string>{"Pen"}, Subkeys(ScratchKey("TABLET")));
}

TEST_F(RegistryApiTest, SubkeysComeInNameOrderAndTheNextMovesUpWhenOneIsDeleted) {
  for (const char* name : {"delta", "Bravo", "alpha", "Charlie", "ALPHA2"}) {
    MakeKey(HKEY_CURRENT_USER, ScratchKey(name));
  }
  EXPECT_EQ((std::vector<std::string>{"alpha", "ALPHA2", "Bravo", "Charlie", "delta"}), Subkeys(ScratchKey()));

  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, ScratchKey("ALPHA").c_str()));
  EXPECT_EQ((std::vector<std::string>{"ALPHA2", "Bravo", "Charlie", "delta"}), Subkeys(ScratchKey()));
}

TEST_F(RegistryApiTest, AnEnumeratedNameMustFitWithItsTerminator) {
  MakeKey(HKEY_CURRENT_USER, ScratchKey("abcd"));
  HKEY key = Open(ScratchKey(), KEY_ENUMERATE_SUB_KEYS);
  ASSERT_NE(nullptr, key);
  char name[16];

  DWORD chars = 4;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  chars = 5;
  ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  EXPECT_STREQ("abcd", name);
  EXPECT_EQ(4u, chars);
  chars = 5;
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, RegEnumKeyExA(key, 1, name, &chars, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(key);

  // A name of 255 characters, the longest a key can have, needs a capacity of 256.
  // Made below an open key: Wine's ANSI calls take at most 260 characters of path at once.
  const std::string longest(255, 'k');
  MakeKey(HKEY_CURRENT_USER, ScratchKey("Long"));
  key = Open(ScratchKey("Long"));
  ASSERT_NE(nullptr, key);
  HKEY child = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(key, longest.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr));
  RegCloseKey(child);
  char buffer[300];
  chars = 255;
  EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExA(key, 0, buffer, &chars, nullptr, nullptr, nullptr, nullptr));
  chars = 256;
  ASSERT_EQ(ERROR_SUCCESS, RegEnumKeyExA(key, 0, buffer, &chars, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(longest, std::string(buffer));
  EXPECT_EQ(255u, chars);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, EnumerationNeedsTheRightToListSubkeysOnTheNtFamily) {
  if (!IsNtPlatform()) GTEST_SKIP() << "the 9x family has no registry security";
  MakeKey(HKEY_CURRENT_USER, ScratchKey("Parent\\Child"));
  HKEY key = Open(ScratchKey("Parent"), KEY_QUERY_VALUE);
  ASSERT_NE(nullptr, key);
  char name[256];
  DWORD chars = sizeof name;
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, AValueQueryGivesItsSizeAndRefusesABufferTooSmall) {
  SetStringValue(HKEY_CURRENT_USER, ScratchKey(), "Path", "C:\\Tablet");  // 10 bytes with the terminator
  HKEY key = Open(ScratchKey(), KEY_QUERY_VALUE);
  ASSERT_NE(nullptr, key);

  DWORD type = 0, size = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "PATH", nullptr, &type, nullptr, &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(10u, size);

  char data[16];
  size = 9;
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
  EXPECT_EQ(10u, size);

  size = 10;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
  EXPECT_EQ(std::string("C:\\Tablet", 10), std::string(data, size));

  size = sizeof data;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegQueryValueExA(key, "Missing", nullptr, &type, reinterpret_cast<BYTE*>(data), &size));
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, ValuesAreDeletedByNameWithoutRegardToCase) {
  SetStringValue(HKEY_CURRENT_USER, ScratchKey(), "Tablet", "x");
  SetStringValue(HKEY_CURRENT_USER, ScratchKey(), "Other", "y");

  if (IsNtPlatform()) {
    // A handle opened for DELETE alone may not delete values there.
    HKEY deleteOnly = Open(ScratchKey(), DELETE);
    ASSERT_NE(nullptr, deleteOnly);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteValueA(deleteOnly, "Tablet"));
    RegCloseKey(deleteOnly);
  }

  HKEY key = Open(ScratchKey());
  ASSERT_NE(nullptr, key);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "TABLET"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueA(key, "Tablet"));
  DWORD size = 0;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegQueryValueExA(key, "Tablet", nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Other", nullptr, nullptr, nullptr, &size));
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, OnTheNtFamilyAKeyWithSubkeysIsNotDeleted) {
  if (!IsNtPlatform()) GTEST_SKIP() << "the 9x family deletes the whole subtree";
  MakeKey(HKEY_CURRENT_USER, ScratchKey("Parent\\Child"));
  EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyA(HKEY_CURRENT_USER, ScratchKey("Parent").c_str()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ScratchKey("Parent\\Child")));

  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, ScratchKey("Parent\\Child").c_str()));
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, ScratchKey("Parent").c_str()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ScratchKey("Parent")));
}

TEST_F(RegistryApiTest, AKeyDeletedWhileOpenAnswersKeyDeletedThroughItsHandle) {
  SetStringValue(HKEY_CURRENT_USER, ScratchKey("Gone"), "Value", "x");
  HKEY key = Open(ScratchKey("Gone"));
  ASSERT_NE(nullptr, key);
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, ScratchKey("Gone").c_str()));

  char name[256];
  DWORD chars = sizeof name;
  EXPECT_EQ(ERROR_KEY_DELETED, RegEnumKeyExA(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr));
  DWORD size = sizeof name;
  EXPECT_EQ(ERROR_KEY_DELETED, RegQueryValueExA(key, "Value", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size));
  HKEY sub = nullptr;
  EXPECT_EQ(ERROR_KEY_DELETED, RegOpenKeyExA(key, "x", 0, KEY_READ, &sub));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, ScratchKey("Gone")));
}

TEST_F(RegistryApiTest, MissingKeysAndMalformedPathsGiveTheirCodes) {
  HKEY key = nullptr;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            RegOpenKeyExA(HKEY_CURRENT_USER, ScratchKey("Missing\\Deeper").c_str(), 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteKeyA(HKEY_CURRENT_USER, ScratchKey("Missing").c_str()));

  MakeKey(HKEY_CURRENT_USER, ScratchKey("Here"));
  // Trailing and doubled backslashes name the same key.
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, ScratchKey("Here\\").c_str(), 0, KEY_READ, &key));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  if (IsNtPlatform()) {
    EXPECT_EQ(ERROR_BAD_PATHNAME,
              RegOpenKeyExA(HKEY_CURRENT_USER, ("\\" + ScratchKey("Here")).c_str(), 0, KEY_READ, &key));
  }

  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(HKEY_CURRENT_USER));  // a root is never really closed
  EXPECT_EQ(ERROR_SUCCESS, RegFlushKey(HKEY_CURRENT_USER));
}

TEST_F(RegistryApiTest, ADoubleByteCharacterWhoseSecondByteIsABackslashStaysOneName) {
  // "ソ\表": bytes 83 5C 5C 95 5C, of which only the middle one separates two levels.
  MakeKey(HKEY_CURRENT_USER, ScratchKey(std::string(kSo) + "\\" + kHyo));
  MakeKey(HKEY_CURRENT_USER, ScratchKey(std::string(kZorubiku) + "\\Sub"));

  EXPECT_EQ((std::vector<std::string>{kSo, kZorubiku}), Subkeys(ScratchKey()));
  EXPECT_EQ(std::vector<std::string>{kHyo}, Subkeys(ScratchKey(kSo)));
  EXPECT_EQ(std::vector<std::string>{"Sub"}, Subkeys(ScratchKey(kZorubiku)));
}

TEST_F(RegistryApiTest, CaseFoldingLeavesTheSecondByteOfADoubleByteCharacterAlone) {
  // ア (83 41) and ヂ (83 61) differ only in a second byte that looks like 'A' and 'a'.
  MakeKey(HKEY_CURRENT_USER, ScratchKey(kA));
  MakeKey(HKEY_CURRENT_USER, ScratchKey(kDi));
  EXPECT_EQ((std::vector<std::string>{kA, kDi}), Subkeys(ScratchKey()));
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, ScratchKey(kDi).c_str()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, ScratchKey(kA)));
}

#ifdef WINSIM
TEST_F(RegistryApiTest, TheSpelledOutBytesAreTheCp932TextsTheyStandFor) {
  EXPECT_EQ(winsim::Sjis("ソ"), kSo);
  EXPECT_EQ(winsim::Sjis("表"), kHyo);
  EXPECT_EQ(winsim::Sjis("ア"), kA);
  EXPECT_EQ(winsim::Sjis("ヂ"), kDi);
  EXPECT_EQ(winsim::Sjis("ゾルビク"), kZorubiku);
}
#endif

}  // namespace
