#!/usr/bin/env bash
# The browser build, from scratch: the engine compiled to WebAssembly with
# emscripten, and its tests. Installs what is missing first, and builds the
# codec libraries for WebAssembly unless build/web-deps already holds them.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=.ci/needs.sh
. .ci/needs.sh
bash .ci/install-missing.sh "${needs_web[@]}"

bash .ci/web-deps.sh
rm -rf build/web
echo "== WebAssembly (emscripten)"
cmake --workflow --preset web
