# 64-bit ARM Linux (Debian's arm64): Raspberry Pi OS 64-bit, other arm64
# boards and handhelds.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(triplet aarch64-linux-gnu)
set(qemu qemu-aarch64-static)
set(debian_architecture arm64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
