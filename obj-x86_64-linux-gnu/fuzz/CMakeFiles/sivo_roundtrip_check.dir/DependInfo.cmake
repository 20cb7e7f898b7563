
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/fuzz/roundtrip_check.cpp" "fuzz/CMakeFiles/sivo_roundtrip_check.dir/roundtrip_check.cpp.o" "gcc" "fuzz/CMakeFiles/sivo_roundtrip_check.dir/roundtrip_check.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/wavenc/CMakeFiles/sivowav.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/ratelib/CMakeFiles/ratelib.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
