
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/tools/sivo/signal_measures.cpp" "python/CMakeFiles/sivo_python_module.dir/__/tools/sivo/signal_measures.cpp.o" "gcc" "python/CMakeFiles/sivo_python_module.dir/__/tools/sivo/signal_measures.cpp.o.d"
  "/work/wt/debian/python/buffer_codec.cpp" "python/CMakeFiles/sivo_python_module.dir/buffer_codec.cpp.o" "gcc" "python/CMakeFiles/sivo_python_module.dir/buffer_codec.cpp.o.d"
  "/work/wt/debian/python/frame_walk.cpp" "python/CMakeFiles/sivo_python_module.dir/frame_walk.cpp.o" "gcc" "python/CMakeFiles/sivo_python_module.dir/frame_walk.cpp.o.d"
  "/work/wt/debian/python/module.cpp" "python/CMakeFiles/sivo_python_module.dir/module.cpp.o" "gcc" "python/CMakeFiles/sivo_python_module.dir/module.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/tools/CMakeFiles/sivo_transcode.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore.dir/DependInfo.cmake"
  "/work/wt/debian/obj-x86_64-linux-gnu/ratelib/CMakeFiles/ratelib.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
