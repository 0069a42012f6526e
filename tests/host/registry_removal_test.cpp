// Registry removal against the stand-in, where keys can refuse access or deletion and any call
// can fail: the order of deletion, what a failure leaves behind, the status mappings, the
// flushes, and that every key opened is closed (checked after each test by the fixture).
#include <string>
#include <vector>

#include "primitives/registry_removal.h"
#include "test_support.h"
#include "winsim_registry.h"

namespace {

const char kDriver[] = "SOFTWARE\\Driver";

class RegistryRemovalHostTest : public MachineTest {
 protected:
  // Keys below SOFTWARE\Driver (given relative to it), created without counting any call.
  static void Make(std::initializer_list<const char*> paths) {
    for (const char* p : paths) winsim::CreateKey(HKEY_LOCAL_MACHINE, std::string(kDriver) + "\\" + p);
  }
  static std::vector<std::string> Tree() { return winsim::KeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE"); }
  static bool Has(const std::string& relative) {
    return winsim::KeyExists(HKEY_LOCAL_MACHINE, relative.empty() ? kDriver : std::string(kDriver) + "\\" + relative);
  }
  static RemovalStatus RemoveDriver() { return RemoveRegistryKey(HKEY_LOCAL_MACHINE, kDriver); }
};

// ---- the key walk ----

TEST_F(RegistryRemovalHostTest, AnEmptySubkeyOpensNothingAndDeletesNothing) {
  winsim::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
  EXPECT_EQ(StatusNoKey, RemoveRegistryKey(HKEY_LOCAL_MACHINE, ""));
  EXPECT_EQ(StatusNoKey, RemoveRegistryKey(HKEY_LOCAL_MACHINE, nullptr));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteKeyTree(HKEY_USERS, ""));
  EXPECT_EQ(StatusError, RemoveRegistryValue(HKEY_LOCAL_MACHINE, "", "Tablet"));
  EXPECT_EQ(0, winsim::CallCount("RegOpenKeyExA"));
  EXPECT_EQ(0, winsim::CallCount("RegDeleteKeyA"));
  EXPECT_EQ(0, winsim::CallCount("RegDeleteValueA"));
  EXPECT_TRUE(winsim::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
}

TEST_F(RegistryRemovalHostTest, EveryKeyIsOpenedForDeletionAndListingOnly) {
  Make({"A\\A1", "B"});
  // Rights the walk has no use for are refused everywhere: the walk must not ask for them.
  const REGSAM unneeded = KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_NOTIFY | READ_CONTROL;
  for (const char* p : {"", "A", "A\\A1", "B"}) {
    ASSERT_TRUE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, *p ? std::string(kDriver) + "\\" + p : kDriver, unneeded));
  }
  EXPECT_EQ(StatusDeleted, RemoveDriver());
  EXPECT_FALSE(Has(""));
  EXPECT_TRUE(winsim::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE"));
}

TEST_F(RegistryRemovalHostTest, ChildrenGoBeforeParentsAndEachLevelStartsAgainAtIndexZero) {
  // Deletion order: A1, A, B, C, D, E, Driver. Failing the fifth deletion (D) shows the order:
  // everything before it is gone, everything after it stays.
  Make({"A\\A1", "B", "C", "D", "E"});
  winsim::FailCall("RegDeleteKeyA", 5, ERROR_ACCESS_DENIED);
  EXPECT_EQ(StatusError, RemoveDriver());
  EXPECT_EQ((std::vector<std::string>{"SOFTWARE", "SOFTWARE\\Driver", "SOFTWARE\\Driver\\D", "SOFTWARE\\Driver\\E"}),
            Tree());
  EXPECT_EQ(5, winsim::CallCount("RegDeleteKeyA"));
}

TEST_F(RegistryRemovalHostTest, AWideAndDeepTreeGoesWholeOnBothFamilies) {
  for (bool win9x : {false, true}) {
    SCOPED_TRACE(win9x ? "9x family" : "NT family");
    if (win9x) winsim::SetVersion(4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS);
    Make({"A\\A1\\A2\\A3\\A4", "A\\B", "B", "C\\C1", "C\\C2", "C\\C3", "D", "E", "F\\F1\\F2", "G"});
    winsim::CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\DriverKept");
    winsim::SetStringValue(HKEY_LOCAL_MACHINE, std::string(kDriver) + "\\C\\C2", "Value", "x");

    EXPECT_EQ(StatusDeleted, RemoveDriver());
    EXPECT_EQ((std::vector<std::string>{"SOFTWARE", "SOFTWARE\\DriverKept"}), Tree());
    EXPECT_EQ(0, winsim::OpenCount(winsim::Resource::Key));
  }
}

TEST_F(RegistryRemovalHostTest, AFirstChainKeyThatCannotBeOpenedForDeletionStopsEverything) {
  Make({"A\\A1\\A2", "A\\B", "B", "C"});
  const std::vector<std::string> before = Tree();
  ASSERT_TRUE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, std::string(kDriver) + "\\A\\A1\\A2", DELETE));

  EXPECT_EQ(ERROR_ACCESS_DENIED, ProbeKeyTree(HKEY_LOCAL_MACHINE, kDriver));
  EXPECT_EQ(StatusError, RemoveDriver());
  EXPECT_EQ(before, Tree());
  EXPECT_EQ(0, winsim::CallCount("RegDeleteKeyA"));
}

