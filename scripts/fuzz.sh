#!/bin/sh
# Builds the core's libFuzzer targets (tests/fuzz, with clang) and runs them.
#
#   scripts/fuzz.sh short   replays every seed and every kept regression input,
#                           then fuzzes each target for 200000 runs or 20 s,
#                           whichever ends first
#   scripts/fuzz.sh long    fuzzes each target for 10 million runs
#
# Targets run one after the other, in the build folder (where their log file
# RurSetupDebug.txt goes), in a single process each, so a run keeps one
# core busy. Exits non-zero when any target finds a fault; the input that
# found it is left in build/fuzz/findings/<target>/ and belongs in
# tests/fuzz/regressions/<target>/ from then on, fixed or not.
# FUZZ_BUILD_DIR names another build folder.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-short}
build=${FUZZ_BUILD_DIR:-$top/build/fuzz}
targets="controller_fuzz discovery_fuzz vcd_reader_fuzz"

case "$mode" in
short) fuzz_options="-runs=200000 -max_total_time=20" ;;
long) fuzz_options="-runs=10000000" ;;
*)
    echo "usage: $0 short|long" >&2
    exit 2
    ;;
esac

cmake -S "$top/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
. "$top/scripts/env.sh"
cmake --build "$build" --parallel "$(build_jobs)"

cd "$build"
status=0
for target in $targets; do
    program="$build/$target"
    work="$build/grown/$target"
    findings="$build/findings/$target"
    log="$build/logs/$target-$mode.log"
    mkdir -p "$work" "$findings" "$build/logs"

    if [ "$mode" = short ]; then
        inputs=$(find "$top/tests/fuzz/corpus/$target" "$top/tests/fuzz/regressions/$target" \
            -type f ! -name '.*' 2>/dev/null | sort)
        count=$(printf '%s\n' "$inputs" | grep -c . || true)
        echo "== $target: replaying $count seed and regression inputs"
        # shellcheck disable=SC2086 # one argument per input file
        if [ "$count" -gt 0 ] && ! "$program" $inputs >"$build/logs/$target-replay.log" 2>&1; then
            tail -n 40 "$build/logs/$target-replay.log"
            echo "!! $target: a seed or regression input fails"
            status=1
        fi
    fi

    echo "== $target: fuzzing ($fuzz_options)"
    # New inputs go to the work folder; the seeds are read, never written.
    # shellcheck disable=SC2086 # the options are separate arguments
    if "$program" $fuzz_options -max_len=4096 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$work" "$top/tests/fuzz/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
        echo "   $target: $runs executions in $seconds s, no findings"
    else
        tail -n 40 "$log"
        echo "!! $target: finding; input kept in $findings (log: $log)"
        status=1
    fi
done
exit $status
