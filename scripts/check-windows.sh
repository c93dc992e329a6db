#!/usr/bin/env bash
# Tries the Windows zip of scripts/build-windows.sh under Wine, in a fresh Wine prefix on a private Xvfb display:
#   - orvana-firmware-tool.exe: --version, inspect of every update file in docs/samples/ (each field, warning and
#     exit status the same as the Linux build's), ports (exit status 0);
#   - the updater's window: its title, the update file it preselects in its working folder, App -> Quit with exit
#     status 0; a screenshot to docs/screenshots/windows.png.
#   ./scripts/check-windows.sh [ZIP]      (default: dist/orvana-firmware-updater-<version>-win64.zip)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
fail() { echo "check-windows: $*" >&2; exit 1; }
[ $# -le 1 ] || { echo "usage: $0 [ZIP]" >&2; exit 2; }

"$root/scripts/install-dependencies.sh" wine64 fonts-wine xvfb xdotool x11-utils imagemagick unzip

# The Linux build whose results Windows must give too.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build" --target tool --parallel "$(nproc)" >/dev/null
linux_tool="$root/build/src/cli/orvana-firmware-tool"
version="$(cat "$root/build/version.txt")"
zip="$(realpath "${1:-$root/dist/orvana-firmware-updater-$version-win64.zip}")"
[ -f "$zip" ] || fail "no $zip; scripts/build-windows.sh builds it"

wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver="$(command -v wineserver)"
work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
    [ -d "$work/wine" ] && WINEPREFIX="$work/wine" "$wineserver" -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

unzip -q "$zip" -d "$work/unpacked"
app="$(find "$work/unpacked" -name 'Orvana Firmware Updater.exe' -printf '%h' -quit)"
[ -n "$app" ] || fail "$zip holds no 'Orvana Firmware Updater.exe'"
tool="$app/orvana-firmware-tool.exe"

display_file="$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$display_file")"
# No Mono or Gecko installer dialogs; Wine draws the window frames itself, as Windows would.
export WINEPREFIX="$work/wine" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$wine" wineboot --init >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
# Wine's stand-in for Tahoma loses glyphs in Qt's hands (the hyphen, an f before an a): the window's texts are
# drawn in DejaVu Sans instead, and Wine's Marlett draws the caption buttons.
for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2"; do
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' /v "$font" \
        /d "DejaVu Sans" /f >/dev/null 2>&1
done
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
"$wineserver" -w
echo "Wine $("$wine" --version | sed 's/^wine-//'), fresh prefix, display $DISPLAY"

# Windows writes CR LF.
windows() { "$wine" "$@" | tr -d '\r'; }

said="$(windows "$tool" --version)"
[ "$said" = "orvana-firmware-tool $version" ] || fail "--version says '$said', not 'orvana-firmware-tool $version'"
echo "ok   orvana-firmware-tool.exe --version: $said"

