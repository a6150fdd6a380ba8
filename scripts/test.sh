#!/bin/sh
# Builds everything and runs every test: the native tests, the lint of the
# shipped code, the controller's threads test under ThreadSanitizer, a short
# run of the fuzz targets, the Win32 tests under Wine inside one Xvfb display,
# then the Linux build's tests (the ppdev libraries for Wine: native tests,
# the Wine libraries on a fake ppdev device, the kernel's driver in a virtual
# machine); last, both packages rebuilt from a fresh clone in another folder
# and compared byte for byte with this build's.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/env.sh"
sh "$top/scripts/deps.sh"
sh "$top/scripts/build.sh"

# Each stage counts as passed or failed; the last line sums them up.
passed=0
failed=0
failedNames=""
stage_ended() {  # stage_ended NAME STATUS
    if [ "$2" -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failedNames="$failedNames $1"
    fi
}

echo "== native tests"
code=0; (cd "$top/build/native" && ctest --output-on-failure) || code=1
stage_ended native "$code"

echo "== lint"
code=0; sh "$top/scripts/lint.sh" || code=1
stage_ended lint "$code"

echo "== native tests under ThreadSanitizer"
# Only the program that calls the controller from several threads.
code=0
if cmake -S "$top" -B "$top/build/tsan" -DCMAKE_BUILD_TYPE=Debug -DDORUZEDA_SANITIZE=thread \
        >/dev/null &&
   cmake --build "$top/build/tsan" -j "$(build_jobs)" \
        --target controller_threads_tests; then
    TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" \
        "$top/build/tsan/tests/native/controller_threads_tests" || code=1
else
    echo "the ThreadSanitizer build failed"
    code=1
fi
stage_ended tsan "$code"

echo "== fuzz targets, short run (replay of seeds and regressions, then fuzzing)"
code=0; sh "$top/scripts/fuzz.sh" short || code=1
stage_ended fuzz "$code"

echo "== Win32 tests under Wine"
wine_environment "$(wine_prefix_in "$top/build/win32")"
code=0; (cd "$top/build/win32" && in_display ctest --output-on-failure) || code=1
stage_ended win32 "$code"

echo "== Linux: ppdev libraries for Wine"
code=0
(sh "$top/scripts/build.sh" linux &&
    cd "$top/build/linux" && ctest --output-on-failure) || code=1
stage_ended linux "$code"

echo "== packages rebuilt from a fresh clone, compared byte for byte"
code=0; sh "$top/scripts/package.sh" --verify || code=1
stage_ended packages "$code"

[ "$failed" -eq 0 ] || echo "failed stages:$failedNames"
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
