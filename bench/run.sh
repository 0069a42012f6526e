#!/usr/bin/env bash
# The benchmark, from the build to the tables (docs/PERFORMANCE.md shows what it printed):
# builds the shipped exe and the benchmark with the MinGW toolchain, makes a Wine prefix of its
# own, runs every case of tablet_bench.exe in it (each primitive against its peers, alternating
# order, min / median / ratio), then the whole runs of the real exe on full XP and 98
# installations.
#
#   bench/run.sh [--runs N] [--full-runs N] [CASE...]
#
# CASE: folders keys rename stack (default all), and full (the whole runs).
# Environment: BENCH_BUILD (default build/bench-win), WINE_WORK (default build/bench-wine).
# Uses at most two build jobs; only the Wine processes of its own prefix are ended.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD:-$root/build/bench-win}
export WINE_WORK=${WINE_WORK:-$root/build/bench-wine}

runs=5
full_runs=5
cases=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --full-runs) full_runs=$2; shift 2 ;;
    *) cases+=("$1"); shift ;;
  esac
done
[ ${#cases[@]} -gt 0 ] || cases=(folders keys rename stack full)

bench_cases=()
full=no
for c in "${cases[@]}"; do
  if [ "$c" = full ]; then full=yes; else bench_cases+=("$c"); fi
done

echo "== build ($build)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$build" -j2 --target TabletUninstaller tablet_bench bench_full_run >/dev/null
exe=$build/TabletUninstaller.exe

echo "== conditions"
if [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$root" ]; then
  echo "commit $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD -- base primitives report plans shell || echo ' with uncommitted changes in base/primitives/report/plans/shell')"
else
  echo "source $root (not a git checkout${BENCH_SOURCE_NOTE:+: $BENCH_SOURCE_NOTE})"
fi
echo "$(nproc) cores ($(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)), $(free -g | awk '/^Mem:/ { print $2 }') GiB, Linux $(uname -r)"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg); $(wine --version)"
emulated="32-bit Wine runs natively"
for entry in /proc/sys/fs/binfmt_misc/*; do
  if [ -r "$entry" ] && grep -q '^enabled' "$entry" 2>/dev/null && grep -q 'interpreter .*qemu-i386' "$entry"; then
    interpreter=$(sed -n 's/^interpreter //p' "$entry")
    emulated="32-bit Wine runs under qemu's user-mode i386 emulation ($("$interpreter" --version | head -1))"
  fi
done
echo "$emulated"

. "$root/scripts/wine-env.sh"
if [ ${#bench_cases[@]} -gt 0 ]; then
  prefix=$(wine_new_prefix)
  trap 'wine_end "$prefix"; WINEPREFIX=$prefix wineserver -w 2>/dev/null || true; chmod -R u+w "$prefix" 2>/dev/null; rm -rf "$prefix"' EXIT
  export WINEPREFIX=$prefix
  # One server for every case: without it each Wine command would start its own.
  wineserver -p30
  cp "$build/bench/tablet_bench.exe" "$prefix/drive_c/"
  # What the build and earlier runs left to be written out would otherwise be written during
  # the first cases.
  sync
  # Under a display of its own: nothing of the benchmark should reach the developer's screen.
  (cd "$prefix/drive_c" && xvfb-run -a -s "-screen 0 1024x768x24" wine 'C:\tablet_bench.exe' --runs "$runs" "${bench_cases[@]}")
  wine_end "$prefix"
fi

if [ "$full" = yes ]; then
  python3 "$root/bench/full_run.py" --exe "$exe" --driver "$build/bench/bench_full_run.exe" --runs "$full_runs"
fi
