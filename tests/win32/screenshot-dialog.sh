#!/bin/sh
# Shows dialog template 5000 under Wine, captures the X screen with
# ImageMagick while the window is up, and crops the capture to the window.
#
#   screenshot-dialog.sh RUNNER PROGRAM FOLDER OUTPUT.png
#
# RUNNER runs a Windows program (the build's Wine wrapper); FOLDER is a
# scratch folder for the capture. Checks that the result is the window's size.
# Exit code 77 (skipped) without an X display: run it inside xvfb-run.
runner="$1"
program="$2"
folder="$3"
output="$4"

if [ -z "$DISPLAY" ]; then
    echo "no X display (DISPLAY is empty): run under xvfb-run"
    exit 77
fi

mkdir -p "$folder" || exit 1
cd "$folder" || exit 1
rm -f dialog-ready.txt dialog-done.txt screen.png "$output"

# Without a window manager nobody would draw the caption and frame: let Wine
# draw them itself, for this program only.
"$runner" reg add 'HKCU\Software\Wine\AppDefaults\screenshot_dialog.exe\X11 Driver' \
    /v Decorated /t REG_SZ /d N /f >/dev/null ||
    { echo "FAIL: cannot set the program's window decoration"; exit 1; }

"$runner" "$program" dialog-ready.txt dialog-done.txt &
shown=$!

# Wine's first start in a fresh session takes a few seconds.
waited=0
while [ ! -s dialog-ready.txt ]; do
    if ! kill -0 "$shown" 2>/dev/null; then
        echo "FAIL: the program ended before the window was up"
        wait "$shown"
        exit 1
    fi
    if [ "$waited" -ge 600 ]; then
        echo "FAIL: the window did not come up within a minute"
        touch dialog-done.txt
        wait "$shown"
        exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
done

import -window root screen.png
captured=$?
touch dialog-done.txt
wait "$shown"
status=$?
[ "$captured" -eq 0 ] || { echo "FAIL: import could not capture the screen"; exit 1; }
[ "$status" -eq 0 ] || { echo "FAIL: the program exited with $status"; exit 1; }

# The program writes the line with a CR LF ending.
read -r left top width height <<EOF
$(tr -d '\r' < dialog-ready.txt)
EOF
echo "window at $left,$top, $width x $height pixels"
convert screen.png -crop "${width}x${height}+${left}+${top}" +repage "$output" ||
    { echo "FAIL: cannot crop the capture"; exit 1; }

. "$(dirname "$0")/../checks.sh"

# 224 x 325 dialog units at an 8-point font are about 336 x 528 pixels of
# client area; the frame and caption come on top.
[ "$width" -ge 300 ] && [ "$width" -le 500 ] || fail "window width $width"
[ "$height" -ge 450 ] && [ "$height" -le 700 ] || fail "window height $height"
size=$(identify -format "%w %h" "$output")
[ "$size" = "$width $height" ] || fail "the cropped capture is $size, not $width $height"

[ "$failures" -eq 0 ] || exit 1
echo "captured $output: $size"
