#!/usr/bin/env bash
# Builds cue, toc, Nero, CloneCD, Alcohol and DiscJuggler images around genisoimage volumes, patches each by naming its
# sheet or descriptor, and reads the result back with readers nobody here wrote: libcdio, bchunk, iat, ccd2iso, mdf2iso.
# bootgraft-extract ($2) reads each System Area out before the patch (genisoimage's -G put it there) and after it.
# $RUNNER, if set, runs both (qemu-user for a cross build).
set -euo pipefail
tool=$(realpath "$1") extract=$(realpath "$2")
# shellcheck source=tests/web/keep_case.sh
. "$(dirname "$0")/../web/keep_case.sh" "$extract"
for p in genisoimage bchunk cd-info cd-read iat ccd2iso mdf2iso toc2cue; do command -v "$p" > /dev/null || { echo "SKIP: no $p"; exit 77; }; done
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work"

fail() { echo "FAIL: $*"; exit 1; }
bytes() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" status=none; }
noise() { head -c $(($1 * $2)) /dev/urandom; }  # sectors, size: audio, or a pregap nobody reads
num() {  # byte order (le or be), width, values: each value as binary
    local e=0 w=$2 v i b; [ "$1" = le ] || e=1; shift 2
    for v; do for ((i = 0; i < w; i++)); do printf -v b '\\x%02x' $(((v >> 8 * (e ? w - 1 - i : i)) & 255)); printf '%b' "$b"; done; done
}
frame() {  # ISO, user-data offset (16 raw Mode 1, 24 raw Mode 2, 8 for 2336), subchannel bytes
    local i s='\0\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\0\0\x02\0' h  # codes stay zero, as the tool leaves
    h=([16]=$s'\x01' [24]=$s'\x02\0\0\x08\0\0\0\x08\0' [8]='\0\0\x08\0\0\0\x08\0')  # zero codes zero: a moved byte shows
    for ((i = 0; i < $(stat -c %s "$1") / 2048; i++)); do
        printf '%b' "${h[$2]}"; bytes "$1" $((i * 2048)) 2048; head -c $(($2 == 8 ? 280 : 304 - $2)) /dev/zero; head -c "$3" /dev/urandom
    done
}
vol() { genisoimage -quiet -no-pad -V "S$1" -C "0,$1" -G sa.bin -o "vol$1.iso" tree 2> /dev/null; }
seed() {  # the container as built, for the parsers' fuzz targets
    local end=${1##*.}; end=${end,,}; [[ -n ${BOOTGRAFT_SEEDS:-} && $end =~ ^(cue|toc|ccd|mds|nrg|cdi)$ ]] || return 0
    mkdir -p "$BOOTGRAFT_SEEDS/$end" && cp "$1" "$BOOTGRAFT_SEEDS/$end/${1%%/*}.$end"
}
taken() {  # case folder, container, expected line; the ip file it holds, unless refused
    local out status=0; out=$(${RUNNER:-} "$extract" "$1/$2" "$1.ip") || status=$?
    [[ $out = "$3" && $status = $(($# > 3 ? 0 : 255)) ]] || fail "$1: extracted with status $status, printed '$out'"
    if [ $# -gt 3 ]; then cmp -s "$1.ip" "$4" || fail "$1: extracted not $4"; rm "$1.ip"; else [ ! -e "$1.ip" ] || fail "$1: refused, yet extracted"; fi
}
run() {  # case folder, container, expected line; to patch: track file, its byte offset, data offset
    local c=$1 out status=0 size=${3#sector size:} i
    seed "$c/$2" && cp -a "$c" "$c.orig" && taken "$c" "$2" "$3" ${4:+sa.bin}
    out=$(${RUNNER:-} "$tool" "$c/$2" ip.bin) || status=$?
    keep_case "$c.orig" "$c/$2" ip.bin "$status" "$out"
    [[ $out = "$3" && $status = $(($# > 3 ? 0 : 255)) ]] || fail "$c: status $status, printed '$out', not '$3'"
    [ $# -gt 3 ] || { diff -r --no-dereference "$c.orig" "$c" > /dev/null || fail "$c: refused, yet changed"; return; }
    for ((i = 0; i < 16; i++)); do bytes "$c/$4" $(($5 + i * size + $6)) 2048; done |
        cmp -s - ip.bin || fail "$c: the ip is not the user data of the track's sectors 0-15"
    { cmp -l "$c.orig/$4" "$c/$4" 2>&1 || true; } | awk -v o="$5" -v s="$size" -v d="$6" '
        { p = $1 - 1 - o; at = p % s } $1 !~ /^[0-9]+$/ || p < 0 || p >= 16 * s || at < d || at >= d + 2048 { exit 1 }' ||
        fail "$c: bytes outside the user data of the track's sectors 0-15 changed"
    diff -r --no-dereference -x "$4" "$c.orig" "$c" > /dev/null || fail "$c: another file changed"
    taken "$c" "$2" "$3" ip.bin
}
cue() {  # file, mode of track 1; then, for an audio track 2 in that file, its start in sectors
    printf 'FILE %s BINARY\n  TRACK 01 %s\n    INDEX 01 00:00:00\n' "$1" "$2"
    [ $# = 2 ] || printf '  TRACK 02 AUDIO\n    INDEX 01 00:00:%02d\n' "$3"
}
msf() { local a=$(($1 + 150)); num be 1 $((a / 4500)) $((a / 75 % 60)) $((a % 75)); }
chunk() { local b; b=$(mktemp -p .); cat > "$b"; printf %s "$1"; num be 4 "$(stat -c %s "$b")"; cat "$b"; rm "$b"; }  # id
points() {  # lba or msf: the cue points of a track with its 150-sector pregap stored (libcdio maps tracks by these)
    local t i l; while read -r t i l; do num be 1 0x41 "$t" "$i" 0; if [ "$1" = msf ]; then num be 1 0; msf "$l"; else num be 4 "$l"; fi
    done <<< $'0 0 -150\n1 0 -150\n1 1 0\n0xaa 1 31'
}
dao() {  # offset width (4 old, 8 new), then the one track's sector size, mode, index 0, index 1, end
    num be 4 $((40 + 3 * $1)); head -c 16 /dev/zero; num be 1 1 1; head -c 12 /dev/zero
    num be 2 "$2"; num be 1 "$3"; head -c 3 /dev/zero; num be "$1" "$4" "$5" "$6"
}
etn() { for ((; $#; )); do num be 8 "$1" "$2"; num be 4 "$3" "$4"; num be 8 0; shift 4; done; }  # offset, length, mode, LBA
nrg() {  # image, offset width: the chunks on stdin, then END! and the footer, appended to the image
    local at id=NER5; at=$(stat -c %s "$1"); [ "$2" = 8 ] || id=NERO
    { cat; printf 'END!\0\0\0\0%s' "$id"; num be "$2" "$at"; } >> "$1"
}
ccd() {  # sessions, then per TOC entry: session, point, control, LBA (A0/A1: a track), mode
    local n=0 m a t=''
    printf '[CloneCD]\nVersion=3\n[Disc]\nTocEntries=%d\nSessions=%d\nDataTracksScrambled=0\nCDTextLength=0\n' $(($# / 5)) "$1"
    for ((m = 1; m <= $1; m++)); do printf '[Session %d]\nPreGapMode=1\nPreGapSubC=0\n' "$m"; done; shift
    for ((; $#; n++)); do
        a=$(($4 + 150)) && (($2 == 0xa0 || $2 == 0xa1)) && a=$(($4 * 4500))
        printf '[Entry %d]\nSession=%d\nPoint=0x%02x\nADR=0x01\nControl=0x%02x\nTrackNo=0\nAMin=0\nASec=0\nAFrame=0\nALBA=-150\nZero=0
PMin=%d\nPSec=%d\nPFrame=%d\nPLBA=%d\n' "$n" "$1" "$2" "$3" $((a / 4500)) $((a / 75 % 60)) $((a % 75)) $((a - 150))
        (($2 < 100)) && t+=$(printf '[TRACK %d]\nMODE=%d\nINDEX 1=%d\n' "$2" "$5" "$4")$'\n'; shift 5
    done; printf %s "$t"
}
mds_entry() {  # mode, subchannel, control, point, LBA for PMSF, size, index 1 LBA, byte offset, name block
    num le 1 "$1" "$2" $((0x10 | $3)) 0 "$4"; head -c 4 /dev/zero; msf "$5"; num le 4 0; num le 2 "$6"; head -c 18 /dev/zero
    num le 4 "$7"; num le 8 "$8"; num le 4 1 "$9"; head -c 24 /dev/zero
}
mds() {  # stored size, then one track a session: "session start, lead-out, mode, LBA, byte offset"
    local size=$1 k=0 s a b mode lba off at name; shift; at=$((88 + 24 * $#)); name=$((at + 320 * $#))
    printf 'MEDIA DESCRIPTOR\x01\x03'; num le 2 0 $#; head -c 58 /dev/zero; num le 4 88 0
    for s; do read -r a b _ <<< "$s"; num le 4 "$a" "$b"; num le 2 $((++k)); num le 1 4 3; num le 2 "$k" "$k"; num le 4 0 $((at + 320 * k - 320)); done
    for ((k = 1; k <= $#; k++)); do
        read -r a b mode lba off <<< "${!k}"
        for s in 0xa0:$((k * 4500 - 150)) 0xa1:$((k * 4500 - 150)) 0xa2:"$b"; do mds_entry 0 0 0 "${s%:*}" "${s#*:}" 0 0 0 "$name"; done
        mds_entry "$mode" $((size == 2448 ? 8 : 0)) $((mode == 0xa9 ? 0 : 4)) "$k" "$lba" "$size" "$lba" "$off" "$name"
    done; num le 4 $((name + 16)) 0; num le 8 0; printf '*.mdf\0'
}
poke() { local f=$1; shift; for ((; $#; )); do num le "$2" "$3" | dd of="$f" bs=1 seek="$1" conv=notrunc status=none; shift 3; done; }  # file, then offset, width, value
cdi() {  # image, footer version (4: 2.0, 5: 3.0, 6: 3.5), then one track a session: "mode pregap length start size-code [x]"
    # x: the optional parts too (8 bytes after a non-zero first word or a 0x80000000 flag, a third index, CD-Text, 3.5's 78)
    local img=$1 v=$2 a t=0 s mode pre len start code x i; shift 2; a=$(stat -c %s "$img")
    { num le 2 $#; for s; do
            read -r mode pre len start code x <<< "$s"
            num le 2 1; num le 4 "${x:-0}"; [ -z "$x" ] || num le 8 -1
            printf '\0\0\x01\0\0\0\xff\xff\xff\xff%.0s' 1 2; num le 4 0; num le 1 8; printf disc.cdi
            head -c 11 /dev/zero; num le 4 2 0; if [ -n "$x" ]; then num le 4 $((0x80000000)) 0 0; else num le 4 333000; fi
            num le 2 $((2 + ${x:-0})); num le 4 "$pre" "$len" ${x:+"$len"} "${x:-0}"; [ -z "$x" ] || for ((i = 0; i < 18; i++)); do printf '\2ab'; done
            num le 2 0; num le 4 "$mode" 0 "$t" "$t" "$start" $((pre + len)); head -c 16 /dev/zero; num le 4 "$code" $((mode ? 4 : 0))
            num le 1 0; num le 4 $((pre + len)); head -c $((v == 4 ? 32 : 25)) /dev/zero
            ((v == 4)) || { num le 4 $((x ? -1 : 0)) && head -c $((x ? 78 + 13 : 13)) /dev/zero; }; t=$((t + 1))
    done; num le 2 0; head -c 64 /dev/zero; } >> "$img"
    ((v < 6)) || a=$(($(stat -c %s "$img") - a + 8)); num le 4 $((0x80000000 | v)) "$a" >> "$img"
}

head -c 32768 /dev/urandom > ip.bin && head -c 32768 /dev/urandom > sa.bin && mkdir tree elsewhere && seq 1 3000 > tree/numbers.txt
vol 0 && vol 11420 && vol 11431  # 11420: after a 20-sector audio session; 11431: after vol0's
frame vol0.iso 16 0 > m1.raw && frame vol0.iso 24 0 > m2.raw && frame vol11420.iso 16 0 > s2m1.raw
frame vol11420.iso 24 0 > s2m2.raw && frame vol0.iso 16 96 > m1sub.raw && noise 20 2352 > audio.raw
mkdir enh dump mixed iso m2336 short tiny t1 t2 t3 n1 n2 n3 n4 n5 n6 n7 n8 c1 c2 m1 m2 m3 m4 m5 m6 d1 d2 d3 d4 raw h1 h2 h3 h4

# Cue sheets: Enhanced CD (data pregap stored), a file a track (audio's gone), mixed (CRLF, byte-order mark), 2048, 2336.
cat audio.raw <(noise 150 2352) s2m2.raw > enh/disc.bin
printf 'REM SESSION 01\nFILE "disc.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nREM SESSION 02
  TRACK 02 MODE2/2352\n    INDEX 00 00:00:20\n    INDEX 01 00:02:20\n' > enh/disc.cue
cp m1.raw "dump/Диск (Track 2).bin"
printf 'FILE "Диск (Track %d).bin" BINARY\n  TRACK %02d %s\n    INDEX 01 00:00:00\n' 1 1 AUDIO 2 2 MODE1/2352 > dump/disc.cue
cat m1.raw audio.raw > mixed/disc.bin && cp mixed/disc.bin short/disc.bin && cp audio.raw tiny/disc.bin
{ printf '\xef\xbb\xbf'; cue disc.bin MODE1/2352 31; } | sed 's/$/\r/' > mixed/disc.cue
cue disc.bin MODE1/2352 10 > short/disc.cue && cue disc.bin AUDIO 10 > tiny/disc.cue
cp vol0.iso iso/disc.iso && cue '"disc.iso"' MODE1/2048 > iso/disc.cue && cat <(noise 2 2336) <(frame vol0.iso 8 0) > m2336/disc.bin
printf 'FILE "disc.bin" BINARY\n  TRACK 01 MODE2/2336\n    INDEX 00 00:00:00\n    INDEX 01 00:00:02\n' > m2336/disc.cue

# cdrdao tocs: a raw data track; audio and data in one file, as read-cd writes them; raw subchannel after each sector.
cp m1.raw t1/disc.bin && printf 'CD_ROM\nTRACK MODE1_RAW\nDATAFILE "disc.bin"\n' > t1/disc.toc
cat audio.raw <(noise 150 2352) s2m1.raw > t2/disc.bin
printf 'CD_ROM\n// one file\nTRACK AUDIO\nFILE "disc.bin" 0 00:00:20\nTRACK MODE1_RAW\nDATAFILE "disc.bin" #%d 00:02:31
START 00:02:00\n' $((20 * 2352)) > t2/disc.toc
cp m1sub.raw t3/disc.bin && printf 'CD_ROM\nTRACK MODE1_RAW RW_RAW\nDATAFILE "disc.bin"\n' > t3/disc.toc

# Nero: disc-at-once, pregap stored (Mode 1, raw Mode 2, old footer); track-at-once; audio+data and data+data sessions.
cat <(noise 150 2048) vol0.iso > n1/disc.nrg && cat <(noise 150 2352) m2.raw > n2/disc.nrg && cp n1/disc.nrg n6/disc.nrg
for n in "n1 2048 0 8 lba CUEX DAOX" "n2 2352 6 8 lba CUEX DAOX" "n6 2048 0 4 msf CUES DAOI"; do
    read -r c size mode w form cues daos <<< "$n"
    { points "$form" | chunk "$cues"; dao "$w" "$size" "$mode" 0 $((150 * size)) $((181 * size)) | chunk "$daos"; } | nrg "$c/disc.nrg" "$w"
done
cp vol0.iso n3/disc.nrg && etn 0 $((31 * 2048)) 0 0 | chunk ETN2 | nrg n3/disc.nrg 8
cat audio.raw <(frame vol11420.iso 8 0) > n4/disc.nrg
{ etn 0 $((20 * 2352)) 7 0 $((20 * 2352)) $((31 * 2336)) 3 11420 | chunk ETN2; for s in 1 2; do num be 4 1 | chunk SINF; done; } | nrg n4/disc.nrg 8
cat <(noise 150 2048) vol0.iso <(noise 150 2048) vol11431.iso > n5/disc.nrg
for s in "0 150 181" "181 331 362"; do
    read -r a b e <<< "$s"; dao 8 2048 0 $((a * 2048)) $((b * 2048)) $((e * 2048)) | chunk DAOX; num be 4 1 | chunk SINF
done | nrg n5/disc.nrg 8
cp audio.raw n7/disc.nrg && etn 0 $((20 * 2352)) 7 0 | chunk ETN2 | nrg n7/disc.nrg 8  # audio only
{ cat vol0.iso; printf 'NER5'; num be 8 $((1 << 40)); } > n8/disc.nrg  # a footer past the end

# CloneCD, Alcohol (2352, 2448 with subchannel), DiscJuggler 2.0 and 3.5: one data session; audio, then data session.
cp m1.raw c1/disc.img && noise 31 96 > c1/disc.sub && cat audio.raw s2m2.raw > c2/disc.img && noise 51 96 > c2/disc.sub
ccd 1 1 0xa0 4 1 1 1 0xa1 4 1 1 1 0xa2 4 31 1 1 1 4 0 1 | sed 's/$/\r/' > c1/disc.ccd
ccd 2 1 0xa0 0 1 0 1 0xa1 0 1 0 1 0xa2 0 20 0 1 1 0 0 0 2 0xa0 4 2 2 2 0xa1 4 2 2 2 0xa2 4 11451 2 2 2 4 11420 2 | sed 's/$/\r/' > c2/disc.ccd
cp m1.raw m1/disc.mdf && mds 2352 "-150 31 0xaa 0 0" > m1/disc.mds && cp m1sub.raw m2/disc.mdf && mds 2448 "-150 31 0xaa 0 0" > m2/disc.mds
cat audio.raw s2m2.raw > m3/disc.mdf && mds 2352 "-150 20 0xa9 0 0" "11270 11451 0xec 11420 $((20 * 2352))" > m3/disc.mds
# A UTF-16 name: U+0080, U+0800 and U+10000 (a surrogate pair), each the first of its length in UTF-8, then ".mdf".
n=$'\xc2\x80\xe0\xa0\x80\xf0\x90\x80\x80' && cp m1.raw "m4/$n.mdf" && mds 2352 "-150 31 0xaa 0 0" > m4/disc.mds && truncate -s 436 m4/disc.mds
{ num le 4 1 0 0; printf '\x80\0\0\x08\0\xd8\0\xdc.\0m\0d\0f\0\0\0'; } >> m4/disc.mds
# Mixed mode: data track 1 ends where audio track 2 of its session begins (entries 2 and 4 of m1's made tracks).
cp m1/disc.* m5 && poke m5/disc.mds 192 1 0xaa 196 1 1 208 2 2352 352 1 0xa9 356 1 2 388 4 20 392 8 $((20 * 2352))
cp m1/disc.* m6 && poke m6/disc.mds 356 1 99  # its one track numbered 99, the highest number a disc gives one
cat <(noise 2 2352) m1.raw > d1/disc.cdi && cdi d1/disc.cdi 4 "1 2 31 148 2"  # start: the pregap's LBA + 150
cat <(noise 2 2048) vol0.iso > d4/disc.cdi && cdi d4/disc.cdi 5 "1 2 31 148 0"  # 3.0, Mode 1 in 2048 bytes
cat <(noise 2 2352) audio.raw <(noise 2 2352) s2m2.raw > d2/disc.cdi && cdi d2/disc.cdi 6 "0 2 20 148 2 1" "2 2 31 11568 2"
# A sector more than comes before the descriptor: the padding after it keeps that sector inside the file.
cat <(noise 2 2352) m1.raw > d3/disc.cdi && cdi d3/disc.cdi 4 "1 2 32 148 2" && truncate -s -8 d3/disc.cdi
head -c 2352 /dev/zero >> d3/disc.cdi && num le 4 $((0x80000004)) $((33 * 2352)) >> d3/disc.cdi
cp m1sub.raw raw/disc.img

# Hostile sheets: names that climb out of the sheet's folder or name another one; a track file a folder, or missing.
for c in h1 h2 elsewhere; do cp m1.raw "$c/x.bin"; done && mkdir h3/x.bin
cue ../elsewhere/x.bin MODE1/2352 > h1/disc.cue && cue "\"$work/elsewhere/x.bin\"" MODE1/2352 > h2/disc.cue
cue x.bin MODE1/2048 > h3/disc.cue && cue lost/gone.bin MODE1/2048 > h4/disc.cue
# Names as written on Windows: another letter case, twins, Windows-1252. Links: to a sibling or named by the user are
# followed; out of the folder (relative, absolute, into a subfolder) refused for a cue sheet, a toc, a CloneCD image.
mkdir lc tw tx w ls pl && cp m1.raw lc/isofs-m1.bin && cue ISOFS-M1.BIN MODE1/2352 > lc/isofs-m1.cue
for c in tw tx; do cp m1.raw "$c/disc.bin" && cp m1.raw "$c/DISC.BIN"; done && cue Disc.bin MODE1/2352 > tw/disc.cue
printf 'CD_ROM\nTRACK MODE1_RAW\nDATAFILE "DISC.BIN"\n' > tx/disc.toc && cp m1.raw w/café.bin && cue $'caf\xe9.bin' MODE1/2352 > w/disc.cue
cp m1.raw ls/real.bin && ln -s real.bin ls/disc.bin && cue disc.bin MODE1/2352 > ls/disc.cue
cp m1.raw elsewhere/plain.bin && ln -s ../elsewhere/plain.bin pl/disc.bin && mkdir -p k7/in && cp m1.raw k7/in/x.bin
for k in k1:../elsewhere/x.bin k2:"$work/elsewhere/x.bin" k3:../elsewhere/x.bin k4:"$work/elsewhere/x.bin" \
    k5:../elsewhere/x.bin k6:"$work/elsewhere/x.bin" k7:in/x.bin; do c=${k%%:*}
    mkdir -p "$c" && cp t1/disc.toc c1/disc.ccd c1/disc.sub "$c" && cue disc.bin MODE1/2352 > "$c/disc.cue"
    ln -s "${k#*:}" "$c/disc.bin" && ln -s "${k#*:}" "$c/disc.img"
done

while IFS='|' read -r c container line file at data; do run "$c" "$container" "$line" ${file:+"$file" "$at" "$data"}; done << EOF
enh|disc.cue|sector size:2352|disc.bin|$((170 * 2352))|24
dump|disc.cue|sector size:2352|Диск (Track 2).bin|0|16
mixed|disc.cue|sector size:2352|disc.bin|0|16
iso|disc.cue|sector size:2048|disc.iso|0|0
m2336|disc.cue|sector size:2336|disc.bin|$((2 * 2336))|8
short|disc.cue|image size is too small
tiny|disc.cue|unknown image
t1|disc.toc|sector size:2352|disc.bin|0|16
t2|disc.toc|sector size:2352|disc.bin|$((170 * 2352))|16
t3|disc.toc|sector size:2448|disc.bin|0|16
n1|disc.nrg|sector size:2048|disc.nrg|$((150 * 2048))|0
n2|disc.nrg|sector size:2352|disc.nrg|$((150 * 2352))|24
n3|disc.nrg|sector size:2048|disc.nrg|0|0
n4|disc.nrg|sector size:2336|disc.nrg|$((20 * 2352))|8
n5|disc.nrg|sector size:2048|disc.nrg|$((331 * 2048))|0
n6|disc.nrg|sector size:2048|disc.nrg|$((150 * 2048))|0
n7|disc.nrg|unknown image
n8|disc.nrg|unknown image
c1|disc.ccd|sector size:2352|disc.img|0|16
c2|disc.ccd|sector size:2352|disc.img|$((20 * 2352))|24
m1|disc.mds|sector size:2352|disc.mdf|0|16
m2|disc.mds|sector size:2448|disc.mdf|0|16
m3|disc.mds|sector size:2352|disc.mdf|$((20 * 2352))|24
m4|disc.mds|sector size:2352|$n.mdf|0|16
m5|disc.mds|sector size:2352|disc.mdf|0|16
m6|disc.mds|sector size:2352|disc.mdf|0|16
d1|disc.cdi|sector size:2352|disc.cdi|$((2 * 2352))|16
d2|disc.cdi|sector size:2352|disc.cdi|$((24 * 2352))|24
d3|disc.cdi|unknown image
d4|disc.cdi|sector size:2048|disc.cdi|$((2 * 2048))|0
raw|disc.img|sector size:2448|disc.img|0|16
h1|disc.cue|sector size:2352|x.bin|0|16
h2|disc.cue|sector size:2352|x.bin|0|16
h3|disc.cue|can't open image(h3/x.bin)
h4|disc.cue|can't open image(h4/gone.bin)
lc|isofs-m1.cue|sector size:2352|isofs-m1.bin|0|16
tw|disc.cue|can't open image(tw/Disc.bin)
tx|disc.toc|sector size:2352|DISC.BIN|0|16
w|disc.cue|sector size:2352|café.bin|0|16
ls|disc.cue|sector size:2352|real.bin|0|16
pl|disc.bin|sector size:2352|disc.bin|0|16
k1|disc.cue|can't open image(k1/disc.bin)
k2|disc.cue|can't open image(k2/disc.bin)
k3|disc.toc|can't open image(k3/disc.bin)
k4|disc.toc|can't open image(k4/disc.bin)
k5|disc.ccd|can't open image(k5/disc.img)
k6|disc.ccd|can't open image(k6/disc.img)
k7|disc.cue|can't open image(k7/disc.bin)
EOF
# Hostile descriptors, a good one with fields (offset, width, value) changed. Alcohol: version, sessions, session table,
# entries, a track's offset, mode, size (Mode 1 in 2336), start past the lead-out, a lead-out of LBA -2^31 (the sign bit
# alone, not 2^31: audio in a file not there, unchecked, ends at it), half a surrogate pair in its name (twice: the
# second, read as a pair, would name the image);
# DiscJuggler (its descriptor at 77616): a mark, CD-Text count, mode, size code, sessions, tracks.
k=0 && cp -a m1.orig x0 && truncate -s 300 x0/disc.mds && run x0 disc.mds "unknown image"
while read -r good end fields; do
    read -ra p <<< "$fields" && cp -a "$good.orig" x$((++k)) && poke "x$k/disc.$end" "${p[@]}" && run "x$k" "disc.$end" "unknown image"
done << EOF
m1 mds 16 1 2
m1 mds 20 2 60
m1 mds 80 4 0xfffffff0
m1 mds 98 1 250
m1 mds 392 8 $((1 << 62))
m1 mds 352 1 0xae
m1 mds 368 2 2336
m1 mds 388 4 500
m3 mds 92 4 $((0x80000000)) 428 4 784
m1 mds 436 4 1 448 2 0xd834
m4 mds 452 2 0xd833 454 2 0xe11e
d1 cdi $((77616 + 12)) 1 7
d1 cdi $((77616 + 74)) 4 0xffffffff
d1 cdi $((77616 + 80)) 4 3
d1 cdi $((77616 + 120)) 4 5
d1 cdi 77616 2 5
d1 cdi $((77616 + 2)) 2 100
EOF
cmp -s elsewhere/x.bin m1.raw || fail "a sheet sent the patch out of its folder"
# shellcheck disable=SC2086 # the runner is words
mkfifo pipe.cue && out=$(timeout 10 ${RUNNER:-} "$tool" pipe.cue ip.bin || true)  # a pipe is refused, not waited on
[ "$out" = "can't open image(pipe.cue)" ] || fail "a pipe named as a sheet: '$out'"

# Readers nobody here wrote confirm the table, once per layout: cases sharing one share the bytes run checked. libcdio
# reads cue sheets and simple tocs (toc2cue turns the one-file toc into a cue); of a Nero image only the track table,
# as it takes every disc-at-once track as 2336 bytes a sector. iat finds a volume wherever and however it is stored.
reads() {  # cd-read option, container, mode, LBA: a drive reads the ip file there
    (cd "${2%/*}" && cd-read --no-header --no-hexdump "$1" "${2##*/}" -m "$3" -s "$4" -n 16 -o "$work/read.bin") > /dev/null 2>&1
    cmp -s read.bin ip.bin || fail "$2: cd-read at LBA $4 does not return the ip file"
}
holds() { cmp -s -n "$(stat -c %s "$2")" "$1" <(cat ip.bin; tail -c +32769 "$2") || fail "$1: not ip + $2"; }  # ISO, volume
reads -c enh/disc.cue m2f1 170; reads -t t1/disc.toc m1f1 0; reads -c lc/isofs-m1.cue m1f1 0
toc2cue t2/disc.toc t2/disc.cue > /dev/null 2>&1; reads -c t2/disc.cue m1f1 170
for c in -c:m2336/disc.cue -N:n1/disc.nrg -N:n2/disc.nrg -N:n3/disc.nrg -N:n4/disc.nrg -N:n6/disc.nrg; do f=${c#*:}
    [ -n "$(cd "${f%/*}" && cd-info --no-header "${c%%:*}" "${f##*/}" 2>&1 | grep -E '^ *[0-9]+: ')" ] || fail "$f: cd-info finds no tracks"
done
bchunk enh/disc.bin enh/disc.cue enh.track > /dev/null; holds enh.track02.iso vol11420.iso
ccd2iso c1/disc.img c1.iso > /dev/null; holds c1.iso vol0.iso
mdf2iso m1/disc.mdf m1.iso > /dev/null; holds m1.iso vol0.iso  # it takes no 2448-byte sectors
for c in m2336/disc.bin:0 raw/disc.img:0 n1/disc.nrg:0 n2/disc.nrg:0 n4/disc.nrg:11420 c2/disc.img:11420 \
    m3/disc.mdf:11420 d1/disc.cdi:0 d2/disc.cdi:11420; do
    iat "${c%:*}" "${c%:*}.iat" > /dev/null 2>&1; holds "${c%:*}.iat" "vol${c#*:}.iso"
done
echo "PASS"
