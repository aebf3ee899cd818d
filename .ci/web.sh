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
npm ci --no-audit --no-fund  # puppeteer-core and selenium-webdriver, into node_modules at the top
rm -rf build/web
echo "== WebAssembly (emscripten)"
cmake --workflow --preset web
# The release files: the site as one folder in a zip, the engine, the page and the single file in
# it; and the single file alone, which must fetch nothing and stay within 1 MiB.
cmake --workflow --preset package-web
listing=$(python3 -m zipfile -l build/web/bootgraft-*-web.zip)
for file in bootgraft-engine.wasm bootgraft.html; do
  grep -q "/$file" <<< "$listing" || { echo "the web zip holds no $file" >&2; exit 1; }
done
single=$(ls build/web/bootgraft-[0-9]*.html)
(($(stat -c %s "$single") <= 1 << 20)) || { echo "$single is over 1 MiB" >&2; exit 1; }
