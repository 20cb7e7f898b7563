# CMake generated Testfile for 
# Source directory: /work/wt/debian
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
subdirs("codec")
subdirs("platform")
subdirs("ratelib")
subdirs("wavenc")
subdirs("tools")
subdirs("gst")
subdirs("bench")
subdirs("fuzz")
subdirs("python")
subdirs("tests")
