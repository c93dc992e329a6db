#!/usr/bin/env bash
# Renders the committed artwork from its SVG sources; run it after editing either
# SVG and commit what changed:
#   resources/logo.svg -> resources/logo.png (661 x 157, the window loads it as :/logo.png)
#   resources/icon.svg -> resources/icons/hicolor/<N>x<N>/apps/com.orvana.FirmwareUpdater.png
#                         resources/windows/updater.ico (one 256 x 179 image)
# Needs rsvg-convert (Debian package librsvg2-bin) and ImageMagick's convert (imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in rsvg-convert:librsvg2-bin convert:imagemagick; do
    if ! command -v "${tool%%:*}" >/dev/null; then
        echo "render-artwork: ${tool%%:*} is missing; install the package ${tool#*:}" >&2
        exit 1
    fi
done

app_id=com.orvana.FirmwareUpdater
icons=resources/icons/hicolor

rsvg-convert --width 661 --height 157 --output resources/logo.png resources/logo.svg

for size in 16 24 32 48 64 128 256; do
    mkdir -p "$icons/${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" \
        --output "$icons/${size}x${size}/apps/$app_id.png" resources/icon.svg
done

# The executable's icon group holds one 256 x 179 image of 32 bits, stored as a bitmap with its mask, which
# Windows scales for the title bar, the taskbar and Explorer; scripts/check-windows-resources.sh checks it.
convert "$icons/256x256/apps/$app_id.png" -resize 179x179 -background none -gravity center -extent 256x179 \
        -define png:color-type=6 PNG32:- | convert - ICO:resources/windows/updater.ico

ls -l resources/logo.png "$icons"/*/apps/"$app_id.png" resources/windows/updater.ico
