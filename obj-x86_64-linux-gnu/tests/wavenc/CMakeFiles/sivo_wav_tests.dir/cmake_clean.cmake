file(REMOVE_RECURSE
  "CMakeFiles/sivo_wav_tests.dir/__/support/library_exports.cpp.o"
  "CMakeFiles/sivo_wav_tests.dir/__/support/library_exports.cpp.o.d"
  "CMakeFiles/sivo_wav_tests.dir/encoding_job_test.cpp.o"
  "CMakeFiles/sivo_wav_tests.dir/encoding_job_test.cpp.o.d"
  "CMakeFiles/sivo_wav_tests.dir/exports_test.cpp.o"
  "CMakeFiles/sivo_wav_tests.dir/exports_test.cpp.o.d"
  "CMakeFiles/sivo_wav_tests.dir/hostile_wav_test.cpp.o"
  "CMakeFiles/sivo_wav_tests.dir/hostile_wav_test.cpp.o.d"
  "CMakeFiles/sivo_wav_tests.dir/job_concurrency_test.cpp.o"
  "CMakeFiles/sivo_wav_tests.dir/job_concurrency_test.cpp.o.d"
  "CMakeFiles/sivo_wav_tests.dir/ratelib_test.cpp.o"
  "CMakeFiles/sivo_wav_tests.dir/ratelib_test.cpp.o.d"
  "CMakeFiles/sivo_wav_tests.dir/wav_header_test.cpp.o"
  "CMakeFiles/sivo_wav_tests.dir/wav_header_test.cpp.o.d"
  "sivo_wav_tests"
  "sivo_wav_tests.pdb"
  "sivo_wav_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo_wav_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
