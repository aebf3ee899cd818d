#!/usr/bin/env bash
# Times bootgraft against the dd command that writes the same 32768 bytes:
# on a 1 MiB ISO, on a sparse 4.7 GB one, and on a raw vcdimager image whose
# every sector has live EDC/ECC, so that each run recomputes 16 sectors' codes;
# then on containers that hold that image as their data track: an Enhanced CD
# through its cue sheet (music first), a disc-at-once Nero image (its pregap
# stored first) and an Alcohol image with 96 bytes of subchannel a sector.
# usage: bench/compare_dd.sh [bootgraft binary]   (default: build/release/bootgraft)
set -euo pipefail
tool=$(realpath "${1:-build/release/bootgraft}")
for needed in hyperfine vcdimager ffmpeg; do
    command -v "$needed" > /dev/null || { echo "needs $needed: apt-get install $needed"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 32768 /dev/urandom > ip.bin
truncate -s 1M small.iso
truncate -s $((2295000 * 2048)) large.iso  # 4.7 GB, a multiple of 2048 only
ffmpeg -loglevel error -f lavfi -i color=black:s=352x240:r=30000/1001 -t 1 -target ntsc-vcd -an black.mpg
vcdimager -q -c raw.cue -b raw.bin black.mpg > /dev/null 2>&1

be() { for ((i = $2 - 1; i >= 0; i--)); do printf '%b' "$(printf '\\0%03o' $((($1 >> 8 * i) & 255)))"; done; }
le() { for ((i = 0; i < $2; i++)); do printf '%b' "$(printf '\\0%03o' $((($1 >> 8 * i) & 255)))"; done; }
size=$(stat -c %s raw.bin)
{ head -c $((300 * 2352)) /dev/zero; cat raw.bin; } > enhanced.bin
printf 'FILE "enhanced.bin" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\nREM SESSION 02\n TRACK 02 MODE2/2352\n  INDEX 01 00:04:00\n' > enhanced.cue
{ head -c $((150 * 2352)) /dev/zero; cat raw.bin; printf DAOX; be 64 4; head -c 20 /dev/zero; printf '\1\1'
  head -c 12 /dev/zero; be 2352 2; printf '\6\0\0\0'; be 0 8; be $((150 * 2352)) 8; be $((150 * 2352 + size)) 8
  printf 'END!'; be 0 4; printf NER5; be $((150 * 2352 + size)) 8; } > dao.nrg
perl -e 'while (read(STDIN, $s, 2352)) { print $s, "\0" x 96 }' < raw.bin > sub.mdf
{ printf 'MEDIA DESCRIPTOR\1\5'; le 0 2; le 1 2; head -c 58 /dev/zero; le 88 4; head -c 4 /dev/zero
  le 0 4; le $((size / 2352)) 4; le 1 2; le 1 1; head -c 9 /dev/zero; le 112 4       # session
  printf '\xAB\x08\0\0\1'; head -c 11 /dev/zero; le 2448 2; head -c 18 /dev/zero  # entry
  le 0 4; le 0 8; head -c 4 /dev/zero; le 192 4; head -c 24 /dev/zero
  le 208 4; le 0 4; head -c 8 /dev/zero; printf '*.mdf\0'; } > sub.mds

median() { awk -F, -v name="$2" '$1 == name { print $4 }' "$1"; }

printf '%-13s %12s %12s %8s\n' image "bootgraft ms" "dd ms" ratio
# Each image, and the file and byte where its data track starts, which dd writes.
for case in small.iso:small.iso:0 large.iso:large.iso:0 raw.bin:raw.bin:0 \
    enhanced.cue:enhanced.bin:$((300 * 2352)) dao.nrg:dao.nrg:$((150 * 2352)) sub.mds:sub.mdf:0; do
    IFS=: read -r image data at <<< "$case"
    cp --sparse=always "$data" "dd-$data"  # dd's own copy: it would break the framing
    hyperfine --shell=none --style none --warmup 20 --runs 300 --export-csv "$image.csv" \
        -n bootgraft "$tool $image ip.bin" \
        -n dd "dd if=ip.bin of=dd-$data bs=2048 count=16 seek=$at oflag=seek_bytes conv=notrunc status=none" \
        2> "$image.err" || { cat "$image.err"; exit 1; }
    ours=$(median "$image.csv" bootgraft)
    theirs=$(median "$image.csv" dd)
    awk -v i="$image" -v a="$ours" -v b="$theirs" \
        'BEGIN { printf "%-13s %12.3f %12.3f %8.2f\n", i, a * 1000, b * 1000, a / b }'
done
awk -v a="$(median small.iso.csv bootgraft)" -v b="$(median large.iso.csv bootgraft)" \
    'BEGIN { printf "bootgraft large/small: %.2f\n", b / a }'
