#!/usr/bin/env bash
# scan-targets.sh BUILD_DIR LIBRARY_DIR...
# Runs bench_scantargets on libraries made by make-library.sh (for example
# 5000, 20000 and 100000 tracks): the cold scan pinned to one CPU with
# taskset, then the whole run unpinned (cold scan, warm rescan against a stat
# walk, resident size over rescans, bytes per loaded track).
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 BUILD_DIR LIBRARY_DIR..." >&2; exit 2; }
BENCH=$1/bench-bin/bench_scantargets
shift
[ -x "$BENCH" ] || { echo "not built: $BENCH" >&2; exit 1; }
for library in "$@"; do
  echo "== $library: one CPU (taskset -c 0)"
  taskset -c 0 "$BENCH" "$library" --cold-only
  echo "== $library: every CPU"
  "$BENCH" "$library"
done
