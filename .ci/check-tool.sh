# shellcheck shell=bash
# The checks the package scripts (.ci/packages.sh, .ci/arm.sh) run on a
# bootgraft as a user gets it. Sourced, not run, in a folder of their own
# that holds ip.bin, a random ip file.

fail() { echo "FAIL: $*"; exit 1; }

# Runs the command given as arguments, a bootgraft, first with no arguments
# of its own (the usage text and status 255, -1 on Windows), then on a 1 MiB
# image of 2048-byte sectors, which dd patches the same way.
check_tool() {
    local status=0
    "$@" > usage.txt || status=$?
    [ "$status" = 255 ] || fail "$* without arguments: status $status, not 255"
    [ "$(head -n 1 usage.txt)" = "bootgraft <imagefile> <ipgefile>" ] || fail "$*: usage: $(cat usage.txt)"
    head -c 1M /dev/zero > image.iso
    cp image.iso expected.iso
    dd if=ip.bin of=expected.iso bs=2048 count=16 conv=notrunc status=none
    "$@" image.iso ip.bin > /dev/null || fail "$*: patch failed"
    cmp image.iso expected.iso || fail "$*: image differs from dd's"
    echo "ok: $*"
}

# Runs the command given as arguments, a bootgraft-extract, on the image
# check_tool patched last: it must give back the ip file.
check_extract() {
    "$@" image.iso - 2> /dev/null | cmp - ip.bin || fail "$*: not the ip file check_tool wrote"
}

# Every library the .deb $1's binary $2 needs is the system's, its package
# named in Depends: the codec libraries too, which Debian wants shared rather
# than linked in. The rest of the arguments list what the binary loads as ldd
# does: ldd itself, or another architecture's dynamic loader with --list.
check_depends() {
    local deb=$1 binary=$2 depends loaded soname path package
    shift 2
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    loaded=$("$@" "$binary")
    for soname in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p'); do
        path=$(awk -v soname="$soname" '{ name = $1; sub(/.*\//, "", name) }
            name == soname { print ($2 == "=>" ? $3 : $1) }' <<< "$loaded")
        [ -n "$path" ] || fail "$binary: $soname not found"
        package=$(dpkg-query -S "*/${path#/*/}" | sed -n '1s/[:,].*//p')
        grep -Eq "(^|, )$package( |,|$)" <<< "$depends" || fail "Depends lacks $package, the package of $soname"
    done
}
