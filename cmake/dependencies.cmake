# The codec and hash libraries CHD images need: zlib, liblzma, libzstd,
# libFLAC and nettle for SHA1. One interface target, bootgraft_codecs,
# carries them to whatever links it.
#
# Which form of each library gets linked:
# - Windows: the static archives, so that the .exe stays one file. zlib is
#   Debian's MinGW build; the others are built from Debian's sources by
#   .ci/mingw-deps.sh into BOOTGRAFT_MINGW_DEPS (see mingw-w64.cmake).
# - Linux, BOOTGRAFT_STATIC: the archives, for the fully static binary, and
#   libogg's too, since Debian's libFLAC archive also reads Ogg FLAC. A
#   target whose BOOTGRAFT_SHARED_CODECS property is set gets the shared
#   libraries instead: the .deb must use the system's copies, which its
#   Depends then names.
# - Linux otherwise (sanitizers, fuzzing): the shared libraries.
# - The browser (emscripten): the archives .ci/web-deps.sh builds from
#   Debian's sources into BOOTGRAFT_WEB_DEPS (see emscripten.cmake); there
#   are no shared libraries to link.
set(codec_libraries z lzma zstd FLAC nettle)
set(codec_headers zlib.h lzma.h zstd.h FLAC/stream_decoder.h nettle/sha1.h)

if(WIN32)
  set(codec_hint "; bash .ci/mingw-deps.sh builds them into ${BOOTGRAFT_MINGW_DEPS}")
elseif(EMSCRIPTEN)
  set(codec_hint "; bash .ci/web-deps.sh builds them into ${BOOTGRAFT_WEB_DEPS}")
else()
  set(codec_hint "; bash build.sh installs them")
endif()
# Fails the configuration, saying where the missing piece comes from.
function(bootgraft_require variable)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable}: not found${codec_hint}")
  endif()
endfunction()

foreach(header IN LISTS codec_headers)
  string(MAKE_C_IDENTIFIER "${header}" key)
  find_path(BOOTGRAFT_INCLUDE_${key} ${header})
  bootgraft_require(BOOTGRAFT_INCLUDE_${key})
  list(APPEND codec_include_dirs ${BOOTGRAFT_INCLUDE_${key}})
endforeach()
list(REMOVE_DUPLICATES codec_include_dirs)

add_library(bootgraft_codecs INTERFACE)
target_include_directories(bootgraft_codecs SYSTEM INTERFACE ${codec_include_dirs})
if(WIN32 OR EMSCRIPTEN)
  set(static_libraries ${codec_libraries})
else()
  if(BOOTGRAFT_STATIC)
    set(static_libraries ${codec_libraries} ogg)
  endif()
  set(shared_libraries ${codec_libraries})
endif()
set(wants_shared $<BOOL:$<TARGET_PROPERTY:BOOTGRAFT_SHARED_CODECS>>)
foreach(library IN LISTS static_libraries)
  find_library(BOOTGRAFT_STATIC_${library} lib${library}.a)
  bootgraft_require(BOOTGRAFT_STATIC_${library})
  if(shared_libraries)
    target_link_libraries(bootgraft_codecs INTERFACE $<$<NOT:${wants_shared}>:${BOOTGRAFT_STATIC_${library}}>)
  else()
    target_link_libraries(bootgraft_codecs INTERFACE ${BOOTGRAFT_STATIC_${library}})
  endif()
endforeach()
foreach(library IN LISTS shared_libraries)
  find_library(BOOTGRAFT_SHARED_${library} ${library})
  bootgraft_require(BOOTGRAFT_SHARED_${library})
  if(static_libraries)
    target_link_libraries(bootgraft_codecs INTERFACE $<${wants_shared}:${BOOTGRAFT_SHARED_${library}}>)
  else()
    target_link_libraries(bootgraft_codecs INTERFACE ${BOOTGRAFT_SHARED_${library}})
  endif()
endforeach()
# Linked in, none of them may expect to be a DLL on Windows.
target_compile_definitions(bootgraft_codecs INTERFACE FLAC__NO_DLL LZMA_API_STATIC)
