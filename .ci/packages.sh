#!/usr/bin/env bash
# Builds the three release packages from scratch and checks each as a user
# gets it: the .deb through lintian, then installed (its Depends naming the
# libraries it needs) and removed with dpkg; the tarball's one static
# binary; the zip's .exe under Wine. Every binary also patches an image,
# which must then equal what dd makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=.ci/needs.sh
. .ci/needs.sh
bash .ci/install-missing.sh "${needs_packages[@]}"

bash .ci/mingw-deps.sh
rm -rf build/package build/package-windows
echo "== packages"
cmake --workflow --preset package
cmake --workflow --preset package-windows

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package/CMakeCache.txt)
deb=$PWD/build/package/bootgraft_${version}_amd64.deb
tarball=$PWD/build/package/bootgraft-${version}-Linux-x86_64.tar.gz
zip=$PWD/build/package-windows/bootgraft-${version}-win64.zip
wine_prefix=$PWD/build/package-windows/wine
ls -l "$deb" "$tarball" "$zip"

repo=$PWD
work=$(mktemp -d)
trap 'dpkg -r bootgraft >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
cd "$work"
head -c 32768 /dev/urandom > ip.bin

# shellcheck source=.ci/check-tool.sh
. "$repo/.ci/check-tool.sh"

echo "== lintian"
lintian --fail-on error,warning --display-info "$deb"

echo "== .deb, installed"
dpkg -i "$deb"
check_tool bootgraft
man -w bootgraft bootgraft-extract
check_extract bootgraft-extract
file -L "$(command -v bootgraft)" | grep -q ', stripped' || fail "installed binary not stripped"
check_depends "$deb" "$(command -v bootgraft)" ldd
mapfile -t installed < <(dpkg -L bootgraft)
dpkg -r bootgraft
for path in "${installed[@]}"; do
    [ -d "$path" ] || [ ! -e "$path" ] || fail "left after dpkg -r: $path"
done
! dpkg-query -W bootgraft 2> /dev/null || fail "still known to dpkg after dpkg -r"

echo "== tarball"
tar -xzf "$tarball"
tool=$PWD/bootgraft-${version}-Linux-x86_64/bin/bootgraft
file "$tool" | grep ', statically linked' | grep -q ', stripped' || fail "tarball binary: $(file "$tool")"
check_tool "$tool"
check_extract "$tool-extract"

echo "== zip, under Wine"
cmake -E tar xf "$zip"
exe=bootgraft-${version}-win64/bootgraft.exe
for document in README.md LICENSE bootgraft-extract.exe; do
    [ -f "bootgraft-${version}-win64/$document" ] || fail "$document not in the zip"
done
file "$exe" | grep -q 'stripped' || fail "$exe not stripped"
check_tool sh "$repo/cmake/wine-run.sh" "$wine_prefix" wine "$exe"
sh "$repo/cmake/wine-run.sh" "$wine_prefix" wineserver --wait
