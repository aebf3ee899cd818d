# Cross-compiles a native 64-bit Windows build with Debian's mingw-w64
# (posix threads variant), and runs what it builds under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_triplet}-g++-posix)

# The codec libraries Debian ships no MinGW build of are built by
# .ci/mingw-deps.sh into this prefix; Debian's own MinGW zlib is in the first.
get_filename_component(mingw_deps ${CMAKE_CURRENT_LIST_DIR}/../build/mingw-deps ABSOLUTE)
set(BOOTGRAFT_MINGW_DEPS ${mingw_deps} CACHE PATH "Prefix of the MinGW builds of the codec libraries")
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triplet} ${BOOTGRAFT_MINGW_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread linked in: users get one .exe that needs
# only the DLLs every Windows ships, not a folder of mingw runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Test executables run through Wine, in a prefix private to the build tree.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh
      ${CMAKE_BINARY_DIR}/wine wine)
endif()
