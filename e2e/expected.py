"""What the uninstaller is expected to show: the rows of one run, in order, and its summary.

The lists below are the tool's removal lists as its documentation gives them, written out again
here on purpose: a row that the program adds, leaves out or puts in another order shows up as a
difference. A run's rows are built from these lists and an Outcome that says which status each
kind of item gets in a scenario (with exceptions by path).
"""

# Status words of the result list.
DELETED = "削除"
NO_FILE = "ﾌｧｲﾙなし"
NO_FOLDER = "ﾌｫﾙﾀﾞなし"
AT_RESTART = "ﾘﾌﾞｰﾄ時削除"
ERROR = "ｴﾗｰ"
NO_KEY = "ｷｰなし"
NO_VALUE = "値なし"
DETECT_ERROR = "検出ｴﾗｰ"

HEADER_FILES = "==========  ﾌｧｲﾙ  =========="
HEADER_REGISTRY = "==========  ﾚｼﾞｽﾄﾘ  =========="
INSTALL_FOLDER_LABEL = "「ZORVIK」ﾌｫﾙﾀﾞ"

TITLE = "ZORVIK Tablet Driver Uninstaller ver1.1"
SUMMARY_CAPTION = "ZORVIK Tablet Driver Uninstaller"
DONE = "ﾀﾌﾞﾚｯﾄﾄﾞﾗｲﾊﾞのｱﾝｲﾝｽﾄｰﾙは完了しました。"
DONE_RESTART = DONE + "\n\n一部のﾌｧｲﾙはﾘﾌﾞｰﾄ時に削除されます。"
PARTIAL_FAILURE = ("いくつかのﾌｧｲﾙまたはﾚｼﾞｽﾄﾘの削除でｴﾗｰが発生しました。\n\n"
                   "もう一度このﾌﾟﾛｸﾞﾗﾑを実行するか、\nまたは履歴を確認して手動で削除してください。")

# Summary box (text, icon) by outcome.
SUMMARY_DONE = (DONE, "information")
SUMMARY_RESTART = (DONE_RESTART, "information")
SUMMARY_PARTIAL = (PARTIAL_FAILURE, "exclamation")

LABELS = {
    "win95": "Windows95",
    "win95osr2": "Windows95(OSR2)",
    "win98": "Windows98",
    "winme": "WindowsME",
    "nt40": "WindowsNT4.0",
    "win2k": "Windows2000",
    "winxp": "WindowsXP",
    "win2003": "不明",
    "win7": "不明",
}
NT_VERSIONS = ("nt40", "win2k", "winxp")
WIN9X_VERSIONS = ("win95", "win95osr2", "win98", "winme")
COLUMNS = [("ﾌｧｲﾙ / ﾚｼﾞｽﾄﾘ", 300), ("状態", 200)]

# ---- the removal lists -------------------------------------------------------------------------

NT_SYSTEM_FILES = [
    "drivers\\penclass.sys", "pencls32.dll", "zorvik.dat", "hookdll.dll", "tabhook.dll",
    "tablet.cpl", "tablet.exe", "tabletservice.exe", "wintab.dll", "wintab32.dll",
    "tabunst.dll", "TabCP-En.znc", "TabCP-Jp.znc", "Tablet.dat", "Tablet.znc", "dovi.cpl",
    "dovi.znc", "dovi-en.znc", "zorvik.cpl", "zorviktablet.cpl", "zorviktablet.znc",
    "pentablet.cpl", "pentablet.znc", "ZrvMouX.VXD", "Ztablet\\TabUserZ.exe", "Ztablet",
]
NT_WINDOWS_FILES = ["tabinst.dll"]
NT_MENU_FOLDERS = ["Zorvik Tablet", "タブレット", "Zorvik タブレット"]
STARTUP_SHORTCUTS = ["TabUserZ.lnk", "TabUserZ.exe.lnk"]
NT_INSTALL_FILES = [
    "Read Me.txt", "License.txt", "TabUserZ.exe", "Uninst.isu", "Read Me-JP.txt",
    "Ostrel Help-JP.pdf", "Ostrel User's Manual-JP.pdf", "Branqo Help-JP.pdf", "Installer.dat",
    "Read Me.rtf", "Remove.exe", "removeze.reg",
]

