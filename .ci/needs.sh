# shellcheck shell=bash
# The one list of Debian packages this project needs, by purpose. The Quick
# start (build.sh) and every CI script install from here, so that a new
# machine and CI never disagree about what is needed. Sourced, not run.
# shellcheck disable=SC2034  # the arrays are for the scripts that source this

# To build the tool: the compiler, and the codecs and the hash that CHD
# images need.
codecs=(zlib1g-dev liblzma-dev libzstd-dev libflac-dev libogg-dev nettle-dev)
needs_build=(cmake make g++ "${codecs[@]}")
# To build and run every test: GoogleTest, and the disc-image tools nobody
# here wrote that the integration tests read the results back with.
disc_tools=(genisoimage bchunk vcdimager ffmpeg libcdio-utils cdrdao iat ccd2iso mdf2iso mame-tools unicode-data)
# The file systems the tests make and mount (as root), and strace for the
# answers of those that cannot be mounted here.
needs_test=("${needs_build[@]}" libgtest-dev "${disc_tools[@]}"
  dosfstools fusefat exfatprogs exfat-fuse ntfs-3g xfsprogs btrfs-progs squashfs-tools strace)
# CI's further checks: lint, fuzzing.
needs_lint=(clang-format clang-tidy cppcheck shellcheck groff-base)
needs_fuzz=("${needs_build[@]}" clang libclang-rt-14-dev genisoimage mame-tools)
# The Windows builds: the cross compilers, Debian's MinGW zlib, and what
# .ci/mingw-deps.sh needs to build the other codec libraries from Debian's
# sources (dpkg-source; m4 for nettle's assembler; gcc for its build tools).
needs_mingw=(make gcc g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev m4)
needs_windows=(cmake "${needs_mingw[@]}" wine wine64 googletest)
needs_packages=("${needs_build[@]}" "${needs_mingw[@]}" file lintian man-db wine wine64)
# The ARM builds (.ci/arm.sh): Debian's cross compilers, qemu-user to run
# what they build, GoogleTest's sources to build for the target, and each
# architecture's own codec libraries beside the host's (multiarch: an
# architecture not yet known to dpkg install-missing.sh adds). dpkg-dev,
# file and lintian make and check the packages.
needs_arm=(cmake make g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user-static googletest
  "${codecs[@]/%/:arm64}" "${codecs[@]/%/:armhf}" "${disc_tools[@]}" dpkg-dev file lintian)
# The browser build: emscripten (which brings node, clang and binaryen), what
# .ci/web-deps.sh needs to build the codec libraries from Debian's sources,
# and the three engines the browser tests drive: Chromium and Firefox ESR
# (through puppeteer-core from npm), WebKitGTK's MiniBrowser through
# WebKitWebDriver (selenium-webdriver from npm), on xvfb-run's display. npm
# only where node has none of its own: NodeSource's nodejs carries one and
# conflicts with Debian's npm package.
needs_web=(cmake make emscripten nodejs dpkg-dev chromium firefox-esr webkit2gtk-driver xvfb xauth)
command -v npm > /dev/null || needs_web+=(npm)
