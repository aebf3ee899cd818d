# shellcheck shell=bash
# Sourced by the container and CHD scripts, with bootgraft-extract as $1. Where BOOTGRAFT_CASES names a folder,
# keep_case keeps there each case the script ran, for the browser module's test (module.test.mjs), the commands its
# oracle: before/ and after/ (the image's folder), ip, patch (image name, status, lines) and extract (status, lines;
# extract.ip), bootgraft-extract run on the folder after. The lines are as the commands print them for the image named
# in its own folder, which is how the module is given it.
keep_extract=$1 kept=0
[ -z "${BOOTGRAFT_CASES:-}" ] || BOOTGRAFT_CASES=$(realpath "$BOOTGRAFT_CASES")
keep_case() {  # before (the image's folder, or a copy of the image alone), the image as the command was given it, ip, status, lines
    [ -n "${BOOTGRAFT_CASES:-}" ] || return 0
    local k=$BOOTGRAFT_CASES/${0##*/}.$((kept += 1)) dir=. name=${2##*/} s=0 o
    [[ $2 != */* ]] || dir=${2%/*}
    mkdir -p "$k/before" "$k/after" && cp "$3" "$k/ip"
    if [ -d "$1" ]; then cp -a "$1/." "$k/before" && cp -a "$dir/." "$k/after"; else cp "$1" "$k/before/$name" && cp "$2" "$k/after"; fi
    printf '%s\n' "$name" "$4" "${5//"($dir/"/(}" > "$k/patch"
    o=$(cd "$k/after" && "$keep_extract" "$name" ../extract.ip) || s=$?
    printf '%s\n' "$s" "$o" > "$k/extract"
}
