#!/usr/bin/env bash
# Times bootgraft against the dd command that writes the same 32768 bytes
# into a 2048-byte image, on a 1 MiB image and on a sparse 4.7 GB one.
# usage: bench/compare_dd.sh [bootgraft binary]   (default: build/release/bootgraft)
set -euo pipefail
tool=$(realpath "${1:-build/release/bootgraft}")
command -v hyperfine > /dev/null || { echo "needs hyperfine: apt-get install hyperfine"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
head -c 32768 /dev/urandom > ip.bin
truncate -s 1M small.iso
truncate -s $((2295000 * 2048)) large.iso  # 4.7 GB, a multiple of 2048 only

median() { awk -F, -v name="$2" '$1 == name { print $4 }' "$1"; }

printf '%-10s %12s %12s %8s\n' image "bootgraft ms" "dd ms" ratio
for image in small.iso large.iso; do
    hyperfine --shell=none --style none --warmup 20 --runs 300 --export-csv "$image.csv" \
        -n bootgraft "$tool $image ip.bin" \
        -n dd "dd if=ip.bin of=$image bs=2048 count=16 conv=notrunc status=none" \
        2> "$image.err" || { cat "$image.err"; exit 1; }
    ours=$(median "$image.csv" bootgraft)
    theirs=$(median "$image.csv" dd)
    awk -v i="$image" -v a="$ours" -v b="$theirs" \
        'BEGIN { printf "%-10s %12.3f %12.3f %8.2f\n", i, a * 1000, b * 1000, a / b }'
done
awk -v a="$(median small.iso.csv bootgraft)" -v b="$(median large.iso.csv bootgraft)" \
    'BEGIN { printf "bootgraft large/small: %.2f\n", b / a }'
