# Installs the build into a fresh prefix and checks what a user gets there:
# a binary that runs and a manual page that groff renders without warnings.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()

set(tool "${PREFIX}/bin/bootgraft")
set(manual "${PREFIX}/share/man/man1/bootgraft.1")
foreach(file IN ITEMS "${tool}" "${manual}")
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

execute_process(COMMAND "${tool}" OUTPUT_VARIABLE usage RESULT_VARIABLE status)
if(NOT status EQUAL 255 OR NOT usage MATCHES "^bootgraft <imagefile> <ipgefile>\n")
  message(FATAL_ERROR "installed binary does not run: ${status} ${usage}")
endif()

find_program(GROFF groff)
if(GROFF)
  execute_process(COMMAND "${GROFF}" -ww -z -man "${manual}" ERROR_VARIABLE warnings RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "groff: ${warnings}")
  endif()
endif()
