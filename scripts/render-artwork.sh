#!/usr/bin/env bash
# Renders the committed artwork from its SVG sources; run it after editing either
# SVG and commit what changed:
#   resources/logo.svg -> resources/logo.png (661 x 157, the window loads it as :/logo.png)
#   resources/icon.svg -> resources/icons/hicolor/<N>x<N>/apps/com.orvana.FirmwareUpdater.png
#                         resources/windows/updater.ico (256, 48, 32 and 16 px)
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

# Windows picks the entry nearest the size it needs; these four cover the
# title bar, the taskbar, Explorer and the large tiles.
convert "$icons/256x256/apps/$app_id.png" "$icons/48x48/apps/$app_id.png" \
        "$icons/32x32/apps/$app_id.png" "$icons/16x16/apps/$app_id.png" \
        resources/windows/updater.ico

ls -l resources/logo.png "$icons"/*/apps/"$app_id.png" resources/windows/updater.ico
