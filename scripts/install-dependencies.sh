#!/usr/bin/env bash
# Installs what building and testing the updater needs on Debian or Ubuntu: the build dependencies that
# debian/control names, the test suite's included, and any further packages given as arguments.
# Installs only what is missing; uses sudo when not run as root.
#   ./scripts/install-dependencies.sh [PACKAGE ...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# apt-get reads debian/control itself; its dry run needs no root and says what it would install.
build_dependencies_missing() {
    local plan
    plan="$(apt-get build-dep --simulate "$root" 2>/dev/null)" || return 0
    grep -q '^Inst ' <<<"$plan"
}

missing=()
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
build_dependencies=0
build_dependencies_missing && build_dependencies=1
[ "$build_dependencies" -eq 0 ] && [ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "install-dependencies: packages are missing${missing[*]:+ (${missing[*]})}; run this as root" >&2
        exit 1
    fi
    sudo="sudo"
fi
$sudo apt-get update -qq
if [ "$build_dependencies" -eq 1 ]; then
    echo "Installing the build dependencies of debian/control"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -qq --no-install-recommends "$root"
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
