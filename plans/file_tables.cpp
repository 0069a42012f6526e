// The file plans' tables. Names are used exactly as written, letter case included: the rows
// show them so.
#include "plans/file_tables.h"

#include "plans/fixed_table.h"

// One name a line, in the order of processing: the formatter would pack the names into columns.
// clang-format off

namespace {

const char* const NtSystemFiles[] = {
    "drivers\\penclass.sys",
    "pencls32.dll",
    "zorvik.dat",
    "hookdll.dll",
    "tabhook.dll",
    "tablet.cpl",
    "tablet.exe",
    "tabletservice.exe",
    "wintab.dll",
    "wintab32.dll",
    "tabunst.dll",
    "TabCP-En.znc",
    "TabCP-Jp.znc",
    "Tablet.dat",
    "Tablet.znc",
    "dovi.cpl",
    "dovi.znc",
    "dovi-en.znc",
    "zorvik.cpl",
    "zorviktablet.cpl",
    "zorviktablet.znc",
    "pentablet.cpl",
    "pentablet.znc",
    "ZrvMouX.VXD",
    "Ztablet\\TabUserZ.exe",
    "Ztablet",  // the folder itself, after the one file of it the package installs
};

const char* const NtWindowsFiles[] = {
    "tabinst.dll",
};

const char* const NtMenuFolders[] = {
    "Zorvik Tablet",
    "タブレット",
    "Zorvik タブレット",
};

// Shared by both families.
const char* const StartupShortcuts[] = {
    "TabUserZ.lnk",
    "TabUserZ.exe.lnk",
};

const char* const NtInstallFiles[] = {
    "Read Me.txt",
    "License.txt",
    "TabUserZ.exe",
    "Uninst.isu",
    "Read Me-JP.txt",
    "Ostrel Help-JP.pdf",
    "Ostrel User's Manual-JP.pdf",
    "Branqo Help-JP.pdf",
    "Installer.dat",
    "Read Me.rtf",
    "Remove.exe",
    "removeze.reg",
};

const char* const Win9xSystemFiles[] = {
    "hookdll.dll",
    "tabhook.dll",
    "tablet.cpl",
    "tablet.vxd",
    "tablet.exe",
    "tabletservice.exe",
    "wintab.dll",
    "wintab32.dll",
    "tabunst.dll",
    "TabCP-En.znc",
    "TabCP-Jp.znc",
    "tabins16.dll",
    "tabinst.dll",
    "dovi.cpl",
    "dovi.znc",
    "dovi-en.znc",
    "Tablet.dat",
    "tablet.znc",
    "zorvik.cpl",
    "zorviktablet.cpl",
    "zorviktablet.znc",
    "pentablet.cpl",
    "pentablet.znc",
    "ZrvMouX.VXD",
    "Ztablet\\TabUserZ.exe",
    "Ztablet",
};

const char* const Win9xInstallFiles[] = {
    "Read Me.txt",
    "License.txt",
    "Read Me-JP.txt",
    "Uninst.isu",
    "TabUserZ.exe",
    "Ostrel Help-JP.pdf",
    "Ostrel User's Manual-JP.pdf",
    "Branqo Help-JP.pdf",
    "Installer.dat",
    "Read Me.rtf",
    "Remove.exe",
    "removeze.reg",
};

const char* const Win9xWindowsFiles[] = {
    "tabinst.dll",
    "zorvik.dat",
};

// The first name comes again at the end: that folder is processed a second time.
const char* const Win9xMenuFolders[] = {
    "Zorvik Tablet",
    "タブレット",
    "Zorvik タブレット",
    "Zorvik Tablet",
};

const char Win9xInfFile[] = "other\\zorviktablet.inf";
const char PenClassKey[] = "System\\CurrentControlSet\\Services\\Class\\PEN";
const char DriverDescMatch[] = "Ostrel";

}  // namespace

const NtFileTables NtFilePlan = {
    TABLE(NtSystemFiles), TABLE(NtWindowsFiles), TABLE(NtMenuFolders), TABLE(StartupShortcuts),
    TABLE(NtInstallFiles),
};

const Win9xFileTables Win9xFilePlan = {
    TABLE(Win9xSystemFiles), TABLE(Win9xInstallFiles), TABLE(Win9xWindowsFiles),
    TABLE(Win9xMenuFolders), TABLE(StartupShortcuts), Win9xInfFile, PenClassKey, DriverDescMatch,
};

// clang-format on
