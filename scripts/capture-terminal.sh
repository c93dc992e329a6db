#!/usr/bin/env bash
# Runs orvana-firmware-tool in tmux, 200 and then 40 columns wide, against two
# virtual DMX interfaces (ptys held by socat, with the test suite's shim), and
# writes what the terminal showed to docs/terminal/: the README's session.
#   ./scripts/capture-terminal.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-dependencies.sh" tmux socat
build="$root/build-tests"
cmake -S "$root" -B "$build" -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --target tool dmxshim --parallel "$(nproc)" >/dev/null

work="$(mktemp -d)"
session="orvana-capture-$$"
holders=()
trap 'tmux kill-session -t "$session" 2>/dev/null || true; kill "${holders[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
for port in 0 1; do
    socat -u "pty,raw,echo=0,link=$work/dmx$port" OPEN:/dev/null &
    holders+=($!)
done
# The example the README inspects: four header lines, 1 500 packets of 64 bytes held 2 ms, a comment every 100.
{
    printf '#spot\n#Orvana\n#Spot 575\n#v1.04\n'
    for line in $(seq 1500); do
        [ $((line % 100)) -eq 1 ] && echo "# block $((line / 100 + 1))"
        printf '2'; for byte in $(seq 64); do printf ' %02X' $(((line * 7 + byte * 13) % 256)); done; echo
    done
} >"$work/spot-v1.04.fwb"
until [ -e "$work/dmx1" ]; do sleep 0.1; done

# Types a command, waits, and keeps what the screen shows.
shown() { tmux capture-pane -p -t "$session" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'; }
run() { tmux send-keys -t "$session" "$1" Enter; sleep "$2"; }
capture() {
    local columns="$1" out="$2"
    tmux new-session -d -s "$session" -x "$columns" -y 24 -c "$work"
    # A history of its own: the session's updates, not the machine's.
    run "export PS1='\$ ' LD_PRELOAD=$build/tests/libdmxshim.so PATH=$build/src/cli:\$PATH XDG_DATA_HOME=$work/data-$columns; clear" 1
    {
        echo "orvana-firmware-tool in tmux $(tmux -V | cut -d' ' -f2), $columns x 24, captured with 'tmux capture-pane -p'."
        echo "The two interfaces are virtual ones (ptys held by socat, the test suite's shim preloaded)."
        run "orvana-firmware-tool inspect spot-v1.04.fwb; orvana-firmware-tool send spot-v1.04.fwb --port ./dmx0 --port ./dmx1" 4
        printf '\n--- during send, about four seconds in:\n'; shown
        sleep 6
        printf '\n--- once it is over:\n'; shown
        run clear 1
        run "orvana-firmware-tool send spot-v1.04.fwb --port ./dmx0" 2.5
        tmux send-keys -t "$session" C-c; sleep 1.5
        run 'echo "exit status $?"; orvana-firmware-tool send spot-v1.04.fwb --port ttyUSB7; echo "exit status $?"' 1.5
        printf '\n--- a Ctrl-C, and an interface that is not there:\n'; shown
        run clear 1
        run 'orvana-firmware-tool history --last 3' 2
        printf '\n--- the history of the last three updates:\n'; shown
        run clear 1
        run 'orvana-firmware-tool send spot-v1.04.fwb --port ./dmx0 --json | tail -n 2' 11
        printf '\n--- the last events of a run:\n'; shown
    } >"$out"
    tmux kill-session -t "$session"
}
capture 200 "$root/docs/terminal/send-session.txt"
capture 40 "$root/docs/terminal/send-session-40-columns.txt"
ls -l "$root"/docs/terminal/
