# CMake generated Testfile for 
# Source directory: /work/wt/debian/tests/gst
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu/tests/gst
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/wt/debian/obj-x86_64-linux-gnu/tests/gst/sivo_gst_tests[1]_include.cmake")
add_test([=[gst.installed_plugin]=] "/usr/bin/cmake" "-DBUILD_DIR=/work/wt/debian/obj-x86_64-linux-gnu" "-DWORK_DIR=/work/wt/debian/obj-x86_64-linux-gnu/tests/gst/installed" "-DPLUGIN_DEST=lib/x86_64-linux-gnu/gstreamer-1.0" "-P" "/work/wt/debian/tests/gst/installed_plugin.cmake")
set_tests_properties([=[gst.installed_plugin]=] PROPERTIES  LABELS "gst" TIMEOUT "120" _BACKTRACE_TRIPLES "/work/wt/debian/tests/gst/CMakeLists.txt;28;add_test;/work/wt/debian/tests/gst/CMakeLists.txt;0;")
