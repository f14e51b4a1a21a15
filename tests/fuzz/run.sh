#!/bin/sh
# Runs one fuzz target for a bounded time in a scratch directory (the session target writes
# its picture files there), on a scratch corpus seeded from the committed one. Exits non-zero
# on any finding and keeps the input that found it in fuzz-findings/ beside the target.
#   usage: run.sh TARGET SEED_CORPUS SECONDS [libFuzzer options...]
set -eu
target=$(realpath "$1") seeds=$(realpath "$2") seconds=$3
shift 3
findings=$(dirname "$target")/fuzz-findings
work=$(mktemp -d "${TMPDIR:-/tmp}/ravelo-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cd "$work"
status=0
"$target" -max_total_time="$seconds" -max_len=1024 -timeout=10 -print_final_stats=1 -artifact_prefix="$work/" \
  "$@" "$work/corpus" "$seeds" || status=$?
if [ "$status" -ne 0 ]; then
  mkdir -p "$findings"
  for f in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
    [ -e "$f" ] && cp "$f" "$findings/" && echo "run.sh: finding kept as $findings/$(basename "$f")"
  done
fi
exit "$status"
