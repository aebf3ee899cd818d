#!/usr/bin/env bash
# Makes the CD CHD the benchmarks patch (bench/chd.sh, bench/web.sh): chdman createcd with its
# default codecs (cdlz, cdzl, cdfl) around a genisoimage volume of about 650 MB, random files
# (which stay as they are compressed) and text and zeros (which shrink). Takes minutes.
# usage: bench/make_chd.sh OUT.chd
set -euo pipefail
out=$(realpath -m "$1")
work=$(mktemp -d -p "${TMPDIR:-/var/tmp}")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir tree
for i in 1 2 3; do head -c $((120 << 20)) /dev/urandom > "tree/noise$i"; done
{ seq 1 30000000 || true; } | head -c $((150 << 20)) > tree/numbers  # seq stops at the pipe's close
head -c $((140 << 20)) /dev/zero > tree/zeros
genisoimage -quiet -V BENCH -o vol.iso tree && rm -r tree
echo "making the CHD (minutes)"
chdman createcd -i vol.iso -o "$out" > /dev/null 2>&1
