#!/usr/bin/env bash
# Times bootgraft patching the CD CHD of about 650 MB that bench/make_chd.sh
# makes, against `chdman verify -i` on the same file (which also decodes
# every hunk and hashes the image), and against the round trip without
# bootgraft's CHD support: extractcd, the patch of the extracted image,
# createcd. Building the CHD takes minutes; the round trip is timed once, the
# rest three times (median).
# usage: bench/chd.sh [bootgraft binary] [existing CD CHD to use instead]
set -euo pipefail
tool=$(realpath "${1:-build/release/bootgraft}")
for needed in chdman genisoimage; do
    command -v "$needed" > /dev/null || { echo "needs $needed: apt-get install mame-tools genisoimage"; exit 1; }
done
source_chd=${2:+$(realpath "$2")}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d -p "${TMPDIR:-/var/tmp}")
trap 'rm -rf "$work"' EXIT
cd "$work"
for i in 1 2 3; do head -c 32768 /dev/urandom > "ip$i.bin"; done

if [[ -n $source_chd ]]; then cp "$source_chd" disc.chd; else bash "$here/make_chd.sh" disc.chd; fi

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
