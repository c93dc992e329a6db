#!/usr/bin/env bash
# Builds the updater and orvana-firmware-tool for 64-bit Windows on Debian, with MinGW-w64 and a MinGW build of
# Qt 5.15, and packs them as a folder that runs on a Windows machine with nothing else installed:
#   dist/orvana-firmware-updater-<version>-win64.zip
#   ./scripts/build-windows.sh [QT_WIN_PREFIX | QT_ARCHIVE.tar.xz]
# The Qt is the folder given, or an archive of one, unpacked into build-win64/qt/; without an argument, the archive
# ../shared/toolchains/qt5.15.15-mingw64.tar.xz beside the repository. Its moc, rcc and uic must run on this
# machine. The folder holds what windeployqt would put there: both programs, the Qt and MinGW runtime DLLs they
# load, platforms/qwindows.dll and styles/qwindowsvistastyle.dll; the updater's icon group and version block are
# checked before anything is packed. The tests that need no pty are built too, for scripts/check-windows.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-win64"
default_qt="$root/../shared/toolchains/qt5.15.15-mingw64.tar.xz"
qt="${1:-$default_qt}"

fail() { echo "build-windows: $*" >&2; exit 1; }
[ $# -le 1 ] || { echo "usage: $0 [QT_WIN_PREFIX | QT_ARCHIVE.tar.xz]" >&2; exit 2; }

"$root/scripts/install-dependencies.sh" g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 icoutils zip xz-utils

if [ -f "$qt" ]; then
    # Unpacked again only when the archive is not the one unpacked last.
    stamp="$build/qt/.unpacked-from"
    if [ "$(cat "$stamp" 2>/dev/null)" != "$(realpath "$qt") $(stat -c %Y "$qt")" ]; then
        echo "Unpacking $qt into $build/qt"
        rm -rf "$build/qt" && mkdir -p "$build/qt"
        tar -xf "$qt" -C "$build/qt" || fail "cannot unpack $qt"
        echo "$(realpath "$qt") $(stat -c %Y "$qt")" >"$stamp"
    fi
    config="$(find "$build/qt" -maxdepth 5 -path '*/lib/cmake/Qt5/Qt5Config.cmake' -print -quit)"
    [ -n "$config" ] || fail "$qt holds no Qt 5 (no lib/cmake/Qt5/Qt5Config.cmake)"
    qt="${config%/lib/cmake/Qt5/Qt5Config.cmake}"
elif [ ! -d "$qt" ]; then
    fail "no Windows Qt at $qt
  Give the folder of a MinGW build of Qt 5.15 for 64-bit Windows (with Qt Serial Port, and moc, rcc and uic
  that run on this machine), or an archive of one: $0 /path/to/qt5-win64"
fi
qt="$(realpath "$qt")"
for needed in lib/cmake/Qt5/Qt5Config.cmake lib/cmake/Qt5SerialPort bin/Qt5Core.dll plugins/platforms/qwindows.dll \
              plugins/styles/qwindowsvistastyle.dll; do
    [ -e "$qt/$needed" ] || fail "$qt is not a MinGW Qt 5.15 for Windows with Qt Serial Port: no $needed"
done
"$qt/bin/moc" -v >/dev/null 2>&1 ||
    fail "$qt/bin/moc does not run here: a Qt built for a Windows host builds on Windows (see docs/DEVELOPING.md)"

# Another Qt than the one configured last: the cached package folders would still point at the old one.
if [ -f "$build/CMakeCache.txt" ] && ! grep -qxF "QT_WIN_PREFIX:PATH=$qt" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DQT_WIN_PREFIX:PATH="$qt" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel "$(nproc)"

version="$(cat "$build/version.txt")"
name="orvana-firmware-updater-$version-win64"
folder="$build/deploy/$name"
rm -rf "$build/deploy" && mkdir -p "$folder/platforms" "$folder/styles"
updater="$folder/Orvana Firmware Updater.exe"
cp "$build/src/app/Orvana Firmware Updater.exe" "$build/src/cli/orvana-firmware-tool.exe" "$folder/"
cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"

# Every DLL the programs and plug-ins load, and what those load in turn, from Qt and the MinGW runtime. A DLL
# that MinGW has an import library for, and that is found nowhere else, is one of Windows' own.
runtime=("$qt/bin" "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
         "$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")")")
