#!/usr/bin/env bash
# Times bootgraft against the dd command that writes the same 32768 bytes:
# on a 1 MiB ISO, on a sparse 4.7 GB one, and on a raw vcdimager image whose
# every sector has live EDC/ECC, so that each run recomputes 16 sectors' codes.
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

median() { awk -F, -v name="$2" '$1 == name { print $4 }' "$1"; }

printf '%-10s %12s %12s %8s\n' image "bootgraft ms" "dd ms" ratio
for image in small.iso large.iso raw.bin; do
    cp --sparse=always "$image" "dd-$image"  # dd's own copy: it would break raw.bin's framing
    hyperfine --shell=none --style none --warmup 20 --runs 300 --export-csv "$image.csv" \
        -n bootgraft "$tool $image ip.bin" \
        -n dd "dd if=ip.bin of=dd-$image bs=2048 count=16 conv=notrunc status=none" \
        2> "$image.err" || { cat "$image.err"; exit 1; }
    ours=$(median "$image.csv" bootgraft)
    theirs=$(median "$image.csv" dd)
    awk -v i="$image" -v a="$ours" -v b="$theirs" \
        'BEGIN { printf "%-10s %12.3f %12.3f %8.2f\n", i, a * 1000, b * 1000, a / b }'
done
awk -v a="$(median small.iso.csv bootgraft)" -v b="$(median large.iso.csv bootgraft)" \
    'BEGIN { printf "bootgraft large/small: %.2f\n", b / a }'
