#!/usr/bin/env bash
# Builds CHDs with chdman around genisoimage and vcdimager volumes (each layout, codec set and
# hunk size chdman makes) and reads them with the CHD library: every hunk must decode to the
# data whose SHA1 chdman stored, the tracks must lie where the frames put them, and the map,
# coded again by the writer, must be chdman's byte for byte. $1: chd_check; $RUNNER, if set, runs it.
set -euo pipefail
reader=$(realpath "$1") && check() { ${RUNNER:-} "$reader" "$@"; }
for p in chdman genisoimage vcdimager ffmpeg; do command -v "$p" > /dev/null || { echo "SKIP: no $p"; exit 77; }; done
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

mkdir tree && seq 1 20000 > tree/numbers.txt && head -c 50000 /dev/urandom > tree/noise.bin
genisoimage -quiet -V CHD -o vol.iso tree 2> /dev/null
n=$(($(stat -c %s vol.iso) / 2048))
raw() {  # mode (1 or 2), subchannel bytes: vol.iso as raw sectors, codes zero
    local i h='\0\377\377\377\377\377\377\377\377\377\377\0\0\2\0'
    for ((i = 0; i < n; i++)); do
        printf '%b' "$h\\$1"; (($1 == 1)) || head -c 8 /dev/zero
        dd if=vol.iso bs=2048 skip=$i count=1 status=none; head -c $(($1 == 1 ? 288 : 280)) /dev/zero
        head -c "$2" /dev/urandom
    done
}
raw 1 0 > raw1.bin && raw 2 0 > raw2.bin && raw 1 96 > sub.bin
head -c $((301 * 2352)) /dev/urandom > audio.bin
ffmpeg -loglevel error -f lavfi -i testsrc=s=352x240:r=30000/1001 -t 1 -target ntsc-vcd -an video.mpg
vcdimager -q -l CHD video.mpg -c vcd.cue -b vcd.bin > /dev/null 2>&1
track() { printf 'FILE "%s" BINARY\n  TRACK %02d %s\n    INDEX 01 00:00:00\n' "$@"; }
track vol.iso 1 MODE1/2048 > m1.cue
track raw1.bin 1 MODE1/2352 > r1.cue
track raw2.bin 1 MODE2/2352 > r2.cue
{ track audio.bin 1 AUDIO; track raw1.bin 2 MODE1/2352; } > ad.cue
printf 'CD_ROM\nTRACK MODE1_RAW RW_RAW\nDATAFILE "sub.bin" 00:%02d:%02d\n' $((n / 75)) $((n % 75)) > sub.toc

# CHD, source, chdman options, then the tracks: offset end sector-size data-offset shown data.
t1="0 $((n * 2448)) 2448"
cases=(
    "m1 m1.cue -c none|$t1 0 2048 1" "m1d m1.cue|$t1 0 2048 1" "m1z m1.cue -c cdzl|$t1 0 2048 1"
    "m1f m1.cue -c cdfl|$t1 0 2048 1" "m1h m1.cue -hs 97920|$t1 0 2048 1" "r1 r1.cue -c cdlz|$t1 16 2352 1"
    "r2 r2.cue|$t1 24 2352 1" "sub sub.toc|$t1 16 2448 1"
    "ad ad.cue|0 736848 2448 0 2352 0 744192 $((744192 + n * 2448)) 2448 16 2352 1"
    "vcd vcd.cue|0 734400 2448 24 2352 1 1101600 1840896 2448 24 2352 1"
)
for row in "${cases[@]}"; do
    read -r -a make <<< "${row%%|*}"
    chdman createcd -i "${make[1]}" -o "${make[0]}.chd" "${make[@]:2}" > /dev/null 2>&1 || fail "chdman made no ${make[0]}"
done
chdman createraw -i vol.iso -o dvd.chd -hs 4096 -us 2048 -c none > /dev/null 2>&1
chdman addmeta -i dvd.chd -t 'DVD ' -vt '' > /dev/null 2>&1
for c in zlib huff flac lzma lzma,zlib,huff,flac; do
    chdman copy -i dvd.chd -o "dvd-${c//,/}.chd" -c "$c" > /dev/null 2>&1 || fail "chdman made no dvd $c"
    cases+=("dvd-${c//,/}|0 $((n * 2048)) 2048 0 2048 1")
done
cases+=("dvd|0 $((n * 2048)) 2048 0 2048 1")

for row in "${cases[@]}"; do
    name=${row%% *} && name=${name%%|*}
    out=$(check "$name.chd") || fail "$name: $(tail -n 1 <<< "$out")"
    [[ $(head -n -1 <<< "$out" | tr '\n' ' ') = "${row#*|} " ]] || fail "$name: tracks $(head -n -1 <<< "$out")"
done
# chdman stores no SHA1 without compression: the data must equal the compressed files'.
[[ $(check m1.chd | tail -n 1) = "$(check m1d.chd | tail -n 1 | cut -d' ' -f1) unchecked" ]] || fail "m1: data differ"
[[ $(check dvd.chd | tail -n 1) = "$(check dvd-zlib.chd | tail -n 1 | cut -d' ' -f1) unchecked" ]] || fail "dvd: data differ"

# A damaged map or hunk is refused, never read as data.
size=$(stat -c %s m1d.chd)
for at in $((size - 3)) 2000; do
    cp m1d.chd bad.chd && printf '\x5a' | dd of=bad.chd bs=1 seek="$at" conv=notrunc status=none
    ! check bad.chd > /dev/null || fail "damage at $at went unnoticed"
done
echo "PASS: ${#cases[@]} CHDs"
