// Removing registry key trees and single values, and flushing the registry to disk. Each
// removal gives one status for the plan to report; nothing here shows or reports anything.
#include "primitives/registry_removal.h"

#include "base/message_check.h"

namespace {

// Every key of a walk is opened to be deleted and to have its subkeys listed.
const REGSAM KeyWalkAccess = DELETE | KEY_ENUMERATE_SUB_KEYS;  // 0x10008
// The key of a value is opened with the right to change its values, which is what deleting a
// value takes: the 9x family checks no rights at all, but a system that does (the NT family, or
// Wine in any version mode) refuses the deletion through a handle opened with DELETE alone, and
// the value would never be removed.
const REGSAM ValueRemovalAccess = KEY_SET_VALUE;
// RegEnumKeyExA counts the terminator in the capacity, so names of up to 254 characters fit
// this 256-byte buffer; a longer one fails the enumeration with ERROR_MORE_DATA.
const int SubkeyNameBufferSize = 256;
const DWORD SubkeyNameCapacity = 255;

// The registry's not-there codes: the key or value is simply absent.
bool IsNotThere(LONG code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_BADKEY; }

// An empty path would name the root itself, which these operations must never open or delete.
bool IsEmptyPath(const char* subkey) { return subkey == NULL || lstrlenA(subkey) == 0; }

}  // namespace

LONG ProbeKeyTree(HKEY root, const char* subkey) {
  if (root == NULL || IsEmptyPath(subkey)) return ERROR_FILE_NOT_FOUND;

  HKEY key;
  LONG result = RegOpenKeyExA(root, subkey, 0, KeyWalkAccess, &key);
  if (result != ERROR_SUCCESS) return result;

  // Only the first subkey of each level is followed: a key on that chain that cannot be
  // opened for deletion stops the removal before anything is deleted.
  char name[SubkeyNameBufferSize];
  DWORD nameChars = SubkeyNameCapacity;
  result = RegEnumKeyExA(key, 0, name, &nameChars, NULL, NULL, NULL, NULL);
  if (result == ERROR_SUCCESS) result = ProbeKeyTree(key, name);

  RegCloseKey(key);
  return result;
}

LONG DeleteKeyTree(HKEY root, const char* subkey) {
  if (IsEmptyPath(subkey)) return ERROR_FILE_NOT_FOUND;

  HKEY key;
  LONG result = RegOpenKeyExA(root, subkey, 0, KeyWalkAccess, &key);
  if (result != ERROR_SUCCESS) return result;

  char name[SubkeyNameBufferSize];
  for (;;) {
    // Each call overwrites the capacity with the length of the name it returned.
    DWORD nameChars = SubkeyNameCapacity;
    // Always index 0: once a subkey is deleted, the next one moves up to take its place.
    const LONG enumResult = RegEnumKeyExA(key, 0, name, &nameChars, NULL, NULL, NULL, NULL);
    if (enumResult == ERROR_NO_MORE_ITEMS) {
      // No subkeys left. The key goes through its parent while its own handle is still open;
      // the NT family refuses to delete a key that still has subkeys, so children go first.
      result = RegDeleteKeyA(root, subkey);
      break;
    }
    if (enumResult != ERROR_SUCCESS) {
      result = enumResult;
      break;
    }
    result = DeleteKeyTree(key, name);
    if (result != ERROR_SUCCESS) break;
    // A device class with thousands of keys takes a while: the window keeps answering.
    AnswerSentMessagesNowAndThen();
  }

  RegCloseKey(key);
  return result;
}

RemovalStatus RemoveRegistryKey(HKEY root, const char* subkey) {
  const LONG probe = ProbeKeyTree(root, subkey);
  if (probe == ERROR_SUCCESS || probe == ERROR_NO_MORE_ITEMS) {
    const LONG deletion = DeleteKeyTree(root, subkey);
    if (deletion == ERROR_SUCCESS || deletion == ERROR_NO_MORE_ITEMS) return StatusDeleted;
    return IsNotThere(deletion) ? StatusNoKey : StatusError;
  }
  return IsNotThere(probe) ? StatusNoKey : StatusError;
}

RemovalStatus RemoveRegistryValue(HKEY root, const char* subkey, const char* valueName) {
  // An empty path would open the root and delete a value of the root itself: refused like a
  // key that cannot be opened.
  if (IsEmptyPath(subkey)) return StatusError;

  HKEY key;
  // A key that cannot be opened, even one that is missing, is an error: the value was meant
  // to be there.
  if (RegOpenKeyExA(root, subkey, 0, ValueRemovalAccess, &key) != ERROR_SUCCESS) return StatusError;

  const LONG result = RegDeleteValueA(key, valueName);
  RemovalStatus status = StatusError;
  if (result == ERROR_SUCCESS) {
    status = StatusDeleted;
  } else if (IsNotThere(result)) {
    status = StatusNoValue;
  }

  RegCloseKey(key);
  return status;
}

void FlushRegistryRoots() {
  // Only these two roots; the results change nothing in the run.
  RegFlushKey(HKEY_LOCAL_MACHINE);
  RegFlushKey(HKEY_CURRENT_USER);
}
