// The registry locations of the driver package that both the install folder's discovery and
// the registry plans name, written once. All under HKEY_LOCAL_MACHINE.
#pragma once

// The package's uninstall registrations: its own name first, then the generic name it used
// before (which another vendor's driver may use too).
#define PACKAGE_UNINSTALL_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvik Tablet Driver"
#define GENERIC_UNINSTALL_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablet Driver"
// The package's settings key on the 9x family, which names its documents folder. The registry
// compares names without case; this spelling is the one the rows show.
#define WIN9X_SETTINGS_KEY "SOFTWARE\\Tablet"
