
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/wt/debian/gst/frame_walk.c" "gst/CMakeFiles/gstsivo.dir/frame_walk.c.o" "gcc" "gst/CMakeFiles/gstsivo.dir/frame_walk.c.o.d"
  "/work/wt/debian/gst/plugin.c" "gst/CMakeFiles/gstsivo.dir/plugin.c.o" "gcc" "gst/CMakeFiles/gstsivo.dir/plugin.c.o.d"
  "/work/wt/debian/gst/rtpsivodepay.c" "gst/CMakeFiles/gstsivo.dir/rtpsivodepay.c.o" "gcc" "gst/CMakeFiles/gstsivo.dir/rtpsivodepay.c.o.d"
  "/work/wt/debian/gst/rtpsivopay.c" "gst/CMakeFiles/gstsivo.dir/rtpsivopay.c.o" "gcc" "gst/CMakeFiles/gstsivo.dir/rtpsivopay.c.o.d"
  "/work/wt/debian/gst/sivodec.c" "gst/CMakeFiles/gstsivo.dir/sivodec.c.o" "gcc" "gst/CMakeFiles/gstsivo.dir/sivodec.c.o.d"
  "/work/wt/debian/gst/sivoenc.c" "gst/CMakeFiles/gstsivo.dir/sivoenc.c.o" "gcc" "gst/CMakeFiles/gstsivo.dir/sivoenc.c.o.d"
  "/work/wt/debian/gst/sivoparse.c" "gst/CMakeFiles/gstsivo.dir/sivoparse.c.o" "gcc" "gst/CMakeFiles/gstsivo.dir/sivoparse.c.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/wt/debian/obj-x86_64-linux-gnu/codec/CMakeFiles/sivocore.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
