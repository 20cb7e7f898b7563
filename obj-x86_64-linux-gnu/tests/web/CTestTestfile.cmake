# CMake generated Testfile for 
# Source directory: /work/wt/debian/tests/web
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu/tests/web
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
add_test([=[web_node_api]=] "/usr/bin/node" "/work/wt/debian/tests/web/node_api_test.js" "/work/wt/debian/build-web" "/work/wt/debian/obj-x86_64-linux-gnu/tests/web/web_reference" "/usr/share/codec2/raw/")
set_tests_properties([=[web_node_api]=] PROPERTIES  LABELS "web" SKIP_RETURN_CODE "77" TIMEOUT "300" _BACKTRACE_TRIPLES "/work/wt/debian/tests/web/CMakeLists.txt;14;add_test;/work/wt/debian/tests/web/CMakeLists.txt;0;")
add_test([=[web_page_chromium]=] "/usr/bin/node" "/work/wt/debian/tests/web/page_test.js" "/work/wt/debian/build-web" "/work/wt/debian/obj-x86_64-linux-gnu/tools/sivo")
set_tests_properties([=[web_page_chromium]=] PROPERTIES  LABELS "web" SKIP_RETURN_CODE "77" TIMEOUT "300" _BACKTRACE_TRIPLES "/work/wt/debian/tests/web/CMakeLists.txt;17;add_test;/work/wt/debian/tests/web/CMakeLists.txt;0;")
