file(REMOVE_RECURSE
  "CMakeFiles/sivowav.dir/sivowav_shared.cpp.o"
  "CMakeFiles/sivowav.dir/sivowav_shared.cpp.o.d"
  "libsivowav.pdb"
  "libsivowav.so"
  "libsivowav.so.2"
  "libsivowav.so.2.0.0"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivowav.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
