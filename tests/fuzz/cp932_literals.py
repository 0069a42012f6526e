#!/usr/bin/env python3
"""Copies one of the program's UTF-8 sources with every non-ASCII character written as the
octal escapes of its code page 932 bytes, so that a compiler without -fexec-charset=CP932
(clang) still puts the exact CP932 bytes into the program's string literals. Octal escapes
take at most three digits, so an escape never swallows the character after it, and a trail
byte 0x5C becomes the escape "\\134", never a live backslash. A #line directive keeps
diagnostics and coverage pointing at the original file.

    cp932_literals.py SOURCE OUTPUT
"""
import sys


def main() -> int:
    source, output = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    out = [f'#line 1 "{source}"\n']
    for ch in text:
        if ord(ch) < 0x80:
            out.append(ch)
        else:
            try:
                out.append("".join(f"\\{b:03o}" for b in ch.encode("cp932")))
            except UnicodeEncodeError:
                # Only comments can hold such a character: the native build refuses it in a
                # literal, since -fexec-charset=CP932 cannot convert it either.
                out.append("?")
    with open(output, "w", encoding="ascii", newline="") as f:
        f.write("".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
