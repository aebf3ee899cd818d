#!/usr/bin/env bash
# The native Windows build, from scratch: cross-compiled with mingw-w64 and
# its tests run under Wine. Installs what is missing first, and builds the
# codec libraries Debian has no MinGW build of unless build/mingw-deps
# already holds them.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=.ci/needs.sh
. .ci/needs.sh
bash .ci/install-missing.sh "${needs_windows[@]}"

bash .ci/mingw-deps.sh
rm -rf build/windows
# One wineserver for the whole run, kept up between the test processes
# rather than started anew, with the prefix's services, for each of them.
# Stopped at the end; should this script die first, it stops by itself
# once idle for five minutes.
prefix="$PWD/build/windows/wine"
sh cmake/wine-run.sh "$prefix" wineserver --persistent=300
trap 'sh cmake/wine-run.sh "$prefix" wineserver --kill' EXIT

echo "== Windows (mingw-w64, tests under Wine)"
# Wine itself now and then fails to start a test program, which then exits
# at once having printed nothing (seen once in CI, on a pure function's
# table). The preset runs a failed test once more: a fault of the tool's
# fails both times.
cmake --workflow --preset windows
