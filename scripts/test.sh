#!/usr/bin/env bash
# Runs every test on a fresh Debian 12 machine: installs what is needed, checks the sources'
# layout (scripts/check-format.sh), then builds and tests the host build (the program against
# the Win32 stand-in), the same suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# short runs of the fuzz targets, and the Windows build (the exe check, the Win32 tests and the
# end-to-end scenarios under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --wine

echo "== source format"
scripts/check-format.sh

echo "== host build and tests"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host

echo "== host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset asan >/dev/null
cmake --build --preset asan -j2
ctest --preset asan

# The fuzz build needs clang's libFuzzer; without it the other builds still run.
echo "== fuzz targets: build and smoke runs"
if echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
     clang++ -fsanitize=fuzzer -x c++ - -o /dev/null 2>/dev/null; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j2
  ctest --preset fuzz
else
  echo "clang with libFuzzer is not available: fuzz targets skipped" >&2
fi

echo "== Windows build, tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2
# How a user checks a shipped exe against its sources: the same commit built in another folder
# gives the same bytes, and its time stamp is the commit's (or SOURCE_DATE_EPOCH's).
echo "== the exe built again in build/windows-again: the same bytes, the commit's time stamp"
cmake --preset windows -B build/windows-again >/dev/null
cmake --build build/windows-again -j2 --target TabletUninstaller >/dev/null
cmp build/windows/TabletUninstaller.exe build/windows-again/TabletUninstaller.exe ||
  { echo "two builds of the same sources give different exes" >&2; exit 1; }
pe=$(od -An -tu4 -j60 -N4 build/windows/TabletUninstaller.exe | tr -d ' ')
stamp=$(od -An -tu4 -j$((pe + 8)) -N4 build/windows/TabletUninstaller.exe | tr -d ' ')
want=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}
[ "$stamp" = "$want" ] || { echo "the exe's time stamp is $stamp, not $want" >&2; exit 1; }
ctest --preset windows
