#!/bin/sh
# The Linux package as a user gets it: made from this build, unpacked into an
# empty folder, its listing, entries and sums checked, searched for the
# build's paths; its two libraries are the ones the build made, 32-bit ELF
# files under their Windows names, as Wine loads them.
#
#   package-test.sh CMAKE BUILD_DIR SOURCE_DIR VERSION SCRATCH
cmake="$1"
build="$2"
source="$3"
version="$4"
scratch="$5"

. "$(dirname "$0")/../checks.sh"

. "$source/tests/package-contents.sh"
archive="Doruzeda_DO-$version-linux-wine.tar.gz"
make_package "$cmake" "$source" "$build" "$scratch" "$archive"
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

# The packer refused or cut short: a clear error, and the last good package
# in the output folder left as it was, with nothing half-written beside it.
cd "$scratch" || exit 1
cp "$archive" good.tar.gz
pack() { python3 "$source/tools/pack_package.py" --cmake "$cmake" "$@"; }
left_alone() {
    cmp -s "$archive" good.tar.gz || fail "$1: the last good package was changed"
    [ "$(ls -A | grep -c -e '\.partial$' -e '^\.stage-')" -eq 0 ] || fail "$1: left $(ls -A)"
}
message=$(SOURCE_DATE_EPOCH=yesterday pack "$build" "$scratch" 2>&1) &&
    fail "a SOURCE_DATE_EPOCH of no number was taken"
echo "$message" | grep -qF "SOURCE_DATE_EPOCH is not a number of seconds: 'yesterday'" ||
    fail "no clear error for a SOURCE_DATE_EPOCH of no number: $message"
left_alone "SOURCE_DATE_EPOCH=yesterday"
# A full disk: no file may grow beyond 32 blocks (16 or 32 KiB, as the shell
# counts them); the libraries are larger.
message=$( (trap '' XFSZ; ulimit -f 32; SOURCE_DATE_EPOCH=1700000000 pack "$build" "$scratch") 2>&1) &&
    fail "the packer succeeded on a full disk"
echo "$message" | grep -q "pack_package.py: " || fail "no clear error on a full disk: $message"
left_alone "a full disk"
# No git checkout to take the commit's time from, and no SOURCE_DATE_EPOCH.
elsewhere=$(mktemp -d)
mkdir "$elsewhere/build" "$elsewhere/source"
printf 'archive=x.tar.gz\nsource=%s\n' "$elsewhere/source" >"$elsewhere/build/package.txt"
message=$(env -u SOURCE_DATE_EPOCH GIT_CEILING_DIRECTORIES="$elsewhere" \
          python3 "$source/tools/pack_package.py" "$elsewhere/build" "$elsewhere" 2>&1) &&
    fail "a package without a release time"
echo "$message" | grep -qF "is not a git checkout: set SOURCE_DATE_EPOCH" ||
    fail "no clear error without a release time: $message"
[ "$(ls -A "$elsewhere")" = "$(printf 'build\nsource')" ] || fail "left: $(ls -A "$elsewhere")"
rm -rf "$elsewhere"

[ "$failures" -eq 0 ] && echo "the package is as expected"
[ "$failures" -eq 0 ]
