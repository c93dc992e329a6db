#!/usr/bin/env bash
# Sets up this machine, builds the updater with its tests and runs them three
# times: as shipped with Qt 5, under AddressSanitizer, LeakSanitizer and UBSan,
# and as shipped with Qt 6.
#   --quick   only the first run
# Further arguments go to ctest (for example -R tst_window).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

full=1
if [ "${1:-}" = "--quick" ]; then
    full=0
    shift
fi

"$root/scripts/install-dependencies.sh"

run_suite() {
    local build="$1"
    shift
    cmake -S "$root" -B "$build" -DBUILD_TESTING=ON "$@" >/dev/null
    cmake --build "$build" --parallel "$(nproc)"
    (cd "$build" && ctest --output-on-failure --parallel 2 "${ctest_arguments[@]}")
}

ctest_arguments=("$@")
echo "== Test suite (Qt 5) =="
run_suite "$root/build-tests" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_QT=5
if [ "$full" -eq 1 ]; then
    echo "== Test suite under AddressSanitizer, LeakSanitizer and UBSan =="
    run_suite "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DUPDATER_QT=5 -DUPDATER_SANITIZE=ON
    echo "== Test suite (Qt 6) =="
    run_suite "$root/build-tests-qt6" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_QT=6
fi
