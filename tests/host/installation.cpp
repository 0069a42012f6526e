#include "installation.h"

#include <commctrl.h>
#include <shlobj.h>

#include "plans/file_tables.h"
#include "plans/registry_tables.h"
#include "shell/os_detect.h"
#include "tests/common/windows_versions.h"
#include "winsim_shell.h"

using winsim::Sjis;

const char kInstallFolder[] = "C:\\Program Files\\Zorvik Tablet";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvik Tablet Driver";
const char kSecondUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablet Driver";
const char kDocLocationKey[] = "SOFTWARE\\TABLET";

const std::vector<std::string> kNtSystemFiles = {
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
    "Ztablet",
};
const std::vector<std::string> kWin9xSystemFiles = {
    "hookdll.dll",       "tabhook.dll",   "tablet.cpl",    "tablet.vxd",  "tablet.exe",
    "tabletservice.exe", "wintab.dll",    "wintab32.dll",  "tabunst.dll", "TabCP-En.znc",
    "TabCP-Jp.znc",      "tabins16.dll",  "tabinst.dll",   "dovi.cpl",    "dovi.znc",
    "dovi-en.znc",       "Tablet.dat",    "tablet.znc",    "zorvik.cpl",  "zorviktablet.cpl",
    "zorviktablet.znc",  "pentablet.cpl", "pentablet.znc", "ZrvMouX.VXD", "Ztablet\\TabUserZ.exe",
    "Ztablet",
};
const std::vector<std::string> kNtInstallFiles = {
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
const std::vector<std::string> kWin9xInstallFiles = {
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

void UseWindows(int osKind) {
  if (!SimulateWindows(osKind)) ADD_FAILURE() << "no version for kind " << osKind;
}

MachineFolders CurrentFolders() {
  MachineFolders f;
  char buffer[MAX_PATH];
  EXPECT_NE(0u, GetWindowsDirectoryA(buffer, MAX_PATH));
  f.windowsFolder = std::string(buffer) + "\\";
  f.infFolder = f.windowsFolder + "inf\\";
  EXPECT_NE(0u, GetSystemDirectoryA(buffer, MAX_PATH));
  f.systemFolder = std::string(buffer) + "\\";
  f.commonPrograms = winsim::ShellFolderPath(CSIDL_COMMON_PROGRAMS);
  f.programs = winsim::ShellFolderPath(CSIDL_PROGRAMS);
  f.commonStartup = winsim::ShellFolderPath(CSIDL_COMMON_STARTUP);
  f.startup = winsim::ShellFolderPath(CSIDL_STARTUP);
  return f;
}

void MakeFolders(const std::string& path) {
  for (size_t at = path.find('\\', 3);; at = path.find('\\', at + 1)) {
    const std::string level = path.substr(0, at);
    if (!CreateDirectoryA(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      ADD_FAILURE() << "cannot create " << level << ": error " << GetLastError();
      return;
    }
    if (at == std::string::npos) return;
  }
}

void MakeFile(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot create " << path << ": error " << GetLastError();
    return;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  EXPECT_TRUE(ok && written == bytes.size()) << path;
}

bool PathExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void SetRegBytes(HKEY root, const std::string& subkey, const std::string& name, DWORD type, const std::string& bytes) {
  HKEY key;
  LONG rc = RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  ASSERT_EQ(ERROR_SUCCESS, rc) << subkey;
  rc = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                      static_cast<DWORD>(bytes.size()));
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, rc) << subkey << "\\" << name;
}

void SetRegString(HKEY root, const std::string& subkey, const std::string& name, const std::string& text) {
  SetRegBytes(root, subkey, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

bool RegKeyExists(HKEY root, const std::string& subkey) {
  HKEY key;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

namespace {

// A Start-menu folder as the package leaves it: a shortcut, and a subfolder with another.
void SeedMenuFolder(const std::string& folder) {
  MakeFolders(folder + "\\" + Sjis("オンラインマニュアル"));
  MakeFile(folder + "\\TabUserZ.lnk");
  MakeFile(folder + "\\" + Sjis("オンラインマニュアル") + "\\Help.lnk");
}

}  // namespace

MachineFolders SeedFullInstallation(const std::string& installFolder) {
  const bool win9x = winsim::IsWin9xPlatform();
  MachineFolders f = CurrentFolders();

  // System and Windows folders.
  const std::vector<std::string>& systemFiles = win9x ? kWin9xSystemFiles : kNtSystemFiles;
  if (!win9x) MakeFolders(f.systemFolder + "drivers");
  MakeFolders(f.systemFolder + "Ztablet");
  for (const std::string& name : systemFiles) {
    if (name != "Ztablet") MakeFile(f.systemFolder + name, "driver file " + name);
  }
  MakeFile(f.windowsFolder + "tabinst.dll");
  if (win9x) MakeFile(f.windowsFolder + "zorvik.dat");

  // Start menu.
  for (const std::string* programs : {&f.commonPrograms, &f.programs}) {
    SeedMenuFolder(*programs + "\\Zorvik Tablet");
    SeedMenuFolder(*programs + "\\" + Sjis("タブレット"));
    SeedMenuFolder(*programs + "\\" + Sjis("Zorvik タブレット"));
  }
  for (const std::string* startup : {&f.commonStartup, &f.startup}) {
    MakeFolders(*startup);
    MakeFile(*startup + "\\TabUserZ.lnk");
    MakeFile(*startup + "\\TabUserZ.exe.lnk");
  }

  // The install folder and its registration.
  MakeFolders(installFolder);
  for (const std::string& name : win9x ? kWin9xInstallFiles : kNtInstallFiles) MakeFile(installFolder + "\\" + name);
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Zorvik Tablet Driver");
  SetRegString(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString",
               "C:\\WINDOWS\\IsUninst.exe -f\"" + installFolder + "\\Uninst.isu\"");

  // What the registry plan removes.
  if (win9x) {
    for (int i = 0; i < Win9xRegistryPlan.keys.count; ++i)
      SetRegString(Win9xRegistryPlan.keys.entries[i].root, Win9xRegistryPlan.keys.entries[i].subkey, "Installed", "1");
    for (int i = 0; i < Win9xRegistryPlan.values.count; ++i) {
      SetRegString(Win9xRegistryPlan.values.entries[i].root, Win9xRegistryPlan.values.entries[i].subkey,
                   Win9xRegistryPlan.values.entries[i].valueName, "tablet.exe");
    }
    SetRegString(HKEY_LOCAL_MACHINE, kDocLocationKey, "OEMDocLocation", installFolder);
  } else {
    for (int i = 0; i < NtRegistryPlan.keys.count; ++i)
      SetRegString(NtRegistryPlan.keys.entries[i].root, NtRegistryPlan.keys.entries[i].subkey, "Installed", "1");
  }

  // The driver's INF file.
  if (win9x) {
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExA(&v);
    if (ClassifyVersion(v) == OsWin95) {
      const std::string penClass = "System\\CurrentControlSet\\Services\\Class\\PEN";
      SetRegString(HKEY_LOCAL_MACHINE, penClass + "\\0000", "DriverDesc", "Ostrel Serial Tablet");
      SetRegString(HKEY_LOCAL_MACHINE, penClass + "\\0000", "InfPath", "OEM3.INF");
      SetRegString(HKEY_LOCAL_MACHINE, penClass + "\\0001", "DriverDesc", "Standard pen");
      SetRegString(HKEY_LOCAL_MACHINE, penClass + "\\0001", "InfPath", "PEN.INF");
      MakeFolders(f.infFolder.substr(0, f.infFolder.size() - 1));
      MakeFile(f.infFolder + "OEM3.INF");
      MakeFile(f.infFolder + "PEN.INF");
    } else {
      MakeFolders(f.infFolder + "other");
      MakeFile(f.infFolder + "other\\zorviktablet.inf");
    }
  }
  return f;
}

namespace {
// One row for each entry of a table.
size_t Rows(const FileTable& table) { return static_cast<size_t>(table.count); }
}  // namespace

PassLayout NtPassLayout(bool installFolderFound) {
  const NtFileTables& t = NtFilePlan;
  PassLayout p;
  p.windowsFiles = Rows(t.systemFiles);
  p.commonMenuFolders = p.windowsFiles + Rows(t.windowsFiles);
  p.menuFolders = p.commonMenuFolders + Rows(t.menuFolders);
  p.commonShortcuts = p.menuFolders + Rows(t.menuFolders);
  p.shortcuts = p.commonShortcuts + Rows(t.startupShortcuts);
  p.installFiles = p.shortcuts + Rows(t.startupShortcuts);
  p.installFolder = p.installFiles + (installFolderFound ? Rows(t.installFiles) : 1);
  p.end = p.installFolder + (installFolderFound ? 1 : 0);
  return p;
}

PassLayout Win9xPassLayout(bool installFolderFound) {
  const Win9xFileTables& t = Win9xFilePlan;
  PassLayout p;
  p.installFiles = Rows(t.systemFiles);
  p.windowsFiles = p.installFiles + (installFolderFound ? Rows(t.installFiles) : 1);
  p.commonMenuFolders = p.windowsFiles + Rows(t.windowsFiles);
  p.menuFolders = p.commonMenuFolders + Rows(t.menuFolders);
  p.installFolder = p.menuFolders + Rows(t.menuFolders);
  p.commonShortcuts = p.installFolder + (installFolderFound ? 1 : 0);
  p.shortcuts = p.commonShortcuts + Rows(t.startupShortcuts);
  p.end = p.shortcuts + Rows(t.startupShortcuts);
  return p;
}

std::string Row(const std::string& itemSjis, const std::string& statusUtf8) {
  return winsim::Utf8(itemSjis) + " | " + statusUtf8;
}

void PlanTest::OpenMainWindow() {
  RunState.hInstance = winsim::ProgramInstance();
  ASSERT_NE(0, RegisterMainClass(RunState.hInstance));
  InitCommonControls();
  // The template is visible: creating it shows and activates it, which sets up the columns and
  // classifies the version.
  HWND window = CreateDialogParamA(RunState.hInstance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, nullptr, 0);
  ASSERT_NE(nullptr, window);
  ASSERT_EQ(window, RunState.mainWindow);
}

void PlanTest::TearDown() {
  if (RunState.mainWindow != nullptr && winsim::WindowExists(RunState.mainWindow)) DestroyWindow(RunState.mainWindow);
  MachineTest::TearDown();
}
