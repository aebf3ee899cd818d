#!/usr/bin/env bash
# Times bootgraft patching a CD CHD of about 650 MB that chdman createcd
# makes with its default codecs, against `chdman verify -i` on the same file
# (which also decodes every hunk and hashes the image), and against the round
# trip without bootgraft's CHD support: extractcd, the patch of the
# extracted image, createcd. The volume holds random files (which stay as
# they are compressed) and text and zeros (which shrink). Building the CHD
# takes minutes; the round trip is timed once, the rest three times (median).
# usage: bench/chd.sh [bootgraft binary] [existing CD CHD to use instead]
set -euo pipefail
tool=$(realpath "${1:-build/release/bootgraft}")
for needed in chdman genisoimage; do
    command -v "$needed" > /dev/null || { echo "needs $needed: apt-get install mame-tools genisoimage"; exit 1; }
done
source_chd=${2:+$(realpath "$2")}
work=$(mktemp -d -p "${TMPDIR:-/var/tmp}")
trap 'rm -rf "$work"' EXIT
cd "$work"
for i in 1 2 3; do head -c 32768 /dev/urandom > "ip$i.bin"; done

if [[ -z $source_chd ]]; then
    mkdir tree
    for i in 1 2 3; do head -c $((120 << 20)) /dev/urandom > "tree/noise$i"; done
    seq 1 30000000 | head -c $((150 << 20)) > tree/numbers
    head -c $((140 << 20)) /dev/zero > tree/zeros
    genisoimage -quiet -V BENCH -o vol.iso tree && rm -r tree
    echo "making the CHD (minutes)"
    chdman createcd -i vol.iso -o disc.chd > /dev/null 2>&1 && rm vol.iso
    source_chd=$PWD/disc.chd
fi
cp "$source_chd" disc.chd

seconds() {  # command...: its wall-clock time in seconds
    local start end
    start=$(date +%s.%N) && "$@" > /dev/null 2>&1 && end=$(date +%s.%N)
    echo "$end - $start" | bc
}
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }

# Each run a new ip: the same one again changes no hunk, and the file is left as it is.
verify=() patch=()
for i in 1 2 3; do
    verify+=("$(seconds chdman verify -i disc.chd)")
    patch+=("$(seconds "$tool" disc.chd "ip$i.bin")")
done
round_trip() {
    chdman extractcd -i disc.chd -o out.cue -ob out.bin && "$tool" out.cue ip1.bin &&
        chdman createcd -f -i out.cue -o again.chd
}
trip=$(seconds round_trip)
v=$(median "${verify[@]}") p=$(median "${patch[@]}")
printf '%-28s %8s s\n' "chdman verify -i" "$v" "bootgraft" "$p" "extractcd, patch, createcd" "$trip"
printf 'bootgraft / verify: %.2f   bootgraft / round trip: %.3f\n' \
    "$(echo "$p / $v" | bc -l)" "$(echo "$p / $trip" | bc -l)"
