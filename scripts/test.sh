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

status=0
echo "== native tests"
(cd "$top/build/native" && ctest --output-on-failure) || status=1

echo "== lint"; sh "$top/scripts/lint.sh" || status=1

echo "== native tests under ThreadSanitizer"
# Only the program that calls the controller from several threads.
if cmake -S "$top" -B "$top/build/tsan" -DCMAKE_BUILD_TYPE=Debug -DDORUZEDA_SANITIZE=thread \
        >/dev/null &&
   cmake --build "$top/build/tsan" -j "$(build_jobs)" \
        --target controller_threads_tests; then
    TSAN_OPTIONS="halt_on_error=1 ${TSAN_OPTIONS:-}" \
        "$top/build/tsan/tests/native/controller_threads_tests" || status=1
else
    echo "the ThreadSanitizer build failed"
    status=1
fi

echo "== fuzz targets, short run (replay of seeds and regressions, then fuzzing)"
sh "$top/scripts/fuzz.sh" short || status=1

echo "== Win32 tests under Wine"
wine_environment "$top/build/win32/wineprefix"
(cd "$top/build/win32" && in_display ctest --output-on-failure) || status=1

echo "== Linux: ppdev libraries for Wine"
(sh "$top/scripts/build.sh" linux &&
    cd "$top/build/linux" && ctest --output-on-failure) || status=1

echo "== packages rebuilt from a fresh clone, compared byte for byte"
sh "$top/scripts/package.sh" --verify || status=1
exit $status