WIN9X_SYSTEM_FILES = [
    "hookdll.dll", "tabhook.dll", "tablet.cpl", "tablet.vxd", "tablet.exe", "tabletservice.exe",
    "wintab.dll", "wintab32.dll", "tabunst.dll", "TabCP-En.znc", "TabCP-Jp.znc", "tabins16.dll",
    "tabinst.dll", "dovi.cpl", "dovi.znc", "dovi-en.znc", "Tablet.dat", "tablet.znc",
    "zorvik.cpl", "zorviktablet.cpl", "zorviktablet.znc", "pentablet.cpl", "pentablet.znc",
    "ZrvMouX.VXD", "Ztablet\\TabUserZ.exe", "Ztablet",
]
WIN9X_INSTALL_FILES = [
    "Read Me.txt", "License.txt", "Read Me-JP.txt", "Uninst.isu", "TabUserZ.exe",
    "Ostrel Help-JP.pdf", "Ostrel User's Manual-JP.pdf", "Branqo Help-JP.pdf", "Installer.dat",
    "Read Me.rtf", "Remove.exe", "removeze.reg",
]
WIN9X_WINDOWS_FILES = ["tabinst.dll", "zorvik.dat"]
# The first folder comes again at the end: the tool tries it twice.
WIN9X_MENU_FOLDERS = ["Zorvik Tablet", "タブレット", "Zorvik タブレット", "Zorvik Tablet"]
WIN9X_INF_FILE = "other\\zorviktablet.inf"

UNINSTALL = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
WIN9X_KEYS = [
    "HKLM\\Enum\\SERENUM\\ZRV0A60",
    "HKLM\\Enum\\SERENUM\\ZRV0A50",
    "HKLM\\Enum\\SERENUM\\ZRV0A40",
    "HKLM\\Enum\\SERENUM\\ZRV0A42",
    "HKLM\\Enum\\SERENUM\\ZRV0A30",
    "HKLM\\Enum\\SERENUM\\ZRV50AE",
    "HKLM\\SOFTWARE\\ゾルビク",
    "HKLM\\SOFTWARE\\Tablet",
    "HKLM\\" + UNINSTALL + "Zorvik Tablet Driver",
    "HKLM\\" + UNINSTALL + "Tablet Driver",
    "HKLM\\System\\CurrentControlSet\\Services\\Class\\PEN",
    "HKCU\\Control Panel\\Zorvik",
]
WIN9X_VALUES = [("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices", "Tablet")]
NT_KEYS = [
    "HKLM\\SOFTWARE\\ゾルビク",
    "HKLM\\" + UNINSTALL + "Zorvik Tablet Driver",
    "HKLM\\" + UNINSTALL + "Tablet Driver",
    "HKLM\\System\\CurrentControlSet\\Services\\TabletService",
    "HKLM\\System\\CurrentControlSet\\Services\\Penclass",
    "HKU\\.DEFAULT\\Control Panel\\Zorvik",
]

# Rows show the roots shortened this way.
ROW_PREFIX = {"HKLM": "HLM", "HKCU": "HCU", "HKU": "HU"}


def row_text_of_key(key):
    root, _, rest = key.partition("\\")
    return ROW_PREFIX[root] + "\\" + rest


# ---- outcomes ----------------------------------------------------------------------------------


class Outcome:
    """The status each item of a run gets: one default per kind of item, and exceptions by the
    row's text (a path, or a key as the row shows it)."""

    KINDS = ("file", "menu", "shortcut", "install_file", "install_folder", "inf", "key", "value")

    def __init__(self, install_found=True, **defaults):
        self.install_found = install_found
        self.defaults = {kind: defaults.get(kind, DELETED) for kind in self.KINDS}
        for kind in defaults:
            if kind not in self.KINDS:
                raise ValueError("unknown kind " + kind)
        self.exceptions = {}

    def but(self, text, status):
        self.exceptions[text] = status
        return self

    def __call__(self, kind, text):
        return self.exceptions.get(text, self.defaults[kind])


