"""The machine a scenario starts from: where Wine keeps each folder, the tablet driver package as
its installer leaves it, and the unrelated files and keys next to it that must survive.

Seeds live in e2e/seeds: *.files list paths (one per line, "{folder}\\rest", an optional
"readonly" after a tab), *.reg are REGEDIT4 files saved as UTF-8 with %INSTALL% standing for the
install folder. Files are written straight into the prefix's drive_c (Wine shows their UTF-8
names as the right code page 932 names); the registry goes in through "reg import", which needs
the file in code page 932.
"""

import ntpath
import os
import re

SEEDS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")

# The install folder of every seeded package: a Japanese name whose "ソ" has 0x5C as its second
# byte in code page 932, so that a byte-wise scan for backslashes would cut it.
INSTALL_FOLDER = "C:\\Program Files\\ZORVIK ソフトウェア\\Tablet"


class Layout:
    """The folders of a Wine prefix as the program sees them (Windows paths)."""

    def __init__(self, user, install=INSTALL_FOLDER):
        start_menu = "Microsoft\\Windows\\Start Menu\\Programs"
        self.folders = {
            "root": "C:",
            "windows": "C:\\windows",
            "system": "C:\\windows\\system32",
            "inf": "C:\\windows\\inf",
            "common_programs": "C:\\ProgramData\\" + start_menu,
            "programs": "C:\\users\\%s\\AppData\\Roaming\\%s" % (user, start_menu),
            "common_startup": "C:\\ProgramData\\%s\\StartUp" % start_menu,
            "startup": "C:\\users\\%s\\AppData\\Roaming\\%s\\StartUp" % (user, start_menu),
            "install": install,
        }

    def __getitem__(self, name):
        return self.folders[name]

    def expand(self, text):
        """Replaces each {folder} and folds "..", giving a Windows path."""
        path = re.sub(r"\{(\w+)\}", lambda m: self.folders[m.group(1)], text)
        return ntpath.normpath(path)


def host_path(prefix, windows_path):
    """The Linux path of a drive path inside the prefix, or of a \\\\server\\share path: Wine
    looks those up in the prefix's dosdevices\\unc folder, so a share needs no network. C: is
    the prefix's drive_c; another drive is what its dosdevices link points at."""
    if windows_path.startswith("\\\\"):
        return os.path.join(prefix, "dosdevices", "unc", *windows_path[2:].split("\\"))
    if not re.match(r"^[A-Za-z]:\\", windows_path):
        raise ValueError("not a drive path: " + windows_path)
    drive = windows_path[0].lower()
    base = os.path.join(prefix, "drive_c") if drive == "c" else os.path.join(prefix, "dosdevices", drive + ":")
    return os.path.join(base, *windows_path[3:].split("\\"))


def read_manifest(name):
    """[(template, flags)] of a seeds/*.files list."""
    entries = []
    with open(os.path.join(SEEDS, name), encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            parts = line.split("\t")
            entries.append((parts[0], set(parts[1:])))
    return entries


def file_bytes(windows_path):
    """What a seeded file holds: its own path, so that a moved or mixed-up file shows."""
    return ("seeded: %s\r\n" % windows_path).encode("utf-8")


class SeededFiles:
    """Files written into a prefix, by Windows path, with the bytes they were given."""

    def __init__(self):
        self.files = {}

    def add(self, prefix, windows_path, readonly=False, data=None):
        host = host_path(prefix, windows_path)
        os.makedirs(os.path.dirname(host), exist_ok=True)
        if os.path.exists(host):
            os.chmod(host, 0o644)
        with open(host, "wb") as f:
            f.write(file_bytes(windows_path) if data is None else data)
        if readonly:
            # No write bit: Wine reports FILE_ATTRIBUTE_READONLY and refuses a plain delete.
            os.chmod(host, 0o444)
        self.files[windows_path] = file_bytes(windows_path) if data is None else data

    def add_manifest(self, prefix, layout, name, skip=()):
        added = []
        for template, flags in read_manifest(name):
            path = layout.expand(template)
            if path in skip or template in skip:
                continue
            self.add(prefix, path, readonly="readonly" in flags)
            added.append(path)
        return added


# ---- registry --------------------------------------------------------------------------------

ROOTS = {
    "HKEY_LOCAL_MACHINE": "HKLM",
    "HKEY_CURRENT_USER": "HKCU",
    "HKEY_USERS": "HKU",
}


def reg_string(text):
    """A text as a REGEDIT4 string body: backslashes and quotes escaped."""
    return text.replace("\\", "\\\\").replace('"', '\\"')


def read_reg(name, install=INSTALL_FOLDER):
    """The body of a seeds/*.reg file with the install folder put in (still UTF-8 text)."""
    with open(os.path.join(SEEDS, name), encoding="utf-8") as f:
        text = f.read()
    return text.replace("%INSTALL%", reg_string(install))


_VALUE = re.compile(r'^(?:"((?:[^"\\]|\\.)*)"|@)=(?:"((?:[^"\\]|\\.)*)"|dword:([0-9a-fA-F]{8}))$')


def _unescape(s):
    return re.sub(r"\\(.)", r"\1", s)


def parse_reg(text):
    """{"HKLM\\path": {name: value}} of a REGEDIT4 text (strings and dwords, as seeded)."""
    keys = {}
    current = None
    for raw in text.splitlines():
        line = raw.strip()
        if not line or line.startswith(";") or line == "REGEDIT4":
            continue
        if line.startswith("[") and line.endswith("]"):
            root, _, rest = line[1:-1].partition("\\")
            current = ROOTS[root] + "\\" + rest
            keys.setdefault(current, {})
            continue
        m = _VALUE.match(line)
        if not m or current is None:
            raise ValueError("cannot read seed line: " + raw)
        name = "" if m.group(1) is None else _unescape(m.group(1))
        keys[current][name] = _unescape(m.group(2)) if m.group(3) is None else int(m.group(3), 16)
    return keys


def reg_file_bytes(texts):
    """One REGEDIT4 file in code page 932 with CRLF line ends, made of several seed texts."""
    body = []
    for text in texts:
        for line in text.splitlines():
            if line.strip() == "REGEDIT4":
                continue
            body.append(line)
    return ("REGEDIT4\r\n\r\n" + "\r\n".join(body) + "\r\n").encode("cp932")


def version_reg(version):
    """The registry settings that make Wine report a Windows version.

    Windows 95 OSR2 has no mode of its own: Wine's "win95" always reports build 950. Without a
    mode Wine takes the version from the registry, the NT values first, so those go and the 9x
    values of OSR2 (VersionNumber 4.00.1111, SubVersionNumber " B ") take their place."""
    if version != "win95osr2":
        return '[HKEY_CURRENT_USER\\Software\\Wine]\n"Version"="%s"\n' % version
    return ('[HKEY_CURRENT_USER\\Software\\Wine]\n"Version"=-\n'
            '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion]\n'
            '"CurrentVersion"=-\n"CurrentMajorVersionNumber"=-\n"CurrentMinorVersionNumber"=-\n'
            '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n'
            '"VersionNumber"="4.00.1111"\n"SubVersionNumber"=" B "\n')
