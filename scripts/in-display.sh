#!/bin/sh
# Runs a command inside one Xvfb display, the wineserver stopped before and
# after (scripts/env.sh, in_display): for build rules and tests that
# cannot source that file.
#
#   sh scripts/in-display.sh COMMAND...
. "$(dirname "$0")/env.sh"
in_display "$@"
