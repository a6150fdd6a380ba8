#!/bin/sh
# The inputs under Wine on the simulated port (bench/win32/pulse_timing.cpp),
# run by `sh scripts/bench.sh inputs`: the lateness of the wait's sleep, then
# the wait (ordinal 14) and the time (ordinal 19), 300 calls each, first as
# the machine is, then with one more process busy on a core, then with two
# (the load average about 1 and 2 higher once a minute has passed), each
# with the load average at its start. No thread of the benchmark spins: the
# change's thread sleeps, and the reads' moments are the simulated port's
# stamps. Then, likewise, the time (ordinal 19) on the fake ppdev device
# through the Linux libraries, the device making the change itself at a moment asked, against its own
# monotonic stamps of the change and of each PPRSTATUS.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/scripts/env.sh"
. "$top/bench/fake-device.sh"
sh "$top/scripts/build.sh" win32 Doruzeda_DO pulse_timing >/dev/null
sh "$top/scripts/build.sh" linux >/dev/null
wine_prefix "$(wine_prefix_in "$top/build/win32")"
cd "$top/build/win32/bin"

# Median, 99th percentile and maximum of the numbers on standard input.
spread() {
    sort -g | awk -v what="$1" '{ v[NR] = $1 } END {
        if (NR > 0) printf "  %-50s %3d: median %7.1f us, p99 %7.1f us, max %7.1f us\n",
                           what, NR, v[int(NR / 2) + 1], v[int(NR * 99 / 100) + 1], v[NR] }'
}

ppdev() {
    start_fake_device "$top/build/linux/bench-inputs"
    echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    (cd "$work/app" && DORUZEDA_PARPORT_PROC="$work/proc" DORUZEDA_PARPORT_DEV="$work/dev" \
        wine pulse_timing.exe ppdev-time "Z:$work/dev/parport0.status") >"$work/times.txt"
    fusermount3 -u "$work/dev"
    wait "$fake"
    # A round: "set 00", the change asked ("change 40", stamped at its
    # moment), the call's PPRSTATUS reads; the times in the same order.
    awk 'NR == FNR { if ($1 == "time") time[++times] = $2; next }
         $2 == "set" && $3 == "00" { ++round; first = ""; due = ""; seen = ""; next }
         $2 == "change" { due = $1 }
         $2 == "status" && round > 0 && seen == "" {
             if (first == "") first = $1
             if ($3 == "40") {
                 seen = $1
                 printf "%.3f %.3f\n", (seen - due) * 1e6, time[round] - (seen - first) * 1e6
             }
         }' "$work/times.txt" "$work/stamps.txt" >"$work/rounds.txt"
    echo "fnOrvane_timeParallelInputPin on the fake ppdev device, the device's stamps:"
    cut -d' ' -f1 "$work/rounds.txt" | spread "change to the read that saw it"
    cut -d' ' -f2 "$work/rounds.txt" | spread "time returned - the seeing read's time"
}

run() {
    for mode in sleeps wait time; do
        echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
        wine pulse_timing.exe "$mode"
    done
    ppdev
}

# Another process busy on a core, for ten minutes at most whatever becomes
# of this script.
busy=""
busy_one_more() {
    timeout 600 sh -c 'while :; do :; done' &
    busy="$busy $!"
}
trap 'kill $busy 2>/dev/null' EXIT

echo "== as the machine is"
run
echo "== with one more process busy on a core"
busy_one_more
sleep 60
run
echo "== with two more processes busy, one a core"
busy_one_more
sleep 60
run
