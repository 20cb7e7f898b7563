# Install rules: the shared libraries, their public headers, the sivo
# program, pkg-config files and a CMake package (find_package(sivo)).
include(CMakePackageConfigHelpers)

set(SIVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/sivo)
set(SIVO_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The installed program and libraries find their neighbours relative to
# themselves, so an installed tree works wherever it is put.
file(RELATIVE_PATH SIVO_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})

set(SIVO_INSTALL_TARGETS sivocore)
foreach(target ratelib sivowav)
  if(TARGET ${target})
    list(APPEND SIVO_INSTALL_TARGETS ${target})
  endif()
endforeach()

set_target_properties(sivocore PROPERTIES
  PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/codec/include/sivocore.h)
if(TARGET sivowav)
  get_target_property(SIVOWAV_HEADER sivowav PUBLIC_HEADER)
  if(NOT SIVOWAV_HEADER)
    set_target_properties(sivowav PROPERTIES
      PUBLIC_HEADER ${PROJECT_SOURCE_DIR}/wavenc/include/sivowav.h)
  endif()
  set_target_properties(sivowav PROPERTIES INSTALL_RPATH "$ORIGIN")
  target_include_directories(sivowav INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
endif()
# The program is installed but not exported: find_package(sivo) gives the
# libraries, and must not need the program to be installed beside them.
if(TARGET sivo)
  set_target_properties(sivo PROPERTIES INSTALL_RPATH "$ORIGIN/${SIVO_BIN_TO_LIB}")
  install(TARGETS sivo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(TARGETS ${SIVO_INSTALL_TARGETS}
  EXPORT sivoTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT sivoTargets
  NAMESPACE sivo::
  DESTINATION ${SIVO_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/sivoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/sivoConfig.cmake
  INSTALL_DESTINATION ${SIVO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sivoConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/sivoConfig.cmake ${PROJECT_BINARY_DIR}/sivoConfigVersion.cmake
        DESTINATION ${SIVO_CMAKE_DIR})

# pkg-config files locate the prefix from their own place, so they stay
# right when the tree is installed with --prefix or moved.
file(RELATIVE_PATH SIVO_PC_TO_PREFIX /${SIVO_PKGCONFIG_DIR} /)
string(REGEX REPLACE "/$" "" SIVO_PC_TO_PREFIX "${SIVO_PC_TO_PREFIX}")
set(SIVO_PC_FILES sivocore)
if(TARGET sivowav)
  list(APPEND SIVO_PC_FILES sivowav)
endif()
foreach(pc ${SIVO_PC_FILES})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${SIVO_PKGCONFIG_DIR})
endforeach()
