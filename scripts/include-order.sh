#!/bin/sh
# The folders of what ships include one another one way only, from the top
# down; a folder may include itself and any folder of a lower rank, never
# another folder of its own rank:
#
#   include, framework  the public header; the window framework layer: each
#                       includes nothing of ours, and everything may include
#                       either
#   log                 the debug log
#   port                the core: controller, pin map, discovery, seams,
#                       deadlines
#   record, dialog, linux  the recording of the pins; the setup window; the
#                       ppdev libraries
#   app, platform       the application object: load, unload, the gate; the
#                       seams' Win32 bindings
#   macro               the exports
#
# Each quoted #include is resolved as the compiler resolves it: beside the
# including file first, then through the include directories the builds
# pass (those of build/*, as far as they are configured). Every include must
# be found beside its file, by a path from it: one found only through an
# include directory is a finding of its own (a bare name would hide the
# folder it reaches), and is ranked where the build finds it; one found
# nowhere is a finding too.
#
# Prints each finding, and exits 1 when there is one.
#
#   include-order.sh [SOURCE_DIR]
top=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$top" || exit 2

rank() {
    case "$1" in
        include | framework) echo 0 ;;
        log) echo 1 ;;
        port) echo 2 ;;
        record | dialog | linux) echo 3 ;;
        app | platform) echo 4 ;;
        macro) echo 5 ;;
        *) echo "" ;;
    esac
}

# The include directories inside the tree that the configured builds pass
# (their compile commands and response files), relative to the top.
# shellcheck disable=SC1003 # the quotes and backslashes around a path
include_dirs=$(find build -maxdepth 1 -mindepth 1 -type d 2>/dev/null |
               while read -r build; do
                   find "$build" -name 'includes_*.rsp' -exec cat {} + 2>/dev/null
                   cat "$build/compile_commands.json" 2>/dev/null
               done | tr -d '"\\' | grep -oE -- '-(I|iquote) ?[^ ]+' | sed -E 's/^-(I|iquote) ?//' |
               while read -r dir; do
                   case "$dir" in
                       "$top/build" | "$top/build/"*) ;;
                       "$top" | "$top/"*) realpath -m --relative-to=. "$dir" ;;
                   esac
               done | sort -u)

# found INCLUDED: the first include directory's file of that name, if any.
found() {
    for dir in $include_dirs; do
        if [ -e "$dir/$1" ]; then
            realpath -m --relative-to=. "$dir/$1"
            return
        fi
    done
}

wrong=0
for folder in include framework log port record dialog linux app platform macro; do
    [ -d "$folder" ] || continue
    own=$(rank "$folder")
    # Each quoted include as FILE:INCLUDED.
    # shellcheck disable=SC2013 # no path of the tree has a space
    for line in $(grep -rEo '^#include "[^"]+"' "$folder" \
                      --include='*.h' --include='*.cpp' --include='*.rc' |
                  sed -E 's/:#include "/:/; s/"$//'); do
        file=${line%%:*}
        included=${line#*:}
        target=$(realpath -m --relative-to=. "$(dirname "$file")/$included")
        if [ ! -e "$target" ]; then
            target=$(found "$included")
            if [ -z "$target" ]; then
                echo "$file includes \"$included\": no such file beside it nor in an include directory"
                wrong=1
                continue
            fi
            echo "$file includes \"$included\", found as $target through an include directory: give the path from the file"
            wrong=1
        fi
        theirs=${target%%/*}
        [ -n "$(rank "$theirs")" ] || continue  # outside the shipped folders
        if [ "$theirs" != "$folder" ] && [ "$(rank "$theirs")" -ge "$own" ]; then
            echo "$file includes $target: $folder may not include $theirs"
            wrong=1
        fi
    done
done
[ "$wrong" -eq 0 ] && echo "includes: every include is found beside its file, and every folder includes only itself and folders below it"
exit "$wrong"
