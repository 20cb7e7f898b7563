file(REMOVE_RECURSE
  "CMakeFiles/sivo_cli_tests.dir/cli_test.cpp.o"
  "CMakeFiles/sivo_cli_tests.dir/cli_test.cpp.o.d"
  "sivo_cli_tests"
  "sivo_cli_tests.pdb"
  "sivo_cli_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo_cli_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
