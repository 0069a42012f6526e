// Registry removal on real key trees, set up with Win32 calls under the test's scratch key:
// what is gone, what stays, and the status of each removal.
#include <windows.h>

#include <string>
#include <vector>

#include "primitives/registry_removal.h"
#include "scratch.h"
#ifdef WINSIM
#include "winsim.h"
#endif

namespace {

const char kSo[] = "\x83\x5C";                                // ソ (second byte 0x5C)
const char kHyo[] = "\x95\x5C";                               // 表 (second byte 0x5C)
const char kSofuto[] = "\x83\x5C\x83\x74\x83\x67";            // ソフト
const char kZorubiku[] = "\x83\x5D\x83\x8B\x83\x72\x83\x4E";  // ゾルビク

class RegistryRemovalTest : public Win32Test {
 protected:
  bool Has(const std::string& relative) const { return KeyExists(HKEY_CURRENT_USER, ScratchKey(relative)); }
  void Make(const std::string& relative) const { MakeKey(HKEY_CURRENT_USER, ScratchKey(relative)); }
  RemovalStatus Remove(const std::string& relative) const {
    return RemoveRegistryKey(HKEY_CURRENT_USER, ScratchKey(relative).c_str());
  }
  // Keys with long names are made and looked up one level at a time, each name relative to
  // the key above it: Wine's ANSI registry calls take at most 260 characters of path at once.
  void MakeLevels(const std::vector<std::string>& names) const {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, ScratchKey().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    for (const std::string& name : names) {
      HKEY child = nullptr;
      LONG rc = RegCreateKeyExA(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr);
      RegCloseKey(key);
      ASSERT_EQ(ERROR_SUCCESS, rc) << name;
      key = child;
    }
    RegCloseKey(key);
  }
  bool HasLevels(const std::vector<std::string>& names) const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ScratchKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    for (const std::string& name : names) {
      HKEY child = nullptr;
      LONG rc = RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &child);
      RegCloseKey(key);
      if (rc != ERROR_SUCCESS) return false;
      key = child;
    }
    RegCloseKey(key);
    return true;
  }
  bool HasValue(const std::string& relative, const char* name) const {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ScratchKey(relative).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
      return false;
    }
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
  }
};

TEST_F(RegistryRemovalTest, AnEmptySubkeyIsNoKeyAndLeavesTheRootAlone) {
  Make("Kept");
  EXPECT_EQ(StatusNoKey, RemoveRegistryKey(HKEY_CURRENT_USER, ""));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ProbeKeyTree(HKEY_CURRENT_USER, ""));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteKeyTree(HKEY_CURRENT_USER, ""));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ProbeKeyTree(nullptr, ScratchKey("Kept").c_str()));
  EXPECT_TRUE(Has("Kept"));
}

