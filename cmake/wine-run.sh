#!/bin/sh
# The Windows build's CMAKE_CROSSCOMPILING_EMULATOR: runs a command under
# Wine as the tests need it. Usage: wine-run.sh PREFIX COMMAND [ARG...], where
# COMMAND is wine (to run a .exe) or wineserver.
set -eu
prefix=$1
shift

# Wine carries the read-only attribute as Unix permission bits, which root
# overrides; Windows refuses to write a read-only file whoever asks. In a
# user namespace of its own that maps no user, root keeps its uid but not
# that override: it still reaches the build tree, which it owns, wherever
# that lies, and the bits bind it as they bind any owner. Where user
# namespaces are refused, Wine runs as plain root and only the read-only
# image test fails.
if [ "$(id -u)" = 0 ] && unshare --user true 2>/dev/null; then
    exec unshare --user env HOME="$prefix" sh "$0" "$prefix" "$@"
fi

# Quiet, no display, no offer to install Mono or Gecko (CI has nobody to
# click a dialog away) and no desktop menu entries.
export WINEPREFIX="$prefix" WINEDEBUG=-all DISPLAY=
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A new prefix is set up before the first program runs in it, aside, so
# that its chatter never mixes with that program's output.
mkdir -p "$prefix"
if [ "$1" = wine ] && [ ! -e "$prefix/.update-timestamp" ]; then
    wine wineboot --init >/dev/null 2>&1 || true
fi
exec "$@"
