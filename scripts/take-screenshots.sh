#!/usr/bin/env bash
# Takes the README's screenshots of the window at start-up, in a folder with two
# versions of the sample spot file, on Qt's light default palette and on qt5ct's
# dark "darker" scheme, and of the question a stray file raises, under Xvfb with
# openbox drawing the frame: docs/screenshots/main-window.png, main-window-dark.png
# and file-warnings.png.
#   ./scripts/take-screenshots.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-dependencies.sh" xvfb openbox imagemagick x11-utils qt5ct
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build" --target updater --parallel "$(nproc)" >/dev/null

work="$(mktemp -d)"
mkdir -p "$work/spot" "$work/stray" "$work/config/qt5ct"
# v1.04 and the newer v1.05 side by side: the window chooses the older and says there was a choice.
cp "$root/docs/samples/spot-v1.04.fwb" "$work/spot/"
sed '4s/.*/#v1.05/' "$root/docs/samples/spot-v1.04.fwb" >"$work/spot/spot-v1.05.fwb"
touch -d '2 days ago' "$work/spot/spot-v1.04.fwb"
# Notes saved under an update file's name: the updater finds it at start-up and asks before it takes it.
cat >"$work/stray/spot-notes.fwb" <<EOF
Rig notes, stage left
Spot 1 at address 1, 16 channels
Spot 2 at address 17, 16 channels
Haze off during the ballad
EOF
cat >"$work/config/qt5ct/qt5ct.conf" <<EOF
[Appearance]
color_scheme_path=/usr/share/qt5ct/colors/darker.conf
custom_palette=true
style=Fusion
[Fonts]
general="Sans Serif,9,-1,5,50,0,0,0,0,0"
EOF
Xvfb :77 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
helpers=($!)
trap 'kill "${helpers[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
export DISPLAY=:77
until xwininfo -root >/dev/null 2>&1; do sleep 0.1; done
openbox >/dev/null 2>&1 &
helpers+=($!)

# Starts the window in a folder, and keeps its frame as openbox draws it.
shoot() {
    local out="$1" folder="$2"
    shift 2
    (cd "$folder" && exec env "$@" "$root/build/src/app/orvana-firmware-updater") >/dev/null 2>&1 &
    local window="" pid=$!
    until [ -n "$window" ]; do
        sleep 0.5
        window="$(xwininfo -root -tree | awk '/"Orvana Firmware Updater/ && !id { id = $1 } END { print id }')"
    done
    sleep 1
    local frame
    frame="$(xwininfo -children -id "$window" | awk '/Parent window id/ { print $4 }')"
    import -window "$frame" "$root/docs/screenshots/$out"
    kill "$pid"
}
# A history of its own: an unfinished update of this machine's would be told over the window.
export XDG_DATA_HOME="$work/data"
shoot main-window.png "$work/spot" QT_QPA_PLATFORMTHEME= XDG_CONFIG_HOME="$work/config"
shoot main-window-dark.png "$work/spot" QT_QPA_PLATFORMTHEME=qt5ct XDG_CONFIG_HOME="$work/config"
shoot file-warnings.png "$work/stray" QT_QPA_PLATFORMTHEME= XDG_CONFIG_HOME="$work/config"
ls -l "$root"/docs/screenshots/main-window*.png "$root"/docs/screenshots/file-warnings.png
