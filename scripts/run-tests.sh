#!/usr/bin/env bash
# Sets up this machine, builds the updater with its tests and runs them twice:
# once as shipped, once under AddressSanitizer, LeakSanitizer and UBSan.
#   --quick   skip the sanitizer run
# Further arguments go to ctest (for example -R tst_updateRun).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

sanitizers=1
if [ "${1:-}" = "--quick" ]; then
    sanitizers=0
    shift
fi

"$root/scripts/install-dependencies.sh"

run_suite() {
    local build="$1"
    shift
    cmake -S "$root" -B "$build" -DUPDATER_BUILD_TESTS=ON "$@" >/dev/null
    cmake --build "$build" --parallel "$(nproc)"
    (cd "$build" && ctest --output-on-failure --parallel 2 "${ctest_arguments[@]}")
}

ctest_arguments=("$@")
echo "== Test suite =="
run_suite "$root/build-tests" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "$sanitizers" -eq 1 ]; then
    echo "== Test suite under AddressSanitizer, LeakSanitizer and UBSan =="
    run_suite "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON
fi
