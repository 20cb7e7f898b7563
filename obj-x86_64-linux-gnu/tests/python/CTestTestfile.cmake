# CMake generated Testfile for 
# Source directory: /work/wt/debian/tests/python
# Build directory: /work/wt/debian/obj-x86_64-linux-gnu/tests/python
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
add_test([=[python.codec]=] "/usr/bin/python3" "-m" "pytest" "-q" "-p" "no:cacheprovider" "/work/wt/debian/tests/python/test_codec.py")
set_tests_properties([=[python.codec]=] PROPERTIES  ENVIRONMENT "PYTHONPATH=/work/wt/debian/obj-x86_64-linux-gnu/python;SIVO_CLI=/work/wt/debian/obj-x86_64-linux-gnu/tools/sivo;SIVO_BUILD_DIR=/work/wt/debian/obj-x86_64-linux-gnu;SIVO_SPEECH_DIR=/usr/share/codec2/raw/" LABELS "python" TIMEOUT "240" _BACKTRACE_TRIPLES "/work/wt/debian/tests/python/CMakeLists.txt;39;add_test;/work/wt/debian/tests/python/CMakeLists.txt;0;")
add_test([=[python.corpus]=] "/usr/bin/python3" "-m" "pytest" "-q" "-p" "no:cacheprovider" "/work/wt/debian/tests/python/test_corpus.py")
set_tests_properties([=[python.corpus]=] PROPERTIES  ENVIRONMENT "PYTHONPATH=/work/wt/debian/obj-x86_64-linux-gnu/python;SIVO_CLI=/work/wt/debian/obj-x86_64-linux-gnu/tools/sivo;SIVO_BUILD_DIR=/work/wt/debian/obj-x86_64-linux-gnu;SIVO_SPEECH_DIR=/usr/share/codec2/raw/" LABELS "python" TIMEOUT "240" _BACKTRACE_TRIPLES "/work/wt/debian/tests/python/CMakeLists.txt;39;add_test;/work/wt/debian/tests/python/CMakeLists.txt;0;")
