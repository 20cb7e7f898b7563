file(REMOVE_RECURSE
  "CMakeFiles/sivo_gst_tests.dir/__/support/speech.cpp.o"
  "CMakeFiles/sivo_gst_tests.dir/__/support/speech.cpp.o.d"
  "CMakeFiles/sivo_gst_tests.dir/gst_elements_test.cpp.o"
  "CMakeFiles/sivo_gst_tests.dir/gst_elements_test.cpp.o.d"
  "sivo_gst_tests"
  "sivo_gst_tests.pdb"
  "sivo_gst_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo_gst_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
