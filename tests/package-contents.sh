# Checks shared by the package tests, sourced by them: the package made by
# CPack from a build, unpacked into an empty folder, holds exactly the
# expected files, SHA256SUMS names every other file with its right sum, and no
# file names the source or build folder.
#
#   make_package CPACK BUILD_DIR SCRATCH ARCHIVE_NAME
#
# Makes the build's package in a new, empty SCRATCH folder; exits the test
# when CPack fails or writes no ARCHIVE_NAME.
make_package() {
    rm -rf "$3"
    mkdir -p "$3"
    "$1" --config "$2/CPackConfig.cmake" -B "$3" >"$3/cpack.log" 2>&1 || {
        cat "$3/cpack.log"
        echo "FAIL: cpack"
        exit 1
    }
    [ -f "$3/$4" ] || { echo "FAIL: no $3/$4"; ls "$3"; exit 1; }
}
#
#   unpack_and_check ARCHIVE EXPECTED SOURCE_DIR BUILD_DIR FOLDER
#
# EXPECTED: the sorted file names, one a line. Counts failures in $failures
# (through fail, which the caller defines) and leaves FOLDER as the current
# directory.
unpack_and_check() {
    archive="$1"
    expected="$2"
    case "$archive" in
    *.zip) listing=$(unzip -Z1 "$archive" | LC_ALL=C sort) ;;
    *) listing=$(tar -tzf "$archive" | sed 's#^\./##' | grep -v '^$' | LC_ALL=C sort) ;;
    esac
    [ "$listing" = "$expected" ] || fail "$archive holds:
$listing"

    mkdir -p "$5" && cd "$5" || exit 1
    case "$archive" in
    *.zip) unzip -q "$archive" || fail "unzip" ;;
    *) tar -xzf "$archive" || fail "tar" ;;
    esac

    summed=$(sed 's/^[0-9a-f]\{64\}  //' SHA256SUMS | LC_ALL=C sort)
    [ "$summed" = "$(echo "$expected" | grep -vx SHA256SUMS)" ] || fail "SHA256SUMS lists:
$summed"
    sha256sum --check --strict --quiet SHA256SUMS || fail "a sum in SHA256SUMS is wrong"

    # Neither as a path nor as the symbol names that tools make from a path
    # ("/a/b-c" as "_a_b_c").
    for path in "$3" "$4"; do
        mangled=$(printf '%s' "$path" | tr -c 'A-Za-z0-9' '_')
        for file in $expected; do
            count=$(grep -c -a -F -e "$path" -e "$mangled" "$file")
            [ "$count" -eq 0 ] || fail "$file names $path ($count lines)"
        done
    done
}