TEST_F(RegistryRemovalTest, AMissingKeyIsNoKey) {
  Make("Kept");
  EXPECT_EQ(StatusNoKey, Remove("Missing"));
  EXPECT_EQ(StatusNoKey, Remove("Missing\\Below\\Deeper"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ProbeKeyTree(HKEY_CURRENT_USER, ScratchKey("Missing").c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteKeyTree(HKEY_CURRENT_USER, ScratchKey("Missing").c_str()));
  EXPECT_TRUE(Has("Kept"));
}

TEST_F(RegistryRemovalTest, ALeafKeyIsDeletedWithItsValuesAndItsParentStays) {
  SetStringValue(HKEY_CURRENT_USER, ScratchKey("Driver"), "Path", "C:\\Tablet");
  SetStringValue(HKEY_CURRENT_USER, ScratchKey("Driver"), "", "default");
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, ProbeKeyTree(HKEY_CURRENT_USER, ScratchKey("Driver").c_str()));
  EXPECT_TRUE(Has("Driver"));  // the probe changes nothing

  EXPECT_EQ(StatusDeleted, Remove("Driver"));
  EXPECT_FALSE(Has("Driver"));
  EXPECT_TRUE(Has(""));
}

TEST_F(RegistryRemovalTest, ATreeSeveralLevelsDeepAndWideGoesWholeAndTheKeysAboveItStay) {
  for (const char* path : {"Top\\Driver\\A\\A1\\A2\\A3", "Top\\Driver\\A\\B", "Top\\Driver\\B", "Top\\Driver\\C\\D\\E",
                           "Top\\Driver\\c2", "Top\\Driver\\D", "Top\\Driver\\E\\F", "Top\\Other", "Top\\Driver2"}) {
    Make(path);
  }
  SetStringValue(HKEY_CURRENT_USER, ScratchKey("Top\\Driver\\A\\A1"), "Value", "x");
  SetStringValue(HKEY_CURRENT_USER, ScratchKey("Top\\Driver"), "Value", "x");

  EXPECT_EQ(StatusDeleted, Remove("Top\\Driver"));
  EXPECT_FALSE(Has("Top\\Driver"));
  EXPECT_TRUE(Has("Top"));
  EXPECT_TRUE(Has("Top\\Other"));
  EXPECT_TRUE(Has("Top\\Driver2"));
  // A second removal finds nothing.
  EXPECT_EQ(StatusNoKey, Remove("Top\\Driver"));
}

TEST_F(RegistryRemovalTest, JapaneseKeyNamesAreRemovedWholeAndTheirNeighboursStay) {
  // ソ and 表 end in the byte 0x5C: a walk that took it for a separator would miss them.
  const std::string tree = std::string(kZorubiku) + "\\" + kSo + "\\" + kHyo;
  Make(tree);
  Make(std::string(kZorubiku) + "\\Tablet");
  SetStringValue(HKEY_CURRENT_USER, ScratchKey(tree), kHyo, "x");
  Make(kSofuto);

  EXPECT_EQ(StatusDeleted, Remove(kZorubiku));
  EXPECT_FALSE(Has(kZorubiku));
  EXPECT_TRUE(Has(kSofuto));

  Make(std::string(kSo) + "\\" + kHyo);
  EXPECT_EQ(StatusDeleted, Remove(kSo));
  EXPECT_FALSE(Has(kSo));
  EXPECT_TRUE(Has(kSofuto));
}

TEST_F(RegistryRemovalTest, ASubkeyNameOf254CharactersIsHandled) {
  MakeLevels({"Driver", std::string(254, 'a'), std::string(254, 'b')});
  MakeLevels({"Driver", std::string(254, 'c')});
  EXPECT_EQ(StatusDeleted, Remove("Driver"));
  EXPECT_FALSE(Has("Driver"));
}

TEST_F(RegistryRemovalTest, A255CharacterNameOnTheFirstChainStopsEverythingBeforeAnyDeletion) {
  const std::string longest(255, 'a');
  MakeLevels({"Driver", "A", longest});
  Make("Driver\\B");
  EXPECT_EQ(ERROR_MORE_DATA, ProbeKeyTree(HKEY_CURRENT_USER, ScratchKey("Driver").c_str()));
  EXPECT_EQ(StatusError, Remove("Driver"));
  EXPECT_TRUE(HasLevels({"Driver", "A", longest}));
  EXPECT_TRUE(Has("Driver\\B"));
}

TEST_F(RegistryRemovalTest, A255CharacterNameOffTheFirstChainStopsTheDeletionMidway) {
  // Sorted: A, B, zzz, then the long name; the probe follows A only.
  const std::string longest(255, 'z');
  Make("Driver\\A\\A1");
  Make("Driver\\B");
  MakeLevels({"Driver", longest, "Below"});
  Make("Driver\\zzz");
  EXPECT_EQ(StatusError, Remove("Driver"));
  EXPECT_FALSE(Has("Driver\\A"));
  EXPECT_FALSE(Has("Driver\\B"));
  EXPECT_FALSE(Has("Driver\\zzz"));
  EXPECT_TRUE(HasLevels({"Driver", longest, "Below"}));
  EXPECT_TRUE(Has("Driver"));
}

TEST_F(RegistryRemovalTest, ValueRemovalUnderAMissingKeyIsAnError) {
  EXPECT_EQ(StatusError, RemoveRegistryValue(HKEY_CURRENT_USER, ScratchKey("Missing").c_str(), "Tablet"));
  // An empty path would name the root: refused the same way, and nothing is touched.
  EXPECT_EQ(StatusError, RemoveRegistryValue(HKEY_CURRENT_USER, "", "Tablet"));
}

TEST_F(RegistryRemovalTest, ValueRemovalTakesOnlyTheNamedValue) {
  SetStringValue(HKEY_CURRENT_USER, ScratchKey("RunServices"), "Tablet", "tablet.exe");
  SetStringValue(HKEY_CURRENT_USER, ScratchKey("RunServices"), "Other", "other.exe");
  const std::string key = ScratchKey("RunServices");

  EXPECT_EQ(StatusDeleted, RemoveRegistryValue(HKEY_CURRENT_USER, key.c_str(), "Tablet"));
  EXPECT_FALSE(HasValue("RunServices", "Tablet"));
  EXPECT_EQ(StatusNoValue, RemoveRegistryValue(HKEY_CURRENT_USER, key.c_str(), "Tablet"));
  EXPECT_TRUE(HasValue("RunServices", "Other"));
  EXPECT_TRUE(Has("RunServices"));
}

}  // namespace
