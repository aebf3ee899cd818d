# Writes the manual page with its .TH line filled in: the version is
# project()'s and the date is the month of the build (SOURCE_DATE_EPOCH, where
# set, fixes it). The rest of the page is copied as written.
# Usage: cmake -D IN=man/bootgraft.1 -D OUT=bootgraft.1 -D VERSION=x.y.z -P manpage.cmake
file(READ "${IN}" page)
string(REGEX MATCH "^\\.TH [^\n]*" title "${page}")
if(NOT title)
  message(FATAL_ERROR "${IN} does not start with a .TH line")
endif()
string(TIMESTAMP DATE "%B %Y" UTC)
string(CONFIGURE "${title}" filled @ONLY)
string(LENGTH "${title}" length)
string(SUBSTRING "${page}" ${length} -1 body)
file(WRITE "${OUT}" "${filled}${body}")
