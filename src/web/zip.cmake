# The page's release files (`cmake --workflow --preset package-web`): bootgraft-<version>-web.zip,
# one folder holding the site as this build tree serves it, the single file, its README and the
# licence; and bootgraft-<version>.html, the single file alone.
set(web_zip bootgraft-${PROJECT_VERSION}-web)
set(web_zip_files index.html page.mjs page.css bootgraft.mjs worker.js bootgraft-engine.js
  bootgraft-engine.wasm bootgraft.html)
list(TRANSFORM web_zip_files PREPEND ${PROJECT_BINARY_DIR}/)
list(APPEND web_zip_files ${CMAKE_CURRENT_SOURCE_DIR}/README-web.md ${PROJECT_SOURCE_DIR}/LICENSE)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${web_zip}.zip ${PROJECT_BINARY_DIR}/bootgraft-${PROJECT_VERSION}.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${web_zip}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${web_zip}
  COMMAND ${CMAKE_COMMAND} -E copy ${web_zip_files} ${web_zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${web_zip}.zip --format=zip ${web_zip}
  COMMAND ${CMAKE_COMMAND} -E copy bootgraft.html bootgraft-${PROJECT_VERSION}.html
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
  DEPENDS ${web_zip_files} VERBATIM)
add_custom_target(web_zip DEPENDS ${PROJECT_BINARY_DIR}/${web_zip}.zip)
add_dependencies(web_zip bootgraft_engine site)
