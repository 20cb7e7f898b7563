
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/wavenc/block_layout.cpp" "tools/CMakeFiles/sivo_transcode.dir/__/wavenc/block_layout.cpp.o" "gcc" "tools/CMakeFiles/sivo_transcode.dir/__/wavenc/block_layout.cpp.o.d"
  "/work/wt/debian/tools/sivo/audio_input.cpp" "tools/CMakeFiles/sivo_transcode.dir/sivo/audio_input.cpp.o" "gcc" "tools/CMakeFiles/sivo_transcode.dir/sivo/audio_input.cpp.o.d"
  "/work/wt/debian/tools/sivo/audio_output.cpp" "tools/CMakeFiles/sivo_transcode.dir/sivo/audio_output.cpp.o" "gcc" "tools/CMakeFiles/sivo_transcode.dir/sivo/audio_output.cpp.o.d"
  "/work/wt/debian/tools/sivo/frame_stream.cpp" "tools/CMakeFiles/sivo_transcode.dir/sivo/frame_stream.cpp.o" "gcc" "tools/CMakeFiles/sivo_transcode.dir/sivo/frame_stream.cpp.o.d"
  "/work/wt/debian/tools/sivo/safe_output.cpp" "tools/CMakeFiles/sivo_transcode.dir/sivo/safe_output.cpp.o" "gcc" "tools/CMakeFiles/sivo_transcode.dir/sivo/safe_output.cpp.o.d"
  "/work/wt/debian/tools/sivo/transcode.cpp" "tools/CMakeFiles/sivo_transcode.dir/sivo/transcode.cpp.o" "gcc" "tools/CMakeFiles/sivo_transcode.dir/sivo/transcode.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/ratelib/CMakeFiles/ratelib.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
