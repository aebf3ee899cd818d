#!/usr/bin/env bash
# Patches CHDs that chdman made around genisoimage and vcdimager volumes, and reads each back with
# chdman: verify (both SHA1s, every hunk's CRC) and extractcd (the ip in the data track's sectors
# 0-15, every other byte as before), and with bootgraft-extract. $1, $2: bootgraft and
# bootgraft-extract; $RUNNER, if set, runs them (Wine for the Windows build).
set -euo pipefail
bin=$(realpath "$1") && bin_extract=$(realpath "$2")
# shellcheck source=tests/web/keep_case.sh
. "$(dirname "$0")/../web/keep_case.sh" "$bin_extract"
tool() { ${RUNNER:-} "$bin" "$@" | tr -d '\r'; }
take() { ${RUNNER:-} "$bin_extract" "$@"; }
for p in chdman genisoimage vcdimager ffmpeg setpriv; do command -v $p > /dev/null || { echo "SKIP: no $p"; exit 77; }; done
work=$(mktemp -d) && chmod 755 "$work" && trap 'umount "$work/fixed.chd" 2> /dev/null || true; rm -rf "$work"' EXIT && cd "$work"

fail() { echo "FAIL: $*"; exit 1; }
bytes() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" status=none; }
frames() {  # ISO, subcode bytes: raw Mode 1 frames around its sectors, codes zero
    printf '\0\377\377\377\377\377\377\377\377\377\377\0\0\2\0\1' > sync && head -c 288 /dev/zero > pad
    mkdir -p s && split -a 4 -b 2048 "$1" s/ && head -c $(($(stat -c %s "$1") * $2 / 2048)) /dev/urandom > subcodes
    for f in s/*; do cat sync "$f" pad; head -c "$2"; done < subcodes && rm -r s
}
extract() {  # CHD, cue or toc (which keeps subcode) or dvd, name
    if [[ $2 = dvd ]]; then chdman extractraw -f -i "$1" -o "$3.bin"; else chdman extractcd -f -i "$1" -o "$3.$2" -ob "$3.bin"; fi > /dev/null 2>&1 || fail "$1: chdman extracts nothing"
}

head -c 32768 /dev/urandom > ip.bin && head -c 32768 /dev/urandom > ip2.bin
mkdir tree && head -c 200000 /dev/urandom > tree/noise && head -c 200000 /dev/zero > tree/zeros
seq 1 30000 > tree/numbers && genisoimage -quiet -V CHD -o vol.iso tree
frames vol.iso 0 > raw.bin && frames vol.iso 96 > sub.bin && head -c $((299 * 2352)) /dev/urandom > audio.bin
printf 'FILE "raw.bin" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n' > raw.cue
printf 'FILE "audio.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n' > audio.cue
printf 'FILE "vol.iso" BINARY\n  TRACK 02 MODE1/2048\n    INDEX 01 00:00:00\n' >> audio.cue
n=$(($(stat -c %s vol.iso) / 2048))
printf 'CD_ROM\nTRACK MODE1_RAW RW_RAW\nDATAFILE "sub.bin" %02d:%02d:%02d\n' $((n / 4500)) $((n / 75 % 60)) $((n % 75)) > sub.toc
ffmpeg -loglevel error -f lavfi -i testsrc=s=352x240:r=30000/1001 -t 1 -target ntsc-vcd -an video.mpg
vcdimager -q -l CHD --add-file=tree/numbers,NUMBERS.TXT video.mpg -c vcd.cue -b vcd.bin > /dev/null 2>&1
chdman createraw -i vol.iso -o noncd.chd -hs 4096 -us 2048 -c none > /dev/null 2>&1 && cp noncd.chd dvd.img
chdman addmeta -i dvd.img -t 'DVD ' -vt '' > /dev/null 2>&1 && chdman createhd -i vol.iso -o hd.chd > /dev/null 2>&1

# Source; in the extracted bin, where the data track starts, its sector size and user data offset,
# and whether its sectors carry live codes the patch recomputes; createcd's options (a .img source
# is a DVD CHD already, copied with them, and keeps its name: a CHD whatever its name).
while read -r source start size offset codes options; do
    name=${source%.*}${options// /}.chd && sheet=cue && [[ $source != *.toc ]] || sheet=toc
    # shellcheck disable=SC2086 # the options are words
    if [[ $source = *.img ]]; then
        name=${source%.*}${options//[ ,]/}.img && sheet=dvd && chdman copy -i "$source" -o "$name" $options > /dev/null 2>&1
    else chdman createcd -i "$source" -o "$name" $options > /dev/null 2>&1; fi || fail "$name: chdman made none"
    extract "$name" "$sheet" before
    for ip in ip.bin ip2.bin; do
        cp "$name" was
        { out=$(tool "$name" "$ip") && [[ $out = "sector size:$size" ]]; } || fail "$name: status $?, printed '$out'"
        keep_case was "$name" "$ip" 0 "$out"
        chdman verify -i "$name" > /dev/null 2>&1 || fail "$name: verify fails after $ip"
        extract "$name" "$sheet" after
        for ((i = 0; i < 16; i++)); do bytes after.bin $((start + i * size + offset)) 2048; done |
            cmp -s - "$ip" || fail "$name: $ip is not the user data of sectors 0-15"
        take "$name" - 2> /dev/null | cmp -s - "$ip" || fail "$name: bootgraft-extract reads no $ip"
        { cmp -l before.bin after.bin || true; } | awk -v o="$start" -v s="$size" -v d="$offset" -v c="$codes" '
            { p = $1 - 1 - o; at = p % s } p < 0 || p >= 16 * s || (at < d || at >= d + 2048) && !(c && at >= d + 2048) { exit 1 }' ||
            fail "$name: bytes beside the user data of sectors 0-15 changed"
        sizes+=("$(stat -c %s "$name")")
    done
    ((sizes[1] - sizes[0] < 4096 && sizes[0] - sizes[1] < 4096)) || fail "$name: a second patch grew it: ${sizes[*]}"
    sizes=()
done << 'EOF_CASES'
vol.iso 0 2048 0 0
vol.iso 0 2048 0 0 -c none
vol.iso 0 2048 0 0 -c cdzl
vol.iso 0 2048 0 0 -c cdlz
vol.iso 0 2048 0 0 -c cdfl
raw.cue 0 2352 16 0
raw.cue 0 2352 16 0 -hs 7344
audio.cue 703248 2048 0 0
sub.toc 0 2448 16 0
vcd.cue 0 2352 24 1 -c cdzl
dvd.img 0 2048 0 0 -c lzma,zlib,huff,flac
dvd.img 0 2048 0 0 -c none
EOF_CASES

# Refused, the file as it was, nothing extracted: a damaged header (version 9), a raw and a hard
# disk CHD, a track of 10 sectors; a .chd without the signature is a plain image.
cp vol.chd bad.chd && printf '\11' | dd of=bad.chd bs=1 seek=15 conv=notrunc status=none
head -c 20480 /dev/zero > tiny.iso && chdman createcd -i tiny.iso -o tiny.chd > /dev/null 2>&1
while read -r f said; do
    cp "$f" kept && out=$(tool "$f" ip.bin) && fail "$f: patched"
    keep_case kept "$f" ip.bin 255 "$out"
    { [[ $out = "$said" ]] && cmp -s "$f" kept; } || fail "$f: printed '$out', or changed"
    out=$(take "$f" out.ip 2>&1 | tr -d '\r') && fail "$f: extracted"
    [[ $out = "$said" && ! -e out.ip ]] || fail "$f: extraction printed '$out' or left a file"
done << 'EOF_REFUSED'
bad.chd unknown image
noncd.chd unknown image
hd.chd unknown image
tiny.chd image size is too small
EOF_REFUSED
{ cp vol.iso plain.chd && [[ $(tool plain.chd ip.bin) = "sector size:2048" ]] && head -c 32768 plain.chd | cmp -s - ip.bin; } ||
    fail "a .chd without the signature is not patched as a plain image"

# A write that fails leaves the file as it was and nothing beside it: past a file-size limit, in a
# folder the user may not write to, and where only the last step fails: a rename over a mount point
# (where this user may bind one).
cp vol.chd kept.chd && mkdir ro && cp vol.chd ro/ && chmod 666 ro/vol.chd && chmod 555 ro && cp vol.chd fixed.chd && cp vol.chd under.chd
listing=$(find . | sort)
if [[ -z ${RUNNER:-} ]]; then  # neither a file-size limit nor setpriv reaches through a runner
    runs=("ulimit -f 64; exec \"$bin\" vol.chd ip.bin" "exec setpriv --reuid=nobody --regid=nogroup --clear-groups \"$bin\" ro/vol.chd ip.bin")
    ! mount --bind under.chd fixed.chd 2> /dev/null || runs+=("exec \"$bin\" fixed.chd ip.bin")
    for run in "${runs[@]}"; do
        out=$(bash -c "$run") && fail "$run: succeeded"
        [[ $out = "sector size:2048"$'\n'"can't write image("*".chd)" ]] || fail "$run: printed '$out'"
    done
    umount fixed.chd 2> /dev/null || true
    { cmp -s vol.chd kept.chd && cmp -s ro/vol.chd kept.chd && cmp -s fixed.chd kept.chd && cmp -s under.chd kept.chd; } || fail "a failed write changed the file"
    [[ $(find . | sort) = "$listing" ]] || fail "a failed write left a file behind"
    # The new file is made beside the old one: its folder may be the only one the user can write to.
    mkdir -p up/in && cp vol.chd up/in/ && chmod 777 up/in && chmod 666 up/in/vol.chd && chmod 555 up
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$bin" up/in/vol.chd ip.bin > /dev/null || fail "not patched in its own folder"
fi

# A damaged hunk past the System Area, and one of it (hunk 0, after the header and the one track's metadata): one line,
# the file as it was, nothing left beside it.
for at in $(($(stat -c %s vol.chd) / 2)) $((142 + $(od -An -tu1 -j129 -N3 vol.chd | awk '{ print $1 * 65536 + $2 * 256 + $3 }'))); do
    cp vol.chd dam.chd && printf '\377\0\377\0' | dd of=dam.chd bs=1 seek="$at" conv=notrunc status=none
    cp dam.chd kept && listing=$(ls -A)
    { [[ $(tool dam.chd ip.bin) = "unknown image" && $(ls -A) = "$listing" ]] && cmp -s dam.chd kept; } || fail "a damaged hunk at $at: not refused whole"
done

# Interrupted or killed while the new file is written (a large one, so that the run is caught at it):
# after an interrupt the CHD is as it was and nothing is left; what a killed run left, the next run clears. First, a run
# waiting for the lock (held here) takes the file another run renamed over the one it read: damaged, it says so; and one
# started with stdin closed, as a daemon may start it, opens its files from descriptor 0.
if [[ -z ${RUNNER:-} ]]; then
    { [[ $("$bin" plain.chd ip2.bin <&-) = "sector size:2048" ]] && head -c 32768 plain.chd | cmp -s - ip2.bin; } || fail "stdin closed: not patched"
    cp vol.chd held.chd && exec {lock}< held.chd && flock "$lock"; "$bin" held.chd ip.bin > said {lock}<&- & pid=$!
    while kill -0 $pid 2> /dev/null && ! grep -q -- "-> FLOCK  ADVISORY  WRITE $pid " /proc/locks; do sleep 0.01; done
    mv dam.chd held.chd && exec {lock}<&-
    { ! wait $pid && [[ $(< said) = "unknown image" ]]; } || fail "a damaged file renamed over a waiting run's: '$(< said)'"
    head -c 200M /dev/urandom > big.iso && chdman createraw -i big.iso -o big.chd -hs 4096 -us 2048 -c none > /dev/null 2>&1 && rm big.iso
    chdman addmeta -i big.chd -t 'DVD ' -vt '' > /dev/null 2>&1 && sum=$(cksum < big.chd) && listing=$(ls -A)
    for signal in INT TERM KILL; do
        env --default-signal=INT "$bin" big.chd ip.bin > /dev/null & pid=$!  # as a terminal's job would
        while kill -0 $pid 2> /dev/null && ! compgen -G '.big.chd.*.tmp' > /dev/null; do sleep 0.01; done
        { kill -s $signal $pid && ! wait $pid; } 2> /dev/null || fail "SIG$signal: the run was not caught writing"
        [[ $(cksum < big.chd) = "$sum" ]] || fail "SIG$signal: the CHD changed"
        [[ $signal = KILL || $(ls -A) = "$listing" ]] || fail "SIG$signal: left $(ls -A)"
    done
    compgen -G '.big.chd.*.tmp' > /dev/null || fail "SIGKILL: no file left to clear"
    [[ $("$bin" big.chd ip.bin) = "sector size:2048" && $(ls -A) = "$listing" ]] || fail "what a killed run left stays"
    take big.chd - 2> /dev/null | cmp -s - ip.bin || fail "not patched after a killed run"
    rm big.chd
fi

# Two runs at once: one after the other, the last one's ip whole in a valid file. Where a rename
# cannot replace an open file (Wine), the first run gives way to the second and says so.
tool vol.chd ip.bin > /dev/null & tool vol.chd ip2.bin > /dev/null || [[ -n ${RUNNER:-} ]]
wait $! || [[ -n ${RUNNER:-} ]]
chdman verify -i vol.chd > /dev/null 2>&1 || fail "two runs at once: verify fails"
extract vol.chd cue after && head -c 32768 after.bin > area
cmp -s area ip.bin || cmp -s area ip2.bin || fail "two runs at once: no whole ip"
