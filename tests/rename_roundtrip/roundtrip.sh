#!/usr/bin/env bash
# Round trip of the rename file on a real Win32 implementation: requests for files with long
# (and Japanese) names are written by the program's own editor into C:\windows\wininit.ini of a
# fresh Wine prefix; the Wine session is then restarted, which carries out the [rename] section
# as WININIT.EXE does. Afterwards the named files are gone, their neighbours are kept, the old
# contents of the file were kept, and the file has become wininit.bak.
#   roundtrip.sh write_requests.exe
set -u
exe=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh"
prefix=$(wine_new_prefix) || exit 1
trap 'wine_end "$prefix"; rm -rf "$prefix"' EXIT
export WINEPREFIX=$prefix
fail=0
bad() { echo "FAIL: $*"; fail=1; }

c=$prefix/drive_c
folder="$c/Program Files/Zorvik Tablet"
mkdir -p "$folder"
for f in "Read Me-JP.txt" "Ostrel User's Manual-JP.pdf" "タブレット設定.dat" "keep me.txt"; do
  printf 'x' > "$folder/$f"
done
# An existing file with another section: its bytes must survive the edit.
printf '[Settings]\r\nKeep=1\r\n' > "$c/windows/wininit.ini"

wine "$exe" 'C:\Program Files\Zorvik Tablet\Read Me-JP.txt' \
            "C:\\Program Files\\Zorvik Tablet\\Ostrel User's Manual-JP.pdf" \
            'C:\Program Files\Zorvik Tablet\タブレット設定.dat' || bad "the requests were refused"
wineserver -w

ini=$(cat "$c/windows/wininit.ini")
printf '%s\n' "--- wininit.ini as written:" "$ini"
case "$ini" in
  $'[Settings]\r\nKeep=1\r\n[rename]\r\n'*) ;;
  *) bad "the old section is not kept in front of the new [rename] section" ;;
esac
# Three deletion lines, each naming an 8.3 path (no blanks, every component at most 8.3).
lines=$(printf '%s' "$ini" | tr -d '\r' | grep '^NUL=')
[ "$(printf '%s\n' "$lines" | grep -c .)" = 3 ] || bad "expected 3 deletion lines"
while IFS= read -r line; do
  path=${line#NUL=}
  printf '%s' "$path" | LC_ALL=C grep -qE '^[A-Z]:(\\[^\\ .]{1,8}(\.[^\\ .]{1,3})?)+$' ||
    bad "not an 8.3 path: $line"
done <<< "$lines"

# Restart: end the session; the next Wine start carries out the rename file.
wineserver -k
wine cmd /c exit >/dev/null 2>&1
wineserver -w

for f in "Read Me-JP.txt" "Ostrel User's Manual-JP.pdf" "タブレット設定.dat"; do
  [ ! -e "$folder/$f" ] || bad "still there after the restart: $f"
done
[ -e "$folder/keep me.txt" ] || bad "a file without a request was deleted"
[ -e "$c/windows/wininit.bak" ] || bad "no wininit.bak: the rename file was not carried out"
[ ! -e "$c/windows/wininit.ini" ] || bad "wininit.ini is still there"

[ $fail -eq 0 ] && echo "PASS: 3 requests written as 8.3 lines and carried out at the restart"
exit $fail
