#!/usr/bin/env bash
# Installs what building, running and testing the updater needs on Debian or Ubuntu.
# Installs only what is missing; uses sudo when not run as root.
set -euo pipefail

# Qt 6: the second build of the test suite. dbus-daemon: the private bus of
# the sleep-lock test. desktop-file-utils, appstream: the desktop entry and
# metainfo checks.
packages=(cmake g++ make qtbase5-dev libqt5serialport5-dev qt6-base-dev qt6-serialport-dev
          dbus-daemon desktop-file-utils appstream "$@")

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
