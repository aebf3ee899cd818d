#!/usr/bin/env bash
# Patches images made by genisoimage and checks them with the readers users
# have: isoinfo for the volume and its files, bchunk for raw .bin/.cue.
# usage: real_images.sh <bootgraft> <frame_mode2>
set -euo pipefail
tool=$1 frame=$2
for peer in genisoimage isoinfo bchunk; do
    command -v "$peer" > /dev/null || { echo "SKIP: $peer is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*"; exit 1; }

mkdir -p tree/docs tree/data/deep
seq 1 50000 > tree/numbers.txt
printf 'boot me\n' > tree/docs/readme.txt
head -c 300000 /dev/urandom > tree/data/deep/blob.bin
head -c 32768 /dev/urandom > ip.bin
genisoimage -quiet -R -V BOOTGRAFT -o made.iso tree

sectors() { echo $(($(stat -c %s "$1") / 2048)); }
# Pads with zero sectors up to a multiple of $2 sectors.
pad_to() { truncate -s $(((($(sectors "$1") + $2 - 1) / $2) * $2 * 2048)) "$1"; }

# The ISO as it must read after the patch: the ip file, then the rest as it was.
expected_iso() { cat ip.bin; tail -c +32769 "$1"; }

check_volume() {
    isoinfo -d -i "$1" | grep -q '^Volume id: BOOTGRAFT$' || fail "$1: volume descriptor lost"
    for file in numbers.txt docs/readme.txt data/deep/blob.bin; do
        isoinfo -R -i "$1" -x "/$file" | cmp -s - "tree/$file" || fail "$1: /$file differs"
    done
    cmp -s <(head -c 32768 "$1") ip.bin || fail "$1: system area is not the ip file"
}

patch() {  # image, expected sector size
    out=$("$tool" "$1" ip.bin) || fail "$1: exit status $?"
    [ "$out" = "sector size:$2" ] || fail "$1: said '$out'"
}

# A plain ISO, and one whose sector count is a multiple of 73 (its length
# then also fits 2336-byte sectors).
cp made.iso plain.iso
cp made.iso iso73.iso && pad_to iso73.iso 73
for iso in plain.iso iso73.iso; do
    expected_iso "$iso" > "$iso.expected"
    patch "$iso" 2048
    cmp -s "$iso" "$iso.expected" || fail "$iso: bytes past the system area changed"
    check_volume "$iso"
done

# Raw Mode 2 Form 1 images, one whose sector count is a multiple of 128 (its
# length then also fits 2048-byte sectors).
cp made.iso raw.iso
cp made.iso raw128.iso && pad_to raw128.iso 128
for iso in raw.iso raw128.iso; do
    bin=${iso%.iso}.bin
    "$frame" "$iso" "$bin"
    printf 'FILE "%s" BINARY\n  TRACK 01 MODE2/2352\n    INDEX 01 00:00:00\n' "$bin" > "${bin%.bin}.cue"
    expected_iso "$iso" > "$iso.expected"
    "$frame" "$iso.expected" "$bin.expected"
    patch "$bin" 2352
    cmp -s "$bin" "$bin.expected" || fail "$bin: framing or sectors past 15 changed"
    bchunk "$bin" "${bin%.bin}.cue" "${bin%.bin}-track" > /dev/null
    cmp -s "${bin%.bin}-track01.iso" "$iso.expected" || fail "$bin: bchunk did not extract the patched ISO"
    check_volume "${bin%.bin}-track01.iso"
done
echo "real images: 4 patched and verified"
