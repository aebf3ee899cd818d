#!/usr/bin/env bash
# Times bootgraft-extract against the dd command that copies 16 blocks of
# 2048 bytes to a new file: on a 1 MiB ISO and on a raw vcdimager image
# (where extraction also skips each sector's framing, which dd copies).
# Each run writes a new file, as bootgraft-extract never overwrites one.
# usage: bench/extract_dd.sh [bootgraft-extract binary]   (default: build/release/bootgraft-extract)
set -euo pipefail
tool=$(realpath "${1:-build/release/bootgraft-extract}")
for needed in hyperfine vcdimager ffmpeg; do
    command -v "$needed" > /dev/null || { echo "needs $needed: apt-get install $needed"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
truncate -s 1M small.iso
ffmpeg -loglevel error -f lavfi -i color=black:s=352x240:r=30000/1001 -t 1 -target ntsc-vcd -an black.mpg
vcdimager -q -c raw.cue -b raw.bin black.mpg > /dev/null 2>&1

median() { awk -F, -v name="$2" '$1 == name { print $4 }' "$1"; }

printf '%-10s %12s %12s %8s\n' image "extract ms" "dd ms" ratio
for image in small.iso raw.bin; do
    hyperfine --shell=none --style none --warmup 20 --runs 300 --export-csv "$image.csv" \
        --prepare "rm -f out.bin" -n extract "$tool $image out.bin" \
        -n dd "dd if=$image of=out.bin bs=2048 count=16 skip=0 status=none" \
        2> "$image.err" || { cat "$image.err"; exit 1; }
    ours=$(median "$image.csv" extract)
    theirs=$(median "$image.csv" dd)
    awk -v i="$image" -v a="$ours" -v b="$theirs" \
        'BEGIN { printf "%-10s %12.3f %12.3f %8.2f\n", i, a * 1000, b * 1000, a / b }'
done
