#!/usr/bin/env bash
# Tries the Windows zip of scripts/build-windows.sh under Wine, in a fresh Wine prefix on a private Xvfb display,
# against the Linux build of the same sources:
#   - the Windows test programs of build-win64/tests/ (the tests that need no pty);
#   - orvana-firmware-tool.exe: --version; inspect of every sample in docs/samples/ and of a file whose name and
#     header are not ASCII, byte for byte the Linux build's output (UTF-8, --json too), and on Wine's console;
#     ports; send of samples to a COM port that Wine maps to a pty, the frames on the wire the Linux build's;
#   - the updater: --version and a usage error where they were sent; its window: its title, the update file it
#     preselects in its working folder, App -> Quit with exit status 0.
#   ./scripts/check-windows.sh [--screenshot] [ZIP]   (default: dist/orvana-firmware-updater-<version>-win64.zip)
# --screenshot keeps the window's picture as docs/screenshots/windows.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
fail() { echo "check-windows: $*" >&2; exit 1; }
screenshot=0
[ "${1:-}" = "--screenshot" ] && { screenshot=1; shift; }
[ $# -le 1 ] || { echo "usage: $0 [--screenshot] [ZIP]" >&2; exit 2; }

"$root/scripts/install-dependencies.sh" wine64 fonts-wine xvfb xdotool x11-utils imagemagick unzip tmux socat

# The Linux build whose results Windows must give too, and the test suite's shim, which logs what reaches a pty.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build" --target tool --parallel "$(nproc)" >/dev/null
linux_tool="$root/build/src/cli/orvana-firmware-tool"
version="$(cat "$root/build/version.txt")"
zip="$(realpath "${1:-$root/dist/orvana-firmware-updater-$version-win64.zip}")"
[ -f "$zip" ] || fail "no $zip; scripts/build-windows.sh builds it"
tests=("$root"/build-win64/tests/tst_*.exe)
[ -e "${tests[0]}" ] || fail "no Windows test programs in build-win64/tests/; scripts/build-windows.sh builds them"

# Debian's Wine 8 keeps wine64 out of PATH.
wine="$(command -v wine64 || echo /usr/lib/wine/wine64)"
wineserver="$(dirname "$wine")/wineserver"
[ -x "$wineserver" ] || wineserver="$(command -v wineserver)"
work="$(mktemp -d)"
# The check's updates are nobody's history.
export XDG_DATA_HOME="$work/data"
session="orvana-check-$$"
xvfb_pid="" holder=""
cleanup() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null || true
    tmux -L "$session" kill-server 2>/dev/null || true
    [ -d "$work/wine" ] && WINEPREFIX="$work/wine" "$wineserver" -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cc -shared -fPIC -O2 -o "$work/dmxshim.so" "$root/tests/support/dmxshim.c" -ldl

unzip -q "$zip" -d "$work/unpacked"
app="$(find "$work/unpacked" -name 'Orvana Firmware Updater.exe' -printf '%h' -quit)"
[ -n "$app" ] || fail "$zip holds no 'Orvana Firmware Updater.exe'"
tool="$app/orvana-firmware-tool.exe"
for part in README.txt LICENSE.txt licenses/Qt/SOURCES.txt licenses/MinGW-w64/gcc-runtime.txt; do
    [ -s "$app/$part" ] || fail "$zip holds no $part"
done

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
# One server for the whole check, which none of the programs below starts with their environment.
"$wineserver" -p >/dev/null 2>&1
echo "Wine $("$wine" --version | sed 's/^wine-//'), fresh prefix, display $DISPLAY"

# The test programs find Qt Test beside the Qt they were built with, the rest beside the programs. Qt Test
# writes its report to a file: under Wine its standard output is not a console.
windowsPath() { echo "Z:${1//\//\\}"; }
qt_bin="$(find "$root/build-win64/qt" -maxdepth 3 -name Qt5Test.dll -printf '%h' -quit)"
[ -n "$qt_bin" ] || fail "no Qt5Test.dll under build-win64/qt/"
for test in "${tests[@]}"; do
    name="$(basename "$test" .exe)"
    status=0
    (cd "$work" && WINEPATH="$(windowsPath "$qt_bin");$(windowsPath "$app")" "$wine" "$test" -o "$name.txt,txt" \
        >/dev/null 2>&1) || status=$?
    totals="$(grep -m1 '^Totals:' "$work/$name.txt" 2>/dev/null || true)"
    if [ "$status" -ne 0 ] || [ -z "$totals" ]; then
        grep -v '^PASS' "$work/$name.txt" >&2 2>/dev/null || true
        fail "$name under Wine: exit status $status"
    fi
    echo "ok   $name.exe: ${totals#Totals: }"
done

said="$("$wine" "$tool" --version)"
[ "$said" = "orvana-firmware-tool $version" ] || fail "--version says '$said', not 'orvana-firmware-tool $version'"
echo "ok   orvana-firmware-tool.exe --version: $said"

# What inspect prints, its warnings and its exit status: the same bytes as on Linux, wherever they go.
cp -p "$root"/docs/samples/*.fwb "$root"/docs/samples/*.dmx "$work/"
international="lyre-é-ü-ß-Łódź.fwb"
printf '#lyre\n#Orvana\n#Lyre Łódź\n#v2.0\n0 01 02 03\n2 04 05\n' >"$work/$international"
compare_inspect() {
    local status differences=0 stream
    status=0; (cd "$work" && "$linux_tool" inspect "$@" >linux.out 2>linux.err) || status=$?
    echo "exit status: $status" >>"$work/linux.out"
    status=0; (cd "$work" && "$wine" "$tool" inspect "$@" >windows.out 2>windows.err) || status=$?
    echo "exit status: $status" >>"$work/windows.out"
    for stream in out err; do
        if ! cmp -s "$work/linux.$stream" "$work/windows.$stream"; then
            echo "FAIL inspect $*, standard $stream (< Linux, > Windows):" >&2
            diff "$work/linux.$stream" "$work/windows.$stream" | head -n 20 >&2 || true
            differences=$((differences + 1))
        fi
    done
    [ "$differences" -eq 0 ] || return 1
    echo "ok   inspect $*: $(($(wc -l <"$work/linux.out") - 1)) lines, $(wc -l <"$work/linux.err") warnings and" \
         "the exit status, byte for byte as on Linux"
}
failed=0
for sample in "$root"/docs/samples/*.fwb "$root"/docs/samples/*.dmx "$work/$international"; do
    compare_inspect "$(basename "$sample")" || failed=1
done
compare_inspect --json "$international" || failed=1
[ "$failed" -eq 0 ] || fail "inspect gives other results on Windows"

# On a console the tool writes characters, not bytes: Wine's console on a terminal shows what Linux prints.
# A tmux server of its own, whatever the user runs.
LANG=C.UTF-8 tmux -L "$session" new-session -d -x 200 -y 24 -c "$work" \
    "env -u DISPLAY LANG=C.UTF-8 '$wine' '$tool' inspect '$international'; echo 'exit status:' \$?; sleep 600"
# Wine once took over half a minute to end it, right after its prefix was made on a loaded machine.
for _ in $(seq 400); do tmux -L "$session" capture-pane -p | grep -q '^exit status:' && break; sleep 0.3; done
tmux -L "$session" capture-pane -p | sed '/^$/d' >"$work/console.out"
tmux -L "$session" kill-server
grep -q '^exit status:' "$work/console.out" || fail "inspect on Wine's console did not end within two minutes"
(cd "$work" && "$linux_tool" inspect "$international"; echo "exit status: $?") >"$work/linux.out"
diff "$work/linux.out" "$work/console.out" >&2 || fail "inspect on Wine's console shows other text than on Linux"
echo "ok   inspect $international on Wine's console: $(grep -c . "$work/console.out") lines as on Linux"

status=0; ports="$("$wine" "$tool" ports 2>&1)" || status=$?
[ "$status" -eq 0 ] || fail "ports ends with exit status $status: $ports"
echo "ok   ports: exit status 0 ($(head -n1 <<<"$ports"))"

# A send through Wine's serial layer: COM5 is a pty, and the shim logs what reaches it. When Qt's serial port
# starts to watch for input it calls WaitCommEvent, which Wine 8 keeps waiting, where Windows returns at once,
# until a character comes: one that the pty holds for the program to read stands in for an adapter's.
frames() { awk '$1 == "break" { if (started) print frame; frame = ""; started = 1 } $1 == "write" { frame = frame $6 }
                END { if (started) print frame }' "$1"; }
send_through_pty() { # LOG COMMAND...: the command sends on a fresh pty, reached as ./line in the work folder
    local log="$1" status=0 line
    shift
    rm -f "$work/line" "$log"
    socat "pty,raw,echo=0,link=$work/line" SYSTEM:'printf x; exec cat >/dev/null' &
    holder=$!
    for _ in $(seq 100); do [ -e "$work/line" ] && break; sleep 0.1; done
    line="$(realpath "$work/line")"
    (cd "$work" && DMXSHIM_LOG="$log" DMXSHIM_DEVICE="$line" LD_PRELOAD="$work/dmxshim.so" timeout 120 "$@" \
        2>"$work/send.err") || status=$?
    [ "$status" -eq 0 ] || cat "$work/send.err" >&2
    kill "$holder" 2>/dev/null || true
    wait "$holder" 2>/dev/null || true
    holder=""
    return "$status"
}
for sample in strobe-v0.9.fwb wash-v2.10.dmx "$international"; do
    status=0
    send_through_pty "$work/linux.log" sh -c '"$0" send "$1" --port "$(realpath line)" --quiet' "$linux_tool" "$sample" ||
        status=$?
    [ "$status" -eq 0 ] || fail "the Linux build's send of $sample ends with exit status $status"
    status=0
    send_through_pty "$work/windows.log" sh -c 'ln -sfn "$(realpath line)" "$WINEPREFIX/dosdevices/com5" &&
        "$0" "$1" send "$2" --port COM5 --quiet' "$wine" "$tool" "$sample" || status=$?
    [ "$status" -ne 124 ] || fail "send $sample to COM5 under Wine did not end within 120 s"
    [ "$status" -eq 0 ] || fail "send $sample to COM5 under Wine ends with exit status $status"
    frames "$work/linux.log" >"$work/linux.frames"
    frames "$work/windows.log" >"$work/windows.frames"
    [ -s "$work/linux.frames" ] || fail "the Linux build sent no frame of $sample"
    cmp -s "$work/linux.frames" "$work/windows.frames" || fail "send $sample: Windows put $(wc -l <"$work/windows.frames")" \
        "frames on the wire, other ones than Linux's $(wc -l <"$work/linux.frames")"
    echo "ok   send $sample to COM5 (a pty): $(wc -l <"$work/linux.frames") frames, each after a break, as on Linux"
done

# Help and usage errors of a program with a window: Windows gives it no console of its own.
updater="$app/Orvana Firmware Updater.exe"
said="$("$wine" "$updater" --version 2>/dev/null)"
[ "$said" = "orvana-firmware-updater $version" ] || fail "the updater's --version, sent to a pipe, says '$said'"
status=0; told="$("$wine" "$updater" a.fwb b.fwb 2>&1 >/dev/null)" || status=$?
[ "$status" -eq 2 ] && [[ "$told" == "orvana-firmware-updater: one update file at a time"* ]] ||
    fail "the updater's usage error, sent to a pipe: exit status $status, '$told'"
echo "ok   the updater's --version and a usage error (exit status 2) reach the pipe they were sent to"

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
if [ "$screenshot" -eq 1 ]; then
    mkdir -p "$root/docs/screenshots"
    cp "$work/update.png" "$root/docs/screenshots/windows.png"
    echo "ok   docs/screenshots/windows.png written"
fi

cat <<EOF

The Windows build passes under Wine (in $SECONDS s). Wine cannot show how it drives a real interface: the
serial timing, the break and mark after break, 250 000 bit/s with two stop bits on a USB adapter's driver, and
keeping the computer awake during an update are untried here; they need a Windows machine, an interface and a
fixture.
EOF
