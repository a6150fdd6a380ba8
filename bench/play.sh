#!/bin/sh
# A play's timing under Wine on the simulated port, run by
# `sh scripts/bench.sh play [ROUNDS]`: the host plays two files while the
# library records, and bench/play_errors.py compares each change's time in
# the recording (the library's own stamps, a microsecond a tick) with its
# time in the file:
#   - sparse.vcd: 400 changes of the data lines 1 to 9 ms apart (2 s) from
#     all low, so
#     every hold sleeps on the timer and watches the clock for its last
#     millisecond;
#   - sigrok's demo file: 938 changes about 100 us apart (0.2 s), each hold
#     watched on the clock whole.
# With each, the host's CPU time (user and system) over the run. Then
# sparse.vcd on the fake ppdev device through the Linux libraries, by the
# device's own monotonic stamps of each write.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/env.sh"
rounds="${1:-3}"
sh "$top/scripts/build.sh" win32 Doruzeda_DO host inpout32 get_io kxmacro pulse_timing >/dev/null
sh "$top/scripts/build.sh" linux >/dev/null
wine_prefix "$(wine_prefix_in "$top/build/win32")"
play="$top/build/win32/bench-play"
rm -rf "$play"
mkdir -p "$play"
cp "$top/build/win32/bin/"*.dll "$top/build/win32/bin/host.exe" "$play/"
cd "$play"
sigrok-cli -d demo:analog_channels=0 --samples 2000 --config samplerate=10k -O vcd -o demo.vcd \
    2>/dev/null
python3 - <<'PYTHON'
import random
random.seed(7)
lines = ["$timescale 1 us $end"]
lines += [f"$var wire 1 {chr(97 + bit)} D{bit} $end" for bit in range(8)]
lines.append("$enddefinitions $end")
now, byte = 0, 0
for change in range(401):
    if change > 0:
        byte ^= 1 << random.randrange(8)
    lines.append(f"#{now} " + " ".join(f"{byte >> bit & 1}{chr(97 + bit)}" for bit in range(8)))
    now += random.randrange(1000, 9000)
open("sparse.vcd", "w").write("\n".join(lines) + "\n")
PYTHON
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq "$rounds"); do
    # Each from the other levels than its first (sparse.vcd starts all low,
    # demo.vcd at 217), so that its first write changes every pin.
    for start in sparse.vcd:255 demo.vcd:38; do
        file=${start%:*}
        printf 'setParallelPort 1\nsetParallelDataByte %s\nrecord played.vcd\n' "${start#*:}" >play.macro
        printf 'playParallelPins %s\nrecord\n' "$file" >>play.macro
        /usr/bin/time -f "%U %S" -o cpu.txt wine host.exe play.macro >host.out 2>&1
        line=$(tr -d '\r' <host.out | sed -n 's/.*PlayPins(/PlayPins(/p')
        echo "round $round, $line; host CPU $(awk '{ print $1 + $2 }' cpu.txt) s"
        python3 "$top/bench/play_errors.py" "$file" played.vcd "${start#*:}" || true
    done
done
wineserver -k 2>/dev/null || true

# On the fake ppdev device through the Linux libraries (no recording): the
# device's own monotonic stamps of each data write against sparse.vcd's.
cd "$top/build/win32/bin"
. "$top/bench/fake-device.sh"
start_fake_device "$top/build/linux/bench-play"
cp "$play/host.exe" "$play/sparse.vcd" "$work/app/"
printf 'setParallelPort 1\nsetParallelDataByte 255\nplayParallelPins sparse.vcd\n' >"$work/app/play.macro"
for round in $(seq "$rounds"); do
    (cd "$work/app" && DORUZEDA_PARPORT_PROC="$work/proc" DORUZEDA_PARPORT_DEV="$work/dev" \
        wine host.exe play.macro | tr -d '\r' | sed -n 's/.*PlayPins(/on the fake device, PlayPins(/p')
done
wineserver -k 2>/dev/null || true
fusermount3 -u "$work/dev"
wait "$fake"
echo "on the fake device, by its own stamps, a line a round:"
python3 "$top/bench/play_errors.py" --stamps "$work/app/sparse.vcd" "$work/stamps.txt"
