
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/wavenc/block_layout.cpp" "wavenc/CMakeFiles/sivowav_internal.dir/block_layout.cpp.o" "gcc" "wavenc/CMakeFiles/sivowav_internal.dir/block_layout.cpp.o.d"
  "/work/wt/debian/wavenc/encoding_job.cpp" "wavenc/CMakeFiles/sivowav_internal.dir/encoding_job.cpp.o" "gcc" "wavenc/CMakeFiles/sivowav_internal.dir/encoding_job.cpp.o.d"
  "/work/wt/debian/wavenc/error_texts.cpp" "wavenc/CMakeFiles/sivowav_internal.dir/error_texts.cpp.o" "gcc" "wavenc/CMakeFiles/sivowav_internal.dir/error_texts.cpp.o.d"
  "/work/wt/debian/wavenc/exports.cpp" "wavenc/CMakeFiles/sivowav_internal.dir/exports.cpp.o" "gcc" "wavenc/CMakeFiles/sivowav_internal.dir/exports.cpp.o.d"
  "/work/wt/debian/wavenc/wav_header.cpp" "wavenc/CMakeFiles/sivowav_internal.dir/wav_header.cpp.o" "gcc" "wavenc/CMakeFiles/sivowav_internal.dir/wav_header.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/ratelib/CMakeFiles/ratelib.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/platform/CMakeFiles/sivo_platform.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
