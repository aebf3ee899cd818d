# Release packages, made by CPack and named with project()'s version: a
# tarball (and, with BOOTGRAFT_DEB, a .deb) on Linux, a zip on Windows.
set(BOOTGRAFT_MAINTAINER "the bootgraft authors <bootgraft@example.org>"
    CACHE STRING "Maintainer of the .deb: name <address>")
option(BOOTGRAFT_DEB "Also build what the .deb ships (needs gzip and dpkg-shlibdeps)" OFF)

set(CPACK_PACKAGE_VENDOR "the bootgraft authors")
set(CPACK_PACKAGE_CONTACT "${BOOTGRAFT_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION "\
bootgraft writes a 32768-byte ip file over the System Area of a CD image,
the user data of its first 16 sectors, in place. It handles plain 2048-byte
ISO 9660 images, 2336-byte Mode 2 images and raw 2352-byte images, keeps
the EDC/ECC of the sectors it patches valid where it was, and touches no
other byte.

It is for people who build bootable discs from a console or a script: run
it once after mastering the image, check its exit status, burn.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_SYSTEM_NAME ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
endif()

if(BOOTGRAFT_DEB)
  include(cmake/deb.cmake)
endif()
include(CPack)
