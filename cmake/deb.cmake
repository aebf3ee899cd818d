# What the .deb ships; `cpack -G DEB` installs its component alone (see
# cpack-per-generator.cmake), and a plain install never does.
list(APPEND CPACK_GENERATOR DEB)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpack-per-generator.cmake)

# Each tool as built above but linked as Debian's packages must be: against
# the shared glibc (lintian counts a static binary as an error) and the
# system's codec libraries (Debian wants one copy of each, updated in one
# place; lintian flags embedded ones), which dpkg-shlibdeps then names in
# Depends. libstdc++ and libgcc stay linked in, since loading libstdc++ is
# what made a dynamic bootgraft start slower than dd.
foreach(tool ${tools})
  add_executable(${tool}_deb)
  foreach(property SOURCES INCLUDE_DIRECTORIES COMPILE_DEFINITIONS COMPILE_OPTIONS LINK_LIBRARIES
                   OUTPUT_NAME)
    get_target_property(value ${tool} ${property})
    if(value)
      set_property(TARGET ${tool}_deb PROPERTY ${property} "${value}")
    endif()
  endforeach()
  target_link_options(${tool}_deb PRIVATE -static-libstdc++ -static-libgcc)
  set_target_properties(${tool}_deb PROPERTIES BOOTGRAFT_SHARED_CODECS ON)
  # Debian's hardening for the dynamic binaries: checked bounds of glibc's
  # string functions, and relocations read-only before main.
  target_compile_definitions(${tool}_deb PRIVATE _FORTIFY_SOURCE=2)
  target_link_options(${tool}_deb PRIVATE -Wl,-z,relro,-z,now)
  # CPack's strip keeps the compilers' notes; Debian's own strip step drops them.
  add_custom_command(TARGET ${tool}_deb POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment $<TARGET_FILE:${tool}_deb> VERBATIM)
  set_target_properties(${tool}_deb PROPERTIES RUNTIME_OUTPUT_DIRECTORY deb)
  get_target_property(name ${tool} OUTPUT_NAME)
  if(NOT name)
    set_target_properties(${tool}_deb PROPERTIES OUTPUT_NAME ${tool})
  endif()
endforeach()

# Debian wants the manual page and the changelog compressed at gzip's
# highest level and without a timestamp, and the changelog in its own format.
find_program(GZIP gzip REQUIRED)
# Needed only by cpack, but better missed here than after the build.
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps REQUIRED)
find_program(FILE_COMMAND file REQUIRED)
add_custom_command(OUTPUT deb/bootgraft.1.gz deb/bootgraft-extract.1.gz deb/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy bootgraft.1 deb/bootgraft.1
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/man/bootgraft-extract.1 deb/bootgraft-extract.1
  COMMAND ${CMAKE_COMMAND} -D IN=${PROJECT_SOURCE_DIR}/CHANGELOG.md -D OUT=deb/changelog
          -D NAME=${PROJECT_NAME} -D VERSION=${PROJECT_VERSION} -D MAINTAINER=${BOOTGRAFT_MAINTAINER}
          -P ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.cmake
  COMMAND ${GZIP} -9nf deb/bootgraft.1 deb/bootgraft-extract.1 deb/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/bootgraft.1 ${PROJECT_SOURCE_DIR}/man/bootgraft-extract.1 CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/debian-changelog.cmake
  VERBATIM)
add_custom_target(deb_documents ALL DEPENDS deb/bootgraft.1.gz deb/bootgraft-extract.1.gz deb/changelog.gz)
add_dependencies(deb_documents manpage)

# The copyright file in Debian's machine-readable format, made from LICENSE.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" holder "${licence}")
set(holder "${CMAKE_MATCH_1}")
string(FIND "${licence}" "Permission is hereby granted" start)
string(SUBSTRING "${licence}" ${start} -1 terms)
string(STRIP "${terms}" terms)
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")
file(WRITE ${PROJECT_BINARY_DIR}/deb/copyright "\
Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}

Files: *
Copyright: ${holder}
License: Expat
 ${terms}
")

install(TARGETS bootgraft_deb bootgraft_extract_deb RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/deb/bootgraft.1.gz ${PROJECT_BINARY_DIR}/deb/bootgraft-extract.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT deb EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/deb/copyright ${PROJECT_BINARY_DIR}/deb/changelog.gz README.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT deb EXCLUDE_FROM_ALL)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A cross build's architecture, as Debian names it (its toolchain file's).
if(BOOTGRAFT_DEBIAN_ARCHITECTURE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${BOOTGRAFT_DEBIAN_ARCHITECTURE})
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
