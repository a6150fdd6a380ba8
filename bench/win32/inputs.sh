#!/bin/sh
# The inputs under Wine on the simulated port (bench/win32/pulse_timing.cpp),
# run by `sh scripts/bench.sh inputs`: the lateness of the wait's sleep, then
# the wait (ordinal 14) and the time (ordinal 19), 300 calls each, first as
# the machine is, then with one more process busy on a core (the load average
# about 1 higher once a minute has passed), each with the load average at its
# start. No thread of the benchmark spins: the change's thread sleeps, and
# the reads' moments are the simulated port's stamps.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/scripts/env.sh"
sh "$top/scripts/build.sh" win32 Doruzeda_DO pulse_timing >/dev/null
wine_prefix "$(wine_prefix_in "$top/build/win32")"
cd "$top/build/win32/bin"

run() {
    for mode in sleeps wait time; do
        echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
        wine pulse_timing.exe "$mode"
    done
}

echo "== as the machine is"
run
echo "== with one more process busy on a core"
sh -c 'while :; do :; done' &
busy=$!
trap 'kill "$busy" 2>/dev/null' EXIT
sleep 60
run
