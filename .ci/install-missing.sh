#!/usr/bin/env bash
# Installs those of the named Debian packages that are missing, saying which,
# so that a fresh machine gets what is needed and a prepared one is left
# alone. As root it runs apt-get itself, otherwise through sudo. A name with
# :arch is that architecture's package, installed beside the host's.
set -euo pipefail
missing=()
for package in "$@"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
((${#missing[@]})) || exit 0
echo "== installing what is missing: ${missing[*]}"
as_root=()
if [ "$(id -u)" != 0 ]; then
  command -v sudo >/dev/null || { echo "needs root or sudo to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
# A package of another architecture needs that architecture known to dpkg
# first: apt's lists then hold its packages.
for package in "${missing[@]}"; do
  arch=${package##*:}
  if [ "$arch" != "$package" ] && [ "$arch" != "$(dpkg --print-architecture)" ] &&
    ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${as_root[@]}" dpkg --add-architecture "$arch"
  fi
done
# A mirror caught mid-sync serves an index of the wrong size for a while:
# asked again a little later, it may serve the right one. Should it not, apt
# keeps the lists it has, and the install below still takes what they hold;
# what they lack fails it with 75 (EX_TEMPFAIL): the archive's fault, not
# the project's.
listed=yes
for try in 1 2 3; do
  "${as_root[@]}" apt-get update && { listed=yes; break; }
  listed=no
  [ "$try" = 3 ] || sleep 20
done
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" ||
  { [ "$listed" = no ] && exit 75; exit 1; }
