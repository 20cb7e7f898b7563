
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/tests/support/library_exports.cpp" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/__/support/library_exports.cpp.o" "gcc" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/__/support/library_exports.cpp.o.d"
  "/work/wt/debian/tests/wavenc/encoding_job_test.cpp" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/encoding_job_test.cpp.o" "gcc" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/encoding_job_test.cpp.o.d"
  "/work/wt/debian/tests/wavenc/exports_test.cpp" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/exports_test.cpp.o" "gcc" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/exports_test.cpp.o.d"
  "/work/wt/debian/tests/wavenc/hostile_wav_test.cpp" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/hostile_wav_test.cpp.o" "gcc" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/hostile_wav_test.cpp.o.d"
  "/work/wt/debian/tests/wavenc/job_concurrency_test.cpp" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/job_concurrency_test.cpp.o" "gcc" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/job_concurrency_test.cpp.o.d"
  "/work/wt/debian/tests/wavenc/ratelib_test.cpp" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/ratelib_test.cpp.o" "gcc" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/ratelib_test.cpp.o.d"
  "/work/wt/debian/tests/wavenc/wav_header_test.cpp" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/wav_header_test.cpp.o" "gcc" "tests/wavenc/CMakeFiles/sivo_wav_tests.dir/wav_header_test.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/wavenc/CMakeFiles/sivowav_internal.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/ratelib/CMakeFiles/ratelib.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/platform/CMakeFiles/sivo_platform.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