TEST_F(RegistryRemovalHostTest, ALaterKeyThatCannotBeDeletedKeepsItAndEverythingAfterIt) {
  Make({"A\\A1", "B", "C\\C1", "D"});
  ASSERT_TRUE(winsim::DenyKeyDeletion(HKEY_LOCAL_MACHINE, std::string(kDriver) + "\\C"));
  EXPECT_EQ(StatusError, RemoveDriver());
  // C's own subkey went before C refused; D was never reached.
  EXPECT_EQ((std::vector<std::string>{"SOFTWARE", "SOFTWARE\\Driver", "SOFTWARE\\Driver\\C", "SOFTWARE\\Driver\\D"}),
            Tree());
}

TEST_F(RegistryRemovalHostTest, ALaterKeyThatCannotBeOpenedKeepsItsWholeSubtree) {
  Make({"A", "B\\B1\\B2", "C"});
  ASSERT_TRUE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, std::string(kDriver) + "\\B", DELETE));
  EXPECT_EQ(StatusError, RemoveDriver());
  EXPECT_EQ((std::vector<std::string>{"SOFTWARE", "SOFTWARE\\Driver", "SOFTWARE\\Driver\\B", "SOFTWARE\\Driver\\B\\B1",
                                      "SOFTWARE\\Driver\\B\\B1\\B2", "SOFTWARE\\Driver\\C"}),
            Tree());
}

TEST_F(RegistryRemovalHostTest, TheEnumerationCapacityIs255AgainForEveryCall) {
  // Short names first: a walk that kept the capacity the last call left behind (the length of
  // "A", 1) would fail on the longer names after it.
  Make({"A", std::string(200, 'b').c_str(), std::string(254, 'c').c_str()});
  EXPECT_EQ(StatusDeleted, RemoveDriver());
  EXPECT_FALSE(Has(""));
}

TEST_F(RegistryRemovalHostTest, A255CharacterNameFailsTheWalkWhereverItIs) {
  const std::string longest(255, 'x');
  Make({("A\\" + longest).c_str(), "B"});
  EXPECT_EQ(StatusError, RemoveDriver());  // on the first chain: nothing is deleted
  EXPECT_TRUE(Has("A\\" + longest));
  EXPECT_TRUE(Has("B"));
  EXPECT_EQ(0, winsim::CallCount("RegDeleteKeyA"));

  winsim::Reset();
  Make({"A\\A1", "B", longest.c_str(), "z"});  // off it: A, A1, B go, then the walk stops
  EXPECT_EQ(StatusError, RemoveDriver());
  EXPECT_EQ(
      (std::vector<std::string>{"SOFTWARE", "SOFTWARE\\Driver", "SOFTWARE\\Driver\\" + longest, "SOFTWARE\\Driver\\z"}),
      Tree());
}

TEST_F(RegistryRemovalHostTest, TheStatusFollowsTheFirstFailureCode) {
  struct Case {
    const char* api;
    int nth;
    DWORD error;
    RemovalStatus expected;
  };
  // Leaf key: the probe opens it (1st open) and lists it (1st enumeration); the deletion opens
  // it again (2nd open), lists it (2nd enumeration) and deletes it.
  const Case cases[] = {
      {"RegOpenKeyExA", 1, ERROR_FILE_NOT_FOUND, StatusNoKey},
      {"RegOpenKeyExA", 1, ERROR_BADKEY, StatusNoKey},
      {"RegOpenKeyExA", 1, ERROR_ACCESS_DENIED, StatusError},
      {"RegEnumKeyExA", 1, ERROR_REGISTRY_IO_FAILED, StatusError},
      {"RegEnumKeyExA", 1, ERROR_FILE_NOT_FOUND, StatusNoKey},
      {"RegOpenKeyExA", 2, ERROR_FILE_NOT_FOUND, StatusNoKey},  // gone between probe and deletion
      {"RegOpenKeyExA", 2, ERROR_BADKEY, StatusNoKey},
      {"RegOpenKeyExA", 2, ERROR_ACCESS_DENIED, StatusError},
      {"RegEnumKeyExA", 2, ERROR_KEY_DELETED, StatusError},
      {"RegDeleteKeyA", 1, ERROR_FILE_NOT_FOUND, StatusNoKey},
      {"RegDeleteKeyA", 1, ERROR_ACCESS_DENIED, StatusError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.api) + " #" + std::to_string(c.nth) + " fails with " + std::to_string(c.error));
    winsim::Reset();
    winsim::CreateKey(HKEY_LOCAL_MACHINE, kDriver);
    winsim::FailCall(c.api, c.nth, c.error);
    EXPECT_EQ(c.expected, RemoveDriver());
    EXPECT_TRUE(Has(""));  // a failure never loses the key
    EXPECT_EQ("", winsim::LeakReport());
  }
}

