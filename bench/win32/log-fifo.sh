#!/bin/sh
# A log that stops answering, run by `sh scripts/bench.sh logfifo [COUNT]`:
# COUNT (3000) logged calls under Wine (bench/win32/logged_calls.cpp) with
# RurSetupDebug.txt a regular file, a folder (no file can be opened: every
# line refused at once, no file written), and a FIFO whose buffer is full
# and which nobody reads (as tests/win32/log-fifo.sh makes it), each with the
# load average at its start.
set -e
top=$(cd "$(dirname "$0")/../.." && pwd)
. "$top/scripts/env.sh"
count=${1:-3000}
sh "$top/scripts/build.sh" win32 Doruzeda_DO logged_calls >/dev/null
wine_prefix "$(wine_prefix_in "$top/build/win32")"
work="$top/build/win32/log-fifo-bench"
rm -rf "$work" && mkdir -p "$work/file" "$work/folder/RurSetupDebug.txt" "$work/fifo"
mkfifo "$work/fifo/RurSetupDebug.txt"
exec 3<>"$work/fifo/RurSetupDebug.txt"
head -c 65536 /dev/zero >&3
program="$top/build/win32/bin/logged_calls.exe"
for kind in file folder fifo; do
    echo "the log a $kind, load average $(cut -d' ' -f1-3 /proc/loadavg):"
    (cd "$work/$kind" && in_display wine "$program" "$count")
done
exec 3>&-
