#!/usr/bin/env bash
# Cross-builds, for the Windows build, the codec and hash libraries that
# Debian ships no MinGW build of: liblzma, libzstd, libFLAC (without Ogg) and
# nettle, as static libraries from Debian's own source packages (fetched by
# .ci/debian-sources.sh), into build/mingw-deps (or the folder given as
# argument). zlib comes from Debian ready made (libz-mingw-w64-dev). Run by
# .ci/windows.sh and .ci/packages.sh; a second run with the same source
# versions and the same scripts does nothing.
set -euo pipefail
script=$(realpath "$0")
prefix=$(realpath -m "${1:-$(dirname "$script")/../build/mingw-deps}")
cd "$(dirname "$script")/.."
host=x86_64-w64-mingw32
packages=(xz-utils libzstd flac nettle)
# shellcheck source=.ci/debian-sources.sh
. .ci/debian-sources.sh
debian_sources_begin "MinGW builds"

export CC=$host-gcc-posix AR=$host-ar RANLIB=$host-ranlib CFLAGS=-O2
configure=(--host="$host" --prefix="$prefix" --enable-static --disable-shared --disable-dependency-tracking)

fetch xz-utils
cd "$sources/xz-utils"
quietly xz-utils ./configure "${configure[@]}" --disable-threads --disable-xz --disable-xzdec --disable-lzmadec \
  --disable-lzmainfo --disable-lzma-links --disable-scripts --disable-doc --disable-nls
quietly xz-utils make -j2 -C src/liblzma install

fetch libzstd
cd "$sources/libzstd"
quietly libzstd make -j2 -C lib libzstd.a ZSTD_LEGACY_SUPPORT=0 ZSTD_LIB_DICTBUILDER=0 ZSTD_LIB_DEPRECATED=0
install -D -m 644 lib/libzstd.a "$prefix/lib/libzstd.a"
install -m 644 lib/zstd.h lib/zstd_errors.h lib/zdict.h "$prefix/include"

fetch flac
cd "$sources/flac"
quietly flac ./configure "${configure[@]}" --disable-ogg --disable-programs --disable-examples --disable-cpplibs \
  --disable-doxygen-docs --disable-stack-smash-protection --disable-thorough-tests --disable-version-from-git
quietly flac make -j2 -C src/libFLAC install
quietly flac make -C include install

fetch nettle
cd "$sources/nettle"
quietly nettle ./configure "${configure[@]}" --disable-public-key --disable-openssl --disable-documentation
quietly nettle make -j2 libnettle.a
quietly nettle make install-headers install-static

debian_sources_end
