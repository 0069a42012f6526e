#!/usr/bin/env bash
# Checks that the built program can load on every Windows the tool supports: a PE32 GUI
# executable with OS and subsystem version 4.0, no TLS directory, no C runtime, and imports only
# from the allow-list (functions that Windows 95 already has), and code an i386 can execute.
#   check_exe.sh program.exe allowed_imports.txt
set -u
exe=$1
allow=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
dump=$($objdump -p "$exe") || { echo "cannot read $exe"; exit 1; }
fail=0
bad() { echo "FAIL: $*"; fail=1; }

field() { printf '%s\n' "$dump" | awk -v f="$1" '$1 == f { print $2; exit }'; }
[ "$(field Magic)" = "010b" ] || bad "not PE32 (Magic $(field Magic))"
[ "$(field Subsystem)" = "00000002" ] || bad "not a GUI program (Subsystem $(field Subsystem))"
for f in MajorOSystemVersion MajorSubsystemVersion; do
  [ "$(field $f)" = "4" ] || bad "$f is $(field $f), not 4"
done
for f in MinorOSystemVersion MinorSubsystemVersion; do
  [ "$(field $f)" = "0" ] || bad "$f is $(field $f), not 0"
done
tls=$(printf '%s\n' "$dump" | awk '/Thread Storage Directory/ { print $3 $4; exit }')
[ "$tls" = "0000000000000000" ] || bad "has a TLS directory ($tls)"

# The import list: "DLL function" per line, DLL names in capitals.
imports=$(printf '%s\n' "$dump" | awk '
  /DLL Name:/ { dll = toupper($3); next }
  dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3; next }
  /^$/ { }')
[ -n "$imports" ] || bad "no imports found (objdump output changed?)"
allowed=$(grep -v '^#' "$allow" | grep -v '^$')
while read -r dll fn; do
  [ -n "$dll" ] || continue
  case "$dll" in
    KERNEL32.DLL|USER32.DLL|ADVAPI32.DLL) ;;
    *) bad "imports from $dll ($fn)"; continue ;;
  esac
  printf '%s\n' "$allowed" | grep -qx "$dll $fn" || bad "$dll $fn is not on the allow-list"
done <<< "$imports"
# Exactly those three: Windows looks for any other imported library next to the exe first.
dlls=$(printf '%s\n' "$imports" | awk '{ print $1 }' | sort -u | tr '\n' ' ')
[ "$dlls" = "ADVAPI32.DLL KERNEL32.DLL USER32.DLL " ] || bad "the exe imports from $dlls, not exactly ADVAPI32, KERNEL32 and USER32"

# The code must run on an i386 with an x87: nothing the 486 (bswap, cmpxchg, xadd, invlpg), the
# Pentium (cpuid, rdtsc, cmpxchg8b) or the Pentium Pro (cmov, fcmov, fcomi, fucomi, sysenter)
# added, and no MMX or SSE register. The whole .text is disassembled, libgcc's part included.
code=$($objdump -d --no-show-raw-insn -j .text "$exe") || { echo "cannot disassemble $exe"; exit 1; }
newer=$(printf '%s\n' "$code" | awk -F'\t' 'NF >= 2 {
    split($2, w, " "); m = w[1]
    if (m ~ /^(bswap|cmpxchg|cmpxchgl|cmpxchg8b|xadd|xaddl|xaddb|xaddw|invlpg|invd|wbinvd|cpuid|rdtsc|rdmsr|wrmsr|rsm|rdpmc|sysenter|sysexit|ud2|fcomi|fcomip|fucomi|fucomip|emms)$/ ||
        m ~ /^cmov/ || m ~ /^fcmov/ || $2 ~ /%(mm|xmm|ymm)[0-9]/) print }')
instructions=$(printf '%s\n' "$code" | awk -F'\t' 'NF >= 2' | grep -c .)
[ "$instructions" -gt 1000 ] || bad "only $instructions instructions disassembled (objdump output changed?)"
if [ -n "$newer" ]; then
  bad "instructions an i386 does not have: $(printf '%s\n' "$newer" | awk -F'\t' '{ split($2, w, " "); print w[1] }' | sort | uniq -c | tr -s ' \n' ' ')"
  printf '%s\n' "$newer" | head -20
fi

n=$(printf '%s\n' "$imports" | grep -c .)
if [ $fail -eq 0 ]; then
  echo "PASS: PE32 GUI, versions 4.0, no TLS, $n imports all on the allow-list, $instructions instructions all i386"
fi
exit $fail
