# The Windows release zip, sivo-VERSION-win32.zip or -win64.zip in the build
# folder, packed whenever the program or a DLL is rebuilt (see
# windows_zip.cmake for its contents). Needs gendef (Debian's mingw-w64-tools)
# and the toolchain's dlltool.
find_program(SIVO_GENDEF gendef)
find_program(SIVO_DLLTOOL ${SIVO_MINGW_TRIPLET}-dlltool)
if(NOT SIVO_GENDEF OR NOT SIVO_DLLTOOL OR NOT TARGET sivo)
  message(STATUS "gendef, dlltool or sivo.exe missing: no release zip")
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SIVO_WINDOWS_BITS 64)
else()
  set(SIVO_WINDOWS_BITS 32)
endif()
set(SIVO_ZIP_NAME sivo-${PROJECT_VERSION}-win${SIVO_WINDOWS_BITS})
set(SIVO_ZIP ${PROJECT_BINARY_DIR}/${SIVO_ZIP_NAME}.zip)
add_custom_command(OUTPUT ${SIVO_ZIP}
  COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DNAME=${SIVO_ZIP_NAME} -DVERSION=${PROJECT_VERSION} -DBITS=${SIVO_WINDOWS_BITS}
    -DDLLTOOL=${SIVO_DLLTOOL} -DGENDEF=${SIVO_GENDEF} -DZIP=${SIVO_ZIP}
    -DLICENSES=${SIVO_WINDOWS_DEPS}/share/licenses
    -P ${CMAKE_CURRENT_LIST_DIR}/windows_zip.cmake
  DEPENDS sivo sivocore sivowav ratelib ${CMAKE_CURRENT_LIST_DIR}/windows_zip.cmake
    ${PROJECT_SOURCE_DIR}/tools/README-windows.txt
  COMMENT "Packing ${SIVO_ZIP_NAME}.zip")
add_custom_target(windows_zip ALL DEPENDS ${SIVO_ZIP})
