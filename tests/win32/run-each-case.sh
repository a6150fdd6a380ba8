#!/bin/sh
# Runs every case of a GoogleTest program in a process of its own, so that no
# case passes only because of what an earlier one left behind (a library
# still loaded, a window, a thread, the simulated port's state).
#
#   run-each-case.sh RUNNER PROGRAM
#
# RUNNER runs a Windows program (the build's Wine wrapper). Prints one line a
# case and the whole output of each that fails; exits 1 when any fails.
runner="$1"
program="$2"
list=$("$runner" "$program" --gtest_list_tests | tr -d '\r') ||
    { echo "FAIL: cannot list the cases of $program"; exit 1; }

suite=""
failed=0
total=0
output=$(mktemp) || exit 1
# A suite line is "Suite." (a parameterised one "Prefix/Suite.  # TypeParam"),
# a case line "  Case" (a parameterised one "  Case/Name  # GetParam() = ...").
cases=$(echo "$list" | while IFS= read -r line; do
    case "$line" in
    "  "*) echo "$suite$(echo "$line" | sed 's/^ *//; s/ *#.*//')" ;;
    *) suite=$(echo "$line" | sed 's/ *#.*//') ;;
    esac
done)
for name in $cases; do
    total=$((total + 1))
    # A case that hangs is ended and named, and the others still run.
    if timeout 120 "$runner" "$program" --gtest_filter="$name" >"$output" 2>&1; then
        echo "ok     $name"
    else
        echo "FAILED $name (exit code $?)"
        tr -d '\r' <"$output"
        failed=$((failed + 1))
    fi
done
rm -f "$output"
echo "$program: $total cases, each in its own process; $failed failed"
[ "$total" -gt 0 ] && [ "$failed" -eq 0 ]
