#!/bin/sh
# Draws a recording as GTKWave shows it, for the docs: GTKWave opens the
# VCD file under a private X display (Xvfb), shows the strobe and data pins
# zoomed to the whole recording, and ImageMagick captures the screen and
# crops it to GTKWave's window.
#
#   sh docs/make-waveform-picture.sh RECORDING.vcd OUTPUT.png
#
# Make the recording first, for example with the example macro:
#   cd build/win32/bin && wine host.exe ../../../examples/strobe-record.macro
set -e
output=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# GTKWave's title shows the file as it was named: by its name alone.
recording=$(basename "$1")
cp "$1" "$work/$recording"

# The signals to show, and a zoom that fits the whole recording.
cat >"$work/show.tcl" <<'TCL'
set signals [list]
foreach pin {pin01_strobe pin02_d0 pin03_d1 pin04_d2 pin05_d3 pin06_d4 pin07_d5 pin08_d6 pin09_d7} {
    lappend signals "lpt_378.lpt378_$pin"
}
gtkwave::addSignalsFromList $signals
gtkwave::/Time/Zoom/Zoom_Best_Fit
TCL

cat >"$work/capture.sh" <<SH
cd "$work"
gtkwave --rcvar 'splash_disable on' --rcvar 'initial_window_x 1024' \
        --rcvar 'initial_window_y 430' -S "$work/show.tcl" "$recording" >"$work/gtkwave.log" 2>&1 &
viewer=\$!
sleep 6
import -window root "$work/screen.png"
kill \$viewer
SH
sh "$(dirname "$0")/../scripts/in-display.sh" sh "$work/capture.sh"
convert "$work/screen.png" -crop 1024x430+0+0 +repage "$output"
echo "drew $output"
