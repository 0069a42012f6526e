#!/usr/bin/env python3
"""Writes the committed seed inputs of the fuzz targets (tests/fuzz/corpus/<target>/seed-*).
Each input starts with a few setting bytes, then byte fields separated by SEP, as the targets'
FuzzInput reads them; the comments say what each seed stands for. Run it again after changing
the layout of a target's input."""
import os

SEP = b"\n--\n"
HERE = os.path.dirname(os.path.abspath(__file__))


def fields(*parts):
    return SEP.join(parts)


def write(target, label, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + label), "wb") as f:
        f.write(data)


# ---- find_text: text SEP pattern ----
write("find_text", "marker", fields(rb'C:\Program Files\Zorvik\UNINST.ISU', b"uninst.isu"))
write("find_text", "empty-pattern", fields(b"abc", b""))
write("find_text", "empty-text", fields(b"", b"x"))
write("find_text", "overlap", fields(b"aaaab", b"aab"))
write("find_text", "double-byte", fields(b"\x83\x5cA\\a", b"\x5ca"))

# ---- strip_separator: code page mode (0: 932, 1: 1252, 2: none), then the path ----
write("strip_separator", "final", b"\x00" + rb"C:\Program Files\Zorvik" + b"\\")
write("strip_separator", "trail-5c", b"\x00C:\\\x83\x5c")
write("strip_separator", "trail-5c-1252", b"\x01C:\\\x83\x5c")
write("strip_separator", "no-codepage", b"\x02C:\\a\\")
write("strip_separator", "two", b"\x00a\\\\")
write("strip_separator", "lone-lead", b"\x00C:\\\x83")

# ---- install_location: kind (0 unknown, 1 NT4, 2 98, 3 95, 4 OSR2, 5 2000, 6 Me, 7 XP),
# keys (1 first, 2 second, 4 documents key; 8/16/32 their values present; 128 code page 1252),
# types, terminators (bit i: value i ends with a zero), then the three values ----
UNINSTALL = rb'C:\WINDOWS\IsUninst.exe -f"C:\Program Files\Zorvik Tablet\Uninst.isu"'
write("install_location", "xp-uninst", bytes([7, 1 | 8, 0, 7]) + fields(UNINSTALL, b"", b""))
write("install_location", "98-docs", bytes([2, 4 | 32, 0, 7]) + fields(b"", b"", rb"C:\Program Files\Zorvik Tablet" + b"\\"))
write("install_location", "98-remove-and-docs",
      bytes([2, 1 | 4 | 8 | 32, 0, 7]) + fields(rb'"C:\Program Files\Zorvik\Remove.exe" /s', b"", rb"C:\Docs"))
write("install_location", "xp-double-byte", bytes([7, 1 | 8, 0, 7]) + fields(b'"C:\\\x83\x5c\\Remove.exe"', b"", b""))
write("install_location", "2000-second-key", bytes([5, 2 | 16, 0, 7]) + fields(b"", rb"C:\Tablet\uninst.isu", b""))
write("install_location", "xp-too-long", bytes([7, 1 | 8, 0, 7]) + fields(b"C:\\" + b"a" * 1100 + b"\\Uninst.isu", b"", b""))
write("install_location", "me-marker-first", bytes([6, 1 | 4 | 8 | 32, 0, 7]) + fields(b"Uninst.isu", b"", rb"C:\Tablet\.."))
write("install_location", "nt4-unc", bytes([1, 1 | 8, 0, 7]) + fields(rb"\\server\share\Tablet\Remove.exe", b"", b""))

