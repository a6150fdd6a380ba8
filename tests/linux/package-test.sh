#!/bin/sh
# The Linux package as a user gets it: made by CPack from this build, unpacked
# into an empty folder, its listing and sums checked, searched for the
# build's paths; its two libraries are the ones the build made, 32-bit ELF
# files under their Windows names, as Wine loads them.
#
#   package-test.sh CPACK BUILD_DIR SOURCE_DIR VERSION SCRATCH
cpack="$1"
build="$2"
source="$3"
version="$4"
scratch="$5"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

. "$source/tests/package-contents.sh"
archive="Doruzeda_DO-$version-linux-wine.tar.gz"
make_package "$cpack" "$build" "$scratch" "$archive"
unpack_and_check "$scratch/$archive" "INPOUT32.dll
LICENSE
README-linux.txt
SHA256SUMS
get_io.dll" "$source" "$build" "$scratch/unpacked"

for library in INPOUT32.dll get_io.dll; do
    cmp "$library" "$build/dist/$library" || fail "the packaged $library is not the built one"
    # ELF magic, 32-bit class.
    [ "$(od -An -tx1 -N5 "$library" | tr -d ' ')" = "7f454c4601" ] ||
        fail "$library is not a 32-bit ELF file"
done

[ "$failures" -eq 0 ] && echo "the package is as expected"
[ "$failures" -eq 0 ]
