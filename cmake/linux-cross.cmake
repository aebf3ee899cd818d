# Linux on another processor, cross-compiled with Debian's cross compiler
# for `triplet` against Debian's own builds of the codec libraries for that
# architecture, installed beside the host's (multiarch: dpkg
# --add-architecture, then the -dev packages with :arch), and what it builds
# run under qemu-user. Included by the file of each architecture, which sets
# triplet, qemu (the emulator) and debian_architecture.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${triplet}-gcc)
set(CMAKE_CXX_COMPILER ${triplet}-g++)
# The target's libraries in /usr/lib/<triplet>; the headers the compiler
# finds in /usr/include and /usr/include/<triplet> by itself.
set(CMAKE_LIBRARY_ARCHITECTURE ${triplet})
# Named in the .deb's Architecture field and its file name.
set(BOOTGRAFT_DEBIAN_ARCHITECTURE ${debian_architecture})

# The static tools need no sysroot; the test programs are dynamic, and find
# their libstdc++ and glibc in the cross compiler's.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu} -L /usr/${triplet})
endif()
