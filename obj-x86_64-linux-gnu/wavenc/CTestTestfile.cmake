# CMake generated Testfile for 
# Source directory: /work/wt/debian/wavenc
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu/wavenc
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
