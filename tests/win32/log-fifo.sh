#!/bin/sh
# The log file a FIFO (log_processes_test's LogFileFifo case): makes FOLDER
# with a FIFO named RurSetupDebug.txt in it and names it to the program
# through Wine's drive Z:.
#
#   log-fifo.sh WINE_RUN PROGRAM FOLDER
set -u
rm -rf "$3" && mkdir -p "$3" && mkfifo "$3/RurSetupDebug.txt" || exit 1
DORUZEDA_LOG_FIFO="Z:$(printf '%s' "$3" | tr / '\\')" "$1" "$2" --gtest_filter='LogFileFifo.*'
