file(REMOVE_RECURSE
  "CMakeFiles/sivo_platform.dir/mmio.cpp.o"
  "CMakeFiles/sivo_platform.dir/mmio.cpp.o.d"
  "libsivo_platform.a"
  "libsivo_platform.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo_platform.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
