file(REMOVE_RECURSE
  "CMakeFiles/sivocore.dir/sivocore_shared.cpp.o"
  "CMakeFiles/sivocore.dir/sivocore_shared.cpp.o.d"
  "libsivocore.pdb"
  "libsivocore.so"
  "libsivocore.so.2"
  "libsivocore.so.2.0.0"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/sivocore.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
