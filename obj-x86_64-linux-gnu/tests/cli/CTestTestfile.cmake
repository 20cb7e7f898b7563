# CMake generated Testfile for 
# Source directory: /work/wt/debian/tests/cli
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu/tests/cli
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/wt/debian/obj-x86_64-linux-gnu/tests/cli/sivo_cli_tests[1]_include.cmake")
add_test([=[cli.install_consumer]=] "/usr/bin/cmake" "-DBUILD_DIR=/work/wt/debian/obj-x86_64-linux-gnu" "-DCONSUMER_DIR=/work/wt/debian/tests/cli/consumer" "-DWORK_DIR=/work/wt/debian/obj-x86_64-linux-gnu/tests/cli/install_consumer" "-DLIBDIR=lib/x86_64-linux-gnu" "-DBINDIR=bin" "-DMANDIR=share/man" "-DMANPAGE=1" "-DC_COMPILER=/usr/bin/cc" "-DRUNNER=" "-P" "/work/wt/debian/tests/cli/install_consumer.cmake")
set_tests_properties([=[cli.install_consumer]=] PROPERTIES  LABELS "cli" TIMEOUT "300" _BACKTRACE_TRIPLES "/work/wt/debian/tests/cli/CMakeLists.txt;20;add_test;/work/wt/debian/tests/cli/CMakeLists.txt;0;")
