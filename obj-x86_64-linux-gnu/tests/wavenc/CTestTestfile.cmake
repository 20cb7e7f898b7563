# CMake generated Testfile for 
# Source directory: /work/wt/debian/tests/wavenc
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu/tests/wavenc
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/wt/debian/obj-x86_64-linux-gnu/tests/wavenc/sivo_wav_tests[1]_include.cmake")
