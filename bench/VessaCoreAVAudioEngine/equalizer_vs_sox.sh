#!/usr/bin/env bash
# Runs the same stereo 44.1 kHz input through sox with ten one-octave
# `equalizer` effects and through our render core (bench_equalizer), and
# prints both throughputs and their ratio. $1 = build directory.
set -euo pipefail
BUILD_DIR="${1:-build}"
BENCH="$BUILD_DIR/bench-bin/bench_equalizer"
AUDIO_SECONDS=120
RATE=44100

if ! command -v sox >/dev/null; then
    echo "sox is not installed; comparison skipped"
    exit 0
fi
if [ ! -x "$BENCH" ]; then
    echo "$BENCH is missing; build the benchmarks first" >&2
    exit 1
fi

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
RAW=(-t raw -r "$RATE" -c 2 -e floating-point -b 32)

# The same centres and gains as bench_equalizer.
EQ=()
FREQUENCIES=(32 64 125 250 500 1000 2000 4000 8000 16000)
GAINS=(3 -2 4 -3 2 -4 5 -1 3 -2)
for i in "${!FREQUENCIES[@]}"; do
    EQ+=(equalizer "${FREQUENCIES[$i]}" 1o "${GAINS[$i]}")
done

sox -V1 -n "${RAW[@]}" "$WORK/in.raw" synth "$AUDIO_SECONDS" whitenoise vol 0.3

now() { date +%s.%N; }
# sox's time for the filters alone: with the effects minus a plain copy.
start="$(now)"; sox -V1 "${RAW[@]}" "$WORK/in.raw" "${RAW[@]}" "$WORK/copy.raw"; copied="$(now)"
sox -V1 "${RAW[@]}" "$WORK/in.raw" "${RAW[@]}" "$WORK/eq.raw" "${EQ[@]}"; filtered="$(now)"

ours="$("$BENCH" "$WORK/in.raw" | awk '$1 == "render_core_frames_per_second" { print $2 }')"
awk -v frames="$((AUDIO_SECONDS * RATE))" -v start="$start" -v copied="$copied" -v filtered="$filtered" -v ours="$ours" 'BEGIN {
    eq_seconds = (filtered - copied) - (copied - start)
    if (eq_seconds <= 0) eq_seconds = filtered - copied
    sox_fps = frames / eq_seconds
    printf "sox, 10 equalizer effects: %.0f frames/s\n", sox_fps
    printf "render core, 10 bands:     %.0f frames/s\n", ours
    printf "ratio (render core / sox): %.1f\n", ours / sox_fps
}'
