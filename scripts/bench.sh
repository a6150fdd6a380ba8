#!/bin/sh
# Benchmarks.
#   sh scripts/bench.sh          native: Google Benchmark over the core
#                                (Release, no sanitizers, a port that costs nothing)
#   sh scripts/bench.sh wine     Win32: the timing program calls the real DLL's
#                                exports under Wine against the simulated port
#   sh scripts/bench.sh linux    ppdev: one PortWrite through the Wine INPOUT32.dll
#                                on the fake ppdev device, one bare ioctl on the
#                                same file, one PortWrite on the simulated port
#   sh scripts/bench.sh pulses [COUNT]
#                                the pulses' width error under Wine on the
#                                simulated port (the library's counter, the
#                                recording) and on the fake ppdev device (its
#                                own monotonic stamps), CPU per pulse, and a
#                                wait's reaction and CPU
#   sh scripts/bench.sh logfifo [COUNT]
#                                COUNT (3000) logged calls under Wine into a
#                                regular log file, a log that refuses every
#                                line, and a full FIFO nobody reads
#   sh scripts/bench.sh inputs   the wait's and the time's reaction to a
#                                change on the simulated port, idle and with
#                                one more busy process
#   sh scripts/bench.sh play [ROUNDS]
#                                a play's error against the recording's own
#                                stamps under Wine, and its CPU
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/env.sh"
sh "$top/scripts/deps.sh"
if [ "${1:-}" = "wine" ]; then
    sh "$top/scripts/build.sh" >/dev/null
    wine_prefix "$(wine_prefix_in "$top/build/win32")"
    cd "$top/build/win32/bin"
    in_display wine timing.exe
    exit $?
fi
if [ "${1:-}" = "inputs" ]; then
    exec sh "$top/bench/win32/inputs.sh"
fi
if [ "${1:-}" = "logfifo" ]; then
    exec sh "$top/bench/win32/log-fifo.sh" "${2:-3000}"
fi
if [ "${1:-}" = "play" ]; then
    exec sh "$top/bench/play.sh" "${2:-3}"
fi
if [ "${1:-}" = "pulses" ]; then
    exec sh "$top/bench/pulses.sh" "${2:-200}"
fi
if [ "${1:-}" = "linux" ]; then
    sh "$top/scripts/build.sh" >/dev/null
    sh "$top/scripts/build.sh" linux >/dev/null
    wine_prefix "$(wine_prefix_in "$top/build/win32")"
    work="$top/build/linux/bench-run"
    rm -rf "$work"
    mkdir -p "$work/dev" "$work/proc/parport0" "$work/ppdev" "$work/simulated"
    printf '888\t1912\n' >"$work/proc/parport0/base-addr"
    timing="$top/build/linux/bench/linux/port_write_timing.exe"
    cp "$timing" "$top/build/linux/dist/INPOUT32.dll" "$work/ppdev/"
    cp "$timing" "$top/build/win32/bin/INPOUT32.dll" "$work/simulated/"
    "$top/build/linux/tests/linux/fake_ppdev" "$work/dev" &
    fake=$!
    tries=0
    while [ ! -e "$work/dev/parport0" ]; do
        tries=$((tries + 1))
        if [ "$tries" -gt 200 ] || ! kill -0 "$fake" 2>/dev/null; then
            echo "the fake ppdev device did not come up" >&2
            kill "$fake" 2>/dev/null
            exit 1
        fi
        sleep 0.05
    done
    echo "bare ioctl on the fake device:"
    "$top/build/linux/bench/linux/ioctl_timing" "$work/dev/parport0" 20000
    # The recording is Doruzeda_DO.dll's (sh scripts/bench.sh wine times it).
    for round in 1 2 3; do
        echo "PortWrite through the Wine INPOUT32.dll on the fake device:"
        (cd "$work/ppdev" && DORUZEDA_PARPORT_PROC="$work/proc" DORUZEDA_PARPORT_DEV="$work/dev" \
            wine port_write_timing.exe 20000)
        echo "PortWrite on the simulated port (the stand-in INPOUT32.dll):"
        (cd "$work/simulated" && wine port_write_timing.exe 1000000)
    done
    wineserver -k 2>/dev/null || true
    fusermount3 -u "$work/dev"
    wait "$fake"
    exit 0
fi
cmake -S "$top" -B "$top/build/bench" -DCMAKE_BUILD_TYPE=Release -DDORUZEDA_SANITIZE=OFF >/dev/null
cmake --build "$top/build/bench" -j "$(build_jobs)" --target core_bench
"$top/build/bench/bench/core_bench" "$@"
