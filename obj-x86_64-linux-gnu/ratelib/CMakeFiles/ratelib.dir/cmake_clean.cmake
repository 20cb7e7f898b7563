file(REMOVE_RECURSE
  "CMakeFiles/ratelib.dir/ratelib.cpp.o"
  "CMakeFiles/ratelib.dir/ratelib.cpp.o.d"
  "libratelib.pdb"
  "libratelib.so"
  "libratelib.so.2"
  "libratelib.so.2.0.0"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/ratelib.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
