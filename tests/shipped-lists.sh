#!/bin/sh
# What ships has one list, the Win32 build's (cmake/shipped.cmake): the lint
# checks every file of it, and the README's layout names exactly its folders.
#
#   shipped-lists.sh SOURCE_DIR WIN32_BUILD_DIR
. "$(dirname "$0")/checks.sh"
shipped=$(cat "$2/shipped-sources.txt") || exit 1
[ -n "$shipped" ] || fail "the build lists nothing"
unlinted=$(echo "$shipped" | grep -vxF "$(sh "$1/scripts/lint.sh" --list)")
[ -z "$unlinted" ] || fail "shipped, not linted:" $unlinted
readme=$(sed -n '/^What goes into `Doruzeda_DO.dll`/,/^What Linux users get/s|^    \([a-z_]*\)/ .*|\1|p' \
         "$1/README.md" | sort)
folders=$(echo "$shipped" | cut -d/ -f1 | sort -u)
[ "$readme" = "$folders" ] || fail "the README's folders:" $readme "; the build's:" $folders
[ "$failures" -eq 0 ] && echo "the lint and the README cover what ships"
[ "$failures" -eq 0 ]
