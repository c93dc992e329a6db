#!/usr/bin/env bash
# Sets up this machine, builds the updater and starts it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-dependencies.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build" --parallel "$(nproc)"
exec "$root/build/src/app/orvana-firmware-updater" "$@"
