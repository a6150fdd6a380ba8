#!/bin/sh
# The log file a FIFO (log_processes_test's LogFileFifo case): makes FOLDER
# with a FIFO named RurSetupDebug.txt in it, its buffer full, held open here
# so that what is in it stays, and names it to the program through Wine's
# drive Z:.
#
#   log-fifo.sh WINE_RUN PROGRAM FOLDER
set -u
rm -rf "$3" && mkdir -p "$3" && mkfifo "$3/RurSetupDebug.txt" || exit 1
exec 3<>"$3/RurSetupDebug.txt"
head -c 65536 /dev/zero >&3
DORUZEDA_LOG_FIFO="Z:$(printf '%s' "$3" | tr / '\\')" "$1" "$2" --gtest_filter='LogFileFifo.*'
