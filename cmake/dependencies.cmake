# The codec and hash libraries CHD images need, from the system: zlib,
# liblzma, libzstd, libFLAC (with libogg, which Debian's static libFLAC
# needs) and nettle for SHA1. One interface target, bootgraft_codecs,
# carries them; a static build links their archives.
set(codec_libraries z lzma zstd FLAC ogg nettle)
set(codec_headers zlib.h lzma.h zstd.h FLAC/stream_decoder.h nettle/sha1.h)

foreach(header IN LISTS codec_headers)
  string(MAKE_C_IDENTIFIER "${header}" key)
  find_path(BOOTGRAFT_INCLUDE_${key} ${header} REQUIRED)
  list(APPEND codec_include_dirs ${BOOTGRAFT_INCLUDE_${key}})
endforeach()
list(REMOVE_DUPLICATES codec_include_dirs)

add_library(bootgraft_codecs INTERFACE)
target_include_directories(bootgraft_codecs SYSTEM INTERFACE ${codec_include_dirs})
foreach(library IN LISTS codec_libraries)
  if(BOOTGRAFT_STATIC OR WIN32)
    set(names lib${library}.a)
  else()
    set(names ${library})
  endif()
  find_library(BOOTGRAFT_LIB_${library} NAMES ${names} REQUIRED)
  target_link_libraries(bootgraft_codecs INTERFACE ${BOOTGRAFT_LIB_${library}})
endforeach()
# Built into the program, libFLAC must not expect to be a DLL on Windows.
target_compile_definitions(bootgraft_codecs INTERFACE FLAC__NO_DLL)
