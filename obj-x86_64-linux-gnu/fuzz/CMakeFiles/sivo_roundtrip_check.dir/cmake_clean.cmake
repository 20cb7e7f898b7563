file(REMOVE_RECURSE
  "CMakeFiles/sivo_roundtrip_check.dir/roundtrip_check.cpp.o"
  "CMakeFiles/sivo_roundtrip_check.dir/roundtrip_check.cpp.o.d"
  "sivo_roundtrip_check"
  "sivo_roundtrip_check.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivo_roundtrip_check.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