def first_run(install_found=True):
    """A complete installation removed: everything deleted, the emptied "Ztablet" folder, which
    only a restart can take, put off until then."""
    return Outcome(install_found=install_found)


def second_run():
    """The same machine once more: nothing is left but the folder waiting for the restart."""
    return Outcome(install_found=False, file=NO_FILE, menu=NO_FOLDER, shortcut=NO_FILE,
                   inf=NO_FILE, key=NO_KEY, value=NO_VALUE)


def nt_rows(layout, outcome):
    system, windows = layout["system"], layout["windows"]
    rows = [(HEADER_FILES, "")]
    for entry in NT_SYSTEM_FILES:
        path = system + "\\" + entry
        rows.append((path, outcome("file", path)))
    for entry in NT_WINDOWS_FILES:
        path = windows + "\\" + entry
        rows.append((path, outcome("file", path)))
    for base in ("common_programs", "programs"):
        for entry in NT_MENU_FOLDERS:
            path = layout[base] + "\\" + entry
            rows.append((path, outcome("menu", path)))
    for base in ("common_startup", "startup"):
        for entry in STARTUP_SHORTCUTS:
            path = layout[base] + "\\" + entry
            rows.append((path, outcome("shortcut", path)))
    if outcome.install_found:
        for entry in NT_INSTALL_FILES:
            path = layout["install"] + "\\" + entry
            rows.append((path, outcome("install_file", path)))
        rows.append((layout["install"], outcome("install_folder", layout["install"])))
    else:
        rows.append((INSTALL_FOLDER_LABEL, DETECT_ERROR))
    rows.append((HEADER_REGISTRY, ""))
    for key in NT_KEYS:
        text = row_text_of_key(key)
        rows.append((text, outcome("key", text)))
    return rows


def win9x_rows(layout, version, outcome, pen_infs=()):
    """Rows of a run on the 9x family. `pen_infs` are the "InfPath" values of the pen class
    instances that name the driver, in the order Windows lists them (Windows 95 only)."""
    system, windows = layout["system"], layout["windows"]
    rows = [(HEADER_FILES, "")]
    for entry in WIN9X_SYSTEM_FILES:
        path = system + "\\" + entry
        rows.append((path, outcome("file", path)))
    if outcome.install_found:
        for entry in WIN9X_INSTALL_FILES:
            path = layout["install"] + "\\" + entry
            rows.append((path, outcome("install_file", path)))
    else:
        rows.append((INSTALL_FOLDER_LABEL, DETECT_ERROR))
    for entry in WIN9X_WINDOWS_FILES:
        path = windows + "\\" + entry
        rows.append((path, outcome("file", path)))
    for base in ("common_programs", "programs"):
        for i, entry in enumerate(WIN9X_MENU_FOLDERS):
            path = layout[base] + "\\" + entry
            status = outcome("menu", path)
            # The repeated folder: gone after its first row if that one removed it.
            if i == 3 and status == DELETED:
                status = NO_FOLDER
            rows.append((path, status))
    if outcome.install_found:
        rows.append((layout["install"], outcome("install_folder", layout["install"])))
    for base in ("common_startup", "startup"):
        for entry in STARTUP_SHORTCUTS:
            path = layout[base] + "\\" + entry
            rows.append((path, outcome("shortcut", path)))
    if version == "win95":
        for inf in pen_infs:
            path = layout["inf"] + "\\" + inf
            rows.append((path, outcome("inf", path)))
    else:
        path = layout["inf"] + "\\" + WIN9X_INF_FILE
        rows.append((path, outcome("inf", path)))
    rows.append((HEADER_REGISTRY, ""))
    for key in WIN9X_KEYS:
        text = row_text_of_key(key)
        rows.append((text, outcome("key", text)))
    for key, name in WIN9X_VALUES:
        text = row_text_of_key(key) + "\\" + name
        rows.append((text, outcome("value", text)))
    return rows


def rows_for(layout, version, outcome, pen_infs=()):
    if version in NT_VERSIONS:
        return nt_rows(layout, outcome)
    return win9x_rows(layout, version, outcome, pen_infs)
