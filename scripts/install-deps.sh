#!/usr/bin/env bash
# Installs everything the builds, the tests and the demo need on a fresh Debian 12 machine.
# Safe to run again: each step checks whether it is already done.
#
#   scripts/install-deps.sh          host build and tests only (with the sanitizer and fuzz builds:
#                                    clang, and libclang-rt-14-dev for libFuzzer; clang-format for
#                                    the layout check)
#   scripts/install-deps.sh --wine   also the cross compiler, 32-bit Wine, Xvfb and fonts
set -euo pipefail

want_wine=0
[ "${1:-}" = "--wine" ] && want_wine=1

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive

# A mirror caught mid-sync fails one index with "unexpected size"; apt keeps the other indexes
# (and the old copy of that one), so a second try, and then going on, is safe.
apt_update() {
  local pause
  for pause in 5 20; do
    $SUDO apt-get "$@" update -qq && return 0
    sleep "$pause"
  done
  $SUDO apt-get "$@" update -qq ||
    echo "install-deps: apt-get update reported errors; going on with the package lists it has" >&2
}

need=()
for p in cmake ninja-build g++ make python3 googletest libgtest-dev libgmock-dev clang libclang-rt-14-dev \
         clang-format \
         g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev; do
  dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
done
if [ "$want_wine" = 1 ]; then
  dpkg --print-foreign-architectures | grep -qx i386 || { $SUDO dpkg --add-architecture i386; need+=(wine32:i386); }
  # fonts-wine: Wine's own fonts, among them Marlett, whose glyphs are the caption buttons.
  for p in wine wine32:i386 wine64 fonts-wine xvfb xauth imagemagick fonts-ipafont-gothic locales; do
    dpkg -s "$p" >/dev/null 2>&1 || need+=("$p")
  done
fi
if [ ${#need[@]} -gt 0 ]; then
  apt_update
  # With one index missing, the 32-bit libraries can lag their 64-bit twins and not install
  # beside them; the mirror's next sync mends that.
  # If it has not by then, the release's own suite is preferred over its security suite, so that
  # both architectures take the same versions.
  $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null || {
    sleep 20
    apt_update
    $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null ||
      $SUDO apt-get install -y -qq --no-install-recommends -t "$(. /etc/os-release && echo "$VERSION_CODENAME")" \
        "${need[@]}" >/dev/null
  }
fi

[ "$want_wine" = 1 ] || exit 0

# 32-bit Linux programs (the 32-bit Wine loader among them) cannot run natively on machines whose
# kernel has IA-32 emulation switched off. There they run under qemu's user-mode i386 emulator,
# registered with binfmt_misc. Debian 12's qemu 7.2 mishandles the address-space reservations
# Wine makes (MAP_FIXED_NOREPLACE), so the emulator comes from Debian unstable's qemu-user
# package, whose binaries are statically linked and need nothing else from that release.
. "$(dirname "$0")/ia32-check.sh"

# The URI of the machine's own Debian archive (not its security archive), from the one-line
# sources.list format or the deb822 .sources files: the emulator is taken from the same mirror,
# only from another suite.
debian_mirror() {
  {
    [ -f /etc/apt/sources.list ] && awk '$1 == "deb" {
        i = 2; if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        print $i, $(i + 1) }' /etc/apt/sources.list
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      awk 'BEGIN { RS = ""; FS = "\n" }
           { uris = ""; suites = ""; deb = 0
             for (n = 1; n <= NF; n++) {
               if ($n ~ /^Types:.*(^|[ \t])deb([ \t]|$)/) deb = 1
               if ($n ~ /^URIs:/)   { uris = $n;   sub(/^URIs:[ \t]*/, "", uris) }
               if ($n ~ /^Suites:/) { suites = $n; sub(/^Suites:[ \t]*/, "", suites) }
             }
             if (deb && uris != "") { split(uris, u, /[ \t]+/); split(suites, s, /[ \t]+/); print u[1], s[1] } }' "$f"
    done
  } | awk '$2 !~ /-security$/ && $2 !~ /\/updates$/ && $1 ~ /^(https?|file):/ { print $1; exit }'
}
if ! ia32_runs_natively; then
  QEMU=/usr/local/lib/tablet-uninstaller/qemu-i386
  if [ ! -x "$QEMU" ]; then
    work=$(mktemp -d)
    mkdir -p "$work/lists/partial"
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || { echo "no Debian archive found in the machine's apt sources" >&2; exit 1; }
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror sid main" > "$work/sources.list"
    opts=(-o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=/dev/null
          -o Dir::State::Lists="$work/lists" -o Dir::State::status=/dev/null -o Dir::Cache="$work" -o APT::Sandbox::User=root)
    apt_update "${opts[@]}"
    (cd "$work" && $SUDO apt-get "${opts[@]}" download qemu-user >/dev/null)
    dpkg -x "$work"/qemu-user_*.deb "$work/x"
    $SUDO install -D -m 755 "$work/x/usr/bin/qemu-i386" "$QEMU"
    rm -rf "$work"
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] || $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  if [ ! -e /proc/sys/fs/binfmt_misc/tablet-uninstaller-i386 ]; then
    # ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386). F: the
    # interpreter is opened now, so it works inside any mount namespace later.
    printf '%s' ':tablet-uninstaller-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$QEMU"':F' \
      | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
  fi
  ia32_runs_natively || ia32_runs_at_all || { echo "32-bit programs still cannot run" >&2; exit 1; }
fi
