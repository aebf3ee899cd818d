# Read by cpack once for each generator. The .deb is made from the deb
# component alone; the other packages from a plain install, which leaves it out.
if(CPACK_GENERATOR STREQUAL "DEB")
  string(REPLACE ";ALL;" ";deb;" CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_INSTALL_CMAKE_PROJECTS}")
endif()
