# What the shell tests share (sourced):
#   fail TEXT...      names a failure and counts it in $failures
#   fresh_folder DIR  makes DIR anew, empty, and enters it
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
fresh_folder() { rm -rf "$1" && mkdir -p "$1" && cd "$1"; }
