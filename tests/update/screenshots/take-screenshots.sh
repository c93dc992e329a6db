#!/usr/bin/env bash
# Takes the screenshots under docs/screenshots/ of a whole update as a
# technician sees it: the real window on a virtual adapter, in a virtual X
# server with a window manager, clicked through with xdotool.
#   take-screenshots.sh <build dir>   (installs xvfb-run, openbox, xdotool, ImageMagick if missing)
set -euo pipefail

if [[ -z "${DISPLAY:-}" || "${1:-}" != --inside ]]; then
    build="$(cd "${1:?usage: take-screenshots.sh <build dir>}" && pwd)"
    "$(dirname "$0")/../../../scripts/install-dependencies.sh" xvfb xauth openbox xdotool imagemagick
    exec xvfb-run -a -s "-screen 0 1000x620x24" "$0" --inside "$build"
fi

build="$2"
root="$(cd "$(dirname "$0")/../../.." && pwd)"
out="$root/docs/screenshots"
work="$(mktemp -d)"
trap 'kill "${driver:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$out"

# Long enough to be caught halfway: 240 packets of a DMX universe's first
# channels, 25 ms apart.
update="$work/Spot575-mainboard-v2.1.0.fwb"
{
    printf '#mainboard firmware\n#Orvana\n#Spot 575\n#v2.1.0\n'
    for _ in $(seq 240); do printf '25 7E 01 10 20 30 40 50 60 70 80\n'; done
} >"$update"

openbox >/dev/null 2>&1 &
sleep 1

# The window with the frame the window manager gave it; a message box opens
# in front of it, so it is in the picture too.
window_shot() {
    local frame geometry
    frame=$(xwininfo -tree -id "$window" | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    geometry=$(xwininfo -id "$frame" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
                                          /Width:/ {w=$NF} /Height:/ {h=$NF} END {print w "x" h "+" x "+" y}')
    import -window root -crop "$geometry" +repage "$out/$1"
}

start_driver() {
    (cd "$work" && exec env "$@" LD_PRELOAD="$build/tests/support/libdmxshim.so" QT_QPA_PLATFORM=xcb \
        "$build/tests/update/updateScreenshotDriver" >"$work/controls.txt" 2>"$work/driver.log") &
    driver=$!
    window=$(xdotool search --sync --name "Orvana Firmware Updater" | head -1)
    xdotool windowmove --sync "$window" 40 60
    while ! grep -q cancelButton "$work/controls.txt"; do sleep 0.1; done
}

click() {
    read -r _ x y < <(grep "^$1 " "$work/controls.txt")
    xdotool mousemove --window "$window" "$x" "$y" click 1
}

choose_update_file() {
    click selectFileButton
    xdotool search --sync --name "Select Firmware" >/dev/null
    sleep 0.5
    xdotool type --delay 5 "$update"
    xdotool key Return
    sleep 0.7
}

start_driver
choose_update_file
window_shot file-chosen.png

click updateButton
sleep 3
window_shot sending.png

sleep 6
window_shot finished.png
kill "$driver"; wait "$driver" 2>/dev/null || true

# The adapter is pulled out after 60 frames.
start_driver DMXSHIM_UNPLUG_AFTER_FRAMES=60
choose_update_file
click updateButton
# The box is the driver's second visible window.
until [[ $(xdotool search --onlyvisible --pid "$driver" 2>/dev/null | wc -l) -ge 2 ]]; do sleep 0.2; done
sleep 0.5
window_shot error.png
xdotool key Return
