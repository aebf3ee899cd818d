# 32-bit ARM Linux with hardware floating point (Debian's armhf): 32-bit
# Raspberry Pi OS and older boards. The tarball is named with Debian's name
# for it, which users look for, rather than one processor's.
set(CMAKE_SYSTEM_PROCESSOR armhf)
set(triplet arm-linux-gnueabihf)
set(qemu qemu-arm-static)
set(debian_architecture armhf)
# off_t and time_t 64-bit in every unit, GoogleTest's too, not only in the
# tools' own file code: images pass 2 GiB, and file times 2038.
set(CMAKE_C_FLAGS_INIT "-D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64")
# GCC notes that it passes some arguments otherwise than GCC 6 did, which
# matters only to code linked against objects that compiler built.
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT} -Wno-psabi")
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
