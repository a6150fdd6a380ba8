# Checks shared by the package tests, sourced by them: the package made from
# a build by tools/pack_package.py, unpacked into an empty folder, holds
# exactly the expected files, in the order of their names, each with the
# release's time, mode 0644 and owner 0 and nothing of the build's time;
# SHA256SUMS names every other file with its right sum, and no file names the
# source or build folder.
#
#   make_package CMAKE SOURCE_DIR BUILD_DIR SCRATCH ARCHIVE_NAME
#
# Makes the build's package in a new, empty SCRATCH folder, with the release
# time 1700000000 (2023-11-14 22:13:20 UTC); exits the test when the packer
# fails or writes no ARCHIVE_NAME, or writes anything else.
make_package() {
    rm -rf "$4"
    mkdir -p "$4"
    SOURCE_DATE_EPOCH=1700000000 python3 "$2/tools/pack_package.py" --cmake "$1" "$3" "$4" \
        >"$4/pack.log" 2>&1 || {
        cat "$4/pack.log"
        echo "FAIL: pack_package.py"
        exit 1
    }
    [ -f "$4/$5" ] || { echo "FAIL: no $4/$5"; ls "$4"; exit 1; }
    # Nothing left behind: no staging folder, no partial archive.
    [ "$(ls -A "$4")" = "$(printf '%s\npack.log' "$5")" ] || { echo "FAIL: the packer left:"; ls -A "$4"; exit 1; }
}
#
#   unpack_and_check ARCHIVE EXPECTED SOURCE_DIR BUILD_DIR FOLDER
#
# EXPECTED: the file names in C's order (capitals first), one a line.
# Counts failures in $failures (through fail, which the caller defines) and
# leaves FOLDER as the current directory.
unpack_and_check() {
    archive="$1"
    expected="$2"
    # In this order, each entry a plain file "-rw-r--r--" with the release
    # time (zip: no owner; tar: owner and group 0), as the listing shows it.
    case "$archive" in
    *.zip)
        listing=$(unzip -Z1 "$archive")
        entries=$(unzip -Z -T "$archive" | sed '1,2d;$d' | awk '{ print $1, $3, $7 }' | sort -u)
        [ "$entries" = "-rw-r--r-- unx 20231114.221320" ] || fail "$archive's entries:
$entries" ;;
    *)
        listing=$(tar -tzf "$archive")
        entries=$(TZ=UTC tar --numeric-owner --full-time -tvzf "$archive" |
                  awk '{ print $1, $2, $4, $5 }' | sort -u)
        [ "$entries" = "-rw-r--r-- 0/0 2023-11-14 22:13:20" ] || fail "$archive's entries:
$entries"
        # The gzip header: deflate, no flags (no file name), time 0.
        [ "$(od -An -tx1 -N8 "$archive" | tr -d ' ')" = "1f8b080000000000" ] ||
            fail "$archive's gzip header: $(od -An -tx1 -N10 "$archive")" ;;
    esac
    [ "$listing" = "$expected" ] || fail "$archive holds, in this order:
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
