#!/usr/bin/env bash
# Cross-builds, for the Windows build, the codec and hash libraries that
# Debian ships no MinGW build of: liblzma, libzstd, libFLAC (without Ogg) and
# nettle, as static libraries from Debian's own source packages, into
# build/mingw-deps (or the folder given as argument). zlib comes from Debian
# ready made (libz-mingw-w64-dev). The sources come through a deb-src entry
# made from this machine's own apt sources, with apt's lists kept inside the
# prefix, so the system's apt setup stays as it was. Run by .ci/windows.sh
# and .ci/packages.sh; a second run with the same source versions and the
# same script does nothing.
set -euo pipefail
script=$(realpath "$0")
prefix=$(realpath -m "${1:-$(dirname "$script")/../build/mingw-deps}")
cd "$(dirname "$script")/.."
host=x86_64-w64-mingw32
packages=(xz-utils libzstd flac nettle)
apt_dir=$prefix/apt
mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache"

# One deb-src entry for every deb entry of this release's own suites (the
# codename and its -updates, -security, ...); other vendors' repositories
# often carry no sources and are left out.
# shellcheck disable=SC1091  # the machine's own
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || { echo "no VERSION_CODENAME in /etc/os-release" >&2; exit 1; }
source_list='' source_parts=''
eval "$(apt-config shell source_list Dir::Etc::SourceList/f source_parts Dir::Etc::SourceParts/d)"
{
  [ ! -f "$source_list" ] || cat "$source_list"
  for list in "$source_parts"/*.list; do [ ! -f "$list" ] || cat "$list"; done
} | awk -v codename="$codename" '
  $1 == "deb" {
    uri = 2
    if ($2 ~ /^\[/) { while ($uri !~ /\]$/ && uri < NF) uri++; uri++ }
    if ($(uri + 1) ~ "^" codename "(-|$)") { $1 = "deb-src"; print }
  }' > "$apt_dir/sources.list"
for sources in "$source_parts"/*.sources; do
  [ -f "$sources" ] || continue
  # Stanzas are separated by blank lines; fields may continue on lines that
  # begin with a space.
  awk -v codename="$codename" '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && enabled !~ /^[Nn]o/ && suites != "")
        printf "Types: deb-src\nSuites:%s\n%s\n", suites, rest
      types = ""; enabled = ""; suites = ""; rest = ""; field = ""
    }
    /^#/ { next }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]/ { if (field != "Types" && field != "Suites" && field != "Enabled") rest = rest $0 "\n"; next }
    {
      field = $1; sub(/:$/, "", field); value = $0; sub(/^[^:]*:[ \t]*/, "", value)
      if (field == "Types") types = value
      else if (field == "Enabled") enabled = value
      else if (field == "Suites") {
        n = split(value, all, /[ \t]+/)
        for (i = 1; i <= n; i++) if (all[i] ~ "^" codename "(-|$)") suites = suites " " all[i]
      } else rest = rest $0 "\n"
    }
    END { flush() }' "$sources" > "$apt_dir/sources.list.d/$(basename "$sources")"
done

apt_options=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o Debug::NoLocking=1 -qq)
# As root apt would hand the downloads to its own user, who may not reach
# the build tree.
[ "$(id -u)" != 0 ] || apt_options+=(-o APT::Sandbox::User=root)
# The lists are fetched once, then again only when there is work to do.
refreshed=false
if ! compgen -G "$apt_dir/lists/*Sources*" > /dev/null; then
  apt-get "${apt_options[@]}" update
  refreshed=true
fi

# Every version the lists know of each source package, newest first.
versions() { # package
  local version sorted=()
  while read -r version; do
    local i=${#sorted[@]}
    while ((i > 0)) && dpkg --compare-versions "$version" gt "${sorted[i - 1]}"; do
      sorted[i]=${sorted[i - 1]}
      i=$((i - 1))
    done
    sorted[i]=$version
  done < <(apt-cache "${apt_options[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -u)
  printf '%s\n' "${sorted[@]}"
}

# The work is keyed on this script and on the versions on offer: the same
# key as the last complete build means the prefix holds what it would make.
key() {
  sha256sum < "$script"
  for package in "${packages[@]}"; do echo "$package $(versions "$package" | tr '\n' ' ')"; done
}
stamp=$prefix/built-from
if [ -f "$stamp" ] && [ "$(key)" = "$(cat "$stamp")" ]; then
  exit 0
fi

echo "== MinGW builds of ${packages[*]}, into $prefix"
$refreshed || apt-get "${apt_options[@]}" update
sources=$prefix/sources
logs=$prefix/logs
rm -rf "$sources" "$logs" "${prefix:?}/include" "${prefix:?}/lib" "$stamp"
mkdir -p "$sources" "$logs"

# Runs a build step with its output in the package's log, shown if it fails.
quietly() { # package command...
  local package=$1
  shift
  "$@" >> "$logs/$package.log" 2>&1 || {
    tail -n 40 "$logs/$package.log" >&2
    echo "building $package failed, see $logs/$package.log" >&2
    exit 1
  }
}

# Fetches and unpacks a source package, Debian's patches applied, into
# $sources/NAME; says which version it built.
fetch() { # package
  local version
  for version in $(versions "$1"); do
    if (cd "$sources" && apt-get "${apt_options[@]}" source --download-only "$1=$version" 2>/dev/null); then
      quietly "$1" dpkg-source -x "$sources/$1_${version#*:}.dsc" "$sources/$1"
      echo "   $1 $version"
      return
    fi
  done
  echo "no source of $1 could be fetched" >&2
  exit 1
}

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

rm -rf "$sources"
key > "$stamp"
echo "   done: $(cd "$prefix/lib" && echo *.a)"
