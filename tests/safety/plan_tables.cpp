#include "plan_tables.h"

#include "base/os_kind.h"
#include "winsim.h"

namespace safety {

namespace {

std::vector<std::string> Sjis(const std::vector<std::string>& utf8) {
  std::vector<std::string> out;
  for (const std::string& s : utf8) out.push_back(winsim::Sjis(s));
  return out;
}

FamilyTables MakeNt() {
  FamilyTables t;
  t.nt = true;
  t.systemFiles = Sjis({
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
  });
  t.windowsFiles = Sjis({"tabinst.dll"});
  t.installFiles = Sjis({
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
  });
  t.menuFolders = Sjis({"Zorvik Tablet", "タブレット", "Zorvik タブレット"});
  t.startupShortcuts = Sjis({"TabUserZ.lnk", "TabUserZ.exe.lnk"});
  const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  t.keys = {
      {HKEY_LOCAL_MACHINE, winsim::Sjis("SOFTWARE\\ゾルビク")},
      {HKEY_LOCAL_MACHINE, uninstall + "Zorvik Tablet Driver"},
      {HKEY_LOCAL_MACHINE, uninstall + "Tablet Driver"},
      {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\TabletService"},
      {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Penclass"},
      {HKEY_USERS, ".DEFAULT\\Control Panel\\Zorvik"},
  };
  return t;
}

FamilyTables Make9x() {
  FamilyTables t;
  t.nt = false;
  t.systemFiles = Sjis({
      "hookdll.dll",       "tabhook.dll",   "tablet.cpl",    "tablet.vxd",  "tablet.exe",
      "tabletservice.exe", "wintab.dll",    "wintab32.dll",  "tabunst.dll", "TabCP-En.znc",
      "TabCP-Jp.znc",      "tabins16.dll",  "tabinst.dll",   "dovi.cpl",    "dovi.znc",
      "dovi-en.znc",       "Tablet.dat",    "tablet.znc",    "zorvik.cpl",  "zorviktablet.cpl",
      "zorviktablet.znc",  "pentablet.cpl", "pentablet.znc", "ZrvMouX.VXD", "Ztablet\\TabUserZ.exe",
      "Ztablet",
  });
  t.windowsFiles = Sjis({"tabinst.dll", "zorvik.dat"});
  t.installFiles = Sjis({
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
  });
  // The first folder comes again as the fourth.
  t.menuFolders = Sjis({"Zorvik Tablet", "タブレット", "Zorvik タブレット", "Zorvik Tablet"});
  t.startupShortcuts = Sjis({"TabUserZ.lnk", "TabUserZ.exe.lnk"});
  const std::string uninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  t.keys = {
      {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A60"},
      {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A50"},
      {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A40"},
      {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A42"},
      {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV0A30"},
      {HKEY_LOCAL_MACHINE, "Enum\\SERENUM\\ZRV50AE"},
      {HKEY_LOCAL_MACHINE, winsim::Sjis("SOFTWARE\\ゾルビク")},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\Tablet"},
      {HKEY_LOCAL_MACHINE, uninstall + "Zorvik Tablet Driver"},
      {HKEY_LOCAL_MACHINE, uninstall + "Tablet Driver"},
      {HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\Class\\PEN"},
      {HKEY_CURRENT_USER, "Control Panel\\Zorvik"},
  };
  t.valueKeys = {{HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices"}};
  t.valueNames = {"Tablet"};
  return t;
}

}  // namespace

const FamilyTables& TablesFor(int osKind) {
  static const FamilyTables nt = MakeNt();
  static const FamilyTables win9x = Make9x();
  return IsNtFamily(osKind) ? nt : win9x;
}

const char* const kUninstallKeys[2] = {
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zorvik Tablet Driver",
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tablet Driver",
};
const char kUninstallValue[] = "UninstallString";
const char* const kUninstallMarkers[2] = {"uninst.isu", "Remove.exe"};
const char kDocLocationKey[] = "SOFTWARE\\TABLET";
const char kDocLocationValue[] = "OEMDocLocation";
const int kGuardedCsidls[12] = {0x02, 0x07, 0x0b, 0x10, 0x05, 0x26, 0x2b, 0x17, 0x18, 0x16, 0x19, 0x2e};
const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const kFolderValueNames[2] = {"ProgramFilesDir", "CommonFilesDir"};
const char kWin9xInfFile[] = "other\\zorviktablet.inf";
const char kPenClassKey[] = "System\\CurrentControlSet\\Services\\Class\\PEN";
const char kDriverDescMatch[] = "Ostrel";
const char kTitle[] = "ZORVIK Tablet Driver Uninstaller";

std::string RootPrefix(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "HLM\\";
  if (root == HKEY_CURRENT_USER) return "HCU\\";
  if (root == HKEY_USERS) return "HU\\";
  return "";
}

std::string FilesSectionText() { return winsim::Sjis("==========  ﾌｧｲﾙ  =========="); }
std::string RegistrySectionText() { return winsim::Sjis("==========  ﾚｼﾞｽﾄﾘ  =========="); }
std::string InstallFolderText() { return winsim::Sjis("「ZORVIK」ﾌｫﾙﾀﾞ"); }

Status StatusFromText(const std::string& sjis) {
  static const std::pair<const char*, Status> kWords[] = {
      {"", Status::None},
      {"ｴﾗｰ", Status::Error},
      {"削除", Status::Deleted},
      {"ﾌｧｲﾙなし", Status::NoFile},
      {"ﾘﾌﾞｰﾄ時削除", Status::AtRestart},
      {"ｷｰなし", Status::NoKey},
      {"値なし", Status::NoValue},
      {"ﾌｫﾙﾀﾞなし", Status::NoFolder},
      {"検出ｴﾗｰ", Status::DetectError},
  };
  for (const auto& w : kWords) {
    if (winsim::Sjis(w.first) == sjis) return w.second;
  }
  return Status::Unknown;
}

const char* StatusName(Status s) {
  switch (s) {
    case Status::None: return "none";
    case Status::Error: return "error";
    case Status::Deleted: return "deleted";
    case Status::NoFile: return "no file";
    case Status::AtRestart: return "at restart";
    case Status::NoKey: return "no key";
    case Status::NoValue: return "no value";
    case Status::NoFolder: return "no folder";
    case Status::DetectError: return "detect error";
    case Status::Unknown: break;
  }
  return "unknown";
}

std::string SummaryDoneText() { return winsim::Sjis("ﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのｱﾝｲﾝｽﾄｰﾙは完了しました。"); }
std::string SummaryRestartText() {
  return winsim::Sjis("ﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのｱﾝｲﾝｽﾄｰﾙは完了しました。\n\n一部のﾌｧｲﾙはﾘﾌﾞｰﾄ時に削除されます。");
}
std::string SummaryPartialText() {
  return winsim::Sjis(
      "いくつかのﾌｧｲﾙまたはﾚｼﾞｽﾄﾘの削除でｴﾗｰが発生しました。\n\nもう一度このﾌﾟﾛｸﾞﾗﾑを実行するか、\n"
      "または履歴を確認して手動で削除してください。");
}
std::string NeedsAdministratorText() {
  return winsim::Sjis("ｱﾝｲﾝｽﾄｰﾙには管理者の権限が必要です。\n\n管理者としてﾛｸﾞｵﾝしてから、もう一度実行してください。");
}
std::string FolderNotFoundText(const std::string& label) {
  return label + winsim::Sjis("ﾃﾞｨﾚｸﾄﾘが見つかりませんでした");
}

}  // namespace safety
