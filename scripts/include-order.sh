#!/bin/sh
# The folders of what ships include one another one way only, from the top
# down; a folder may include itself and any folder below it:
#
#   include   the public header: nothing of ours
#   log       the debug log
#   port      the core: controller, pin map, discovery, seams, deadlines
#   record    the recording of the pins; dialog, the setup window; linux,
#             the ppdev libraries
#   app       the application object: load, unload, the gate
#   macro     the exports; platform, the seams' bindings and the entry point
#
# Prints each #include that runs the other way, and exits 1 when there is one.
#
#   include-order.sh [SOURCE_DIR]
top=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$top" || exit 2

rank() {
    case "$1" in
        include) echo 0 ;;
        log) echo 1 ;;
        port) echo 2 ;;
        record | dialog | linux) echo 3 ;;
        app) echo 4 ;;
        macro | platform) echo 5 ;;
        *) echo "" ;;
    esac
}

wrong=0
for folder in include log port record dialog linux app macro platform; do
    own=$(rank "$folder")
    # Each quoted include as FILE:INCLUDED, the included path made relative
    # to the top of the tree.
    for line in $(grep -rEo '^#include "[^"]+"' "$folder" --include='*.h' --include='*.cpp' |
                  sed -E 's/:#include "/:/; s/"$//'); do
        file=${line%%:*}
        included=${line#*:}
        case "$included" in
            ../*) target=$(realpath -m --relative-to=. "$(dirname "$file")/$included") ;;
            */*) target=$included ;;
            *) continue ;;  # beside the file: its own folder
        esac
        [ -e "$target" ] || target=$(realpath -m --relative-to=. "$(dirname "$file")/$included")
        theirs=$(rank "${target%%/*}")
        [ -n "$theirs" ] || continue  # outside the shipped folders
        if [ "$theirs" -gt "$own" ]; then
            echo "$file includes $target: $folder may not include ${target%%/*}"
            wrong=1
        fi
    done
done
[ "$wrong" -eq 0 ] && echo "includes: every folder includes only itself and folders below it"
exit "$wrong"
