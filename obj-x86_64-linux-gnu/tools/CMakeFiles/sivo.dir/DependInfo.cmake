
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/tools/sivo/cli.cpp" "tools/CMakeFiles/sivo.dir/sivo/cli.cpp.o" "gcc" "tools/CMakeFiles/sivo.dir/sivo/cli.cpp.o.d"
  "/work/wt/debian/tools/sivo/compare_command.cpp" "tools/CMakeFiles/sivo.dir/sivo/compare_command.cpp.o" "gcc" "tools/CMakeFiles/sivo.dir/sivo/compare_command.cpp.o.d"
  "/work/wt/debian/tools/sivo/decode_command.cpp" "tools/CMakeFiles/sivo.dir/sivo/decode_command.cpp.o" "gcc" "tools/CMakeFiles/sivo.dir/sivo/decode_command.cpp.o.d"
  "/work/wt/debian/tools/sivo/encode_command.cpp" "tools/CMakeFiles/sivo.dir/sivo/encode_command.cpp.o" "gcc" "tools/CMakeFiles/sivo.dir/sivo/encode_command.cpp.o.d"
  "/work/wt/debian/tools/sivo/info_command.cpp" "tools/CMakeFiles/sivo.dir/sivo/info_command.cpp.o" "gcc" "tools/CMakeFiles/sivo.dir/sivo/info_command.cpp.o.d"
  "/work/wt/debian/tools/sivo/main.cpp" "tools/CMakeFiles/sivo.dir/sivo/main.cpp.o" "gcc" "tools/CMakeFiles/sivo.dir/sivo/main.cpp.o.d"
  "/work/wt/debian/tools/sivo/raw2wav_command.cpp" "tools/CMakeFiles/sivo.dir/sivo/raw2wav_command.cpp.o" "gcc" "tools/CMakeFiles/sivo.dir/sivo/raw2wav_command.cpp.o.d"
  "/work/wt/debian/tools/sivo/signal_measures.cpp" "tools/CMakeFiles/sivo.dir/sivo/signal_measures.cpp.o" "gcc" "tools/CMakeFiles/sivo.dir/sivo/signal_measures.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/tools/CMakeFiles/sivo_transcode.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/ratelib/CMakeFiles/ratelib.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
