#!/bin/sh
# The log on a real full disk (log_processes_test's LogFileFullDisk case):
# mounts a 64 KiB tmpfs on FOLDER for the run and names it to the program
# through Wine's drive Z:. Skipped (77) where no file system can be mounted
# (not root, a container without the right to mount).
#
#   log-full-disk.sh WINE_RUN PROGRAM FOLDER
set -u
run=$1
program=$2
folder=$3

mkdir -p "$folder" || exit 1
if ! mount -t tmpfs -o size=64k doruzeda-full-disk "$folder" 2>/dev/null; then
    echo "log-full-disk: cannot mount a tmpfs on $folder here: skipped"
    exit 77
fi
trap 'umount "$folder"; exit 1' INT TERM
DORUZEDA_FULL_DISK="Z:$(printf '%s' "$folder" | tr / '\\')" \
    "$run" "$program" --gtest_filter='LogFileFullDisk.*'
code=$?
umount "$folder"
exit $code
