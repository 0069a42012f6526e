#!/usr/bin/env bash
# The stack each level of the two recursive walks takes, read from the compiled code: the
# prologue of every function on the recursion (return address, saved registers, the frame it
# reserves) in the objects the shipped exe is linked from, and a check that the shipped exe (which
# is stripped) reserves the same frames.
#   bench/stack_frames.sh [BUILD]     (default build/bench-win, a MinSizeRel MinGW build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench-win}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
objects=$build/CMakeFiles/TabletUninstaller.dir/primitives
exe_code=$($objdump -d --no-show-raw-insn -j .text "$build/TabletUninstaller.exe" | awk -F'\t' 'NF >= 2 { print $2 }' | tr -s ' ')

# For each function whose name matches: the bytes from its caller's stack pointer to its own
# after the prologue (4 for the return address, 4 per push, and the sub from %esp), and whether
# the exe has an instruction reserving the same frame.
frames() {
  local object=$1 pattern=$2
  $objdump -d --no-show-raw-insn -C "$object" | awk -F'\t' -v pattern="$pattern" '
    function hex(s,   i, v) { v = 0; s = tolower(s); sub(/^0x/, "", s); for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1; return v }
    /^[0-9a-f]+ <.*>:$/ { name = $0; sub(/^[0-9a-f]+ </, "", name); sub(/>:$/, "", name); inside = name ~ pattern; n = 0; bytes = 4; done = 0; seq = ""; next }
    inside && !done && NF >= 2 {
      ins = $2; gsub(/ +/, " ", ins)
      if (ins ~ /^sub \$0x[0-9a-f]+,%esp$/) seq = ins
      if (ins ~ /^push %e(bp|di|si|bx)$/) bytes += 4
      else if (ins ~ /^sub \$0x[0-9a-f]+,%esp$/) { v = ins; sub(/^sub \$/, "", v); sub(/,%esp$/, "", v); bytes += hex(v); done = 1; print name "\t" bytes "\t" seq }
      else if (ins ~ /^(call|jmp|ret)/) { done = 1; print name "\t" bytes "\t" seq }
    }'
}

check_in_exe() {
  local sub=$1
  if [ -z "$sub" ]; then
    echo "saved registers only"
  elif printf '%s\n' "$exe_code" | grep -qxF "$sub"; then
    echo "its '$sub' is in the shipped exe"
  else
    echo "its '$sub' is NOT in the shipped exe"
  fi
}

report() {
  local title=$1 object=$2 pattern=$3
  echo "$title"
  while IFS=$'\t' read -r name bytes seq; do
    printf '  %-60s %5d bytes  (%s)\n' "$name" "$bytes" "$(check_in_exe "$seq")"
  done < <(frames "$object" "$pattern")
}

echo "stack frames from the compiled code ($build)"
report "folder walk: RemoveDirectoryTree calls itself for each subfolder (RemoveEntries inlined)" \
  "$objects/directory_tree.cpp.obj" '^RemoveDirectoryTree'
report "key walk: DeleteKeyTree's body calls DeleteKeyTree, which gives its 16 bytes back and jumps to the body: 336 per level" \
  "$objects/registry_removal.cpp.obj" '^DeleteKeyTree'
report "key probe (before the deletion, not nested in it): ProbeKeyTree follows the first subkey of each level the same way" \
  "$objects/registry_removal.cpp.obj" '^ProbeKeyTree'
