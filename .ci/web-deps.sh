#!/usr/bin/env bash
# Builds, for the WebAssembly build, the codec and hash libraries CHD images
# need: zlib, liblzma, libzstd, libFLAC (without Ogg) and nettle, as static
# emscripten archives from Debian's own source packages (fetched by
# .ci/debian-sources.sh), into build/web-deps (or the folder given as
# argument). Each is built for one thread, without assembler, and without
# what CHD hunks never need: of xz all but LZMA1 (raw and .lzma, both ways),
# zstd's legacy formats and dictionary builder, FLAC's Ogg, all of nettle
# but SHA1. -O2 throughout, not -Oz: zstd at -Oz made a third less
# WebAssembly but took 1.8 times as long both ways. Run by .ci/web.sh; a
# second run with the same source versions and the same scripts does
# nothing.
set -euo pipefail
script=$(realpath "$0")
prefix=$(realpath -m "${1:-$(dirname "$script")/../build/web-deps}")
cd "$(dirname "$script")/.."
packages=(zlib xz-utils libzstd flac nettle)
# shellcheck source=.ci/debian-sources.sh
. .ci/debian-sources.sh
debian_sources_begin "WebAssembly builds"

# emcc runs parts of itself under node, which finds the parser Debian ships
# for it only there.
export NODE_PATH=/usr/share/nodejs
# emcc checks its toolchain at every call, which costs more than compiling
# a small unit: Debian's frozen cache keeps no note that a check passed.
# Checked once here, the configure scripts' hundreds of calls skip it.
quietly emscripten emcc --check
export EM_IGNORE_SANITY=1
export CC=emcc AR=emar RANLIB=emranlib CFLAGS=-O2
# config.sub knows the target, so configure treats the build as a cross
# build and never tries to run what it compiles.
configure=(--host=wasm32-unknown-emscripten --prefix="$prefix" --enable-static --disable-shared
  --disable-dependency-tracking)

for package in "${packages[@]}"; do fetch "$package"; done

build_zlib() {
  cd "$sources/zlib"
  quietly zlib emconfigure ./configure --static --prefix="$prefix"
  quietly zlib emmake make libz.a
  install -D -m 644 libz.a "$prefix/lib/libz.a"
  install -D -m 644 zlib.h zconf.h -t "$prefix/include"
}

# LZMA1 is what CHD hunks hold; the match finders are those of xz's presets.
build_xz_utils() {
  cd "$sources/xz-utils"
  quietly xz-utils emconfigure ./configure "${configure[@]}" --disable-threads --disable-assembler \
    --enable-encoders=lzma1 --enable-decoders=lzma1 --enable-match-finders=hc3,hc4,bt4 --enable-checks=crc32 \
    --disable-microlzma --disable-lzip-decoder --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo \
    --disable-lzma-links --disable-scripts --disable-doc --disable-nls
  quietly xz-utils emmake make -C src/liblzma install
}

build_libzstd() {
  cd "$sources/libzstd"
  quietly libzstd emmake make -C lib libzstd.a ZSTD_LEGACY_SUPPORT=0 ZSTD_LIB_DICTBUILDER=0 \
    ZSTD_LIB_DEPRECATED=0 ZSTD_NO_ASM=1
  install -D -m 644 lib/libzstd.a "$prefix/lib/libzstd.a"
  install -D -m 644 lib/zstd.h lib/zstd_errors.h lib/zdict.h -t "$prefix/include"
}

build_flac() {
  cd "$sources/flac"
  quietly flac emconfigure ./configure "${configure[@]}" --disable-ogg --disable-programs --disable-examples \
    --disable-cpplibs --disable-asm-optimizations --disable-doxygen-docs --disable-stack-smash-protection \
    --disable-fortify-source --disable-thorough-tests --disable-version-from-git
  quietly flac emmake make -C src/libFLAC install
  quietly flac emmake make -C include install
}

# Of nettle's two hundred units only SHA1's three are compiled, which takes
# seconds instead of minutes.
build_nettle() {
  local sha1_only=(nettle_SOURCES="sha1.c sha1-compress.c write-be32.c")
  cd "$sources/nettle"
  quietly nettle emconfigure ./configure "${configure[@]}" --disable-assembler --disable-pic \
    --disable-public-key --disable-openssl --disable-documentation
  quietly nettle emmake make libnettle.a "${sha1_only[@]}"
  quietly nettle emmake make install-headers install-static "${sha1_only[@]}"
}

# Two packages build at a time, each one step at a time: most of the time
# goes to their configure scripts, which run one check after another.
{ build_xz_utils; build_libzstd; build_zlib; } &
first=$!
{ build_flac; build_nettle; } &
second=$!
failed=false
wait "$first" || failed=true
wait "$second" || failed=true
! $failed || exit 1

debian_sources_end
