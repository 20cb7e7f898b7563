
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/tests/support/speech.cpp" "tests/gst/CMakeFiles/sivo_gst_tests.dir/__/support/speech.cpp.o" "gcc" "tests/gst/CMakeFiles/sivo_gst_tests.dir/__/support/speech.cpp.o.d"
  "/work/wt/debian/tests/gst/gst_elements_test.cpp" "tests/gst/CMakeFiles/sivo_gst_tests.dir/gst_elements_test.cpp.o" "gcc" "tests/gst/CMakeFiles/sivo_gst_tests.dir/gst_elements_test.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
