# Read by cpack once for each generator. The .deb is made from the deb
# component alone; the other packages from a plain install, which leaves it out.
if(CPACK_GENERATOR STREQUAL "DEB")
  string(REPLACE ";ALL;" ";deb;" CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_INSTALL_CMAKE_PROJECTS}")
  # A cross build's binaries: dpkg-shlibdeps reads them with that
  # architecture's objdump, and finds their libraries in its multiarch folders.
  if(CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
    set(ENV{DEB_HOST_ARCH} ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
  endif()
endif()