system_libraries="$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name=libkernel32.a)")")"
pending=("$updater" "$folder/orvana-firmware-tool.exe" "$folder/platforms/qwindows.dll"
         "$folder/styles/qwindowsvistastyle.dll")
while [ ${#pending[@]} -gt 0 ]; do
    binary="${pending[0]}"
    pending=("${pending[@]:1}")
    while IFS= read -r dll; do
        [ -e "$folder/$dll" ] && continue
        found="$(find "${runtime[@]}" -maxdepth 1 -iname "$dll" -print -quit)"
        if [ -n "$found" ]; then
            cp "$found" "$folder/$dll"
            pending+=("$folder/$dll")
        elif [ ! -e "$system_libraries/lib$(tr '[:upper:]' '[:lower:]' <<<"${dll%.*}").a" ]; then
            fail "$(basename "$binary") needs $dll, which is neither in $qt/bin nor in the MinGW runtime"
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p')
done
# Debian's MinGW runtime keeps its debugging symbols (20 MB of them in libstdc++); nobody debugs a release with them.
find "$folder" -iname '*.exe' -o -iname '*.dll' | while IFS= read -r binary; do
    x86_64-w64-mingw32-strip "$binary"
done
# What the zip is, and under which licences its parts come, in Windows' line ends. Qt is used under the LGPL 3,
# which travels with it, with where its sources are and how it was built; the MinGW runtime (libstdc++, libgcc,
# winpthreads) with its notices as Debian's packages of it carry them: the GCC Runtime Library Exception, and
# winpthreads' copyright and licence.
crlf() { sed 's/\r*$/\r/'; }
sed "s/@VERSION@/$version/" "$root/resources/windows/README.txt" | crlf >"$folder/README.txt"
# The program's own notice, as the Debian package states it.
{ echo "Orvana Firmware Updater $version"; grep -m1 '^Copyright:' "$root/debian/copyright"
  sed -n '/^License: proprietary$/,${/^License:/d;s/^ \.\{0,1\}//;p}' "$root/debian/copyright"; } | crlf >"$folder/LICENSE.txt"
mkdir -p "$folder/licenses/Qt" "$folder/licenses/MinGW-w64"
[ -d "$qt/licenses" ] || fail "$qt has no licenses/ folder: the LGPL must travel with Qt"
for text in "$qt"/licenses/*; do crlf <"$text" >"$folder/licenses/Qt/$(basename "$text")"; done
crlf <"$root/resources/windows/qt-sources.txt" >"$folder/licenses/Qt/SOURCES.txt"
for notice in /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright:gcc-runtime.txt \
              /usr/share/doc/mingw-w64-common/copyright:mingw-w64-runtime-and-winpthreads.txt \
              /usr/share/common-licenses/GPL-3:GPL-3.txt; do
    [ -f "${notice%%:*}" ] || fail "no ${notice%%:*}: the MinGW runtime's notices must travel with it"
    crlf <"${notice%%:*}" >"$folder/licenses/MinGW-w64/${notice##*:}"
done

"$root/scripts/check-windows-resources.sh" "$updater"

mkdir -p "$root/dist"
rm -f "$root"/dist/orvana-firmware-updater-*-win64.zip
(cd "$build/deploy" && zip -qrX "$root/dist/$name.zip" "$name")
echo "Windows zip: dist/$name.zip ($(du -h "$root/dist/$name.zip" | cut -f1)); in it:"
(cd "$folder" && find . -type f ! -path './licenses/*' | sed 's|^\./|  |' | sort)
echo "  licenses/: $(cd "$folder/licenses" && find . -type f | sed 's|^\./||' | sort | paste -sd' ')"
echo "Test programs for Wine (scripts/check-windows.sh): $(cd "$build/tests" && ls tst_*.exe | paste -sd' ')"