# ---- rename_file: kind (0 NT4, 1 98, 2 95, 3 OSR2, 4 2000, 5 Me, 6 XP), machine (bits 0-1
# Windows folder, 4 file exists, 8 read-only, 16 held open, 32 held with sharing), faults (low
# nibble: call, bit 4+i: request i meets it), requests (count 1 + n % 3; bit 2+i: request i
# renames), then the file's content and per request folder SEP name [SEP new name] ----
INI = b"[boot]\r\nshell=Explorer.exe\r\n[rename]\r\nNUL=C:\\OLD.TXT\r\n"
write("rename_file", "98-section", bytes([1, 4, 0, 0]) + fields(INI, rb"WINDOWS\SYSTEM", b"tablet.dll"))
write("rename_file", "95-new-file-two", bytes([2, 0, 0, 1]) + fields(b"", rb"Program Files\Zorvik Tablet", b"Read Me.txt",
                                                                        b"WINDOWS", b"tabinst.dll"))
write("rename_file", "me-variants", bytes([5, 4, 0, 0]) + fields(b"[Rename]\r\nx\r\n[rename]\r\ny\r\n", b"WINDOWS", b"a.dll"))
write("rename_file", "98-zero-byte", bytes([1, 4, 0, 0]) + fields(b"x\r\n\x00[rename]\r\ny\r\n", b"WINDOWS", b"a.dll"))
write("rename_file", "98-rename", bytes([1, 4, 0, 4]) + fields(INI, b"WINDOWS", b"old.dll", rb"C:\WINDOWS\NEW.DLL"))
write("rename_file", "98-mapping-fails", bytes([1, 4, 0x10 | 2, 0]) + fields(INI, b"WINDOWS", b"a.dll"))
write("rename_file", "xp-system", bytes([6, 4, 0, 0]) + fields(b"[rename]\r\n", b"WINDOWS", b"x.dll"))
write("rename_file", "98-held-open", bytes([1, 4 | 16, 0, 0]) + fields(INI, b"WINDOWS", b"a.dll"))
write("rename_file", "osr2-double-byte-windows", bytes([3, 2 | 4, 0, 0]) + fields(b"", b"\x83\x5c", b"\x95\x5c.dll"))
write("rename_file", "98-no-line-end", bytes([1, 4, 0, 0]) + fields(b"[boot]\r\nshell=x", b"WINDOWS", b"long file name.dll"))

# ---- whole_run: kind (as rename_file; bit 3 no shlwapi, bit 4 newest-first listings, bit 5 Run
# pressed twice),
# folders (bits 0-1 Windows folder: usual, other, double-byte, too long; 2 system folder too
# long; 3 no Windows folder), shell (2 bits per folder: 2 none, 3 no path), registry (bits 0-1
# uninstall string: IsUninst -f, Remove.exe, raw bytes, none; 2 second key; 3 documents
# location; 4 pen instance is the product's; 6 a link inside a menu folder), install place,
# then fields: presence bits (1 = missing), uninstall suffix, documents location, InfPath,
# faults (call, nth, code triples), hostile entries (item, how pairs), nested folder and key
# names (split at zero bytes, alternately). Install places 16 to 25 name folders the system
# names or spell them as Windows reads them (Program Files by 8.3 alias, Common Files in small
# letters, the folder above the profiles, the shared Startup folder, the Windows folder with a
# final dot, the system folder with a final blank), the usual folder with a final dot, the
# junction to the Windows folder, the system folder below it, and a share ----
def run(kind, folders=0, shell=0, registry=0x40, place=0, *rest):
    return bytes([kind, folders, shell, registry, place]) + fields(*rest) if rest else bytes([kind, folders, shell, registry, place])

