#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset) and runs each for a short while; any crash, hang or
# sanitizer report fails.
#
# Usage: bash fuzz/run-smoke.sh [seconds-per-target, default 30]
# Seeds: the pyast sample files (tests/data/pyast) and the smaller modules of
# /usr/lib/python3.11, so the runs start from real Python rather than noise.
# New inputs go to build/fuzz/corpus/<target>/ and carry over to the next run;
# crash reproducers land in build/fuzz/artifacts/.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SECONDS_PER_TARGET="${1:-30}"
OUT="$ROOT/build/fuzz"
SEEDS="$OUT/seeds"
MAX_LEN=8192

cd "$ROOT"
cmake --preset fuzz > /dev/null
cmake --build --preset fuzz -j "${JOBS:-$(nproc)}"

rm -rf "$SEEDS"
mkdir -p "$SEEDS" "$OUT/artifacts"
n=0
while IFS= read -r -d '' f; do
    cp "$f" "$SEEDS/data_$((n++)).py"
done < <(find "$ROOT/tests/data/pyast" -type f -size -${MAX_LEN}c -print0)
if [[ -d /usr/lib/python3.11 ]]; then
    # A fixed, spread-out sample: every 8th small module in sorted order.
    while IFS= read -r f; do
        cp "$f" "$SEEDS/stdlib_$((n++)).py"
    done < <(find /usr/lib/python3.11 -name '*.py' -size -${MAX_LEN}c -size +200c | LC_ALL=C sort | awk 'NR % 8 == 0')
fi
echo "seed corpus: $n files"

failed=()
while IFS= read -r target; do
    corpus="$OUT/corpus/$target"
    log="$OUT/$target.smoke.log"
    mkdir -p "$corpus"
    # A target's own seeds, when it has some (fuzz/seeds/<target>/), go with the shared ones.
    own_seeds=()
    [[ -d "$ROOT/fuzz/seeds/$target" ]] && own_seeds=("$ROOT/fuzz/seeds/$target")
    echo "== $target: ${SECONDS_PER_TARGET}s"
    # Leak checks stay on: a leak in the front end is a real fault for a long-lived worker.
    if UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$OUT/fuzz/$target" "$corpus" "$SEEDS" "${own_seeds[@]}" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 \
            -max_len=$MAX_LEN -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="$OUT/artifacts/$target-" > "$log" 2>&1; then
        grep -E '^stat::number_of_executed_units' "$log" || true
    else
        echo "!! $target failed; the end of $log:"
        tail -40 "$log"
        failed+=("$target")
    fi
    # UBSan without halt would only print; treat any report as a failure too.
    if grep -q 'runtime error:' "$log"; then
        echo "!! $target: UndefinedBehaviorSanitizer report in $log"
        grep -m3 'runtime error:' "$log"
        failed+=("$target")
    fi
done < "$OUT/fuzz/targets.txt"

if [[ ${#failed[@]} -gt 0 ]]; then
    echo "fuzz smoke failed: ${failed[*]}"
    exit 1
fi
echo "fuzz smoke passed"
