# CMake generated Testfile for 
# Source directory: /work/wt/debian/tests/codec
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu/tests/codec
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/wt/debian/obj-x86_64-linux-gnu/tests/codec/sivo_codec_tests[1]_include.cmake")
