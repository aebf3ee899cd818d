# shellcheck shell=bash
# The one list of Debian packages this project needs, by purpose. The Quick
# start (build.sh) and every CI script install from here, so that a new
# machine and CI never disagree about what is needed. Sourced, not run.
# shellcheck disable=SC2034  # the arrays are for the scripts that source this

# To build the tool: the compiler, and the codecs and the hash that CHD
# images need.
needs_build=(cmake make g++ zlib1g-dev liblzma-dev libzstd-dev libflac-dev libogg-dev nettle-dev)
# To build and run every test: GoogleTest, and the disc-image tools nobody
# here wrote that the integration tests read the results back with.
needs_test=("${needs_build[@]}" libgtest-dev genisoimage bchunk vcdimager ffmpeg libcdio-utils cdrdao iat
  ccd2iso mdf2iso mame-tools)
# CI's further checks: lint, fuzzing, the Windows build under Wine, the packages.
needs_lint=(clang-format clang-tidy cppcheck shellcheck groff-base)
needs_fuzz=("${needs_build[@]}" clang libclang-rt-14-dev genisoimage mame-tools)
needs_windows=(cmake make g++-mingw-w64-x86-64-posix wine wine64 googletest)
needs_packages=("${needs_build[@]}" dpkg-dev file lintian man-db g++-mingw-w64-x86-64-posix wine wine64)
