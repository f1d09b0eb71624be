#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build (`make fuzz`) for SECONDS each and
# fails on any crash, leak, hang, sanitizer report or broken invariant.
#
#   scripts/run-fuzzers.sh SECONDS [FUZZ_BUILD_DIR]   (default build-fuzz)
#
# The chip-music and tracker-module targets, and the decoder helper's (which
# serves the helper's requests in its own process), reach libgme and
# libmikmod, which fail on crafted files by themselves. A failure that lies
# inside one of those libraries (see classify below) is listed as a library
# fault and the target fuzzes on: such faults are for the decoder helper
# process to contain. A failure anywhere else, in any target, fails the run.
#
# Each target's corpus grows in FUZZ_BUILD_DIR/fuzz-corpus/<target>; failing
# inputs and their reports are kept in FUZZ_BUILD_DIR/fuzz-artifacts/<target>.
set -euo pipefail

SECONDS_EACH="${1:?usage: run-fuzzers.sh SECONDS [FUZZ_BUILD_DIR]}"
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="$(cd "${2:-build-fuzz}" && pwd)"
INPUT_TIMEOUT=20 # seconds one input may take (wall clock, on a busy machine) before it is a hang
MAX_RESTARTS=50
AGAIN_MARK="== The leaking input again, with complete allocation stacks:"

# Targets whose faults inside these libraries do not fail the run.
LIBRARY_TARGETS=" fuzz_gme_decoder fuzz_mikmod_decoder fuzz_decoder_helper "
CONTAINED_LIBRARIES='[(/]libgme\.so|[(/]libmikmod\.so'

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS=""

# Prints "library" when the report in $1 shows the fault inside a contained
# library, else "ours". The faulting stacks are the first one (crash, hang,
# sanitizer report) or every leak's allocation stack. In each, the frames of
# the sanitizer, the fuzzer and the C runtime are skipped, and so are other
# libraries' (zlib called by libgme, Qt called by us): the first frame that is
# either our code or a contained library decides. Anything undecided is ours.
classify() {
    awk -v libraries="$CONTAINED_LIBRARIES" -v root="$ROOT/" -v build="$BUILD_DIR/" -v again="$AGAIN_MARK" '
        BEGIN {
            runtime = " in (__sanitizer|__asan|__lsan|__ubsan|__interceptor|fuzzer::|malloc|calloc|realloc" \
                      "|free|operator new|operator delete|abort|raise|__assert_fail|__pthread_kill|std::terminate)"
        }
        $0 == again { stacks = 0; library = 0; leak = 0 }
        /ERROR: LeakSanitizer/ { leak = 1 }
        /^ *#[0-9]+ 0x/ {
            if ($1 == "#0") { stacks++; decided = 0 }
            if ((stacks > 1 && !leak) || decided || $0 ~ runtime) next
            if ($0 ~ libraries) { decided = 1; library++; next }
            for (i = 3; i <= NF; i++) {
                field = $i
                sub(/^\(/, "", field)
                if (index(field, root) == 1 || index(field, build) == 1) { decided = 1; next }
            }
        }
        END { print (stacks > 0 && library == (leak ? stacks : 1)) ? "library" : "ours" }
    ' "$1"
}

status=0
for program in "$BUILD_DIR"/fuzz-bin/fuzz_*; do
    [ -x "$program" ] || continue
    target="$(basename "$program")"
    seeds="$BUILD_DIR/fuzz-seeds/$target"
    corpus="$BUILD_DIR/fuzz-corpus/$target"
    artifacts="$BUILD_DIR/fuzz-artifacts/$target"
    scratch="$BUILD_DIR/fuzz-tmp/$target"
    rm -rf "$artifacts" "$scratch"
    mkdir -p "$corpus" "$artifacts" "$scratch"
    [ -d "$seeds" ] || { echo "$target: no seed corpus in $seeds (run make fuzz)"; exit 1; }

    library_faults=()
    verdict="ok"
    deadline=$((SECONDS + SECONDS_EACH))
    for ((run = 1; run <= MAX_RESTARTS && SECONDS < deadline; run++)); do
        log="$artifacts/run-$run.log"
        if TMPDIR="$scratch" "$program" -max_total_time=$((deadline - SECONDS)) -timeout="$INPUT_TIMEOUT" \
            -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" "$seeds" >"$log" 2>&1; then
            rm -f "$log"
            continue
        fi
        failing="$(grep -o "Test unit written to .*" "$log" | tail -n 1 | sed 's/^Test unit written to //')"
        # Leak stacks are unwound quickly and stop at the first library
        # built without frame pointers: the input runs again, fully unwound.
        if grep -q "ERROR: LeakSanitizer" "$log" && [ -n "$failing" ]; then
            ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=0" TMPDIR="$scratch" "$program" \
                -timeout="$INPUT_TIMEOUT" "$failing" >"$log.again" 2>&1 || true
            if grep -q "ERROR: LeakSanitizer" "$log.again"; then
                { echo "$AGAIN_MARK"; cat "$log.again"; } >>"$log"
            fi
            rm -f "$log.again"
        fi
        if [[ "$LIBRARY_TARGETS" == *" $target "* ]] && [ -n "$failing" ] && [ "$(classify "$log")" = library ]; then
            mv "$log" "$failing.log"
            library_faults+=("$(basename "$failing")")
            continue
        fi
        verdict="FAILED"
        echo "== $target: failure in our code or through our plug-ins (input: ${failing:-none written})"
        sed -n '/ERROR: \|runtime error\|Broken invariant/,$p' "$log" | grep -v '^MS:\|^base64:' | head -n 80
        break
    done
    rm -rf "$scratch"

    if [ "$verdict" = ok ]; then
        echo "$target: ok (${SECONDS_EACH} s)"
    else
        status=1
    fi
    if [ ${#library_faults[@]} -gt 0 ]; then
        distinct="$(printf '%s\n' "${library_faults[@]}" | sort -u)"
        echo "$target: note: $(wc -l <<<"$distinct") input(s) failing inside libgme/libmikmod, not failing the" \
            "run; the decoder helper process is to contain them. Inputs and reports: $artifacts"
        sed 's/^/    /' <<<"$distinct"
    fi
done
exit $status
