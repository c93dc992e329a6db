#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench) and runs them all; prints one table.
# Transfers go over the virtual DMX interface of the test support, with its
# recording shim preloaded. The window runs on Xvfb when it is installed,
# else on Qt's offscreen platform. Debug lines go to /dev/null.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

usage() {
    echo "usage: $0 [--runs N] [--qt 5|6] [--against TOOL]" >&2
    echo "  --runs N        transfers per workload (default 3); the table shows medians" >&2
    echo "  --qt 5|6        the Qt to build against (default 5)" >&2
    echo "  --against TOOL  an earlier build's orvana-firmware-tool, sending to eight lines at once in" >&2
    echo "                  alternate rounds with this build's" >&2
    exit 2
}
runs=3
qt=5
against=()
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) [[ "${2:-}" =~ ^[1-9][0-9]*$ ]] || usage; runs="$2"; shift 2 ;;
        --qt) [[ "${2:-}" =~ ^[56]$ ]] || usage; qt="$2"; shift 2 ;;
        --against) [ -x "${2:-}" ] || usage; against=(--against "$(realpath "$2")"); shift 2 ;;
        *) usage ;;
    esac
done
build="$root/build-bench"
[ "$qt" = 6 ] && build="$root/build-bench-qt6"

"$root/scripts/install-dependencies.sh" xvfb
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DUPDATER_QT="$qt" -DBUILD_TESTING=ON \
    -DUPDATER_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" --target benchmarks tool --parallel 2 >/dev/null

shim="$build/tests/libdmxshim.so"
bench="$build/bench"

xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
platform="offscreen"
if command -v Xvfb >/dev/null; then
    display_file="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$display_file" ] && break; sleep 0.1; done
    if [ -s "$display_file" ]; then
        export DISPLAY=":$(head -n1 "$display_file")"
        unset QT_QPA_PLATFORM
        platform="xcb on Xvfb $DISPLAY"
    fi
    rm -f "$display_file"
fi
[ "$platform" = "offscreen" ] && export QT_QPA_PLATFORM=offscreen
# The benchmarks must not take the machine's own sleep lock.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent

echo "Benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), Qt $qt; load average before:$(cut -d' ' -f1-3 /proc/loadavg | sed 's/^/ /')"
echo "Window platform: $platform; transfers per workload: $runs"
echo
echo "| subject | measure | value | target |"
echo "|---|---|---|---|"
status=0
LD_PRELOAD="$shim" "$bench/bench_transfer" --runs "$runs" 2>/dev/null || status=1
# Sleeps as a MinGW build meets Windows' default timer: cut to whole milliseconds, woken on 15.625 ms ticks.
DMXSHIM_SLEEP_TICK_US=15625 LD_PRELOAD="$shim" \
    "$bench/bench_transfer" --runs "$runs" --label "Windows' timer model, 15.6 ms ticks" 2>/dev/null || status=1
"$bench/bench_schedule" || status=1
LD_PRELOAD="$shim" QT_LOGGING_RULES="default.debug=false" \
    "$bench/bench_transfer" --runs "$runs" --label "debug lines off" dense 2>/dev/null || status=1
LD_PRELOAD="$shim" "$bench/bench_transfer" --runs "$runs" --label "orvana-firmware-tool send" \
    --tool "$build/src/cli/orvana-firmware-tool" dense 2>/dev/null || status=1
# A rig of eight fixture lines from one tool, on two cores: what following the runs costs their wire.
LD_PRELOAD="$shim" "$bench/bench_transfer" --runs "$runs" --lines 8 --tool "$build/src/cli/orvana-firmware-tool" \
    "${against[@]}" dense 2>/dev/null || status=1
# The pty takes every byte at once; the shim's USB adapter model delays each write and break request by up to
# 1 ms, as a USB adapter does, and sets a break once the chip is empty (Linux) or at once (other drivers).
DMXSHIM_USB_DELAY_US=1000 DMXSHIM_USB_BREAK=polled LD_PRELOAD="$shim" \
    "$bench/bench_transfer" --runs "$runs" --label "USB adapter model, polled breaks" 2>/dev/null || status=1
DMXSHIM_USB_DELAY_US=1000 LD_PRELOAD="$shim" \
    "$bench/bench_transfer" --runs "$runs" --label "USB adapter model, breaks at once" 2>/dev/null || status=1
LD_PRELOAD="$shim" "$bench/bench_window" --latency 2>/dev/null || status=1
LD_PRELOAD="$shim" "$bench/bench_window" --large-file 2>/dev/null || status=1
"$bench/bench_window" --startup --runs 10 2>/dev/null || status=1
"$bench/bench_fileReading" 50 200 || status=1
echo
echo "Load average after:$(cut -d' ' -f1-3 /proc/loadavg | sed 's/^/ /')"
exit "$status"
