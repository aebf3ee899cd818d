#!/usr/bin/env bash
# Linux on ARM, from scratch: aarch64 (Debian's arm64) and 32-bit armhf,
# each cross-compiled with Debian's cross compiler against that
# architecture's own codec libraries (multiarch), every test run under
# qemu-user, then packaged. Each .deb goes through lintian and is unpacked:
# its binary, run under qemu, patches an image as dd does, and its Depends
# names the package of every library the ARM loader finds for it; each
# tarball's static binaries likewise patch, and are what their name says.
# Installs what is missing first, and the architectures dpkg lacks.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=.ci/needs.sh
. .ci/needs.sh
# Where the archive cannot give the ARM packages (its index for an ARM
# architecture failing apt's check, as a mirror mid-sync serves it), the ARM
# builds are skipped, loudly; any other failure fails.
status=0
bash .ci/install-missing.sh "${needs_arm[@]}" || status=$?
if [ "$status" = 75 ]; then
    echo "== Linux on ARM: SKIPPED, the archive's lists lack the ARM packages (apt's errors above)"
    exit 0
fi
[ "$status" = 0 ] || exit "$status"

repo=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 32768 /dev/urandom > "$work/ip.bin"
# shellcheck source=.ci/check-tool.sh
. .ci/check-tool.sh

# The preset (the tarball's processor), Debian's architecture, what file
# says of its ELF files (a pattern), and the emulator.
for target in "aarch64|arm64|ELF 64-bit LSB .*, ARM aarch64,|qemu-aarch64-static" \
    "armhf|armhf|ELF 32-bit LSB .*, ARM, EABI5 |qemu-arm-static"; do
    IFS='|' read -r cpu arch machine qemu <<< "$target"
    rm -rf "build/$cpu" "build/package-$cpu"
    echo "== Linux $cpu (tests under $qemu)"
    cmake --workflow --preset "$cpu"
    cmake --workflow --preset "package-$cpu"

    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/package-$cpu/CMakeCache.txt")
    deb=$repo/build/package-$cpu/bootgraft_${version}_$arch.deb
    tarball=$repo/build/package-$cpu/bootgraft-${version}-Linux-$cpu.tar.gz
    ls -l "$deb" "$tarball"
    (
        cd "$work"
        echo "== $arch .deb: lintian, then unpacked"
        lintian --fail-on error,warning --display-info "$deb"
        [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$deb: not for $arch"
        dpkg-deb -x "$deb" "$arch"
        binary=$arch/usr/bin/bootgraft
        for page in bootgraft bootgraft-extract; do
            [ -f "$arch/usr/share/man/man1/$page.1.gz" ] || fail "$deb: no manual page $page"
        done
        file "$binary" | grep -E "$machine" | grep ', dynamically linked' | grep -q ', stripped' ||
            fail ".deb binary: $(file "$binary")"
        check_tool "$qemu" "$binary"
        check_extract "$qemu" "$binary-extract"
        loader=$(readelf -l "$binary" | sed -n 's/.*interpreter: \(.*\)\]$/\1/p')
        check_depends "$deb" "$binary" "$qemu" "$loader" --list

        echo "== $cpu tarball"
        tar -xzf "$tarball"
        tool=bootgraft-${version}-Linux-$cpu/bin/bootgraft
        for binary in "$tool" "$tool-extract"; do
            file "$binary" | grep -E "$machine" | grep ', statically linked' | grep -q ', stripped' ||
                fail "tarball binary: $(file "$binary")"
        done
        check_tool "$qemu" "$tool"
        check_extract "$qemu" "$tool-extract"
    )
done
