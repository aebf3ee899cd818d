#!/usr/bin/env bash
# The browser build, from scratch: the engine compiled to WebAssembly with
# emscripten, and its tests. Installs what is missing first, and builds the
# codec libraries for WebAssembly unless build/web-deps already holds them.
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck source=.ci/needs.sh
. .ci/needs.sh
# The module's test runs the container and CHD scripts, their disc tools
# included, with the native build as its oracle.
bash .ci/install-missing.sh "${needs_web[@]}" "${needs_test[@]}"

bash .ci/web-deps.sh
cmake --workflow --preset release
npm ci --no-audit --no-fund  # puppeteer-core, into node_modules at the top
rm -rf build/web
echo "== WebAssembly (emscripten)"
cmake --workflow --preset web
# The release zip: the site as one folder, the engine and page in it.
cmake --workflow --preset package-web
python3 -m zipfile -l build/web/bootgraft-*-web.zip | grep -q '/bootgraft-engine.wasm' ||
  { echo "the web zip holds no engine" >&2; exit 1; }
