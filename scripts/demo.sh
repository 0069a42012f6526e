#!/usr/bin/env bash
# Shows the uninstaller at work under Wine on a machine with a sample installation of the tablet
# driver package. Builds the program first, installing whatever the build and Wine need.
#
#   scripts/demo.sh [--version winxp|win2k|nt40|winme|win98|win95|win95osr2|win2003|win7]
#
# With a display ($DISPLAY set) the window opens there for you to press 実行 (Run) and 閉じる
# (Close). Without one it runs on a virtual display: the demo presses Run itself, prints the
# rows and the summary, and saves a screenshot of the window.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
version=winxp
usage() { sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
  case $1 in
    --version) [ $# -ge 2 ] || { usage >&2; exit 2; }; version=$2; shift 2 ;;
    --version=*) version=${1#*=}; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done
case $version in
  winxp|win2k|nt40|winme|win98|win95|win95osr2|win2003|win7) ;;
  *) echo "unknown Windows version: $version" >&2; usage >&2; exit 2 ;;
esac

"$root/scripts/install-deps.sh" --wine
cd "$root"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target TabletUninstaller e2e_driver >/dev/null

mkdir -p build/demo
exec python3 e2e/run.py demo --version "$version" \
  --exe build/windows/TabletUninstaller.exe --driver build/windows/e2e/e2e_driver.exe \
  --screenshot "$root/build/demo/screenshot-$version.png"
