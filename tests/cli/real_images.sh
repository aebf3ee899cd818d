#!/usr/bin/env bash
# Patches images that genisoimage and vcdimager (live EDC/ECC in every sector) made, and reads them back with isoinfo
# and bchunk. $1: bootgraft; $RUNNER, if set, runs it (qemu-user for a cross build).
set -euo pipefail
tool=$(realpath "$1")
for p in genisoimage isoinfo bchunk vcdimager ffmpeg; do command -v "$p" > /dev/null || { echo "SKIP: no $p"; exit 77; }; done
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work"

fail() { echo "FAIL: $*"; exit 1; }
bytes() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" status=none; }
patch() { [ "$(${RUNNER:-} "$tool" "$1" "$2")" = "sector size:$3" ] || fail "$1: not patched as $3"; }
system_area() { for i in $(seq 0 15); do bytes "$3" $((i * $1 + $2)) 2048; done; }  # sector size, data offset, image
check_volume() {  # ISO
    isoinfo -d -i "$1" | grep -q '^Volume id: BOOTGRAFT$' || fail "$1: volume descriptor lost"
    isoinfo -i "$1" -x '/NUMBERS.TXT;1' | cmp -s - tree/numbers.txt || fail "$1: a file differs"
    cmp -s <(head -c 32768 "$1") ip.bin || fail "$1: system area is not the ip file"
}

head -c 32768 /dev/urandom > ip.bin
mkdir tree && seq 1 50000 > tree/numbers.txt
genisoimage -quiet -V BOOTGRAFT -o made.iso tree
ffmpeg -loglevel error -f lavfi -i testsrc=s=352x240:r=30000/1001 -t 1 -target ntsc-vcd -an video.mpg
vcd=(vcdimager -q -l BOOTGRAFT "--add-file=tree/numbers.txt,NUMBERS.TXT" video.mpg)
"${vcd[@]}" -c vcd.cue -b vcd.bin > /dev/null 2>&1
"${vcd[@]}" --sector-2336 -c vcd36.cue -b vcd36.bin > /dev/null 2>&1
# vcdimager's System Area is zeros, on which a wrong CRC can come out right: these images begin at its sector 16
# (ISO 9660 and VideoCD files, Form 1) and 450 (MPEG, Form 2).
bytes vcd.bin $((16 * 2352)) $((736 * 2352)) > form1.bin
bytes vcd36.bin $((16 * 2336)) $((736 * 2336)) > form1-36.bin
bytes vcd.bin $((450 * 2352)) $((302 * 2352)) > form2.bin

# With the ip file, each holds it, and only sectors 0-15 changed, in all their codes (16 x 280 bytes in Form 1, 16 x 4
# in Form 2, save chance); patched back with its own System Area, it is vcdimager's file again, codes and all.
for image in "form1.bin 2352 24 4300" "form1-36.bin 2336 8 4300" "form2.bin 2352 24 60"; do
    read -r file size offset least <<< "$image" && cp "$file" "p-$file" && system_area "$size" "$offset" "$file" > own.ip
    patch "p-$file" ip.bin "$size"
    system_area "$size" "$offset" "p-$file" | cmp -s - ip.bin || fail "$file: ip misplaced"
    { cmp -l "$file" "p-$file" || true; } | awk -v s="$size" -v o="$offset" -v least="$least" '
        { at = ($1 - 1) % s } $1 > 16 * s { bad = 1 } at < o || at >= o + 2048 { codes++ }
        END { exit bad || codes < least }' || fail "$file: codes kept, or bytes past sector 15 changed"
    patch "p-$file" own.ip "$size"
    cmp -s "$file" "p-$file" || fail "$file: patched back, it is not vcdimager's file"
done
# Read back by bchunk and isoinfo: the vcdimager image, and a plain ISO as genisoimage made it.
patch vcd.bin ip.bin 2352 && bchunk vcd.bin vcd.cue vcd-track > /dev/null && check_volume vcd-track01.iso
patch made.iso ip.bin 2048 && check_volume made.iso
