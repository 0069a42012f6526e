// The registry phase of a run: removes the driver package's keys (and, on the 9x family, one
// value) in table order, one result row each, between two flushes of the registry.
#include <windows.h>

#include "plans/phases.h"
#include "plans/registry_tables.h"
#include "primitives/registry_removal.h"
#include "base/ansi_text.h"
#include "report/result_list.h"

namespace {

// The result list takes texts of up to 1023 characters; a longer one is cut short, never in
// the middle of a double-byte character.
const int RowTextSize = 1024;

// "HLM\" followed directly by the subkey path.
void BuildKeyRowText(char* buffer, HKEY root, const char* subkey) {
  buffer[0] = '\0';
  AppendTruncated(buffer, RowTextSize, RootPrefix(root));
  AppendTruncated(buffer, RowTextSize, subkey);
}

// The key row text, a backslash and the value name.
void BuildValueRowText(char* buffer, HKEY root, const char* subkey, const char* valueName) {
  BuildKeyRowText(buffer, root, subkey);
  AppendTruncated(buffer, RowTextSize, "\\");
  AppendTruncated(buffer, RowTextSize, valueName);
}

// Removes each key of `keys` with its subtree and adds its row after the removal.
void RemoveKeys(const KeyTable& keys) {
  char text[RowTextSize];
  for (int i = 0; i < keys.count; ++i) {
    const KeyEntry& key = keys.entries[i];
    const RemovalStatus status = RemoveRegistryKey(key.root, key.subkey);
    BuildKeyRowText(text, key.root, key.subkey);
    AddResultRow(text, status);
  }
}

}  // namespace

int RemoveRegistryWin9x() {
  // Written out before and after, so that what is gone stays gone if the machine goes down.
  FlushRegistryRoots();
  RemoveKeys(Win9xRegistryPlan.keys);

  char text[RowTextSize];
  for (int i = 0; i < Win9xRegistryPlan.values.count; ++i) {
    const ValueEntry& entry = Win9xRegistryPlan.values.entries[i];
    const RemovalStatus status = RemoveRegistryValue(entry.root, entry.subkey, entry.valueName);
    BuildValueRowText(text, entry.root, entry.subkey, entry.valueName);
    AddResultRow(text, status);
  }

  FlushRegistryRoots();
  return 1;
}

int RemoveRegistryNt() {
  // The flush covers HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER; the key under HKEY_USERS is
  // written out by the system in its own time.
  FlushRegistryRoots();
  RemoveKeys(NtRegistryPlan.keys);
  FlushRegistryRoots();
  return 1;
}
