#!/usr/bin/env bash
# How much of the program's own code the fuzz corpora reach: builds the fuzz targets once more
# with llvm's source-based coverage (build/fuzz-coverage), runs each target once over its
# corpus (no fuzzing) and prints line, branch and function coverage of the program's files.
#
#   tests/fuzz/coverage.sh [CORPORA_DIR]     default: build/fuzz/long (the long runs' corpora)
set -euo pipefail
cd "$(dirname "$0")/../.."
corpora=${1:-build/fuzz/long}
build=build/fuzz-coverage

cmake --preset fuzz -B "$build" -DTABLET_FUZZ_COVERAGE=ON >/dev/null
cmake --build "$build" -j2 >/dev/null
rm -rf "$build/profiles" && mkdir -p "$build/profiles"

for name in ${TARGETS:-find_text strip_separator install_location rename_file whole_run}; do
  dirs=(tests/fuzz/corpus/$name)
  [ -d "$corpora/$name/corpus" ] && dirs+=("$corpora/$name/corpus")
  LLVM_PROFILE_FILE="$build/profiles/$name.profraw" ASAN_OPTIONS=detect_leaks=0 \
    "$build/tests/fuzz/${name}_fuzz" -runs=0 "${dirs[@]}" >/dev/null 2>&1
  llvm-profdata-14 merge -sparse "$build/profiles/$name.profraw" -o "$build/profiles/$name.profdata"
  echo "== $name: $(find "${dirs[@]}" -type f | wc -l) inputs"
  # The program's .cpp files are compiled from their CP932-escaped copies, so coverage is
  # recorded under $build/cp932; shown here under their own names.
  report=(llvm-cov-14 report "$build/tests/fuzz/${name}_fuzz" -instr-profile="$build/profiles/$name.profdata")
  case $name in
    find_text|strip_separator)
      "${report[@]}" -show-functions "$build/cp932/plans/install_location.cpp" "$build/cp932/plans/locations.cpp" |
        grep -E "^Name|_Z[0-9]+(FindTextNoCase|StripTrailingSeparator|LoadLeadBytes|IsLeadByteOf)" ;;
    *)
      "${report[@]}" "$build/cp932" | grep -vE '^-+$' | sed "s|$build/cp932/||" ;;
  esac
done
