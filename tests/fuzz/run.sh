#!/usr/bin/env bash
# Runs one fuzz target from its committed seeds for a number of seconds, with its dictionary and
# input size limit. New inputs go to a working corpus outside the source tree; an input that
# breaks a property is saved there as crash-*/leak-*/timeout-* and makes this script fail.
#
#   tests/fuzz/run.sh BINARY NAME WORK_DIR SECONDS [more libFuzzer flags...]
set -euo pipefail
binary=$1 name=$2 work=$3 seconds=$4
shift 4
here=$(cd "$(dirname "$0")" && pwd)

corpus=$work/$name/corpus
artifacts=$work/$name/artifacts
mkdir -p "$corpus" "$artifacts"

flags=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -print_final_stats=1
       -artifact_prefix="$artifacts/")
[ -f "$here/$name.dict" ] && flags+=(-dict="$here/$name.dict")
case $name in
  install_location) flags+=(-max_len=3072) ;;
  rename_file|whole_run) flags+=(-max_len=4096) ;;
  *) flags+=(-max_len=1024) ;;
esac

# Smaller allocation bookkeeping than ASan's defaults: the stand-in allocates a great deal, the
# program itself nothing. Leak checking stays on. A caller's own ASAN_OPTIONS win.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=8:max_malloc_fill_size=0:quarantine_size_mb=32:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# The first folder collects what the run finds; the committed seeds are only read.
exec "$binary" "${flags[@]}" "$@" "$corpus" "$here/corpus/$name"
