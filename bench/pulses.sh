#!/bin/sh
# The pulses and the wait under Wine (bench/win32/pulse_timing.cpp), run by
# `sh scripts/bench.sh pulses [COUNT]`: on the simulated port, the width
# error by the library's performance counter and by the recording, the CPU
# of a 100 ms pulse, a wait's reaction and the CPU of a 10 s wait and of a
# 10 s time of an input (Wine's server's CPU added, read from its /proc
# entry); then on the fake ppdev
# device through the Linux libraries, the width error on the device's own
# monotonic clock (its --stamps file) beside a bare ioctl's cost.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/env.sh"
count="${1:-200}"
sh "$top/scripts/build.sh" win32 Doruzeda_DO pulse_timing >/dev/null
sh "$top/scripts/build.sh" linux >/dev/null
wine_prefix "$(wine_prefix_in "$top/build/win32")"
bin="$top/build/win32/bin"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"

cd "$bin"
wine pulse_timing.exe widths "$count"
wine pulse_timing.exe cpu
wine pulse_timing.exe wait
# Wine's server, kept running for the 10 s wait so that its CPU can be read.
wineserver -k 2>/dev/null || true
wineserver -p
# The server of this prefix works in a folder named by the prefix's device
# and inode.
folder="server-$(stat -c %D "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")"
server=""
tries=0
while [ -z "$server" ] && [ "$tries" -lt 100 ]; do
    for pid in $(pgrep -u "$(id -u)" -f wineserver); do
        case "$(readlink "/proc/$pid/cwd")" in */"$folder") server=$pid ;; esac
    done
    tries=$((tries + 1))
    sleep 0.05
done
ticks() { awk '{ print $14 + $15 }' "/proc/$server/stat"; }
# The server's CPU from 2 s to 7 s into the call, past the program's start:
# a wait (ordinal 14), then a time (ordinal 19).
for call in wait10 time10; do
    wine pulse_timing.exe "$call" &
    sleep 2
    before=$(ticks)
    sleep 5
    echo "Wine's server's CPU over 5 s of that call: $(( ($(ticks) - before) * 1000 / $(getconf CLK_TCK) )) ms"
    wait
done
wineserver -k

. "$top/bench/fake-device.sh"
start_fake_device "$top/build/linux/bench-pulses"
echo "on the fake ppdev device, the library's counter:"
(cd "$work/app" && DORUZEDA_PARPORT_PROC="$work/proc" DORUZEDA_PARPORT_DEV="$work/dev" \
    wine pulse_timing.exe widths "$count" unrecorded)
# After the pulses, so that its writes follow theirs in the stamps.
echo "bare ioctl on the fake device:"
"$top/build/linux/bench/linux/ioctl_timing" "$work/dev/parport0" 20000
wineserver -k 2>/dev/null || true
fusermount3 -u "$work/dev"
wait "$fake"
# Each "data 01" and the "data 00" after it: one pulse, in the order asked.
echo "on the fake ppdev device, its own monotonic stamps of the two writes:"
awk -v count="$count" '
    BEGIN { split("10 100 1000 10000 100000", asked, " ") }
    $2 == "data" && $3 == "01" { rose = $1 }
    $2 == "data" && $3 == "00" && rose != "" {
        n++
        group = int((n - 1) / count) + 1
        printf "%d %.3f\n", asked[group], ($1 - rose) * 1e6 - asked[group]
        rose = ""
    }' "$work/stamps.txt" >"$work/errors.txt"
for asked in 10 100 1000 10000 100000; do
    awk -v asked="$asked" '$1 == asked { print $2 }' "$work/errors.txt" | sort -g | awk -v asked="$asked" '
        { e[NR] = $1 }
        END {
            if (NR == 0) exit
            printf "%7d us: %4d pulses, error median %7.1f us, p99 %7.1f us, max %7.1f us\n",
                   asked, NR, e[int(NR / 2) + 1], e[int(NR * 99 / 100) + 1], e[NR]
        }'
done