TEST_F(RegistryRemovalHostTest, TheProbeOpensOneKeyPerLevelAndClosesThemAll) {
  Make({"A\\A1\\A2", "B\\B1", "C"});
  EXPECT_EQ(ERROR_NO_MORE_ITEMS, ProbeKeyTree(HKEY_LOCAL_MACHINE, kDriver));
  // Driver, A, A1, A2: the first chain only, siblings unvisited.
  EXPECT_EQ(4, winsim::CallCount("RegOpenKeyExA"));
  EXPECT_EQ(4, winsim::CallCount("RegCloseKey"));
  EXPECT_EQ(0, winsim::CallCount("RegDeleteKeyA"));
}

// ---- values ----

class RegistryValueRemovalTest : public RegistryRemovalHostTest {
 protected:
  void SetUp() override {
    RegistryRemovalHostTest::SetUp();
    winsim::SetVersion(4, 10, 2222, VER_PLATFORM_WIN32_WINDOWS);  // the family whose plan removes a value
    winsim::SetStringValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet", "tablet.exe");
    winsim::SetStringValue(HKEY_LOCAL_MACHINE, kRunServices, "Other", "other.exe");
  }
  static constexpr const char* kRunServices = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
};

TEST_F(RegistryValueRemovalTest, TheNamedValueGoesAndEverythingElseStays) {
  EXPECT_EQ(StatusDeleted, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServices, "tablet"));
  EXPECT_FALSE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
  EXPECT_TRUE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Other"));
  EXPECT_EQ(StatusNoValue, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
}

TEST_F(RegistryValueRemovalTest, AMissingKeyIsAnErrorNotAMissingKeyOrValue) {
  EXPECT_EQ(StatusError, RemoveRegistryValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", "Tablet"));
  EXPECT_EQ(0, winsim::CallCount("RegDeleteValueA"));
}

TEST_F(RegistryValueRemovalTest, TheKeyIsOpenedWithTheRightToChangeValuesAlone) {
  // Refusing every other right changes nothing; refusing KEY_SET_VALUE makes it an error.
  ASSERT_TRUE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, kRunServices, KEY_ALL_ACCESS & ~KEY_SET_VALUE));
  EXPECT_EQ(StatusDeleted, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
  ASSERT_TRUE(winsim::DenyKeyAccess(HKEY_LOCAL_MACHINE, kRunServices, KEY_SET_VALUE));
  EXPECT_EQ(StatusError, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServices, "Other"));
  EXPECT_TRUE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Other"));
}

TEST_F(RegistryValueRemovalTest, TheDeletionCodeGivesTheStatus) {
  const std::pair<DWORD, RemovalStatus> cases[] = {
      {ERROR_FILE_NOT_FOUND, StatusNoValue},
      {ERROR_BADKEY, StatusNoValue},
      {ERROR_ACCESS_DENIED, StatusError},
      {ERROR_KEY_DELETED, StatusError},
  };
  for (const auto& [error, expected] : cases) {
    SCOPED_TRACE(error);
    winsim::FailCall("RegDeleteValueA", 1, error);
    EXPECT_EQ(expected, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
    EXPECT_TRUE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
    EXPECT_EQ(0, winsim::OpenCount(winsim::Resource::Key));
  }
  winsim::FailCall("RegOpenKeyExA", 1, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(StatusError, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
}

TEST_F(RegistryValueRemovalTest, ASystemThatChecksKeyRightsRemovesTheValueToo) {
  winsim::SetVersion(5, 1, 2600, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(StatusDeleted, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
  EXPECT_FALSE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
  EXPECT_EQ(StatusNoValue, RemoveRegistryValue(HKEY_LOCAL_MACHINE, kRunServices, "Tablet"));
  EXPECT_TRUE(winsim::ValueExists(HKEY_LOCAL_MACHINE, kRunServices, "Other"));
}

// ---- flushing ----

TEST_F(RegistryRemovalHostTest, FlushingWritesOutExactlyTheMachineAndUserRoots) {
  FlushRegistryRoots();
  EXPECT_EQ((std::vector<HKEY>{HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}), winsim::FlushedKeys());

  winsim::FailEveryCall("RegFlushKey", ERROR_REGISTRY_IO_FAILED);
  FlushRegistryRoots();  // failures are ignored: both roots are still asked for
  EXPECT_EQ(4u, winsim::FlushedKeys().size());
}

}  // namespace
