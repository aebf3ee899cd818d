#!/usr/bin/env bash
# The Quick start: on Debian or Ubuntu, installs what is missing (asking
# sudo where not root), then builds.
#   bash build.sh        builds the tool: build/release/bootgraft
#   bash build.sh test   builds the tool and its tests and runs every test,
#                        the browser module's and page's in Chromium, Firefox and WebKit too
set -euo pipefail
cd "$(dirname "$0")"
# shellcheck source=.ci/needs.sh
. .ci/needs.sh
case "${1:-release}" in
  release) bash .ci/install-missing.sh "${needs_build[@]}" && cmake --workflow --preset release ;;
  test) bash .ci/install-missing.sh "${needs_test[@]}" && bash .ci/web.sh && cmake --workflow --preset test ;;
  *) echo "usage: bash build.sh [test]" >&2; exit 2 ;;
esac