DEFAULT = rb"C:\Program Files\Zorvik Tablet"
write("whole_run", "xp-full", run(6))
write("whole_run", "98-docs", run(1, 0, 0, 0x40 | 0x08, 0, b"", b"", DEFAULT))
write("whole_run", "95-pen-class", run(2, 0, 0, 0x40 | 0x10 | 0x08, 0, b"", b"", DEFAULT + b"\\", b"OEM3.INF"))
write("whole_run", "95-pen-class-escape", run(2, 0, 0, 0x10, 0, b"", b"", b"", rb"..\win.ini"))
write("whole_run", "nt4-program-files", run(0, 0, 0, 0x40, 1))
write("whole_run", "2000-dot-dot", run(4, 0, 0, 0x40 | 1, 6))
write("whole_run", "me-short-names", run(5, 0, 0, 0x40, 8))
write("whole_run", "xp-windows-folder", run(6, 0, 0, 0x40, 3))
write("whole_run", "xp-faults", run(6, 0, 0, 0x40, 0, b"", b"", b"", b"", bytes([0, 3, 3, 1, 2, 5]), bytes([5, 0x80, 9, 0x01])))
write("whole_run", "osr2-no-shell-folders", run(3, 0, 0xAA, 0x40, 0))
write("whole_run", "xp-long-windows", run(6, 3, 0, 0x40, 0))
write("whole_run", "98-double-byte-windows", run(1, 2, 0, 0x40 | 0x08, 0, b"", b"", b"C:\\\x83\x5c\x95\x5c\\Tablet"))
write("whole_run", "98-raw-uninstall", run(1, 0, 0, 0x40 | 2, 0, b"", rb'"C:\Program Files\Zorvik Tablet\\Remove.exe"'))
write("whole_run", "xp-nothing-installed-second-key", run(6, 0, 0, 0x40 | 4, 0, b"\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff"))
write("whole_run", "xp-nested", run(6, 0, 0, 0x40, 0, b"", b"", b"", b"", b"", b"",
                                    b"Sub\x00Key\x00" + b"L" * 250 + b"\x00" + b"K" * 260 + b"\x00\x83\x5c\x00\x95\x5c"))
# Windows drops the dots and blanks that end a name: ",." in the InfPath is the folder ",".
write("whole_run", "95-inf-trailing-dot", run(2, 0, 0, 0x10, 0, b"", b"", b"", b",.\\win.ini"))
write("whole_run", "98-run-twice-in-use", run(1 | 0x20, 0, 0, 0x40 | 0x08, 0, b"", b"", DEFAULT, b"", b"", bytes([3, 0x80, 7, 0x80])))
# An uninstall string whose folder ends in two backslashes keeps one: the install folder's paths
# then hold "\\" in the middle, which Windows reads as one; its "TabUserZ.exe" (item 28) in use.
write("whole_run", "xp-folder-double-backslash", run(6, 0, 0, 0x40 | 2, 0, b"", rb'"C:\Program Files\Zorvik Tablet\\Remove.exe"',
                                                     b"", b"", b"", bytes([28, 0x80])))
# Install folders that cannot be the package's: each must count as not found, every foreign file
# in it stays, and on the 9x family the documents location is tried next.
write("whole_run", "xp-program-files-alias", run(6, 0, 0, 0x40, 16))
write("whole_run", "2000-common-files-other-case", run(4, 0, 0, 0x40 | 1, 17))
write("whole_run", "xp-above-the-profiles", run(6, 0, 0, 0x40, 18))
write("whole_run", "98-startup-then-docs", run(1, 0, 0, 0x40 | 0x08, 19, b"", b"", DEFAULT))
write("whole_run", "nt4-windows-final-dot", run(0, 0, 0, 0x40, 20))
write("whole_run", "me-system-final-blank-docs-share", run(5, 0, 0, 0x40 | 0x08, 21, b"", b"", rb"\\server\share\Zorvik"))
write("whole_run", "xp-install-final-dot", run(6, 0, 0, 0x40, 22))
write("whole_run", "xp-junction-to-windows", run(6, 0, 0, 0x40, 23))
write("whole_run", "98-below-the-junction", run(1, 0, 0, 0x40, 24))
write("whole_run", "2000-share-of-this-machine", run(4, 0, 0, 0x40 | 1, 25))
write("whole_run", "95-docs-the-windows-folder", run(2, 0, 0, 0x40 | 0x08 | 3, 0, b"", b"", rb"C:\WINDOWS" + b"\\"))
