#!/usr/bin/env bash
# Fuzzes every container table reader and the CHD reader from scratch, each for a bounded time,
# seeded with the containers the integration script builds; fails on any
# crash, leak or input slower than a second. Installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=.ci/needs.sh
. .ci/needs.sh
bash .ci/install-missing.sh "${needs_fuzz[@]}"

seconds=${FUZZ_SECONDS:-20}
rm -rf build/fuzz
echo "== fuzz (${seconds} s per table reader)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT

# Real containers make the best seeds; the tool that builds them is the
# sanitized one from this build, so their making is checked on the way.
# Seeds are a bonus: a skipped or failing script leaves the ones below.
BOOTGRAFT_SEEDS=$corpus bash tests/containers/containers.sh "$PWD/build/fuzz/bootgraft" >"$corpus/seeds.log" 2>&1 ||
  echo "containers.sh made no seeds (exit $?); hand-made ones only"
mkdir -p "$corpus"/{cue,toc,nrg,ccd,mds,cdi}
printf 'FILE "fuzz.bin" BINARY\n  TRACK 01 MODE1/2352\n    INDEX 01 00:00:00\n' >"$corpus/cue/hand"
printf 'CD_ROM\nTRACK MODE1_RAW\nDATAFILE "fuzz.bin"\n' >"$corpus/toc/hand"
printf '[CloneCD]\nVersion=3\n[Disc]\nTocEntries=1\nSessions=1\n[Entry 0]\nSession=1\nPoint=0x01
Control=0x04\nPLBA=0\n[TRACK 1]\nMODE=1\nINDEX 1=0\n' >"$corpus/ccd/hand"
{ printf 'MEDIA DESCRIPTOR\1\3'; head -c 110 /dev/zero; } >"$corpus/mds/hand"
printf 'END!\0\0\0\0NER5\0\0\0\0\0\0\0\0' >"$corpus/nrg/hand"
{ head -c 16 /dev/zero; printf '\6\0\0\x80\30\0\0\0'; } >"$corpus/cdi/hand"
# CHD seeds from chdman, small: a short volume in each CD codec set, and a DVD-like file in the
# generic codecs (this chdman has no createdvd).
chd_seeds() {
  local d=$corpus/chd c
  mkdir -p "$d/tree" && seq 1 3000 >"$d/tree/n.txt" && genisoimage -quiet -o "$d/v.iso" "$d/tree" 2>/dev/null
  printf 'FILE "v.iso" BINARY\n  TRACK 01 MODE1/2048\n    INDEX 01 00:00:00\n' >"$d/v.cue"
  for c in cdlz cdzl cdfl none; do chdman createcd -i "$d/v.cue" -o "$d/$c.chd" -c "$c" >/dev/null 2>&1; done
  chdman createraw -i "$d/v.iso" -o "$d/raw.chd" -hs 4096 -us 2048 -c none >/dev/null 2>&1
  chdman addmeta -i "$d/raw.chd" -t 'DVD ' -vt '' >/dev/null 2>&1
  for c in zlib,huff lzma,flac; do chdman copy -i "$d/raw.chd" -o "$d/${c/,/}.chd" -c "$c" >/dev/null 2>&1; done
  rm -rf "$d"/{tree,v.iso,v.cue}
}
chd_seeds || echo "chdman made no CHD seeds; the fuzzer starts from nothing"

failed=()
for ending in cue toc nrg ccd mds cdi chd; do
  log=build/fuzz/fuzz_$ending.log
  # No -max_len: libFuzzer takes the largest seed's, so that no container
  # loses the footer at its end.
  if build/fuzz/fuzz_"$ending" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/crash-"$ending"- "$corpus/$ending" >"$log" 2>&1; then
    echo "$ending: $(sed -n 's/^stat::number_of_executed_units: //p' "$log") runs," \
      "$(sed -n 's/^stat::average_exec_per_sec: //p' "$log")/s, $(find "$corpus/$ending" -type f | wc -l) inputs"
  else
    tail -n 40 "$log"
    failed+=("$ending")
  fi
done
((${#failed[@]} == 0)) || { echo "FAIL: fuzzing found faults in: ${failed[*]} (see build/fuzz)"; exit 1; }
