// The registry locations the driver package leaves behind on each Windows family, and the
// short root names the rows show them under.
#include "plans/registry_tables.h"

#include "plans/fixed_table.h"
#include "plans/package_keys.h"

namespace {

// Removed in this order on Windows 95, 95 OSR2, 98 and Me.
const KeyEntry Win9xKeys[] = {
    // root              subkey
    {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A60"},
    {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A50"},
    {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A40"},
    {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A42"},
    {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A30"},
    {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV50AE"},
    // The maker's name in katakana: at run time the CP932 bytes 83 5D 83 8B 83 72 83 4E.
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\ゾルビク"},
    {HKEY_LOCAL_MACHINE, WIN9X_SETTINGS_KEY},
    {HKEY_LOCAL_MACHINE, PACKAGE_UNINSTALL_KEY},
    {HKEY_LOCAL_MACHINE, GENERIC_UNINSTALL_KEY},
    // The whole pen device class, with every pen device installed under it.
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\PEN"},
    {HKEY_CURRENT_USER, "Control Panel\\Zorvik"},
};

// Removed after the keys on the 9x family: the driver's entry among the services started at
// boot.
const ValueEntry Win9xValues[] = {
    // root              subkey                                                  value name
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", "Tablet"},
};

// Removed in this order on Windows NT 4.0, 2000 and XP.
const KeyEntry NtKeys[] = {
    // root              subkey
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\ゾルビク"},
    {HKEY_LOCAL_MACHINE, PACKAGE_UNINSTALL_KEY},
    {HKEY_LOCAL_MACHINE, GENERIC_UNINSTALL_KEY},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\TabletService"},
    {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Penclass"},
    // The default user's settings, copied into every new user's profile.
    {HKEY_USERS, ".DEFAULT\\Control Panel\\Zorvik"},
};

}  // namespace

const Win9xRegistryTables Win9xRegistryPlan = {TABLE(Win9xKeys), TABLE(Win9xValues)};
const NtRegistryTables NtRegistryPlan = {TABLE(NtKeys)};

namespace {

struct RootName {
  HKEY root;
  const char* prefix;
};

const RootName RootPrefixes[] = {
    {HKEY_LOCAL_MACHINE, "HLM\\"},
    {HKEY_CURRENT_USER, "HCU\\"},
    {HKEY_USERS, "HU\\"},
};

}  // namespace

const char* RootPrefix(HKEY root) {
  for (int i = 0; i < static_cast<int>(sizeof RootPrefixes / sizeof RootPrefixes[0]); ++i) {
    if (RootPrefixes[i].root == root) return RootPrefixes[i].prefix;
  }
  return "";
}
