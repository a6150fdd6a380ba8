#!/bin/sh
# Creates the test Wine prefix named by WINEPREFIX once (scripts/env.sh).
set -e
. "$(dirname "$0")/../../scripts/env.sh"
wine_prefix "$WINEPREFIX"
echo "wine prefix ready"
