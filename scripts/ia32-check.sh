# Sourced by the set-up scripts: tells whether this machine can run 32-bit Linux programs.
# A tiny static i386 program that exits with 42 is built with the host assembler and linker.
_ia32_probe() {
  local dir; dir=$(mktemp -d)
  printf '.globl _start\n_start:\n mov $1,%%eax\n mov $42,%%ebx\n int $0x80\n' > "$dir/p.s"
  as --32 "$dir/p.s" -o "$dir/p.o" && ld -m elf_i386 "$dir/p.o" -o "$dir/p" || { rm -rf "$dir"; return 2; }
  "$dir/p" 2>/dev/null; local rc=$?
  rm -rf "$dir"
  return $rc
}
# True when the kernel itself runs 32-bit programs (no emulator registered for them).
ia32_runs_natively() {
  local reg
  for reg in /proc/sys/fs/binfmt_misc/*i386*; do
    [ -e "$reg" ] && grep -q '^enabled' "$reg" && return 1
  done
  _ia32_probe; [ $? -eq 42 ]
}
# True when 32-bit programs run one way or the other.
ia32_runs_at_all() { _ia32_probe; [ $? -eq 42 ]; }
