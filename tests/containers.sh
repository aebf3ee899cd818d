#!/usr/bin/env bash
# Builds cue, toc, Nero, CloneCD, Alcohol and DiscJuggler images around genisoimage volumes, patches
# each by naming its sheet or descriptor, and reads the result back with readers nobody here wrote:
# libcdio's cd-info and cd-read, bchunk and isoinfo, iat, ccd2iso, mdf2iso, toc2cue. $1: bootgraft.
set -euo pipefail
tool=$(realpath "$1")
for peer in genisoimage isoinfo bchunk cd-info cd-read iat ccd2iso mdf2iso toc2cue; do
    command -v "$peer" > /dev/null || { echo "SKIP: $peer is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() { echo "FAIL: $*"; exit 1; }
bytes() { dd if="$1" iflag=skip_bytes,count_bytes skip="$2" count="$3" status=none; }
noise() { head -c $(($1 * $2)) /dev/urandom; }  # sectors, size: audio, or a pregap nobody reads
num() {  # byte order (le or be), width, value: the value as binary
    local i b s=''
    for ((i = 0; i < $2; i++)); do
        printf -v b '\\x%02x' $((($3 >> 8 * i) & 255))
        if [ "$1" = le ]; then s+=$b; else s=$b$s; fi
    done
    printf '%b' "$s"
}
frame() {  # ISO, user-data offset (16 raw Mode 1, 24 raw Mode 2, 8 for 2336), subchannel bytes
    local i  # codes stay zero: the tool leaves zero codes zero, so any byte that moved shows
    for ((i = 0; i < $(stat -c %s "$1") / 2048; i++)); do
        case $2 in
            16) printf '\0\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\0\0\x02\0\x01' ;;
            24) printf '\0\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\0\0\x02\0\x02\0\0\x08\0\0\0\x08\0' ;;
            8) printf '\0\0\x08\0\0\0\x08\0' ;;
        esac
        bytes "$1" $((i * 2048)) 2048
        head -c $(($2 == 8 ? 280 : 304 - $2)) /dev/zero
        head -c "$3" /dev/urandom
    done
}
vol() { genisoimage -quiet -no-pad -V "S$1" -C "0,$1" -o "vol$1.iso" tree 2> /dev/null; }
seed() {  # the container as built, for the parsers' fuzz targets
    local end; end=$(tr '[:upper:]' '[:lower:]' <<< "${1##*.}")
    case ${BOOTGRAFT_SEEDS:+$end} in cue | toc | ccd | mds | nrg | cdi)
        mkdir -p "$BOOTGRAFT_SEEDS/$end" && cp "$1" "$BOOTGRAFT_SEEDS/$end/${1%%/*}.$end" ;; esac
}
run() {  # case folder, container, expected line; to patch: track file, its byte offset, data offset
    local c=$1 out status=0 size=${3#sector size:} i
    seed "$c/$2"
    cp -a "$c" "$c.orig"
    out=$("$tool" "$c/$2" ip.bin) || status=$?
    [ "$out" = "$3" ] || fail "$c: printed '$out', not '$3'"
    if [ $# -eq 3 ]; then { [ $status = 255 ] && diff -r "$c.orig" "$c" > /dev/null; } || fail "$c: status $status, or changed"; return; fi
    [ $status = 0 ] || fail "$c: status $status"
    for i in $(seq 0 15); do bytes "$c/$4" $(($5 + i * size + $6)) 2048; done |
        cmp -s - ip.bin || fail "$c: the ip is not the user data of the track's sectors 0-15"
    { cmp -l "$c.orig/$4" "$c/$4" 2>&1 || true; } | awk -v o="$5" -v s="$size" -v d="$6" '
        { p = $1 - 1 - o; at = p % s } $1 !~ /^[0-9]+$/ || p < 0 || p >= 16 * s || at < d || at >= d + 2048 { exit 1 }' ||
        fail "$c: bytes outside the user data of the track's sectors 0-15 changed"
    diff -r -x "$4" "$c.orig" "$c" > /dev/null || fail "$c: another file changed"
}
# libcdio looks for a toc's files in the current folder
tracks() { (cd "${2%/*}" && cd-info --no-header "$1" "${2##*/}" 2>&1) | grep -E '^ *[0-9]+: ' || true; }
cdio() {  # cd-info option, case, container, then to read: mode and LBA of the track's sector 0
    [ -n "$(tracks "$1" "$2.orig/$3")" ] || fail "$2: cd-info finds no tracks in the image as built"
    [ "$(tracks "$1" "$2.orig/$3")" = "$(tracks "$1" "$2/$3")" ] || fail "$2: cd-info lists other tracks"
    [ $# -eq 3 ] || reads "$1" "$2/$3" "$4" "$5"
}
reads() {  # cd-read option, container, mode, LBA: the ip file is what a drive reads there
    (cd "${2%/*}" && cd-read --no-header --no-hexdump "$1" "${2##*/}" -m "$3" -s "$4" -n 16 -o "$work/read.bin") > /dev/null 2>&1
    cmp -s read.bin ip.bin || fail "$2: cd-read at LBA $4 does not return the ip file"
}
holds() {  # ISO a reader extracted, the volume it came from: the ip, then the volume
    cmp -s -n "$(stat -c %s "$2")" "$1" <(cat ip.bin; tail -c +32769 "$2") || fail "$1: not ip + $2"
}
iat_holds() { iat "$1" "$1.iat" > /dev/null 2>&1; holds "$1.iat" "$2"; }
check_volume() {  # ISO, LBA its volume was made for
    [[ $(isoinfo -d -i "$1" 2> /dev/null) == *"Volume id: S$2"* ]] || fail "$1: volume descriptor lost"
    isoinfo -N "$2" -i "$1" -x '/NUMBERS.TXT;1' | cmp -s - tree/numbers.txt || fail "$1: a file differs"
    cmp -s <(head -c 32768 "$1") ip.bin || fail "$1: system area is not the ip file"
}
msf() { local a=$(($1 + 150)); num be 1 $((a / 4500)); num be 1 $((a / 75 % 60)); num be 1 $((a % 75)); }
chunk() {  # id, then the body on stdin
    local body; body=$(mktemp -p .)
    cat > "$body"
    printf %s "$1"; num be 4 "$(stat -c %s "$body")"; cat "$body"; rm "$body"
}
points() {  # lba or msf, then per cue point: control, track, index, LBA (libcdio maps tracks by these)
    local form=$1; shift
    for ((; $#; )); do
        num be 1 "$1"; num be 1 "$2"; num be 1 "$3"; num be 1 0
        if [ "$form" = msf ]; then num be 1 0; msf "$4"; else num be 4 "$4"; fi; shift 4
    done
}
dao() {  # offset width (4 old, 8 new), then per track: sector size, mode, index 0, index 1, end
    local w=$1; shift
    num be 4 $((22 + $# * (18 + 3 * w) / 5)); head -c 16 /dev/zero; num be 1 1; num be 1 $(($# / 5))
    for ((; $#; )); do
        head -c 12 /dev/zero; num be 2 "$1"; num be 1 "$2"; head -c 3 /dev/zero
        num be "$w" "$3"; num be "$w" "$4"; num be "$w" "$5"; shift 5
    done
}
etn() {  # per track: offset, length, mode, start LBA
    for ((; $#; )); do num be 8 "$1"; num be 8 "$2"; num be 4 "$3"; num be 4 "$4"; num be 8 0; shift 4; done
}
nrg() {  # image, offset width: the chunks on stdin, then END! and the footer, appended to the image
    local at; at=$(stat -c %s "$1")
    { cat; printf 'END!\0\0\0\0'; if [ "$2" = 4 ]; then printf NERO; else printf NER5; fi; num be "$2" "$at"; } >> "$1"
}
ccd() {  # sessions, then per TOC entry: session, point, control, LBA (A0/A1: a track), mode
    local n=0 m a t=''
    printf '[CloneCD]\nVersion=3\n[Disc]\nTocEntries=%d\nSessions=%d\nDataTracksScrambled=0\nCDTextLength=0\n' $(($# / 5)) "$1"
    for ((m = 1; m <= $1; m++)); do printf '[Session %d]\nPreGapMode=1\nPreGapSubC=0\n' "$m"; done; shift
    for ((; $#; n++)); do
        a=$(($4 + 150)) && (($2 == 0xa0 || $2 == 0xa1)) && a=$(($4 * 4500))
        printf '[Entry %d]\nSession=%d\nPoint=0x%02x\nADR=0x01\nControl=0x%02x\nTrackNo=0\nAMin=0\nASec=0\nAFrame=0\nALBA=-150\nZero=0\nPMin=%d\nPSec=%d\nPFrame=%d\nPLBA=%d\n' \
            "$n" "$1" "$2" "$3" $((a / 4500)) $((a / 75 % 60)) $((a % 75)) $((a - 150))
        (($2 < 100)) && t+=$(printf '[TRACK %d]\nMODE=%d\nINDEX 1=%d\n' "$2" "$5" "$4")$'\n'; shift 5
    done
    printf %s "$t"
}
mds_entry() {  # mode, subchannel, control, point, LBA for PMSF, size, index 1 LBA, byte offset, name block
    num le 1 "$1"; num le 1 "$2"; num le 1 $((0x10 | $3)); num le 1 0; num le 1 "$4"; head -c 4 /dev/zero
    msf "$5"; num le 4 0; num le 2 "$6"; head -c 18 /dev/zero; num le 4 "$7"; num le 8 "$8"; num le 4 1
    num le 4 "$9"; head -c 24 /dev/zero
}
mds() {  # stored size; sessions "start lead-out first last" and tracks "mode LBA offset", ';' apart
    local -a ses trk; local at name s a b f l k=0 mode lba off
    IFS=';' read -ra ses <<< "$2"; IFS=';' read -ra trk <<< "$3"
    at=$((88 + 24 * ${#ses[@]})); name=$((at + 80 * (3 * ${#ses[@]} + ${#trk[@]})))
    printf 'MEDIA DESCRIPTOR\x01\x03'; num le 2 0; num le 2 ${#ses[@]}; head -c 58 /dev/zero; num le 4 88; num le 4 0
    for s in "${ses[@]}"; do
        read -r a b f l <<< "$s"
        num le 4 "$a"; num le 4 "$b"; num le 2 $((++k)); num le 1 $((4 + l - f)); num le 1 3
        num le 2 "$f"; num le 2 "$l"; num le 4 0; num le 4 "$at"; at=$((at + 80 * (4 + l - f)))
    done
    for s in "${ses[@]}"; do
        read -r a b f l <<< "$s"
        mds_entry 0 0 0 0xa0 $((f * 4500 - 150)) 0 0 0 "$name"; mds_entry 0 0 0 0xa1 $((l * 4500 - 150)) 0 0 0 "$name"
        mds_entry 0 0 0 0xa2 "$b" 0 0 0 "$name"
        for ((; f <= l; f++)); do
            read -r mode lba off <<< "${trk[f - 1]}"
            mds_entry "$mode" $(($1 == 2448 ? 8 : 0)) $((mode == 0xa9 ? 0 : 4)) "$f" "$lba" "$1" "$lba" "$off" "$name"
        done
    done
    num le 4 $((name + 16)); num le 4 0; num le 8 0; printf '*.mdf\0'
}
cdi() {  # image, footer version (4: 2.0, 6: 3.5), then one track a session: "mode pregap length start size-code"
    local img=$1 v=$2 d a t=0 mode pre len start code; shift 2; d=$(mktemp -p .)
    { num le 2 $#
        for s in "$@"; do
            read -r mode pre len start code <<< "$s"
            num le 2 1; num le 4 0; printf '\0\0\x01\0\0\0\xff\xff\xff\xff%.0s' 1 2; num le 4 0
            num le 1 8; printf disc.cdi; head -c 11 /dev/zero; num le 4 2; num le 4 0; num le 4 333000
            num le 2 2; num le 4 "$pre"; num le 4 "$len"; num le 4 0; num le 2 0; num le 4 "$mode"
            num le 4 0; num le 4 "$t"; num le 4 "$t"; num le 4 "$start"; num le 4 $((pre + len)); head -c 16 /dev/zero
            num le 4 "$code"; num le 4 $((mode ? 4 : 0)); num le 1 0; num le 4 $((pre + len)); head -c 20 /dev/zero
            if [ "$v" = 6 ]; then head -c 5 /dev/zero; num le 4 0; fi
            head -c $((v == 4 ? 12 : 13)) /dev/zero; t=$((t + 1))
        done
        num le 2 0; head -c 64 /dev/zero; } > "$d"
    a=$(stat -c %s "$img")
    { cat "$d"; num le 4 $((0x80000000 | v)); num le 4 $((v == 4 ? a : $(stat -c %s "$d") + 8)); } >> "$img"; rm "$d"
}

head -c 32768 /dev/urandom > ip.bin
mkdir tree elsewhere && seq 1 3000 > tree/numbers.txt
vol 0 && vol 11420 && vol 11431  # 11420: after a 20-sector audio session; 11431: after vol0's
frame vol0.iso 16 0 > m1.raw && frame vol0.iso 24 0 > m2.raw && frame vol11420.iso 16 0 > s2m1.raw
frame vol11420.iso 24 0 > s2m2.raw && frame vol0.iso 16 96 > m1sub.raw && noise 20 2352 > audio.raw
mkdir enh dump mixed iso m2336 short tiny t1 t2 t3 n1 n2 n3 n4 n5 n6 n7 n8 c1 c2 m1 m2 m3 d1 d2 raw h1 h2 h3 h4

# Cue sheets: an Enhanced CD (audio session, then a data track with its pregap stored), a dump
# of one file a track, a mixed-mode disc (CRLF and a byte-order mark), 2048 and 2336 tracks.
cat audio.raw <(noise 150 2352) s2m2.raw > enh/disc.bin
printf 'REM SESSION 01\nFILE "disc.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\nREM SESSION 02
  TRACK 02 MODE2/2352\n    INDEX 00 00:00:20\n    INDEX 01 00:02:20\n' > enh/disc.cue
cp audio.raw "dump/Диск (Track 1).bin" && cp m1.raw "dump/Диск (Track 2).bin"
printf 'FILE "Диск (Track %d).bin" BINARY\n  TRACK %02d %s\n    INDEX 01 00:00:00\n' 1 1 AUDIO 2 2 MODE1/2352 > dump/disc.cue
cat m1.raw audio.raw > mixed/disc.bin && cp mixed/disc.bin short/disc.bin && cp m1.raw tiny/disc.bin
mixed() { printf 'FILE disc.bin BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:00:%02d\n' "$1"; }
{ printf '\xef\xbb\xbf'; mixed 31; } | sed 's/$/\r/' > mixed/disc.cue && mixed 10 > short/disc.cue
cp vol0.iso iso/disc.iso && printf 'FILE "disc.iso" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n' > iso/disc.cue
cat <(noise 2 2336) <(frame vol0.iso 8 0) > m2336/disc.bin
printf 'FILE "disc.bin" BINARY\n  TRACK 01 MODE2/2336\n    INDEX 00 00:00:00\n    INDEX 01 00:00:02\n' > m2336/disc.cue
printf 'FILE "disc.bin" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n  TRACK 02 AUDIO\n    INDEX 01 00:00:10\n' > tiny/disc.cue
cp audio.raw tiny/disc.bin

# cdrdao tocs: a raw data track; an audio track and a data track in one file, as read-cd writes
# them; a track with raw subchannel after each sector.
cp m1.raw t1/disc.bin && printf 'CD_ROM\nTRACK MODE1_RAW\nDATAFILE "disc.bin"\n' > t1/disc.toc
cat audio.raw <(noise 150 2352) s2m1.raw > t2/disc.bin
printf 'CD_ROM\n// one file\nTRACK AUDIO\nFILE "disc.bin" 0 00:00:20\nTRACK MODE1_RAW\nDATAFILE "disc.bin" #%d 00:02:31\nSTART 00:02:00\n' \
    $((20 * 2352)) > t2/disc.toc
cp m1sub.raw t3/disc.bin && printf 'CD_ROM\nTRACK MODE1_RAW RW_RAW\nDATAFILE "disc.bin"\n' > t3/disc.toc

# Nero: disc-at-once (pregap stored) Mode 1 and raw Mode 2, track-at-once, an audio session then
# a data session, two data sessions, the old footer; audio only and a footer past the end.
cat <(noise 150 2048) vol0.iso > n1/disc.nrg && cat <(noise 150 2352) m2.raw > n2/disc.nrg
for n in "n1 2048 0" "n2 2352 6"; do
    read -r c size mode <<< "$n"
    { points lba 0x41 0 0 -150 0x41 1 0 -150 0x41 1 1 0 0x41 0xaa 1 31 | chunk CUEX
        dao 8 "$size" "$mode" 0 $((150 * size)) $((181 * size)) | chunk DAOX; } | nrg "$c/disc.nrg" 8
done
cp vol0.iso n3/disc.nrg && etn 0 $((31 * 2048)) 0 0 | chunk ETN2 | nrg n3/disc.nrg 8
cat audio.raw <(frame vol11420.iso 8 0) > n4/disc.nrg
{ etn 0 $((20 * 2352)) 7 0 $((20 * 2352)) $((31 * 2336)) 3 11420 | chunk ETN2
    num be 4 1 | chunk SINF; num be 4 1 | chunk SINF; } | nrg n4/disc.nrg 8
cat <(noise 150 2048) vol0.iso <(noise 150 2048) vol11431.iso > n5/disc.nrg
{ dao 8 2048 0 0 $((150 * 2048)) $((181 * 2048)) | chunk DAOX; num be 4 1 | chunk SINF
    dao 8 2048 0 $((181 * 2048)) $((331 * 2048)) $((362 * 2048)) | chunk DAOX; num be 4 1 | chunk SINF; } | nrg n5/disc.nrg 8
cat <(noise 150 2048) vol0.iso > n6/disc.nrg
{ points msf 0x41 0 0 -150 0x41 1 0 -150 0x41 1 1 0 0x41 0xaa 1 31 | chunk CUES
    dao 4 2048 0 0 $((150 * 2048)) $((181 * 2048)) | chunk DAOI; } | nrg n6/disc.nrg 4
cp audio.raw n7/disc.nrg && etn 0 $((20 * 2352)) 7 0 | chunk ETN2 | nrg n7/disc.nrg 8
{ cat vol0.iso; printf 'NER5'; num be 8 $((1 << 40)); } > n8/disc.nrg

# CloneCD, Alcohol (2352, and 2448 with subchannel), DiscJuggler 2.0 and 3.5: one data session,
# and an audio session then a data session.
cp m1.raw c1/disc.img && noise 31 96 > c1/disc.sub
ccd 1 1 0xa0 4 1 1 1 0xa1 4 1 1 1 0xa2 4 31 1 1 1 4 0 1 | sed 's/$/\r/' > c1/disc.ccd
cat audio.raw s2m2.raw > c2/disc.img && noise 51 96 > c2/disc.sub
ccd 2 1 0xa0 0 1 0 1 0xa1 0 1 0 1 0xa2 0 20 0 1 1 0 0 0 \
    2 0xa0 4 2 2 2 0xa1 4 2 2 2 0xa2 4 11451 2 2 2 4 11420 2 | sed 's/$/\r/' > c2/disc.ccd
cp m1.raw m1/disc.mdf && mds 2352 "-150 31 1 1" "0xaa 0 0" > m1/disc.mds
cp m1sub.raw m2/disc.mdf && mds 2448 "-150 31 1 1" "0xaa 0 0" > m2/disc.mds
cat audio.raw s2m1.raw > m3/disc.mdf
mds 2352 "-150 20 1 1;11270 11451 2 2" "0xa9 0 0;0xaa 11420 $((20 * 2352))" > m3/disc.mds
cat <(noise 2 2352) m1.raw > d1/disc.cdi && cdi d1/disc.cdi 4 "1 2 31 148 2"  # start: the pregap's LBA + 150
cat <(noise 2 2352) audio.raw <(noise 2 2352) s2m2.raw > d2/disc.cdi
cdi d2/disc.cdi 6 "0 2 20 148 2" "2 2 31 11568 2"
cp m1sub.raw raw/disc.img

# Hostile sheets: names that climb out of the sheet's folder or name another one; a track file
# that is a folder, or missing.
for c in h1 h2; do cp m1.raw "$c/x.bin"; done && cp m1.raw elsewhere/x.bin
printf 'FILE "%s" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n' ../elsewhere/x.bin > h1/disc.cue
printf 'FILE "%s" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n' "$work/elsewhere/x.bin" > h2/disc.cue
mkdir h3/x.bin && printf 'FILE "x.bin" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n' > h3/disc.cue
printf 'FILE "lost/gone.bin" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n' > h4/disc.cue

while IFS='|' read -r c container line file at data; do
    if [ -n "$file" ]; then run "$c" "$container" "$line" "$file" "$at" "$data"; else run "$c" "$container" "$line"; fi
done << EOF
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
m3|disc.mds|sector size:2352|disc.mdf|$((20 * 2352))|16
d1|disc.cdi|sector size:2352|disc.cdi|$((2 * 2352))|16
d2|disc.cdi|sector size:2352|disc.cdi|$((24 * 2352))|24
raw|disc.img|sector size:2448|disc.img|0|16
h1|disc.cue|sector size:2352|x.bin|0|16
h2|disc.cue|sector size:2352|x.bin|0|16
h3|disc.cue|can't open image(h3/x.bin)
h4|disc.cue|can't open image(h4/gone.bin)
EOF

# libcdio reads cue sheets of one file named as the sheet, and simple tocs (not two tracks in one toc file, not
# RW_RAW: toc2cue turns that toc into a cue); of a Nero image it reads the track table, but takes every
# disc-at-once track as 2336 bytes a sector and misplaces 2336-byte cue tracks: iat reads those.
cdio -c enh disc.cue m2f1 170
cdio -c m2336 disc.cue && cdio -t t1 disc.toc m1f1 0
for c in n1 n2 n3 n4 n6; do cdio -N "$c" disc.nrg; done
toc2cue t2/disc.toc t2/disc.cue > /dev/null 2>&1; reads -c t2/disc.cue m1f1 170
for c in enh mixed; do bchunk "$c/disc.bin" "$c/disc.cue" "$c.track" > /dev/null; done
check_volume enh.track02.iso 11420 && check_volume mixed.track01.iso 0 && check_volume iso/disc.iso 0
# iat finds the volume in any file, wherever its sectors start and whatever their size.
for c in m2336/disc.bin:0 t3/disc.bin:0 n1/disc.nrg:0 n2/disc.nrg:0 n3/disc.nrg:0 n4/disc.nrg:11420 n6/disc.nrg:0 \
    c1/disc.img:0 c2/disc.img:11420 m1/disc.mdf:0 m2/disc.mdf:0 m3/disc.mdf:11420 d1/disc.cdi:0 \
    d2/disc.cdi:11420 raw/disc.img:0; do
    iat_holds "${c%:*}" "vol${c#*:}.iso"
done
iat_holds "dump/Диск (Track 2).bin" vol0.iso
ccd2iso c1/disc.img c1.iso > /dev/null; holds c1.iso vol0.iso
mdf2iso m1/disc.mdf m1.iso > /dev/null; holds m1.iso vol0.iso  # it takes no 2448-byte sectors
# A drive reads the last session's volume: the first one stays as genisoimage made it.
iat n5/disc.nrg n5.iat > /dev/null 2>&1
cmp -s -n $((31 * 2048)) n5.iat vol0.iso || fail "n5: the first session changed"
cmp -s elsewhere/x.bin m1.raw || fail "a sheet sent the patch out of its folder"
echo "PASS"
