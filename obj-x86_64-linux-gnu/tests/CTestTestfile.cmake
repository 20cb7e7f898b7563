# CMake generated Testfile for 
# Source directory: /work/wt/debian/tests
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu/tests
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
subdirs("cli")
subdirs("codec")
subdirs("gst")
subdirs("python")
subdirs("wavenc")
subdirs("web")
