#----------------------------------------------------------------
# Generated CMake target import file for configuration "None".
#----------------------------------------------------------------

# Commands may need to know the format version.
set(CMAKE_IMPORT_FILE_VERSION 1)

# Import target "sivo::sivocore" for configuration "None"
set_property(TARGET sivo::sivocore APPEND PROPERTY IMPORTED_CONFIGURATIONS NONE)
set_target_properties(sivo::sivocore PROPERTIES
  IMPORTED_LOCATION_NONE "${_IMPORT_PREFIX}/lib/x86_64-linux-gnu/libsivocore.so.2.0.0"
  IMPORTED_SONAME_NONE "libsivocore.so.2"
  )

list(APPEND _cmake_import_check_targets sivo::sivocore )
list(APPEND _cmake_import_check_files_for_sivo::sivocore "${_IMPORT_PREFIX}/lib/x86_64-linux-gnu/libsivocore.so.2.0.0" )

# Import target "sivo::ratelib" for configuration "None"
set_property(TARGET sivo::ratelib APPEND PROPERTY IMPORTED_CONFIGURATIONS NONE)
set_target_properties(sivo::ratelib PROPERTIES
  IMPORTED_LOCATION_NONE "${_IMPORT_PREFIX}/lib/x86_64-linux-gnu/libratelib.so.2.0.0"
  IMPORTED_SONAME_NONE "libratelib.so.2"
  )

list(APPEND _cmake_import_check_targets sivo::ratelib )
list(APPEND _cmake_import_check_files_for_sivo::ratelib "${_IMPORT_PREFIX}/lib/x86_64-linux-gnu/libratelib.so.2.0.0" )

# Import target "sivo::sivowav" for configuration "None"
set_property(TARGET sivo::sivowav APPEND PROPERTY IMPORTED_CONFIGURATIONS NONE)
set_target_properties(sivo::sivowav PROPERTIES
  IMPORTED_LOCATION_NONE "${_IMPORT_PREFIX}/lib/x86_64-linux-gnu/libsivowav.so.2.0.0"
  IMPORTED_SONAME_NONE "libsivowav.so.2"
  )

list(APPEND _cmake_import_check_targets sivo::sivowav )
list(APPEND _cmake_import_check_files_for_sivo::sivowav "${_IMPORT_PREFIX}/lib/x86_64-linux-gnu/libsivowav.so.2.0.0" )

# Commands beyond this point should not need to know the version.
set(CMAKE_IMPORT_FILE_VERSION)
