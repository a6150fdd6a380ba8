#!/bin/sh
# Builds the native benchmarks without sanitizers and runs them.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
sh "$top/scripts/deps.sh"
cmake -S "$top" -B "$top/build/bench" -DCMAKE_BUILD_TYPE=Release -DDORUZEDA_SANITIZE=OFF >/dev/null
cmake --build "$top/build/bench" -j "$(nproc 2>/dev/null || echo 2)" --target core_bench
"$top/build/bench/bench/core_bench" "$@"
