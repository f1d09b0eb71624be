#!/usr/bin/env bash
# Decoding time of the FFmpeg decoder plug-in against `ffmpeg -i FILE -f null -`
# on the same 10-minute FLAC and MP3 (best of three runs each). A ratio of 1.10
# means the plug-in takes 10% longer than FFmpeg's own command.
set -euo pipefail
BUILD_DIR="${1:-build}"
PROGRAM="$BUILD_DIR/bench-bin/bench_coreaudio_decode"
[ -x "$PROGRAM" ] || { echo "missing $PROGRAM (build the benchmarks first)"; exit 1; }
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

NOISE="anoisesrc=color=pink:sample_rate=44100:amplitude=0.3:duration=600"
ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i "$NOISE" -ac 2 -c:a flac "$WORK/ten-minutes.flac"
ffmpeg -hide_banner -nostdin -loglevel error -y -f lavfi -i "$NOISE" -ac 2 -c:a libmp3lame -b:a 256k "$WORK/ten-minutes.mp3"

best_of_three() {
    local best=""
    for _ in 1 2 3; do
        local start end elapsed
        start=$(date +%s.%N)
        "$@" > /dev/null
        end=$(date +%s.%N)
        elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
        if [ -z "$best" ] || awk -v e="$elapsed" -v b="$best" 'BEGIN { exit !(e < b) }'; then best=$elapsed; fi
    done
    echo "$best"
}

for file in "$WORK/ten-minutes.flac" "$WORK/ten-minutes.mp3"; do
    plugin=$(best_of_three "$PROGRAM" "$file")
    reference=$(best_of_three ffmpeg -hide_banner -nostdin -loglevel error -i "$file" -f null -)
    awk -v name="$(basename "$file")" -v p="$plugin" -v r="$reference" \
        'BEGIN { printf "%-18s plug-in %6.3f s, ffmpeg %6.3f s, ratio %5.2f\n", name, p, r, p / r }'
done
