#!/usr/bin/env bash
# Checks that every C++ source and header is laid out as .clang-format says (Debian 12's
# clang-format 14, which scripts/install-deps.sh installs; other versions lay some lines out
# differently). Prints the files that differ and how; `--fix` rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."

format=${CLANG_FORMAT:-clang-format}
command -v "$format" >/dev/null || { echo "check-format: $format is not installed" >&2; exit 1; }
mapfile -t sources < <(git ls-files '*.cpp' '*.h')

if [ "${1:-}" = "--fix" ]; then
  "$format" -i "${sources[@]}"
  exit 0
fi
report=$(mktemp)
trap 'rm -f "$report"' EXIT
if ! "$format" --dry-run --Werror "${sources[@]}" 2>"$report"; then
  grep -E '^[^ ].*: error:' "$report" | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
  head -40 "$report"
  echo "check-format: run scripts/check-format.sh --fix ($("$format" --version))"
  exit 1
fi
echo "check-format: ${#sources[@]} files as .clang-format says"
