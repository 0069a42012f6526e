#!/usr/bin/env bash
# Runs every test on a fresh Debian 12 machine: installs what is needed, then builds and tests
# the host build (the program against the Win32 stand-in) and the Windows build (the exe check,
# the Win32 tests and the end-to-end scenarios under Wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --wine

echo "== host build and tests"
cmake --preset host >/dev/null
cmake --build --preset host -j2
ctest --preset host

echo "== Windows build, tests under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2
ctest --preset windows
