#!/usr/bin/env bash
# Runs every benchmark program and comparison script and prints their figures.
set -euo pipefail
BUILD_DIR="${1:-build}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"

for program in "$BUILD_DIR"/bench-bin/*; do
    [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    "$program"
done

for script in "$ROOT"/bench/*/*.sh; do
    [ -f "$script" ] || continue
    echo "== $(basename "$script")"
    bash "$script" "$BUILD_DIR"
done
