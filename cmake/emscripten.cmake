# Builds for the browser with emscripten: its own toolchain file, from
# Debian's package unless EMSCRIPTEN_ROOT_PATH names another, and the codec
# libraries .ci/web-deps.sh builds.
set(EMSCRIPTEN_ROOT_PATH /usr/share/emscripten CACHE PATH "emscripten's own folder")
include(${EMSCRIPTEN_ROOT_PATH}/cmake/Modules/Platform/Emscripten.cmake)

# The codec libraries, built for WebAssembly from Debian's sources into this
# prefix by .ci/web-deps.sh.
get_filename_component(web_deps ${CMAKE_CURRENT_LIST_DIR}/../build/web-deps ABSOLUTE)
set(BOOTGRAFT_WEB_DEPS ${web_deps} CACHE PATH "Prefix of the WebAssembly builds of the codec libraries")
list(APPEND CMAKE_FIND_ROOT_PATH ${BOOTGRAFT_WEB_DEPS})

# Linking runs emscripten's JavaScript optimizer under node, which finds the
# parser it needs (Debian's node-acorn) only in this folder.
foreach(language C CXX)
  set(CMAKE_${language}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
endforeach()
