#!/bin/sh
# Creates the Wine prefix of the Win32 build folder BUILD once (scripts/env.sh).
#
#   make-wine-prefix.sh BUILD
set -e
. "$(dirname "$0")/../../scripts/env.sh"
wine_prefix "$(wine_prefix_in "$1")"
echo "wine prefix ready"
