# The program links statically where it can.  Loaded as shared objects,
# libstdc++, libxml2 (and the ICU it brings), libcrypto and libjpeg cost a
# run 1.5 to 3 ms in the dynamic loader before main -- symbol lookups,
# relocations and the pages they touch -- three to five times what
# /bin/true takes to start.  A static, position-dependent program does none of that work
# and starts about as fast as /bin/true.  (The linker warns that a static
# program cannot use dlopen and the resolver's name services: code of ICU
# and libxml2 that segsniff never calls.)
#
# Sets segsniff_static_program (ON/OFF) and segsniff_static_libraries, the
# archives to link in place of the shared libraries.  Needs the static
# archives of the libraries found (Debian: libjpeg62-turbo-dev, libxml2-dev
# with libicu-dev, zlib1g-dev and liblzma-dev, libssl-dev; libc6-dev and
# libstdc++-12-dev for the C and C++ runtimes) and a trial link with them
# that succeeds; without them the program links dynamically, as the tests
# and the benchmark helpers do anyway.  Sanitizer builds link dynamically.
option(SEGSNIFF_STATIC "Link the program statically when the static libraries are installed" ON)

set(segsniff_static_program OFF)
set(segsniff_static_libraries)

function(segsniff_find_archives out)
  set(found)
  foreach(name IN LISTS ARGN)
    string(MAKE_C_IDENTIFIER "SEGSNIFF_ARCHIVE_${name}" variable)
    find_library(${variable} NAMES lib${name}.a)
    if(NOT ${variable})
      message(STATUS "Static program: lib${name}.a not found")
      set(${out} NOTFOUND PARENT_SCOPE)
      return()
    endif()
    list(APPEND found ${${variable}})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

if(SEGSNIFF_STATIC AND NOT SEGSNIFF_SANITIZE)
  set(names)
  set(probe_calls)
  if(JPEG_FOUND)
    list(APPEND names jpeg)
    string(APPEND probe_calls "jpeg_error_mgr e; jpeg_std_error(&e);\n")
  endif()
  if(segsniff_report)
    # libxml2's own dependencies, in link order, then libcrypto's.
    list(APPEND names xml2 icuuc icudata z lzma crypto)
    string(APPEND probe_calls "xmlFreeTextWriter(xmlNewTextWriterDoc(nullptr, 0));\n"
                              "EVP_MD_CTX_free(EVP_MD_CTX_new());\n")
  endif()
  segsniff_find_archives(archives ${names})
  if(NOT archives STREQUAL "NOTFOUND")
    include(CheckCXXSourceCompiles)
    set(CMAKE_REQUIRED_LINK_OPTIONS -static)
    set(CMAKE_REQUIRED_LIBRARIES ${archives} m ${CMAKE_DL_LIBS})
    set(CMAKE_REQUIRED_INCLUDES ${JPEG_INCLUDE_DIRS} ${LIBXML2_INCLUDE_DIRS} ${OPENSSL_INCLUDE_DIR})
    set(CMAKE_REQUIRED_QUIET ON)
    set(headers "#include <cstdio>\n")
    if(JPEG_FOUND)
      string(APPEND headers "#include <jpeglib.h>\n")
    endif()
    if(segsniff_report)
      string(APPEND headers "#include <libxml/xmlwriter.h>\n#include <openssl/evp.h>\n")
    endif()
    check_cxx_source_compiles("${headers}int main() {\n${probe_calls}return 0;\n}"
                              SEGSNIFF_STATIC_LINK_WORKS)
    if(SEGSNIFF_STATIC_LINK_WORKS)
      set(segsniff_static_program ON)
      set(segsniff_static_libraries ${archives} m ${CMAKE_DL_LIBS})
    else()
      message(STATUS "Static program: a trial link with the static libraries failed")
    endif()
  endif()
endif()
if(segsniff_static_program)
  message(STATUS "Static program: yes")
else()
  message(STATUS "Static program: no (the program loads its libraries when it starts)")
endif()
