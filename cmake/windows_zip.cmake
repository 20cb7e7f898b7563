# Packs the Windows release zip from a built tree:
#
#   NAME/bin/      sivo.exe and the DLLs, stripped
#   NAME/include/  the public headers
#   NAME/lib/      MinGW import libraries (libX.dll.a) and, made from each DLL
#                  with gendef and dlltool, X.def and an MSVC-style X.lib
#   NAME/licenses/ the licences of the libraries linked into the program and
#                  the DLLs (libsndfile, libsoxr, FLAC, Ogg, Vorbis, Opus,
#                  MinGW-w64's runtime), from LICENSES
#   NAME/LICENSE, NAME/README-windows.txt
#
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DNAME=sivo-2.0.0-win32 -DVERSION=2.0.0
#         -DBITS=32 -DDLLTOOL=... -DGENDEF=... -DZIP=.../NAME.zip -DLICENSES=...
#         -P windows_zip.cmake
foreach(var BUILD_DIR SOURCE_DIR NAME VERSION BITS DLLTOOL GENDEF ZIP LICENSES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "windows_zip.cmake: ${var} not set")
  endif()
endforeach()

get_filename_component(work ${ZIP} DIRECTORY)
set(work ${work}/zip-stage)
set(tree ${work}/${NAME})
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${tree}/bin ${tree}/include ${tree}/lib)

execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${work}/install --strip
  OUTPUT_QUIET RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "installing ${BUILD_DIR} failed")
endif()

file(GLOB programs ${work}/install/bin/*.exe)
file(GLOB dlls ${work}/install/bin/*.dll)
file(GLOB headers ${work}/install/include/*.h)
file(GLOB import_libraries ${work}/install/lib/*.dll.a)
if(NOT programs OR NOT dlls OR NOT headers OR NOT import_libraries)
  message(FATAL_ERROR "the installed tree lacks the program, DLLs, headers or import libraries")
endif()
file(COPY ${programs} ${dlls} DESTINATION ${tree}/bin)
# ratelib.h too: sivowav.dll needs ratelib.dll, and a program may call it.
file(COPY ${headers} ${SOURCE_DIR}/ratelib/include/ratelib.h DESTINATION ${tree}/include)
file(COPY ${import_libraries} DESTINATION ${tree}/lib)

# The .def file as the DLL itself exports, and from it an import library in
# the form Microsoft's linker reads.
foreach(dll ${dlls})
  get_filename_component(base ${dll} NAME_WE)
  execute_process(COMMAND ${GENDEF} - ${dll}
    OUTPUT_FILE ${tree}/lib/${base}.def ERROR_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gendef ${dll} failed")
  endif()
  execute_process(COMMAND ${DLLTOOL} -d ${tree}/lib/${base}.def -D ${base}.dll
    -l ${tree}/lib/${base}.lib RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dlltool ${base}.def failed")
  endif()
endforeach()

file(GLOB licences ${LICENSES}/*.txt)
if(NOT licences)
  message(FATAL_ERROR "no licences of the linked-in libraries in ${LICENSES}")
endif()
file(COPY ${licences} DESTINATION ${tree}/licenses)

if(EXISTS ${SOURCE_DIR}/LICENSE)
  configure_file(${SOURCE_DIR}/LICENSE ${tree}/LICENSE COPYONLY)
else()
  message(WARNING "no LICENSE at the top of ${SOURCE_DIR}: the zip goes without one")
endif()
set(SIVO_VERSION ${VERSION})
set(SIVO_WINDOWS_BITS ${BITS})
if(BITS EQUAL 64)
  set(SIVO_LIB_MACHINE x64)
else()
  set(SIVO_LIB_MACHINE x86)
endif()
configure_file(${SOURCE_DIR}/tools/README-windows.txt ${tree}/README-windows.txt @ONLY
  NEWLINE_STYLE CRLF)

file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${NAME}
  WORKING_DIRECTORY ${work} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "packing ${ZIP} failed")
endif()
file(REMOVE_RECURSE ${work})
