#!/usr/bin/env bash
# Builds the Debian package of the updater, running the test suite on the way (DEB_BUILD_OPTIONS=nocheck skips
# it), and checks the package with lintian.
# Installs what the build needs when it is missing (with sudo when not root, through install-dependencies.sh),
# builds from a clean copy of the tree (the files git tracks and untracked
# files it does not ignore, never a build directory), and leaves the package
# in dist/. Fails when lintian reports an error.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/install-dependencies.sh" dpkg-dev fakeroot lintian

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
source_dir="$work/orvana-firmware-updater"
mkdir "$source_dir"

# Files deleted from the work tree but still in the index are left out.
git -C "$root" ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' path; do
        if [ -e "$root/$path" ]; then printf '%s\0' "$path"; fi
    done |
    tar -C "$root" --null --no-recursion --files-from=- -cf - |
    tar -C "$source_dir" -xf -

export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-parallel=$(nproc)}"
(cd "$source_dir" && dpkg-buildpackage -us -uc -b)

debs=("$work"/orvana-firmware-updater_*.deb)
[ -e "${debs[0]}" ] || { echo "build-package: dpkg-buildpackage made no .deb" >&2; exit 1; }
deb="${debs[0]}"

echo "== lintian $(basename "$deb") =="
# Lintian's own exit status then tells only whether it could run.
lintian_output="$(lintian --fail-on none --info --display-info "$deb" 2>&1)"
[ -z "$lintian_output" ] || printf '%s\n' "$lintian_output"
if grep -q '^E: ' <<<"$lintian_output"; then
    echo "build-package: lintian reports errors" >&2
    exit 1
fi

mkdir -p "$root/dist"
rm -f "$root"/dist/orvana-firmware-updater_*.deb
cp "$deb" "$root/dist/"
echo "Package: dist/$(basename "$deb") ($(du -h "$deb" | cut -f1))"
