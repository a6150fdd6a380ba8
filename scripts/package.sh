#!/bin/sh
# Builds what the packages need and writes them into build/package, printing
# each package's path:
#
#   Doruzeda_DO-<version>-win32.zip   the library for Windows users: the DLL,
#                                     its header and module definition,
#                                     README.txt, LICENSE, SHA256SUMS
#   Doruzeda_DO-<version>-linux-wine.tar.gz
#                                     for Linux users who run the library
#                                     under Wine: INPOUT32.dll and get_io.dll
#                                     for Wine, README-linux.txt, LICENSE,
#                                     SHA256SUMS
#
# Two builds of one commit give the same bytes (tools/pack_package.py; the
# time in the archives is the commit's, or SOURCE_DATE_EPOCH when set).
#
#   sh scripts/package.sh --verify
#
# also rebuilds both packages from a fresh clone of HEAD in a new temporary
# folder, compares the two builds file by file and byte for byte, prints the
# sums of the packages of both, and fails when anything differs. Uncommitted
# changes to tracked files are carried into the clone (so that both builds
# have the same source), with a warning: such packages are of no commit.
# Untracked files are not carried over.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build/package"
verify=no
case "${1:-}" in
--verify) verify=yes ;;
"") ;;
*) echo "usage: sh scripts/package.sh [--verify]" >&2; exit 2 ;;
esac

# The Windows package: the Release library of build/win32, packed from that
# build's install rules (cmake/package.cmake).
package_win32() {
    sh "$top/scripts/build.sh" win32 Doruzeda_DO >/dev/null
    python3 "$top/tools/pack_package.py" "$top/build/win32" "$out"
}

# The Linux package: the Wine libraries of build/linux, packed from that
# build's install rules.
package_linux() {
    sh "$top/scripts/build.sh" linux wine_dlls dist_text >/dev/null
    python3 "$top/tools/pack_package.py" "$top/build/linux" "$out"
}

sh "$top/scripts/deps.sh"
mkdir -p "$out"
win32=$(package_win32)
linux=$(package_linux)
echo "$win32"
echo "$linux"
[ "$verify" = yes ] || exit 0

# The rebuild: HEAD (and the uncommitted changes to tracked files) in a new
# folder of another name, built later, by the clone's copy of this script.
cd "$top"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/doruzeda-rebuild.XXXXXX")
trap 'rm -rf "$scratch"; exit 130' INT TERM
again="$scratch/source"
git init -q "$again"
git -C "$again" fetch -q "$top" HEAD
git -C "$again" checkout -q --detach FETCH_HEAD
if ! git diff --quiet HEAD --; then
    echo "package.sh: warning: uncommitted changes; these packages are of no commit" >&2
    git diff --binary HEAD -- | git -C "$again" apply --whitespace=nowarn
fi
untracked=$(git ls-files --others --exclude-standard)
[ -z "$untracked" ] ||
    echo "package.sh: warning: untracked files, left out of the rebuild:" $untracked >&2
echo "rebuilding in $again"
# Another umask and time zone too: neither may reach the packages.
(umask 027; TZ=Etc/GMT-14 sh "$again/scripts/package.sh") >"$scratch/rebuild.log" 2>&1 || {
    cat "$scratch/rebuild.log"
    echo "package.sh: the rebuild failed; kept in $scratch" >&2
    exit 1
}

# Every file of both packages, then the packages themselves.
differ=0
for package in "$win32" "$linux"; do
    name=$(basename "$package")
    other="$again/build/package/$name"
    [ -f "$other" ] || { echo "the rebuild made no $name"; differ=1; continue; }
    for build in first second; do
        mkdir -p "$scratch/$build/$name"
    done
    case "$name" in
    *.zip) unzip -q "$package" -d "$scratch/first/$name" && unzip -q "$other" -d "$scratch/second/$name" ;;
    *) tar -xzf "$package" -C "$scratch/first/$name" && tar -xzf "$other" -C "$scratch/second/$name" ;;
    esac
    for file in $( (ls -A "$scratch/first/$name"; ls -A "$scratch/second/$name") | sort -u); do
        if ! cmp -s "$scratch/first/$name/$file" "$scratch/second/$name/$file"; then
            echo "DIFFERS: $file in $name ($(cmp -l "$scratch/first/$name/$file" \
                "$scratch/second/$name/$file" 2>&1 | wc -l) bytes)"
            differ=1
        fi
    done
    cmp -s "$package" "$other" || { echo "DIFFERS: $name"; differ=1; }
    echo "first build:  $(cd "$(dirname "$package")" && sha256sum "$name")"
    echo "second build: $(cd "$(dirname "$other")" && sha256sum "$name")"
done
if [ "$differ" -ne 0 ]; then
    echo "package.sh: the two builds differ; both kept in $scratch" >&2
    exit 1
fi
rm -rf "$scratch"
echo "the rebuild gives the same packages, byte for byte"
