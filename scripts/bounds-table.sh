#!/bin/sh
# The docs' table of bounds (docs/threads-and-unload.md, the table headed
# "| what waits | on what | bound |") against the constants: every constant
# a row names is written `bounds::kName`, right after its number and unit
# and an opening bracket, as in
#
#   300 ms (`bounds::kLogLineWaitMs`)     2.2 s (`bounds::kExitWaitMs`)
#   5 lines (`bounds::kRecordingLogLines`)
#
# (a constant in milliseconds, its name ending in Ms, given in ms or s; a
# count in any word). A native program made from the names the table gives
# prints each constant's value, from the portable headers that declare
# `namespace bounds`; every number must be that value. Prints each row that
# differs, or names a constant otherwise, and exits 1 when there is one.
#
#   bounds-table.sh [SOURCE_DIR]
top=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$top" || exit 2

doc=docs/threads-and-unload.md
rows=$(sed -n '/^| what waits | on what | bound |$/,/^$/p' "$doc" | sed '1,2d; /^$/d')
if [ -z "$rows" ]; then
    echo "bounds: $doc has no table headed \"| what waits | on what | bound |\""
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck disable=SC2016 # the backquotes are the table's own
names=$(echo "$rows" | grep -oE '`(bounds::)?k[A-Z][A-Za-z0-9]*`' | tr -d '`' |
        sed 's/^bounds:://' | sort -u)
{
    # shellcheck disable=SC2013 # no path of the tree has a space
    for header in $(grep -l "^namespace bounds" port/*.h log/*.h record/*.h app/*.h 2>/dev/null); do
        echo "#include \"$top/$header\""
    done
    echo '#include <cstdio>'
    echo 'int main()'
    echo '{'
    for name in $names; do
        printf '    std::printf("%s %%lld\\n", static_cast<long long>(bounds::%s));\n' "$name" "$name"
    done
    echo '}'
} >"$work/bounds.cpp"
if ! ${CXX:-c++} -std=c++17 -o "$work/bounds" "$work/bounds.cpp" 2>"$work/errors"; then
    echo "bounds: the table names a constant that no header's namespace bounds declares:"
    grep 'error' "$work/errors"
    exit 1
fi
"$work/bounds" >"$work/values"

echo "$rows" | awk -v values="$work/values" -v doc="$doc" '
BEGIN {
    while ((getline line < values) > 0) {
        split(line, field, " ")
        value[field[1]] = field[2]
    }
    wrong = 0
}
{
    split($0, cell, "|")
    what = cell[2]
    gsub(/^ +| +$/, "", what)
    rest = $0
    while (match(rest, /`(bounds::)?k[A-Z][A-Za-z0-9]*`/)) {
        name = substr(rest, RSTART + 1, RLENGTH - 2)
        before = substr(rest, 1, RSTART - 1)
        rest = substr(rest, RSTART + RLENGTH)
        bare = name
        sub(/^bounds::/, "", bare)
        if (name == bare || !match(before, /[0-9][0-9,]*(\.[0-9]+)? [a-z]+ \($/)) {
            print doc ": the row \"" what "\" names " name \
                  " without its number before it: write N ms (`bounds::" bare "`)"
            wrong = 1
            continue
        }
        split(substr(before, RSTART, RLENGTH), part, " ")
        number = part[1]
        gsub(/,/, "", number)
        unit = part[2]
        if (bare ~ /Ms$/ && unit != "ms" && unit != "s") {
            print doc ": the row \"" what "\" gives " bare " in " unit ", not in ms or s"
            wrong = 1
            continue
        }
        stated = unit == "s" ? int(number * 1000 + 0.5) : number + 0
        if (stated != value[bare] + 0) {
            print doc ": the row \"" what "\" says " part[1] " " unit " for bounds::" bare \
                  ", which is " value[bare] (bare ~ /Ms$/ ? " ms" : "")
            wrong = 1
        }
        checked++
    }
}
END {
    if (!wrong) print "bounds: the table of bounds states " checked " constants as they are"
    exit wrong
}'