# Each "Field: value" line of the report on its own, then the warnings and the exit status.
cp -p "$root"/docs/samples/*.fwb "$root"/docs/samples/*.dmx "$work/"
compare_inspect() {
    local file="$1" status
    status=0; (cd "$work" && "$linux_tool" inspect "$file" >linux.out 2>linux.err) || status=$?
    echo "exit status: $status" >>"$work/linux.out"
    status=0; (cd "$work" && "$wine" "$tool" inspect "$file" >windows.out 2>windows.err) || status=$?
    echo "exit status: $status" >>"$work/windows.out"
    local fields=0 differences=0 field linux_value windows_value
    while IFS= read -r field; do
        linux_value="$(grep -m1 "^$field:" "$work/linux.out" | cut -d: -f2- | sed 's/^ *//')"
        windows_value="$(tr -d '\r' <"$work/windows.out" | grep -m1 "^$field:" | cut -d: -f2- | sed 's/^ *//' || true)"
        fields=$((fields + 1))
        if [ "$linux_value" != "$windows_value" ]; then
            echo "FAIL inspect $file, $field: Linux '$linux_value', Windows '$windows_value'" >&2
            differences=$((differences + 1))
        fi
    done < <(cut -d: -f1 "$work/linux.out")
    if ! diff <(cat "$work/linux.err") <(tr -d '\r' <"$work/windows.err") >"$work/warnings.diff"; then
        echo "FAIL inspect $file, warnings (< Linux, > Windows):" >&2
        cat "$work/warnings.diff" >&2
        differences=$((differences + 1))
    fi
    [ "$differences" -eq 0 ] || return 1
    echo "ok   inspect $file: $((fields - 1)) fields, $(wc -l <"$work/linux.err") warnings and the exit status as on Linux"
}
failed=0
for sample in "$root"/docs/samples/*.fwb "$root"/docs/samples/*.dmx; do
    compare_inspect "$(basename "$sample")" || failed=1
done
[ "$failed" -eq 0 ] || fail "inspect gives other results on Windows"

status=0; ports="$(windows "$tool" ports 2>&1)" || status=$?
[ "$status" -eq 0 ] || fail "ports ends with exit status $status: $ports"
echo "ok   ports: exit status 0 ($(head -n1 <<<"$ports"))"

# Starts the window in a folder, waits until it shows and has stopped changing, and keeps a picture of it.
title="Orvana Firmware Updater $version"
window_pid="" window=""
open_window() {
    local folder="$1" picture="$2"
    (cd "$folder" && exec "$wine" "$app/Orvana Firmware Updater.exe") >/dev/null 2>&1 &
    window_pid=$!
    window=""
    for _ in $(seq 120); do
        window="$(xdotool search --name "^${title//./\\.}\$" 2>/dev/null | head -n1 || true)"
        [ -n "$window" ] && break
        kill -0 "$window_pid" 2>/dev/null || fail "the updater ended before its window showed"
        sleep 0.5
    done
    if [ -z "$window" ]; then
        shown="$(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | sort -u | paste -sd, - || true)"
        fail "no window titled '$title' within 60 s; windows shown: ${shown:-none}"
    fi
    # Raw pixels, so that two pictures of the same window are the same bytes.
    for _ in $(seq 40); do
        sleep 0.5
        import -window "$window" "ppm:$picture.now" 2>/dev/null || continue
        if cmp -s "$picture.now" "$picture.before" 2>/dev/null; then
            convert "$picture.now" -strip "$picture"
            return 0
        fi
        mv "$picture.now" "$picture.before"
    done
    fail "the window kept changing for 20 s"
}
# App is the menu bar's first menu, Quit its last entry: Alt, Down, End, Return reach it under any translation.
quit_window() {
    timeout 10 xdotool windowfocus --sync "$window" || fail "the window did not take the keyboard focus"
    for key in alt Down End Return; do
        xdotool key "$key"
        sleep 0.3
    done
    local status=0
    for _ in $(seq 60); do
        kill -0 "$window_pid" 2>/dev/null || break
        sleep 0.5
    done
    kill -0 "$window_pid" 2>/dev/null && fail "App -> Quit did not end the updater within 30 s"
    wait "$window_pid" || status=$?
    [ "$status" -eq 0 ] || fail "the updater ended with exit status $status after App -> Quit"
}

# The oldest update file of the folder is the one preselected: the window shows the same as in a folder where that
# file is the older of two, and not the same as in one where the other is. (It names the file it chose, and says
# that there were two.)
mkdir -p "$work/update" "$work/older" "$work/newer"
cp "$work/wash-v2.10.dmx" "$work/spot-v1.04.fwb" "$work/update/"
cp "$work/spot-v1.04.fwb" "$work/older/"
cp "$work/wash-v2.10.dmx" "$work/newer/"
echo "#notes" | tee "$work/older/other.fwb" >"$work/newer/other.fwb"
touch -d '2 days ago' "$work/update/spot-v1.04.fwb" "$work/older/spot-v1.04.fwb" "$work/newer/wash-v2.10.dmx"
open_window "$work/update" "$work/update.png"
echo "ok   the window opens titled '$title'"
quit_window
echo "ok   App -> Quit ends it with exit status 0"
pixelsDiffering() { compare -metric AE "$1" "$2" /dev/null 2>&1 | cut -d' ' -f1 || true; }
for folder in older newer; do
    open_window "$work/$folder" "$work/$folder.png"
    quit_window
done
[ "$(pixelsDiffering "$work/update.png" "$work/older.png")" = 0 ] ||
    fail "the window does not show the older file, spot-v1.04.fwb, as it does where that file is the older of two"
[ "$(pixelsDiffering "$work/update.png" "$work/newer.png")" != 0 ] ||
    fail "the window shows the same with wash-v2.10.dmx alone: its file row tells nothing"
echo "ok   the older update file is preselected: the window is drawn as where spot-v1.04.fwb is the older of two," \
     "not as where wash-v2.10.dmx is"
mkdir -p "$root/docs/screenshots"
cp "$work/update.png" "$root/docs/screenshots/windows.png"

cat <<EOF

The Windows build passes under Wine. Wine cannot show how it drives a real interface: the serial timing, the
break and mark after break, 250 000 bit/s with two stop bits on a USB adapter's driver, and keeping the computer
awake during an update are untried here; they need a Windows machine, an interface and a fixture.
EOF
