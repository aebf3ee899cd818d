#!/usr/bin/env bash
# Times the browser build (build/web) in Chromium, Firefox and WebKit beside the native command
# (build/release/bootgraft), in one table: the single file's size and its time from opening to
# ready; a 1 MiB plain ISO, the same volume in a 700 MB image, and the CD CHD bench/make_chd.sh
# makes (as bench/chd.sh times it); then the gzip size of what the folder site fetches. Needs what
# .ci/web.sh installs (the three engines, xvfb-run, `npm ci` done), genisoimage, and chdman unless a
# CHD is given.
# usage: bench/web.sh [existing CD CHD to use instead]
set -euo pipefail
top=$(realpath "$(dirname "$0")/..")
chd=${1:+$(realpath "$1")}
files=$top/build/web/bench-files  # in the site, which serves them to the page
rm -rf "$files" && mkdir -p "$files/tree" && trap 'rm -rf "$files"' EXIT
head -c $((600 << 10)) /dev/urandom > "$files/tree/noise"
genisoimage -quiet -o "$files/disc.iso" "$files/tree" && truncate -s 1M "$files/disc.iso"
if [[ -n $chd ]]; then cp "$chd" "$files/disc.chd"; else bash "$top/bench/make_chd.sh" "$files/disc.chd"; fi
xvfb-run -a node "$top/bench/web.mjs" "$top/build/web" "$top/build/release/bootgraft"
