#!/usr/bin/env bash
# Checks the Windows resources of the updater's executable with icoutils' wrestool: exactly one icon group
# "IDI_ICON1" with its one icon, and the version block, all in US English, nothing else (no manifest, no string
# table). Prints what differs and exits 1 when anything does.
#   ./scripts/check-windows-resources.sh "build-win64/src/app/Orvana Firmware Updater.exe"
# scripts/build-windows.sh runs it on the executable that goes into the zip.
set -euo pipefail
exe="${1:?usage: $0 EXECUTABLE}"
command -v wrestool >/dev/null || { echo "check-windows-resources: wrestool is missing (package icoutils)" >&2; exit 1; }
[ -f "$exe" ] || { echo "check-windows-resources: no such file: $exe" >&2; exit 1; }

# The version numbers stay at zero: the operator reads the version in the window title. File type 2 is what
# the version block has always said, though it is the value for a library.
expected=$(cat <<'EOF'
resource type 3 name 1 language 1033
resource type 14 name IDI_ICON1 language 1033
resource type 16 name 1 language 1033
icon group: 1 entry
icon group entry: width 0 (256), height 179, colours 0, planes 1, bits 32, bytes 189064, icon 1
icon 1: bytes 189064, header 40, width 256, height 358 (image and mask), planes 1, bits 32
version fixed: file 0.0.0.0, product 0.0.0.0, flags mask 0x3f, flags 0x0, os 0x4, type 0x2, subtype 0x0, date 0
version 040904b0 CompanyName: ""
version 040904b0 FileDescription: ""
version 040904b0 FileVersion: "0.0.0.0"
version 040904b0 LegalCopyright: ""
version 040904b0 OriginalFilename: "Orvana Firmware Updater.exe"
version 040904b0 ProductName: "Orvana Firmware Updater"
version 040904b0 ProductVersion: "0.0.0.0"
version translation: language 0x0409, code page 0x04b0
EOF
)

extract() { wrestool -x --raw "$@" "$exe"; }
describe() {
    wrestool -l "$exe" | sed -n "s/^--type=\([0-9]*\) --name='\{0,1\}\([^' ]*\)'\{0,1\} --language=\([0-9]*\) .*/resource type \1 name \2 language \3/p" |
        sort -k3,3n
    extract --type=14 --name=IDI_ICON1 | perl -0777 -ne '
        length or die "icon group IDI_ICON1: missing\n";
        my ($reserved, $type, $count) = unpack "v3", $_;
        print "icon group: $count ", ($count == 1 ? "entry" : "entries"), "\n";
        for my $i (0 .. $count - 1) {
            my ($w, $h, $colours, $r, $planes, $bits, $bytes, $id) = unpack "C4 v2 V v", substr($_, 6 + 14 * $i, 14);
            printf "icon group entry: width %d (%d), height %d, colours %d, planes %d, bits %d, bytes %d, icon %d\n",
                $w, $w || 256, $h || 256, $colours, $planes, $bits, $bytes, $id;
        }'
    extract --type=3 --name=1 | perl -0777 -ne '
        length or die "icon 1: missing\n";
        my ($header, $w, $h, $planes, $bits) = unpack "V l l v v", $_;
        printf "icon 1: bytes %d, header %d, width %d, height %d (image and mask), planes %d, bits %d\n",
            length, $header, $w, $h, $planes, $bits;'
    extract --type=16 --name=1 | perl -0777 -ne '
        use Encode;
        length or die "version block: missing\n";
        my $data = $_;
        sub align { ($_[0] + 3) & ~3 }
        # One node of the version tree: length, value length, type (1: text), key, value, children.
        sub node {
            my ($at, @path) = @_;
            my ($length, $valueLength, $text) = unpack "v3", substr($data, $at, 6);
            my $end = index($data, "\0\0", $at + 6);
            $end++ while ($end - $at) % 2;
            my $key = decode("UTF-16LE", substr($data, $at + 6, $end - $at - 6));
            my $value = align($end + 2);
            my $bytes = $text ? 2 * $valueLength : $valueLength;
            if (!@path) {
                my @f = unpack "V13", substr($data, $value, 52);
                printf "version fixed: file %d.%d.%d.%d, product %d.%d.%d.%d, flags mask 0x%x, flags 0x%x, "
                     . "os 0x%x, type 0x%x, subtype 0x%x, date %d\n", $f[2] >> 16, $f[2] & 0xffff, $f[3] >> 16,
                     $f[3] & 0xffff, $f[4] >> 16, $f[4] & 0xffff, $f[5] >> 16, $f[5] & 0xffff, @f[6 .. 10],
                     ($f[11] << 32) | $f[12];
                print "version signature wrong\n" unless $f[0] == 0xfeef04bd;
            } elsif (@path == 3 && $path[1] eq "StringFileInfo") {
                (my $string = decode("UTF-16LE", substr($data, $value, $bytes))) =~ s/\0+$//;
                print "version $path[2] $key: \"$string\"\n";
            } elsif ($key eq "Translation") {
                printf "version translation: language 0x%04x, code page 0x%04x\n", unpack "v2", substr($data, $value, 4);
            }
            for (my $child = align($value + $bytes); $child < $at + $length; ) {
                my $childLength = unpack "v", substr($data, $child, 2) or last;
                node($child, @path, $key);
                $child = align($child + $childLength);
            }
        }
        node(0);'
}

found="$(describe 2>&1)" || true
if ! difference="$(diff <(echo "$expected") <(echo "$found"))"; then
    echo "check-windows-resources: the resources of $exe differ from what the updater must carry" >&2
    echo "(< expected, > found)" >&2
    echo "$difference" >&2
    exit 1
fi
echo "Resources of $(basename "$exe"): icon group IDI_ICON1 (256 x 179, 32 bits) and version block as required"
